// The rules for a node's text: what a folder stores, what the item dialogs show, the name
// the directory listing gave, and the two forms of the chain of nodes above a node.
//
//   stored text    a root's label, a file's name, a folder's name after one space (so
//                  that a parent's folders sort ahead of its files)
//   display name   the stored text without one leading space, whatever the node
//   listed name    a folder's stored text without its space; any other text unchanged
//                  (a file or a root whose text begins with a space keeps it)
//   column path    the stored texts of the ancestors from the root down, the first after
//                  one space, every other after a backslash: " Root\ Folder" (the search
//                  results' Path column)
//   slash path     the listed names of the ancestors joined by slashes: "Root/Folder"
#pragma once

#include <span>
#include <string>
#include <string_view>

#include "text/stored_text.h"

namespace zelvane {

// Sets text to a folder's stored text: one space, then name.
void assignFolderText(std::u16string& text, std::u16string_view name);

std::u16string_view displayName(std::u16string_view storedText);
// The same for a text in either form (the form it is in).
NodeText displayNameOf(NodeText storedText);

// The stored text of a renamed node: the accepted name, after one space when the old
// stored text began with one (a folder keeps its leading space).
std::u16string renamedText(std::u16string_view oldText, std::u16string_view acceptedName);

// root: the node has no parent (a root's text is its label, whatever its kind).
std::u16string_view listedName(std::u16string_view storedText, int kind, bool root);
// The same for a text in either form.
NodeText listedNameOf(NodeText storedText, int kind, bool root);

// The character put before a text appended to a column path that is empty or not yet.
constexpr char16_t columnSeparator(bool pathEmpty) {
    return pathEmpty ? u' ' : u'\\';
}
inline constexpr char16_t kSlashSeparator = u'/';

// One node above another: its stored text and kind.
struct PathElement {
    std::u16string_view text;
    int kind;
};

// The paths of a node whose ancestors are these, the root first (none for a root: empty).
std::u16string columnPath(std::span<const PathElement> ancestors);
std::u16string slashPath(std::span<const PathElement> ancestors);
// Whether a slash goes between a slash path and its next name: not before the first name,
// nor after a path that ends in one already (a root titled "/media/cd/"). For paths in
// UTF-16 and in UTF-8.
template <class Path> bool slashGoesAfter(const Path& path, bool first) {
    return !first && (path.empty() || path.back() != kSlashSeparator);
}
// Appends name to a slash path, after a slash where one goes.
void appendSlashStep(std::u16string& path, bool first, std::u16string_view name);

} // namespace zelvane
