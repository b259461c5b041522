// The one narrow interface through which commands talk to the user. The desktop program's
// main window implements it with Qt windows; the tests implement it with a scripted double
// that records every call. Commands decide everything; the port only shows and asks.
//
// Each dialog is a plain struct of what it shows (filled by the command) and what the user
// did (filled by the dialog), declared beside the command that runs it, so that this layer
// names the dialogs without depending on the subsystems.
#pragma once

#include <cstddef>
#include <functional>
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

struct AddTreeDialog;        // capture/add_tree_command.h
struct ItemPropertiesDialog; // items/item_commands.h
struct RenameItemDialog;     // items/item_commands.h
struct SearchDialog;         // search/search_command.h
class SearchResults;         // search/search_engine.h
class AboutBoxHandlers;      // about/about_command.h

class UiPort {
public:
    virtual ~UiPort() = default;

    // --- Every command ---

    // A modal message box owned by the window on top (the main window, or the dialog
    // that is running). Returns the button pressed.
    virtual MessageAnswer messageBox(std::u16string_view text, std::u16string_view caption,
                                     MessageIcon icon, MessageButtons buttons) = 0;
    // A modal open or save dialog; nullopt when the user cancels.
    virtual std::optional<ChosenFile> fileDialog(const FileDialogRequest& request) = 0;
    // The main window's caption.
    virtual void setCaption(std::u16string_view caption) = 0;
    // Ends the main window's modal run with result; the program ends after it.
    virtual void endMainWindow(int result) = 0;

    // --- The dialogs, each run modally over the main window ---

    // "Add Tree" (template 136).
    virtual void runAddTreeDialog(AddTreeDialog& dialog) = 0;
    // "Item Properties".
    virtual void showItemProperties(ItemPropertiesDialog& dialog) = 0;
    // "Rename Item". Its OK hands the typed text to confirmNewName.
    virtual void runRenameItem(RenameItemDialog& dialog) = 0;
    // "Search" (template 272). Its Search button hands the fields to confirmSearchDialog.
    virtual void runSearchDialog(SearchDialog& dialog) = 0;

    // --- The Search Results window (template 273), in the order the command uses it ---

    // Creates the window and shows it, with its two columns and no rows.
    virtual void openSearchResults() = 0;
    // Puts the rows in the list in their order and fits the columns and the window.
    // results stays alive and unchanged until closeSearchResults().
    virtual void showSearchResults(const SearchResults& results) = 0;
    // Leaves the window to the user until it is closed. Each double-click on the list
    // calls activated with the first selected row, or nullopt when none is selected.
    virtual void
    runSearchResults(const std::function<void(std::optional<std::size_t>)>& activated) = 0;
    // Ends the window and destroys it.
    virtual void closeSearchResults() = 0;

    // --- The About box ---

    // Runs the box until it is closed; its buttons call handlers.
    virtual void runAboutBox(AboutBoxHandlers& handlers) = 0;
    // Asks the desktop to open address in the user's browser; where none can be started,
    // shows the address in an "Information" box to be copied.
    virtual void openWebPage(std::string_view address) = 0;
    // A modal read-only window captioned "License", holding the whole text with a scroll
    // bar and an OK button.
    virtual void showLicenseWindow(std::u16string_view text) = 0;
};

} // namespace zelvane
