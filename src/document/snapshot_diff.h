// What was added and what was removed between two snapshots of the same media.
//
// Nodes are compared by path: the stored texts from the root down, compared code unit by
// code unit (a folder's leading space included, so a folder never pairs with a file of
// the same name). Kinds are not compared. When siblings share a text, they pair up in
// order of appearance: the first such child of a folder in the old snapshot with the first
// in the new one, the second with the second, and so on; the rest are removed or added.
//
// Order of the entries: the pre-order of a merged tree. Under every folder (or the top
// level) present in both snapshots, the children both hold are visited in the old
// snapshot's order; a child only one snapshot holds comes right after the child before it
// in its own snapshot. Where removed and added children meet between two shared ones, an
// optional text order decides which goes first (the snapshot's own sort order makes the
// entries follow a sorted tree); without one the removed go first. A removed or added
// node is followed by every node of its subtree, each as an entry of its own.
#pragma once

#include <cstddef>
#include <functional>
#include <string_view>
#include <vector>

#include "document/snapshot_tree.h"

namespace zelvane {

enum class DiffChange : char {
    Removed = '-', // the node is in the old snapshot only
    Added = '+',   // the node is in the new snapshot only
};

struct DiffEntry {
    DiffChange change;
    NodeId node;       // in the old snapshot when removed, in the new one when added
    std::size_t level; // 0 for a root
};

// True when the first text sorts before the second.
using TextBefore = std::function<bool(NodeText, NodeText)>;

// Time is linear in the sizes of the snapshots where siblings keep their order, and
// n log n in the children of a folder whose children differ. Each entry is given to emit
// as it is found, so that memory stays in proportion to the widest folder and the depth,
// however many entries there are.
void diffSnapshots(const SnapshotTree& oldTree, const SnapshotTree& newTree,
                   const TextBefore& before, const std::function<void(const DiffEntry&)>& emit);
// The same, the entries gathered.
std::vector<DiffEntry> diffSnapshots(const SnapshotTree& oldTree, const SnapshotTree& newTree,
                                     const TextBefore& before = {});

} // namespace zelvane
