// The File commands: New, Open, Save, Save As, Exit, opening the file named on the command
// line, and the save prompt, with the snapshot file's messages and the window caption.
//
// The commands decide everything and talk to the user only through the UiPort.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "document/document_state.h"
#include "document/snapshot_tree.h"
#include "document/ui_port.h"
#include "text/text.h"

namespace zelvane {

inline constexpr std::u16string_view kUntitledTitle = u"Untitled.zelv";
inline constexpr std::u16string_view kProgramCaption = u"Zelvane";
inline constexpr std::u16string_view kTitleCaptionSuffix = u" - Zelvane";
// Entries separated by "|": description, pattern, description, pattern, ..., then "||".
inline constexpr std::u16string_view kSnapshotFileFilter =
    u"Zelvane Files (*.zelv)|*.zelv|All Files (*.*)|*.*||";
inline constexpr std::u16string_view kSnapshotDefaultExtension = u"zelv";
inline constexpr std::u16string_view kOpenInitialName = u"*.zelv";
inline constexpr std::u16string_view kSaveChangesText = u"Save changes ?";
inline constexpr std::u16string_view kDeepOverflowText =
    u"DEEP OVERFLOW ERROR!\nMAX DEEP LEVEL IS 255.\n\nFILE WILL BE SAVED WITH ERRORS!";

// Splits a "description|pattern|...||" filter into its entries. An entry without its
// pattern is dropped.
std::vector<FileFilter> parseFileFilter(std::u16string_view filter);
FileDialogRequest openDialogRequest();
FileDialogRequest saveAsDialogRequest(std::u16string_view title);

// The caption for a document with this title: the title followed by " - Zelvane".
std::u16string titledCaption(std::u16string_view title);
// "<title> successfuly opened.\n\nRoots:\t<n>\nFolders:\t<n>\nFiles:\t<n>"
std::u16string loadedMessage(std::u16string_view title, std::uint32_t roots, std::uint32_t folders,
                             std::uint32_t files);

// A path taken apart: directory with its trailing "/", base name, and extension with its
// dot (from the last dot of the file name). dir + base + ext gives the path back.
struct PathParts {
    std::u16string dir;
    std::u16string base;
    std::u16string ext;
};
PathParts splitPath(std::u16string_view path);

class DocumentCommands {
public:
    // appName is the caption of the save prompt and of the depth warning; saveSettings is
    // run by Exit before the main window ends.
    DocumentCommands(SnapshotTree& tree, DocumentState& state, UiPort& port, std::u16string appName,
                     std::function<void()> saveSettings);

    // Each returns whether it did its work; false when the user cancelled, a file could not
    // be read or written, or a save the user asked for did not happen.
    bool OnFileNew();
    bool OnFileOpen();
    bool OnFileSave();
    bool OnFileSaveAs();
    // Ends the main window's run with 0 unless a save the user asked for failed.
    bool OnFileExit();
    // Offers to save a modified snapshot. True when the caller may go on: nothing to save,
    // the user answered No, or the save succeeded.
    bool AskToSave();
    // Opens the snapshot named by the command-line argument (no prompt: nothing is open
    // yet). An empty argument does nothing.
    bool OpenFromCommandLine(std::u16string_view argument);

    // Writes the tree to the current path. False, with "I/O ERROR", when the file could
    // not be written; the file on disk is then the one from before.
    bool SaveSnapshot();
    // Empties the tree and fills it from the current path, then reports the counts.
    bool LoadSnapshot();

    const std::u16string& appName() const { return appName_; }

private:
    void showIoError();
    void adopt(const ChosenFile& file);

    SnapshotTree& tree_;
    DocumentState& state_;
    UiPort& port_;
    std::u16string appName_;
    std::function<void()> saveSettings_;
};

} // namespace zelvane
