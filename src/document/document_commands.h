// What the File commands show: their texts, the requests for the file dialogs, the caption
// of a titled document and the report of a load; and how a path taken from the command
// line is taken apart. The commands themselves are the Document's (document/document.h).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

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

// A path taken apart: directory with its trailing "/", base name, and extension with its
// dot (from the last dot of the file name). dir + base + ext gives the path back.
struct PathParts {
    std::u16string dir;
    std::u16string base;
    std::u16string ext;
};
PathParts splitPath(std::u16string_view path);

} // namespace zelvane
