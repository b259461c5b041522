// The directory scanner: captures one directory tree from disk into the snapshot.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "capture/archive_lister.h"
#include "capture/scan_state.h"
#include "capture/size_reader.h"
#include "document/snapshot_tree.h"
#include "platform/directory.h"

namespace zelvane {

class DirectoryScanner {
public:
    DirectoryScanner(SnapshotTree& tree, ScanState& state, ScanObserver& observer,
                     const ScanRules& rules = {}, const SizeReader::Limits& sizes = {});

    // Appends under parent a node for every folder and every file of the directory at path
    // that passes the scan filter, folders with their whole content, and returns the total
    // size in bytes of the files captured. Folders get the text " name", bold and kind 6
    // once their content is in; files their name as on disk and the kind of their
    // extension. Updates the counters of the scan state, calls the observer's pump every 8
    // added items and sets the progress text every 128; after every folder, and before it
    // enters one, it stops when a stop was requested. A folder that is one of those it lies
    // in (a file system that contains itself) is captured empty and told to the observer.
    //
    // Symbolic links are captured as files and never followed. A directory that cannot be
    // opened or read has no children (or keeps those read before the error). There is no
    // depth limit: the walk keeps its own stack, holds at most 64 directories open, and
    // when the process runs out of file descriptors all the same it closes those of the
    // upper levels. Coming back to a closed level it opens it again as ".." of the level it
    // leaves, when that is still the same directory, or else by name from the nearest open
    // level above; either way each level costs a few opens, however deep the tree.
    //
    // The files' sizes are asked on a second thread (see SizeReader), which holds a few
    // descriptors more; it gives them back before the walk closes a level for want of one.
    std::uint64_t ScanDirectory(std::u16string_view path, NodeId parent);
    // With the rules' archiveDepth, the nodes added for archive members (not counted as
    // folders or files, nor in the size).
    std::uint64_t members() const { return members_; }

private:
    struct Frame {
        platform::Directory dir;
        platform::DirectoryListing listing;
        std::string name; // the directory's name in its parent (for opening it again)
        std::size_t next = 0;
        NodeId node = kNoNode;
        platform::DirectoryIdentity identity{};
        bool onPath = false; // identity is in onPath_
        std::uint64_t total = 0;
        bool stop = false;
        // The folder entry whose content is being scanned one level down.
        std::u16string childName;
        NodeId childNode = kNoNode;
    };

    Frame& pushFrame(NodeId node, std::string_view name);
    void pumpIfDue();
    bool ensureOpen(std::size_t index);
    template <class Open> platform::Directory openWithRetry(std::size_t inUse, Open open);
    bool closeUpperLevels(std::size_t inUse);
    void reopenParent();
    // The path on disk of the folder being listed, or of its entry name when one is given.
    std::string pathOnDisk(std::string_view name = {}) const;
    bool passes(std::u16string_view extension) const;
    bool excluded(std::string_view name);
    void listArchive(std::string_view name, NodeId node);

    SnapshotTree& tree_;
    ScanState& state_;
    ScanObserver& observer_;
    const ScanRules rules_;
    std::uint64_t rootDevice_ = 0;
    std::string relative_; // the path below the root of the entry being looked at
    std::string prefix_;   // the path below the root of prefixFolder_, with a final /
    NodeId prefixFolder_ = kNoNode;
    std::string rootPath_;
    std::vector<Frame> frames_;                    // frames_[0 .. depth_-1] are the open levels
    std::set<platform::DirectoryIdentity> onPath_; // the folders the walk is in
    std::size_t depth_ = 0;
    std::u16string fileName_;   // the file being added
    std::u16string folderText_; // the final text of the folder being finished
    std::unique_ptr<ArchiveLister> archives_;
    SizeReader sizes_;
    std::uint64_t members_ = 0;
};

} // namespace zelvane
