// What the File commands show: their texts, the requests for the file dialogs, the caption
// of a titled document, the report of a load with what the reader found wrong, and the
// "I/O ERROR" box; and how a path taken from the command line is taken apart. The commands
// themselves are the Document's (document/document.h).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "document/snapshot_file.h"
#include "document/ui_port.h"

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

// What the reader found odd in a file, a line each (every line ends in "\n"): "Defect: ..."
// for each finding that keeps it from being well formed, then "Note: ..." for names longer
// than 1023 characters and kinds above 11. Empty when there is nothing to say.
std::string loadFindings(const LoadStats& stats);
// The "Warning" box after a load whose file is not well formed: the title, that the file is
// damaged, and the findings.
std::u16string damagedFileMessage(std::u16string_view title, const LoadStats& stats);

// The question before Save writes over a file that another program changed since it was
// opened or saved: "The file <title> has been changed by another program ...\n\nSave over
// it ?"
std::u16string changedOnDiskText(std::u16string_view title);

// The "I/O ERROR" box's text: the path, and on the line below it the system's reason for
// error (only the reason when the path is empty).
std::u16string ioErrorText(std::u16string_view path, int error);
// Shows the "I/O ERROR" box for path, with the exclamation icon and OK.
void showIoError(UiPort& ui, std::u16string_view path, int error);

// A path taken apart: directory with its trailing "/", base name, and extension with its
// dot (from the last dot of the file name). dir + base + ext gives the path back.
struct PathParts {
    std::u16string dir;
    std::u16string base;
    std::u16string ext;
};
PathParts splitPath(std::u16string_view path);

} // namespace zelvane
