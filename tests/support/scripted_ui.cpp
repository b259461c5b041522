#include "support/scripted_ui.h"

#include <array>
#include <gtest/gtest.h>

#include "search/search_engine.h"
#include "text/utf.h"

namespace zelvane::testing {

namespace {

const char* iconName(MessageIcon icon) {
    static const char* const names[] = {"NoIcon", "Information", "Exclamation", "Question",
                                        "Error"};
    return names[static_cast<int>(icon)];
}

const char* answerName(MessageAnswer answer) {
    static const char* const names[] = {"Ok", "Yes", "No"};
    return names[static_cast<int>(answer)];
}

std::string fieldsText(const AddTreeInputs& fields) {
    return inQuotes(fields.path) + " | " + inQuotes(fields.title) + " | " + inQuotes(fields.filter);
}

// A search pattern and its options: "pattern" [case whole local recursive files].
std::string searchText(std::u16string_view pattern, std::array<bool, 5> options) {
    static const char* const names[] = {"case", "whole", "local", "recursive", "files"};
    std::string flags;
    for (std::size_t i = 0; i < options.size(); ++i) {
        if (options[i]) {
            flags.append(flags.empty() ? "" : " ").append(names[i]);
        }
    }
    return inQuotes(pattern) + " [" + flags + "]";
}

} // namespace

std::string inQuotes(std::u16string_view text) {
    std::string out = "\"";
    for (char c : utf16ToUtf8(text)) {
        out += c == '\n' ? std::string("\\n") : c == '\t' ? std::string("\\t") : std::string(1, c);
    }
    return out + "\"";
}

ScriptedUi::~ScriptedUi() {
    if (!script_.empty()) {
        ADD_FAILURE() << "ScriptedUi: " << script_.size()
                      << " script entries were never used; the calls were:\n"
                      << ::testing::PrintToString(lines_);
    }
}

ScriptedUi& ScriptedUi::choose(std::u16string path) {
    const std::size_t slash = path.rfind(u'/');
    std::u16string title = slash == std::u16string::npos ? path : path.substr(slash + 1);
    return push(FileAnswer{ChosenFile{std::move(path), std::move(title)}});
}

void ScriptedUi::stopAtPump(ScanState& state, std::size_t pump) {
    onPump = [&state, pump](std::size_t n) {
        if (n == pump) {
            OnStopScan(state);
        }
    };
}

template <class T> T ScriptedUi::take(const std::string& call, T fallback) {
    if (script_.empty() || !std::holds_alternative<T>(script_.front())) {
        ADD_FAILURE() << "ScriptedUi: " << (script_.empty() ? "no" : "the wrong")
                      << " script entry for: " << call << "\nthe calls so far:\n"
                      << ::testing::PrintToString(lines_);
        return fallback;
    }
    T entry = std::get<T>(std::move(script_.front()));
    script_.pop_front();
    return entry;
}

MessageAnswer ScriptedUi::messageBox(std::u16string_view text, std::u16string_view caption,
                                     MessageIcon icon, MessageButtons buttons) {
    std::string line = "message " + inQuotes(text) + " | " + inQuotes(caption) + " | " +
                       iconName(icon) + " | " + (buttons == MessageButtons::YesNo ? "YesNo" : "Ok");
    MessageAnswer answer = MessageAnswer::Ok;
    if (buttons == MessageButtons::YesNo) {
        answer = take<MessageAnswer>(line, MessageAnswer::No);
        EXPECT_NE(answer, MessageAnswer::Ok) << "OK scripted for a Yes/No question: " << line;
    }
    record(line + " -> " + answerName(answer));
    return answer;
}

std::optional<ChosenFile> ScriptedUi::fileDialog(const FileDialogRequest& request) {
    std::string line =
        std::string(request.kind == FileDialogRequest::Kind::Open ? "open" : "save") + " dialog " +
        inQuotes(request.initialName) + " |";
    // Appended piece by piece: GCC 12 at -O3 takes a literal added to a temporary string for
    // an overlapping copy (-Wrestrict).
    for (const FileFilter& filter : request.filters) {
        line.append(" ").append(inQuotes(filter.description));
        line.append(" ").append(inQuotes(filter.pattern));
    }
    line.append(" | ").append(inQuotes(request.defaultExtension));
    line.append(request.fileMustExist ? " must exist" : "");
    line.append(request.overwritePrompt ? " overwrite prompt" : "");
    const FileAnswer chosen = take<FileAnswer>(line);
    record(line + " -> " + (chosen ? inQuotes(chosen->path) : "cancel"));
    return chosen;
}

void ScriptedUi::runAddTreeDialog(AddTreeDialog& dialog) {
    std::string line = "add tree " + fieldsText(dialog.fields);
    const AddTreeAnswer fields = take<AddTreeAnswer>(line);
    if (!fields) {
        record(line + " -> cancel");
        return;
    }
    acceptAddTreeDialog(dialog, fields->path, fields->title, fields->filter);
    record(line + " -> ok " + fieldsText(dialog.fields));
}

void ScriptedUi::showItemProperties(ItemPropertiesDialog& dialog) {
    std::string line = "properties " + inQuotes(dialog.name) + " | " + inQuotes(dialog.parentName) +
                       " | " + inQuotes(dialog.fullPath) + " | kind " +
                       std::to_string(dialog.kind) + " | parent " +
                       (dialog.parentEnabled ? "on" : "off");
    const PropertiesButton button = take<PropertiesButton>(line, PropertiesButton::Close);
    dialog.renameRequested = button == PropertiesButton::Change;
    dialog.parentRequested = button == PropertiesButton::Parent;
    static const char* const names[] = {"close", "change", "parent"};
    record(line + " -> " + names[static_cast<int>(button)]);
}

void ScriptedUi::runRenameItem(RenameItemDialog& dialog) {
    const std::string line = "rename " + inQuotes(dialog.name);
    for (const std::u16string& typed : take<std::vector<std::u16string>>(line)) {
        // The dialog is open while OK is refused: its messages come after this line.
        record(line + " -> ok " + inQuotes(typed));
        if (confirmNewName(dialog, typed, *this)) {
            return;
        }
    }
    record(line + " -> cancel");
}

void ScriptedUi::runSearchDialog(SearchDialog& dialog) {
    const SearchOptions& o = dialog.options;
    const std::string line =
        "search " + searchText(o.pattern, {o.isMatchCase, o.isMatchWholePatternOnly,
                                           o.isLocalSearch, o.isRecursiveSearch, o.isFilesOnly});
    for (const SearchDialogInput& input : take<std::vector<SearchDialogInput>>(line)) {
        record(line + " -> search " +
               searchText(input.typed, {input.matchCase, input.wholePatternOnly, input.localSearch,
                                        input.recursive, input.filesOnly}));
        if (confirmSearchDialog(dialog, input, *this)) {
            return;
        }
    }
    record(line + " -> cancel");
}

void ScriptedUi::showSearchResults(const SearchResults& results) {
    shownRows.clear();
    for (std::size_t row = 0; row < results.size(); ++row) {
        shownRows.push_back(utf16ToUtf8(results.path(row)) + "\t" + utf16ToUtf8(results.item(row)));
    }
    record("results " + std::to_string(results.size()) + " rows");
}

void ScriptedUi::runSearchResults(
    const std::function<void(std::optional<std::size_t>)>& activated) {
    const auto doubleClicks = take<std::vector<std::optional<std::size_t>>>("results run");
    record("results run");
    for (const std::optional<std::size_t>& row : doubleClicks) {
        record("results double-click " + (row ? std::to_string(*row) : std::string("none")));
        activated(row);
    }
}

void ScriptedUi::runAboutBox(AboutBoxHandlers& handlers) {
    static const std::pair<const char*, void (AboutBoxHandlers::*)()> buttons[] = {
        {"home page", &AboutBoxHandlers::onVisitHomePage},
        {"company", &AboutBoxHandlers::onVisitCompany},
        {"license", &AboutBoxHandlers::onLicense}};
    const auto presses = take<std::vector<AboutButton>>("about box");
    record("about box");
    for (AboutButton button : presses) {
        const auto& [name, press] = buttons[static_cast<int>(button)];
        record(std::string("about -> ") + name);
        (handlers.*press)();
    }
    record("about -> close");
}

void ScriptedUi::pump() {
    ++pumps_;
    if (onPump) {
        onPump(pumps_);
    }
}

void ScriptedUi::setPhase(ScanPhase phase) {
    record(phase == ScanPhase::Scanning ? "phase scanning" : "phase sorting");
    if (onPhase) {
        onPhase(phase);
    }
}

} // namespace zelvane::testing
