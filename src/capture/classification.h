// The classification of captured files into node kinds by name and extension.
#pragma once

#include <string>
#include <string_view>

#include "document/snapshot_tree.h"

namespace zelvane {

// base and extension as the scanner splits a name (the extension with its dot, possibly
// empty), as on disk; only a to z are folded for the comparisons. Returns the node kind.
int classifyFile(std::u16string_view base, std::u16string_view extension);

// Splits a file name at its last dot: the extension runs from that dot to the end and is
// empty when there is no dot; the base name is the part before it.
struct NameParts {
    std::u16string_view base;
    std::u16string_view extension;
};
NameParts splitExtension(std::u16string_view name);

// The scan filter: "*" passes every file; otherwise the filter must equal the extension
// without its dot, letter case significant. A name without a dot passes only "*".
bool passesFilter(std::u16string_view filter, std::u16string_view extension);

// Gives node what a captured folder named name has: its stored text (" name"), bold and
// kind 6. text is room for the stored text, reused from folder to folder.
void finishFolderNode(SnapshotTree& tree, NodeId node, std::u16string_view name,
                      std::u16string& text);

} // namespace zelvane
