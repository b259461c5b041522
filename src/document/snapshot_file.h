// The snapshot file: headerless pre-order records of kind byte, depth byte and name.
//
// A name is stored in the 8-bit form (each code unit as one byte, then 0x00) when every
// code unit is at most 0xFF, otherwise in the UTF-16 form (FF FF, the code units
// little-endian, then 00 00). A text that begins with two U+00FF characters is written in
// the UTF-16 form too, since its 8-bit form would start with the FF FF marker.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "document/snapshot_tree.h"

namespace zelvane {

class TextOrder;

inline constexpr std::size_t kMaxStoredDepth = 255;

// What a write did, for the caller to report.
struct WriteResult {
    bool opened = false;         // the target could be opened for writing (or a file made)
    bool ok = false;             // every write, the syncs, the close and the rename succeeded
    std::size_t records = 0;     // records written
    std::size_t deepRecords = 0; // records deeper than 255; their depth byte is 255
    // errno of the first failure, 0 when ok. Besides the system's own reasons: EISDIR for
    // a folder and EEXIST for any other target that is not a regular file (a device, a
    // pipe, a socket), which is never replaced; ENOMEM when memory ran out.
    int error = 0;
};

// Serialises the whole tree in pre-order. Appends to out.
WriteResult encodeSnapshot(const SnapshotTree& tree, std::string& out);

// Writes the tree to path as platform::replaceFile does: a link followed, the old file's
// owner and mode kept, the old file intact on any failure. A target that exists and is not a
// regular file is never replaced.
WriteResult writeSnapshotFile(const SnapshotTree& tree, const std::string& path);

// What a read found. roots/folders/files count the nodes as the loaded message reports
// them; the rest describes the file for diagnostics.
struct LoadStats {
    // The file was opened and read to its end. When false, error tells why and the tree is
    // empty: besides the system's own reasons, EISDIR for a folder, EFBIG for an input that
    // is not a regular file and runs past the read limit, ENOMEM when memory ran out.
    bool opened = false;
    int error = 0;
    std::uint32_t roots = 0;
    std::uint32_t folders = 0;
    std::uint32_t files = 0;
    std::size_t records = 0;
    std::size_t deepestLevel = 0;  // largest depth byte seen
    std::size_t utf16Records = 0;  // names in the FF FF form
    std::size_t longNames = 0;     // names over 1023 code units (kept whole)
    std::size_t kindsAbove11 = 0;  // kind bytes with no icon (kept; not a defect)
    bool firstRecordDeep = false;  // the first record's depth was above 0
    std::size_t orphanRecords = 0; // records deeper than 0 whose climb ran out of parents
    std::size_t depthJumps = 0;    // records more than one level below the record before
    bool truncatedName = false;    // the end of the file cut a name short
    bool truncatedRecord = false;  // the file ended after a kind byte
    bool wellFormed() const {
        return !firstRecordDeep && orphanRecords == 0 && depthJumps == 0 && !truncatedName &&
               !truncatedRecord;
    }
};

// An input that is not a regular file (a pipe, a device) is read up to this many bytes,
// more than a snapshot of ten million nodes needs: an endless one cannot fill the memory.
inline constexpr std::uint64_t kMaxStreamBytes = std::uint64_t{256} << 20;

struct ReadLimits {
    std::uint64_t streamBytes = kMaxStreamBytes;
    // The read buffer's first size; it doubles while one record fills most of it.
    std::size_t bufferBytes = std::size_t{1} << 20;
};

// Appends the records in data to the tree (the tree is expected to be empty; loading
// does not sort). Never reads past data; time is linear in its size.
//
// Where a node goes: under the record before when deeper (whatever the jump), beside it
// when as deep, n levels up from its parent when n levels higher, at the top level when
// that climb runs out of parents. A node whose depth byte is 0 counts as a root and is
// bold, and so does a first record deeper than 0; any other node counts as a folder and is
// bold when its kind is 6, else as a file.
LoadStats decodeSnapshot(std::string_view data, SnapshotTree& tree);
// The same counts and findings without building the tree.
LoadStats countSnapshot(std::string_view data);

// Empties the tree, then reads the file at path into it, a piece at a time. On any failure
// the tree is left empty. Given an order, the tree is marked in order (see
// SnapshotTree::inOrder) when the file had every sibling group in that order.
LoadStats readSnapshotFile(const std::string& path, SnapshotTree& tree,
                           const ReadLimits& limits = {}, const TextOrder* order = nullptr);
// The nodes from a top-level node down to the one a streaming read has just met: the texts
// and kinds that the tree the same read builds would hold for them, level 0 at the top.
class ReadChain {
public:
    std::size_t size() const { return size_; }
    // The text in the form the file holds it: one byte a unit, or UTF-16.
    NodeText stored(std::size_t level) const {
        return wide_[level] != 0 ? NodeText(texts_[level]) : NodeText::narrowForm(narrow(level));
    }
    // The text in UTF-16, widened when first asked for.
    std::u16string_view text(std::size_t level) const {
        if (wide_[level] == 0 && widened_[level] == 0) {
            texts_[level].clear();
            NodeText::narrowForm(narrow(level)).appendTo(texts_[level]);
            widened_[level] = 1;
        }
        return texts_[level];
    }
    int kind(std::size_t level) const { return kinds_[level]; }
    // A number of the node that no other node met by any read of this process has.
    std::uint64_t serial(std::size_t level) const { return serials_[level]; }
    // The levels the chain has room for. While it stays the same, the UTF-16 text of a node
    // that stays in the chain stays where it is.
    std::size_t room() const { return texts_.size(); }

private:
    friend class ChainKeeper;
    // The text of a level held in one byte a unit: the last node's may be where the read
    // has it, not copied yet.
    std::string_view narrow(std::size_t level) const {
        return hasPending_ && level + 1 == size_ ? pending_ : std::string_view(bytes_[level]);
    }
    std::string_view pending_;
    bool hasPending_ = false;
    // Beyond size_, kept for their room.
    std::vector<std::string> bytes_;            // the texts in one byte a unit
    mutable std::vector<std::u16string> texts_; // in UTF-16, or widened from bytes_
    std::vector<char> wide_;                    // which of the two holds the text
    mutable std::vector<char> widened_;         // whether texts_ holds bytes_ widened
    std::vector<int> kinds_;
    std::vector<std::uint64_t> serials_;
    std::size_t size_ = 0;
};

// Reads the file as readSnapshotFile does, without building the tree: visit is called for
// every node, in the tree's pre-order, with the chain down to it. When visit returns
// false the read stops there.
LoadStats visitSnapshotFile(const std::string& path,
                            const std::function<bool(const ReadChain&)>& visit,
                            const ReadLimits& limits = {});

// The visits of the parts of a file that visitSnapshotFileInParts reads, and what they make.
class PartVisitor {
public:
    virtual ~PartVisitor() = default;
    // Called for the nodes of a part, in order, with the chain down to each (the levels above
    // the part's first node included); false stops the read after the node.
    virtual bool visit(const ReadChain& chain) = 0;
    // Whether the visits have made so much that it is to be taken before they go on.
    virtual bool full() const { return false; }
};

// Reads the file as visitSnapshotFile does, the visits spread over the processors: the file
// is cut into parts of whole records, and each part is visited, on a helper thread, by a
// visitor that make() gave, in its own chain. Each part's visitor is then given to take(),
// on the calling thread and in the file's order, which takes what the visits made and
// leaves the visitor ready for another part (or for the rest of the part: a visitor that is
// full is taken before it goes on, so that a part's rows need not be held whole). false
// from take() or from a visit stops the
// read; the stats may then count records beyond the stop. Visitors share nothing that is
// changed without a lock; make() is called on the calling thread, a few times at most.
//
// Given needles (byte strings as the file holds names: one byte a unit, or UTF-16
// little-endian), the visits may leave out nodes whose names hold none of them: every node
// whose name holds one is visited, and so are the others of each part that holds one. A
// search for a rare name then reads almost as fast as a count.
LoadStats visitSnapshotFileInParts(const std::string& path,
                                   const std::function<std::unique_ptr<PartVisitor>()>& make,
                                   const std::function<bool(PartVisitor&)>& take,
                                   const ReadLimits& limits = {},
                                   const std::vector<std::string>& needles = {});
// The bytes of records a part holds (more while one record fills most of it), for every
// read of the process; tests make it small. Also at most ReadLimits::bufferBytes.
std::size_t readPartBytes();
void setReadPartBytes(std::size_t bytes);

// The needles of a name that holds units: in UTF-16 little-endian, and in one byte a unit
// when no unit is above U+00FF. None for no units.
std::vector<std::string> needlesFor(std::u16string_view units);

// Reads the file for its counts and findings only, in little memory whatever its size.
LoadStats countSnapshotFile(const std::string& path, const ReadLimits& limits = {});

} // namespace zelvane
