// The one narrow interface through which commands talk to the user. The desktop program
// implements it with Qt windows; tests implement it with a scripted double. Commands
// decide everything; the port only shows and asks.
//
// Subsystems whose commands need their own dialogs extend this with an interface of
// their own in their folder (the main window implements all of them).
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace zelvane {

enum class MessageIcon { None, Information, Exclamation, Question, Error };
enum class MessageButtons { Ok, YesNo };
enum class MessageAnswer { Ok, Yes, No };

struct FileFilter {
    std::u16string description; // "Zelvane Files (*.zelv)"
    std::u16string pattern;     // "*.zelv"
};

struct FileDialogRequest {
    enum class Kind { Open, Save };
    Kind kind = Kind::Open;
    std::vector<FileFilter> filters;
    std::u16string defaultExtension; // appended when the user types a name without one
    std::u16string initialName;
    bool overwritePrompt = false;
    bool fileMustExist = false;
};

struct ChosenFile {
    std::u16string path;  // full path, as the user chose it
    std::u16string title; // the file's name with its extension, without its directory
};

class UiPort {
public:
    virtual ~UiPort() = default;
    // A modal message box owned by the main window. Returns the button pressed.
    virtual MessageAnswer messageBox(std::u16string_view text, std::u16string_view caption,
                                     MessageIcon icon, MessageButtons buttons) = 0;
    // A modal open or save dialog; nullopt when the user cancels.
    virtual std::optional<ChosenFile> fileDialog(const FileDialogRequest& request) = 0;
    // The main window's caption.
    virtual void setCaption(std::u16string_view caption) = 0;
    // Ends the main window's modal run with result; the program ends after it.
    virtual void endMainWindow(int result) = 0;
};

} // namespace zelvane
