// A scripted UiPort for command tests: records every call with its arguments in order and
// answers message boxes and file dialogs from a script queue.
//
// The script is strict: a call with no script entry left, or whose next entry is of
// another kind, fails the test with a description of the call (and gets a harmless
// answer so the command can end). Entries still unused when the port is destroyed fail
// the test too.
//
// Subsystems with a port of their own derive from ScriptedPort and their port, record
// their calls with record() and take their answers with takeCustom().
#pragma once

#include <any>
#include <deque>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "ui/ui_port.h"

namespace zelvane::testing {

struct PortCall {
    enum class Kind { MessageBox, FileDialog, SetCaption, EndMainWindow, Custom };
    Kind kind = Kind::Custom;
    std::u16string text;    // message text, caption set, or a custom call's argument
    std::u16string caption; // message box caption
    MessageIcon icon = MessageIcon::None;
    MessageButtons buttons = MessageButtons::Ok;
    FileDialogRequest request; // file dialogs
    int result = 0;            // endMainWindow
    std::string name;          // custom calls: what was called
    std::string answer;        // how the script answered, readable
};

// One line per call, e.g.
//   message "Save changes ?" | "app" | Question | YesNo -> Yes
//   save dialog "Untitled.zelv" -> "/tmp/a.zelv"
//   caption "a.zelv - Zelvane"
//   end 0
// Texts are UTF-8 with newlines and tabs written as \n and \t.
std::string describe(const PortCall& call);

struct ScriptEntry {
    enum class Kind { Answer, File, Custom };
    Kind kind = Kind::Answer;
    MessageAnswer answer = MessageAnswer::Ok;
    std::optional<ChosenFile> file;
    std::string name; // custom entries: the call they answer
    std::any value;
};

class ScriptedPort : public UiPort {
public:
    ~ScriptedPort() override;

    // --- The script ---
    ScriptedPort& answer(MessageAnswer a);
    // The file dialog returns path, with the title taken from its last component.
    ScriptedPort& choose(std::u16string path);
    ScriptedPort& choose(std::u16string path, std::u16string title);
    ScriptedPort& cancel();
    ScriptedPort& custom(std::string name, std::any value);
    std::size_t pending() const { return script_.size(); }
    // Forgets the remaining entries without failing.
    void discardScript() { script_.clear(); }

    // --- What happened ---
    const std::vector<PortCall>& calls() const { return calls_; }
    std::vector<std::string> transcript() const;
    // Only the message boxes / only the captions set.
    std::vector<PortCall> messages() const;
    std::vector<std::u16string> captions() const;
    std::u16string lastCaption() const;
    void clearCalls() { calls_.clear(); }

    // --- UiPort ---
    MessageAnswer messageBox(std::u16string_view text, std::u16string_view caption,
                             MessageIcon icon, MessageButtons buttons) override;
    std::optional<ChosenFile> fileDialog(const FileDialogRequest& request) override;
    void setCaption(std::u16string_view caption) override;
    void endMainWindow(int result) override;

    // --- For ports built on this one ---
    void record(PortCall call) { calls_.push_back(std::move(call)); }
    // The value scripted for a custom call named name; fails the test (and returns an
    // empty std::any) when the script has no such entry next.
    std::any takeCustom(const std::string& name, std::u16string_view argument = {});
    // The last call recorded (for ports that describe their calls further), or nullptr.
    PortCall* lastCall() { return calls_.empty() ? nullptr : &calls_.back(); }

private:
    std::optional<ScriptEntry> take(ScriptEntry::Kind kind, const PortCall& call);

    std::deque<ScriptEntry> script_;
    std::vector<PortCall> calls_;
};

std::string toUtf8(std::u16string_view text);

} // namespace zelvane::testing
