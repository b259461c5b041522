// The scripted user interface of the command tests: a UiPort and ScanObserver that answers
// from a strict script (a missing, mismatched or unused entry fails the test; OK-only message
// boxes need none) and records every call as one transcript line, texts in quotes with \n
// and \t escaped, so that a test compares a whole flow in one assertion. For example:
//   message "Save changes ?" | "app" | Question | YesNo -> Yes
//   open dialog "*.zelv" | "Files" "*.zelv" | "zelv" must exist -> "/tmp/a.zelv"
//   add tree "/" | "" | "*" -> ok "/data" | "" | "txt"        rename "old" -> cancel
//   properties "name" | "parent" | "*root* \ " | kind 6 | parent on -> change
//   search "pattern" [case whole local recursive files] -> search "typed" [...]
#pragma once

#include <cstddef>
#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "about/about_command.h"
#include "capture/add_tree_command.h"
#include "capture/scan_state.h"
#include "document/ui_port.h"
#include "items/item_commands.h"
#include "search/search_command.h"

namespace zelvane::testing {

using Lines = std::vector<std::string>;

// UTF-8 of a UTF-16 text, in quotes, with newlines and tabs escaped.
std::string inQuotes(std::u16string_view text);

// The three fields of the Add Tree dialog as the user leaves them before OK.
struct AddTreeFields {
    std::u16string path;
    std::u16string title;
    std::u16string filter = u"*";
};

enum class PropertiesButton { Close, Change, Parent };
enum class AboutButton { HomePage, Company, License };

class ScriptedUi : public UiPort, public ScanObserver {
public:
    ~ScriptedUi() override;

    // The script, in the order the calls will come.
    ScriptedUi& answer(MessageAnswer answer) { return push(answer); } // a Yes/No question
    ScriptedUi& choose(std::u16string path); // a file dialog; the title is the last name
    ScriptedUi& cancelFile() { return push(FileAnswer{}); }
    ScriptedUi& addTree(AddTreeFields fields) { return push(AddTreeAnswer{std::move(fields)}); }
    ScriptedUi& cancelAddTree() { return push(AddTreeAnswer{}); }
    ScriptedUi& properties(PropertiesButton button) { return push(button); }
    // Rename and Search: each try is confirmed until one is accepted, else Cancel.
    ScriptedUi& rename(std::vector<std::u16string> typed) { return push(std::move(typed)); }
    ScriptedUi& cancelRename() { return rename({}); }
    ScriptedUi& search(std::vector<SearchDialogInput> tries) { return push(std::move(tries)); }
    ScriptedUi& cancelSearch() { return search({}); }
    // The results window: the rows double-clicked, in order, then closed.
    ScriptedUi& results(std::vector<std::optional<std::size_t>> doubleClicks) {
        return push(std::move(doubleClicks));
    }
    // The About box: the buttons pressed, in order, then Close.
    ScriptedUi& about(std::vector<AboutButton> presses) { return push(std::move(presses)); }

    const Lines& transcript() const { return lines_; }
    void clearTranscript() { lines_.clear(); }
    // A line of the test's own among the calls, such as a callback's.
    void note(std::string line) { record(std::move(line)); }
    std::size_t pumps() const { return pumps_; }
    // Run at every pump with its number (from 1), and at every phase once it is recorded.
    std::function<void(std::size_t pump)> onPump;
    std::function<void(ScanPhase phase)> onPhase;
    // Sets the stop request at the given pump.
    void stopAtPump(ScanState& state, std::size_t pump);
    // Texts in the results window while it shows them.
    Lines shownRows;

    MessageAnswer messageBox(std::u16string_view text, std::u16string_view caption,
                             MessageIcon icon, MessageButtons buttons) override;
    std::optional<ChosenFile> fileDialog(const FileDialogRequest& request) override;
    void setCaption(std::u16string_view caption) override {
        record("caption " + inQuotes(caption));
    }
    void endMainWindow(int result) override { record("end " + std::to_string(result)); }
    void runAddTreeDialog(AddTreeDialog& dialog) override;
    void showItemProperties(ItemPropertiesDialog& dialog) override;
    void runRenameItem(RenameItemDialog& dialog) override;
    void runSearchDialog(SearchDialog& dialog) override;
    void openSearchResults() override { record("results open"); }
    void showSearchResults(const SearchResults& results) override;
    void
    runSearchResults(const std::function<void(std::optional<std::size_t>)>& activated) override;
    void closeSearchResults() override { record("results close"); }
    void runAboutBox(AboutBoxHandlers& handlers) override;
    void openWebPage(std::string_view address) override {
        record("web page \"" + std::string(address) + "\"");
    }
    void showLicenseWindow(std::u16string_view text) override {
        record("license window " + inQuotes(text));
    }

    void setScanningState(bool scanning) override {
        record(scanning ? "scanning on" : "scanning off");
    }
    void pump() override;
    void setPhase(ScanPhase phase) override;
    void setProgressText(std::u16string_view text) override {
        record("progress " + inQuotes(text));
    }

private:
    using FileAnswer = std::optional<ChosenFile>;
    using AddTreeAnswer = std::optional<AddTreeFields>;
    using Entry = std::variant<MessageAnswer, FileAnswer, AddTreeAnswer, PropertiesButton,
                               std::vector<std::u16string>, std::vector<SearchDialogInput>,
                               std::vector<std::optional<std::size_t>>, std::vector<AboutButton>>;

    template <class T> T take(const std::string& call, T fallback = {});
    ScriptedUi& push(Entry entry);
    void record(std::string line) { lines_.push_back(std::move(line)); }

    std::deque<Entry> script_;
    Lines lines_;
    std::size_t pumps_ = 0;
};

// GCC 12 at -O3 takes members of the moved variant for uninitialized where this is inlined
// (-Wmaybe-uninitialized); the variant always holds a whole answer.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
inline ScriptedUi& ScriptedUi::push(Entry entry) {
    script_.push_back(std::move(entry));
    return *this;
}
#pragma GCC diagnostic pop

} // namespace zelvane::testing
