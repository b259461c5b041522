// The snapshot file: headerless pre-order records of kind byte, depth byte and name.
//
// A name is stored in the 8-bit form (each code unit as one byte, then 0x00) when every
// code unit is at most 0xFF, otherwise in the UTF-16 form (FF FF, the code units
// little-endian, then 00 00). A text that begins with two U+00FF characters is written in
// the UTF-16 form too, since its 8-bit form would start with the FF FF marker.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "document/snapshot_tree.h"

namespace zelvane {

inline constexpr std::size_t kMaxStoredDepth = 255;

// What a write did, for the caller to report.
struct WriteResult {
    bool opened = false;         // the file could be created
    bool ok = false;             // every write, the sync, the close and the rename succeeded
    std::size_t records = 0;     // records written
    std::size_t deepRecords = 0; // records deeper than 255; their depth byte is 255
    int error = 0;               // errno of the first failure, 0 when ok
};

// Serialises the whole tree in pre-order. Appends to out.
WriteResult encodeSnapshot(const SnapshotTree& tree, std::string& out);

// Writes the tree to path without ever destroying the old file: the records go to a
// temporary file beside it, which is synced and then renamed over path. On any failure the
// temporary file is removed and the old file stays as it was.
WriteResult writeSnapshotFile(const SnapshotTree& tree, const std::string& path);

// What a read found. roots/folders/files count the nodes as the loaded message reports
// them; the rest describes the file for diagnostics.
struct LoadStats {
    bool opened = false;
    int error = 0; // errno when the file could not be opened or read
    std::uint32_t roots = 0;
    std::uint32_t folders = 0;
    std::uint32_t files = 0;
    std::size_t records = 0;
    std::size_t deepestLevel = 0;  // largest depth byte seen
    std::size_t utf16Records = 0;  // names in the FF FF form
    std::size_t longNames = 0;     // names over 1023 code units (kept whole)
    std::size_t kindsAbove11 = 0;  // kind bytes with no icon
    bool firstRecordDeep = false;  // the first record's depth was above 0
    std::size_t orphanRecords = 0; // records that had to become roots (no parent at their depth)
    std::size_t depthJumps = 0;    // records more than one level below the record before
    bool truncatedName = false;    // the end of the file cut a name short
    bool truncatedRecord = false;  // the file ended after a kind byte
    bool wellFormed() const {
        return !firstRecordDeep && orphanRecords == 0 && depthJumps == 0 && !truncatedName &&
               !truncatedRecord && kindsAbove11 == 0;
    }
};

// Appends the records in data to the tree (the tree is expected to be empty; loading
// does not sort). Never reads past data; time is linear in its size.
LoadStats decodeSnapshot(std::string_view data, SnapshotTree& tree);

// Empties the tree, then reads the file at path into it. When the file cannot be opened
// the tree stays empty and stats.opened is false.
LoadStats readSnapshotFile(const std::string& path, SnapshotTree& tree);

} // namespace zelvane
