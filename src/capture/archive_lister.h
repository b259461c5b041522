// Archive contents: the members of a file that libarchive can list, as nodes below the
// file's own node. Nothing of an archive is ever written to disk.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "capture/scan_state.h"
#include "document/snapshot_file.h"
#include "document/snapshot_tree.h"

struct archive;

namespace zelvane {

// The bounds of one archive on disk, the archives inside it included. On each the listing
// stops, keeps what it has and says why.
inline constexpr std::size_t kMaxArchiveMembers = 1'000'000;              // entries read
inline constexpr std::uint64_t kMaxArchiveBytes = std::uint64_t{1} << 30; // decompressed
inline constexpr std::chrono::milliseconds kMaxArchiveTime{10'000};
// The deepest tree level a member may take (the snapshot file's deepest); deeper members
// are left out.
inline constexpr std::size_t kMaxMemberLevel = kMaxStoredDepth;
// Archives inside archives are read from memory: at most this much is held at once, and a
// larger one is listed as a plain file.
inline constexpr std::size_t kMaxHeldBytes = std::size_t{256} << 20;
inline constexpr unsigned kDefaultArchiveDepth = 2;
inline constexpr unsigned kMaxArchiveDepth = 16;

struct ArchiveLimits {
    std::size_t members = kMaxArchiveMembers;
    std::uint64_t bytes = kMaxArchiveBytes;
    std::chrono::milliseconds time = kMaxArchiveTime;
    std::size_t held = kMaxHeldBytes;
    unsigned depth = kDefaultArchiveDepth; // 1: only the archives on disk are opened
};

// Whether a file whose first bytes are head (up to 512) may be an archive, so that it is
// worth handing to libarchive; disc is what stands at byte 32769 (empty when the file is
// shorter), where disc images say what they are.
bool mayBeArchive(std::string_view head, std::string_view disc);

class ArchiveLister {
public:
    // passes: whether a member file with this extension (with its dot) is captured.
    ArchiveLister(SnapshotTree& tree, ScanState& state, ScanObserver& observer,
                  const ArchiveLimits& limits,
                  std::function<bool(std::u16string_view extension)> passes);

    // When the regular file open as fd (size bytes, at path on disk) is an archive, appends
    // its members below node: folders as folders (" name", bold, kind 6), those it only
    // implies by a member's path included, each once; files classified by their names.
    // A bound, a damaged, truncated or encrypted archive keeps what was listed and is told
    // to the observer once. Returns the nodes added.
    std::size_t listFile(int fd, std::uint64_t size, NodeId node, std::string_view path);

private:
    struct Budget;
    void listArchive(::archive* a, NodeId node, unsigned depth, const std::string& path,
                     Budget& budget);
    NodeId folder(NodeId parent, std::u16string_view name);
    bool spent(Budget& budget) const;

    SnapshotTree& tree_;
    ScanState& state_;
    ScanObserver& observer_;
    const ArchiveLimits limits_;
    std::function<bool(std::u16string_view)> passes_;
    std::vector<char> file_; // the archive on disk, when small enough to be read whole
    std::unordered_map<std::u16string, NodeId> folders_; // by parent and name
    std::vector<std::string_view> names_;
    std::u16string name_;
    std::u16string key_;
    std::u16string text_; // a folder's stored text
    std::size_t added_ = 0;
};

} // namespace zelvane
