#include "capture/directory_scanner.h"

#include <algorithm>
#include <cerrno>
#include <string>
#include <sys/stat.h>

#include "capture/classification.h"
#include "platform/descriptor.h"
#include "text/text.h"
#include "text/utf.h"

namespace zelvane {

namespace {

constexpr std::size_t kNone = static_cast<std::size_t>(-1);

// Directories held open along the current path at most: deeper ones close the uppermost,
// which are opened again by name should they be needed. Keeps a deep tree from taking
// every file descriptor of the process (the rest of the program needs some too).
constexpr std::size_t kMaxOpenLevels = 64;

std::u16string progressText(std::uint32_t folders, std::uint32_t files) {
    return u"Scanning...\n" + decimalText(folders) + u" folder(s) and " + decimalText(files) +
           u" file(s) found...";
}

} // namespace

DirectoryScanner::DirectoryScanner(SnapshotTree& tree, ScanState& state, ScanObserver& observer,
                                   const ScanRules& rules, const SizeReader::Limits& sizes)
    : tree_(tree), state_(state), observer_(observer), rules_(rules), sizes_(sizes) {
    if (rules_.archiveDepth > 0) {
        ArchiveLimits limits;
        limits.depth = rules_.archiveDepth;
        archives_ = std::make_unique<ArchiveLister>(
            tree_, state_, observer_, limits,
            [this](std::u16string_view extension) { return passes(extension); });
    }
}

// Lists below node the members of the file name of the deepest open level, when it is an
// archive.
void DirectoryScanner::listArchive(std::string_view name, NodeId node) {
    const std::size_t top = depth_ - 1;
    if (!ensureOpen(top)) {
        return;
    }
    int fd = frames_[top].dir.openFile(name);
    if (fd < 0 && platform::isOutOfDescriptors(errno) && sizes_.drain()) {
        fd = frames_[top].dir.openFile(name);
    }
    const platform::Descriptor file(fd);
    struct stat info;
    if (file.valid() && ::fstat(file.get(), &info) == 0 && S_ISREG(info.st_mode)) {
        members_ += archives_->listFile(file.get(), static_cast<std::uint64_t>(info.st_size), node,
                                        pathOnDisk(name));
    }
}

bool DirectoryScanner::passes(std::u16string_view extension) const {
    if (rules_.extensions.empty()) {
        return passesFilter(state_.filter, extension);
    }
    if (extension.empty()) {
        return false;
    }
    for (const std::u16string& wanted : rules_.extensions) {
        if (rules_.extensionsIgnoreCase ? equalsIgnoringCase(extension.substr(1), wanted)
                                        : extension.substr(1) == wanted) {
            return true;
        }
    }
    return false;
}

bool DirectoryScanner::excluded(std::string_view name) {
    if (!rules_.excluded) {
        return false;
    }
    // The folder's part of the path is joined once for each folder, not for each entry.
    const NodeId folder = frames_[depth_ - 1].node;
    if (folder != prefixFolder_) {
        prefixFolder_ = folder;
        prefix_.clear();
        for (std::size_t level = 1; level < depth_; ++level) {
            prefix_.append(frames_[level].name).append("/");
        }
    }
    relative_.assign(prefix_).append(name);
    return rules_.excluded(name, relative_);
}

DirectoryScanner::Frame& DirectoryScanner::pushFrame(NodeId node, std::string_view name) {
    if (depth_ == frames_.size()) {
        frames_.emplace_back();
    }
    Frame& frame = frames_[depth_++];
    frame.dir.close();
    frame.listing.clear();
    frame.name.assign(name);
    frame.next = 0;
    frame.node = node;
    frame.identity = {};
    frame.onPath = false;
    frame.total = 0;
    frame.stop = false;
    frame.childName.clear();
    frame.childNode = kNoNode;
    return frame;
}

void DirectoryScanner::pumpIfDue() {
    const std::uint32_t sum = state_.folders + state_.files;
    if (sum % 8 != 7) {
        return;
    }
    observer_.pump();
    if (sum % 128 == 127) {
        observer_.setProgressText(progressText(state_.folders, state_.files));
    }
}

// Closes about half of the open levels, the uppermost first, except the level inUse.
// False when there was nothing to close. Only the root and the lowest kMaxOpenLevels
// levels can be open, so only they are looked at.
bool DirectoryScanner::closeUpperLevels(std::size_t inUse) {
    const std::size_t low = depth_ > kMaxOpenLevels ? depth_ - kMaxOpenLevels : 1;
    std::vector<std::size_t> open;
    for (std::size_t i = 0; i < depth_; i = i == 0 ? std::max(low, i + 1) : i + 1) {
        if (i != inUse && frames_[i].dir.isOpen()) {
            open.push_back(i);
        }
    }
    for (std::size_t i = 0; i < (open.size() + 1) / 2; ++i) {
        frames_[open[i]].dir.close();
    }
    return !open.empty();
}

// The walk leaves the top level for the one above it, which was closed: it is opened as
// ".." of the top level when that is still the same directory (neither was moved since).
void DirectoryScanner::reopenParent() {
    const std::size_t top = depth_ - 1;
    Frame& up = frames_[top - 1];
    platform::Directory parent =
        openWithRetry(top, [&] { return frames_[top].dir.openChild(".."); });
    if (parent.isOpen() && parent.identity() == up.identity) {
        up.dir = std::move(parent);
    }
}

// The path on disk of the top level: the root's path as given, then the names below it.
std::string DirectoryScanner::pathOnDisk(std::string_view name) const {
    std::string where = rootPath_;
    for (std::size_t level = 1; level <= depth_; ++level) {
        const std::string_view step = level < depth_ ? std::string_view(frames_[level].name) : name;
        if (step.empty()) {
            break;
        }
        if (where.empty() || where.back() != '/') {
            where += '/';
        }
        where += step;
    }
    return where;
}

template <class Open>
platform::Directory DirectoryScanner::openWithRetry(std::size_t inUse, Open open) {
    platform::Directory dir = open();
    while (!dir.isOpen() && platform::isOutOfDescriptors(dir.error()) &&
           (sizes_.drain() || closeUpperLevels(inUse))) {
        dir = open();
    }
    return dir;
}

// Makes sure the directory of level index is open, opening it again from the nearest open
// level above it (one name at a time, so no path grows too long) when it was closed.
bool DirectoryScanner::ensureOpen(std::size_t index) {
    if (frames_[index].dir.isOpen()) {
        return true;
    }
    if (index == 0) {
        frames_[0].dir =
            openWithRetry(kNone, [&] { return platform::Directory::openPath(rootPath_); });
        return frames_[0].dir.isOpen();
    }
    std::size_t from = index - 1;
    while (from > 0 && !frames_[from].dir.isOpen()) {
        --from;
    }
    if (!ensureOpen(from)) {
        return false;
    }
    platform::Directory step;
    const platform::Directory* parent = &frames_[from].dir;
    for (std::size_t level = from + 1; level <= index; ++level) {
        platform::Directory next = openWithRetry(level - 1 == from ? from : kNone, [&] {
            return parent->openChild(frames_[level].name);
        });
        if (!next.isOpen()) {
            return false;
        }
        if (level == index) {
            frames_[index].dir = std::move(next);
        } else {
            step = std::move(next);
            parent = &step;
        }
    }
    return true;
}

std::uint64_t DirectoryScanner::ScanDirectory(std::u16string_view path, NodeId parent) {
    rootPath_ = utf16ToUtf8(path);
    prefixFolder_ = kNoNode; // a node id may be used again by another scan
    sizes_.take();           // what a scan cut short by an exception left
    {
        Frame& root = pushFrame(parent, {});
        root.dir = openWithRetry(kNone, [&] { return platform::Directory::openPath(rootPath_); });
        if (!root.dir.isOpen()) {
            depth_ = 0;
            return 0;
        }
        if (!root.dir.readAll(root.listing)) {
            observer_.folderUnreadable(rootPath_, errno != 0 ? errno : EIO);
        }
        rootDevice_ = rules_.oneFileSystem ? root.dir.device() : 0;
        onPath_.clear();
        root.identity = root.dir.identity();
        root.onPath = onPath_.insert(root.identity).second;
    }

    for (;;) {
        const std::size_t top = depth_ - 1;
        Frame& frame = frames_[top];
        if (frame.stop || frame.next >= frame.listing.size()) {
            // This directory is done: close it and finish its folder node one level up.
            sizes_.flush();
            const std::uint64_t total = frame.total;
            if (depth_ > 1 && frame.dir.isOpen() && !frames_[depth_ - 2].dir.isOpen()) {
                reopenParent();
            }
            frames_[depth_ - 1].dir.close();
            if (frames_[depth_ - 1].onPath) {
                onPath_.erase(frames_[depth_ - 1].identity);
            }
            --depth_;
            if (depth_ == 0) {
                return total + sizes_.take();
            }
            Frame& up = frames_[depth_ - 1];
            finishFolderNode(tree_, up.childNode, up.childName, folderText_);
            up.total += total;
            if (state_.stopRequested) {
                up.stop = true;
            }
            continue;
        }

        const std::size_t index = frame.next++;
        pumpIfDue();
        const std::string_view name = frame.listing.name(index);
        if (name == "." || name == "..") {
            continue;
        }
        const platform::DirectoryEntry entry = frame.listing[index];
        if (excluded(name)) {
            continue;
        }
        if (entry.type == platform::EntryType::Directory) {
            if (state_.stopRequested) {
                frame.stop = true;
                continue;
            }
            ++state_.folders;
            widen(name, frame.childName);
            frame.childNode = tree_.insertLast(frame.node, frame.childName);
            sizes_.flush(); // before the frames may move
            platform::Directory child;
            if (ensureOpen(top)) {
                child = openWithRetry(top, [&] { return frames_[top].dir.openChild(name); });
            }
            if (depth_ >= kMaxOpenLevels) {
                frames_[depth_ - kMaxOpenLevels].dir.close();
            }
            // pushFrame may move the frames: nothing of frame is used after this point.
            const NodeId childNode = frames_[top].childNode;
            const std::string childBytes(name);
            int error = child.isOpen() ? 0 : child.error();
            Frame& below = pushFrame(childNode, childBytes);
            below.dir = std::move(child);
            // Another file system's folder is captured, but not what it holds.
            const bool mounted =
                rules_.oneFileSystem && below.dir.isOpen() && below.dir.device() != rootDevice_;
            below.identity = below.dir.identity();
            if (below.identity != platform::DirectoryIdentity{} &&
                !onPath_.insert(below.identity).second) {
                below.dir.close(); // captured empty: the walk is inside it already
                observer_.folderLoop(pathOnDisk());
                continue;
            }
            below.onPath = below.identity != platform::DirectoryIdentity{};
            if (!mounted && below.dir.isOpen() && !below.dir.readAll(below.listing)) {
                error = errno;
            }
            if (error != 0 || !below.dir.isOpen()) {
                observer_.folderUnreadable(pathOnDisk(), error != 0 ? error : EIO);
            }
            continue;
        }

        widen(name, fileName_);
        const NameParts parts = splitExtension(fileName_);
        if (!passes(parts.extension)) {
            continue;
        }
        ++state_.files;
        const int kind = classifyFile(parts.base, parts.extension);
        if (!entry.sizeKnown && entry.type == platform::EntryType::File && ensureOpen(top)) {
            sizes_.add(frames_[top].dir, name);
        }
        frames_[top].total += entry.size;
        const NodeId node = tree_.insertLast(frames_[top].node, fileName_);
        tree_.setKind(node, kind);
        if (archives_ && entry.type == platform::EntryType::File) {
            listArchive(name, node);
        }
    }
}

} // namespace zelvane
