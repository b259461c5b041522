// Snapshots of trees that are not mounted folders: listings made by other tools, read into
// one new root that is classified and sorted as a capture is.
//
//   paths  one path a line, or a NUL after each (find -print0): "./" at the start, "."
//          steps and empty steps ("a//b") are dropped; a path ending in "/" or holding
//          other paths is a folder, any other a file; a path given twice is one node.
//          When the first path holds every other one (find DIR, tar of one folder), it is
//          the listing's root path and its content goes straight under the new root.
//   ncdu   the JSON export of a disk-usage scan: [major, minor, {metadata}, [dir info,
//          children...]], where a child is an object (a file) or an array (a folder);
//          the top folder's name is the root path and the files' "asize" the total size.
//
// A listing either reads whole or not at all: the first fault ("line N: ..." for paths,
// "byte N: ..." for JSON, both counted from 1) leaves the tree untouched.
#pragma once

#include <cstdint>
#include <deque>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "document/snapshot_tree.h"
#include "document/tree_order.h"

namespace zelvane {

enum class ListingForm { Paths, NulPaths, Ncdu };

struct Listing {
    struct Entry {
        std::uint32_t parent; // an earlier entry; entry 0 is the new root
        std::string_view name;
        bool folder = false;
        bool dropped = false; // the steps above the listing's root path
        std::uint64_t size = 0;
    };
    std::vector<Entry> entries;
    std::optional<std::string> rootPath; // the listing's own root, when it names one
    std::string error;                   // empty when the listing was read
    std::deque<std::string> decoded;     // the names that held escapes, as bytes
};

// Reads data (which must outlive the listing) in the given form. A listing with an error
// is not to be added.
Listing readListing(std::string_view data, ListingForm form);

struct ImportOutcome {
    NodeId root = kNoNode;
    std::uint32_t folders = 0;
    std::uint32_t files = 0;
    std::uint64_t total = 0; // bytes, when the listing gives sizes
};

// Appends the listing as a new root labelled label (kind 9, bold), its folders as a
// capture makes them (" name", bold, kind 6), its files of the kind their name gives, then
// sorts the tree as a capture does.
ImportOutcome addListing(SnapshotTree& tree, const Listing& listing, std::u16string_view label,
                         const TextOrder& order);

} // namespace zelvane
