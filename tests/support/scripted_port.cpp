#include "support/scripted_port.h"

#include <gtest/gtest.h>

#include "text/utf.h"

namespace zelvane::testing {

namespace {

const char* iconName(MessageIcon icon) {
    switch (icon) {
    case MessageIcon::None:
        return "NoIcon";
    case MessageIcon::Information:
        return "Information";
    case MessageIcon::Exclamation:
        return "Exclamation";
    case MessageIcon::Question:
        return "Question";
    case MessageIcon::Error:
        return "Error";
    }
    return "?";
}

const char* answerName(MessageAnswer answer) {
    switch (answer) {
    case MessageAnswer::Ok:
        return "Ok";
    case MessageAnswer::Yes:
        return "Yes";
    case MessageAnswer::No:
        return "No";
    }
    return "?";
}

std::string quoteText(std::u16string_view text) {
    std::string out = "\"";
    for (char c : toUtf8(text)) {
        if (c == '\n') {
            out += "\\n";
        } else if (c == '\t') {
            out += "\\t";
        } else {
            out += c;
        }
    }
    return out + "\"";
}

} // namespace

std::string toUtf8(std::u16string_view text) {
    return utf16ToUtf8(text);
}

std::string describe(const PortCall& call) {
    std::string line;
    switch (call.kind) {
    case PortCall::Kind::MessageBox:
        line = "message " + quoteText(call.text) + " | " + quoteText(call.caption) + " | " +
               iconName(call.icon) + " | " +
               (call.buttons == MessageButtons::YesNo ? "YesNo" : "Ok");
        break;
    case PortCall::Kind::FileDialog:
        line = std::string(call.request.kind == FileDialogRequest::Kind::Open ? "open" : "save") +
               " dialog " + quoteText(call.request.initialName);
        break;
    case PortCall::Kind::SetCaption:
        return "caption " + quoteText(call.text);
    case PortCall::Kind::EndMainWindow:
        return "end " + std::to_string(call.result);
    case PortCall::Kind::Custom:
        line = call.name + (call.text.empty() ? "" : " " + quoteText(call.text));
        break;
    }
    if (!call.answer.empty()) {
        line += " -> " + call.answer;
    }
    return line;
}

ScriptedPort::~ScriptedPort() {
    if (!script_.empty()) {
        ADD_FAILURE() << "ScriptedPort: " << script_.size()
                      << " script entries were never used; calls were:\n"
                      << ::testing::PrintToString(transcript());
    }
}

ScriptedPort& ScriptedPort::answer(MessageAnswer a) {
    ScriptEntry entry;
    entry.kind = ScriptEntry::Kind::Answer;
    entry.answer = a;
    script_.push_back(std::move(entry));
    return *this;
}

ScriptedPort& ScriptedPort::choose(std::u16string path) {
    const std::size_t slash = path.rfind(u'/');
    std::u16string title = slash == std::u16string::npos ? path : path.substr(slash + 1);
    return choose(std::move(path), std::move(title));
}

ScriptedPort& ScriptedPort::choose(std::u16string path, std::u16string title) {
    ScriptEntry entry;
    entry.kind = ScriptEntry::Kind::File;
    entry.file = ChosenFile{std::move(path), std::move(title)};
    script_.push_back(std::move(entry));
    return *this;
}

ScriptedPort& ScriptedPort::cancel() {
    ScriptEntry entry;
    entry.kind = ScriptEntry::Kind::File;
    script_.push_back(std::move(entry));
    return *this;
}

ScriptedPort& ScriptedPort::custom(std::string name, std::any value) {
    ScriptEntry entry;
    entry.kind = ScriptEntry::Kind::Custom;
    entry.name = std::move(name);
    entry.value = std::move(value);
    script_.push_back(std::move(entry));
    return *this;
}

std::vector<std::string> ScriptedPort::transcript() const {
    std::vector<std::string> lines;
    for (const PortCall& call : calls_) {
        lines.push_back(describe(call));
    }
    return lines;
}

std::vector<PortCall> ScriptedPort::messages() const {
    std::vector<PortCall> out;
    for (const PortCall& call : calls_) {
        if (call.kind == PortCall::Kind::MessageBox) {
            out.push_back(call);
        }
    }
    return out;
}

std::vector<std::u16string> ScriptedPort::captions() const {
    std::vector<std::u16string> out;
    for (const PortCall& call : calls_) {
        if (call.kind == PortCall::Kind::SetCaption) {
            out.push_back(call.text);
        }
    }
    return out;
}

std::u16string ScriptedPort::lastCaption() const {
    const auto all = captions();
    return all.empty() ? std::u16string() : all.back();
}

std::optional<ScriptEntry> ScriptedPort::take(ScriptEntry::Kind kind, const PortCall& call) {
    if (script_.empty()) {
        ADD_FAILURE() << "ScriptedPort: no script entry for " << describe(call)
                      << "\ncalls so far:\n"
                      << ::testing::PrintToString(transcript());
        return std::nullopt;
    }
    if (script_.front().kind != kind ||
        (kind == ScriptEntry::Kind::Custom && script_.front().name != call.name)) {
        ADD_FAILURE() << "ScriptedPort: the next script entry does not answer " << describe(call)
                      << "\ncalls so far:\n"
                      << ::testing::PrintToString(transcript());
        return std::nullopt;
    }
    ScriptEntry entry = std::move(script_.front());
    script_.pop_front();
    return entry;
}

MessageAnswer ScriptedPort::messageBox(std::u16string_view text, std::u16string_view caption,
                                       MessageIcon icon, MessageButtons buttons) {
    PortCall call;
    call.kind = PortCall::Kind::MessageBox;
    call.text = text;
    call.caption = caption;
    call.icon = icon;
    call.buttons = buttons;
    const std::optional<ScriptEntry> entry = take(ScriptEntry::Kind::Answer, call);
    MessageAnswer answer = buttons == MessageButtons::YesNo ? MessageAnswer::No : MessageAnswer::Ok;
    if (entry) {
        const bool fits = buttons == MessageButtons::YesNo ? entry->answer != MessageAnswer::Ok
                                                           : entry->answer == MessageAnswer::Ok;
        if (fits) {
            answer = entry->answer;
        } else {
            ADD_FAILURE() << "ScriptedPort: answer " << answerName(entry->answer)
                          << " does not fit the buttons of " << describe(call);
        }
    }
    call.answer = answerName(answer);
    calls_.push_back(std::move(call));
    return answer;
}

std::optional<ChosenFile> ScriptedPort::fileDialog(const FileDialogRequest& request) {
    PortCall call;
    call.kind = PortCall::Kind::FileDialog;
    call.request = request;
    const std::optional<ScriptEntry> entry = take(ScriptEntry::Kind::File, call);
    std::optional<ChosenFile> chosen = entry ? entry->file : std::nullopt;
    call.answer = chosen ? quoteText(chosen->path) : "cancel";
    calls_.push_back(std::move(call));
    return chosen;
}

void ScriptedPort::setCaption(std::u16string_view caption) {
    PortCall call;
    call.kind = PortCall::Kind::SetCaption;
    call.text = caption;
    calls_.push_back(std::move(call));
}

void ScriptedPort::endMainWindow(int result) {
    PortCall call;
    call.kind = PortCall::Kind::EndMainWindow;
    call.result = result;
    calls_.push_back(std::move(call));
}

std::any ScriptedPort::takeCustom(const std::string& name, std::u16string_view argument) {
    PortCall call;
    call.kind = PortCall::Kind::Custom;
    call.name = name;
    call.text = argument;
    const std::optional<ScriptEntry> entry = take(ScriptEntry::Kind::Custom, call);
    call.answer = entry ? "scripted" : "missing";
    calls_.push_back(std::move(call));
    return entry ? entry->value : std::any();
}

} // namespace zelvane::testing
