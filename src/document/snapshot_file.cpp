#include "document/snapshot_file.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace zelvane {

namespace {

constexpr std::size_t kMaxNameUnits = 1023;

void appendRecord(std::string& out, int kind, std::size_t level, std::u16string_view text,
                  WriteResult& result) {
    if (level > kMaxStoredDepth) {
        ++result.deepRecords;
        level = kMaxStoredDepth;
    }
    const std::size_t start = out.size();
    const std::size_t widest = 2 + 2 + text.size() * 2 + 2;
    if (out.capacity() < start + widest) {
        out.reserve(std::max(out.capacity() * 2, start + widest));
    }
    // Optimistically in the 8-bit form, noting on the way whether any unit is wider.
    out.resize(start + 2 + text.size() + 1);
    char* p = out.data() + start;
    *p++ = static_cast<char>(static_cast<unsigned>(kind) & 0xFF);
    *p++ = static_cast<char>(level);
    char16_t high = 0;
    for (char16_t u : text) {
        high |= u;
        *p++ = static_cast<char>(u);
    }
    *p = 0;
    // Two leading U+00FF would read back as the UTF-16 marker, so they need the wide form.
    const bool wide = high > 0xFF || (text.size() >= 2 && text[0] == 0xFF && text[1] == 0xFF);
    if (wide) {
        out.resize(start + widest);
        p = out.data() + start + 2;
        *p++ = '\xFF';
        *p++ = '\xFF';
        for (char16_t u : text) {
            *p++ = static_cast<char>(u & 0xFF);
            *p++ = static_cast<char>(u >> 8);
        }
        *p++ = 0;
        *p = 0;
    }
    ++result.records;
}

bool writeAll(int fd, const char* data, std::size_t size) {
    while (size > 0) {
        const ssize_t written = ::write(fd, data, size);
        if (written < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        data += written;
        size -= static_cast<std::size_t>(written);
    }
    return true;
}

// The path the new file goes to: a link is followed, so that saving through a symbolic
// link updates the file it points to instead of replacing the link.
std::string resolveTarget(const std::string& path) {
    std::string target = path;
    for (int hops = 0; hops < 32; ++hops) {
        struct stat st;
        if (::lstat(target.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) {
            return target;
        }
        std::vector<char> buffer(static_cast<std::size_t>(st.st_size > 0 ? st.st_size : 255) + 1);
        const ssize_t n = ::readlink(target.c_str(), buffer.data(), buffer.size());
        if (n <= 0 || static_cast<std::size_t>(n) >= buffer.size()) {
            return target;
        }
        std::string link(buffer.data(), static_cast<std::size_t>(n));
        if (!link.empty() && link[0] != '/') {
            const std::size_t slash = target.rfind('/');
            link =
                (slash == std::string::npos ? std::string() : target.substr(0, slash + 1)) + link;
        }
        target = link;
    }
    return target;
}

} // namespace

WriteResult encodeSnapshot(const SnapshotTree& tree, std::string& out) {
    WriteResult result;
    result.opened = true;
    walkPreOrder(tree, [&](NodeId node, std::size_t level) {
        appendRecord(out, tree.kind(node), level, tree.text(node), result);
    });
    result.ok = true;
    return result;
}

WriteResult writeSnapshotFile(const SnapshotTree& tree, const std::string& path) {
    WriteResult result;
    const std::string target = resolveTarget(path);
    const std::size_t slash = target.rfind('/');
    const std::string dir =
        slash == std::string::npos ? std::string() : target.substr(0, slash + 1);
    const std::string base = slash == std::string::npos ? target : target.substr(slash + 1);

    struct stat old;
    const bool existed = ::stat(target.c_str(), &old) == 0;
    if (existed && S_ISDIR(old.st_mode)) {
        result.error = EISDIR;
        return result;
    }

    std::string temp = dir + "." + base + ".XXXXXX";
    std::vector<char> name(temp.begin(), temp.end());
    name.push_back('\0');
    const int fd = ::mkstemp(name.data());
    if (fd < 0) {
        result.error = errno;
        return result;
    }
    temp.assign(name.data());
    result.opened = true;
    // mkstemp makes the file private; give it the old file's mode, or the usual one.
    if (existed) {
        ::fchmod(fd, old.st_mode & 07777);
    } else {
        const mode_t mask = ::umask(0);
        ::umask(mask);
        ::fchmod(fd, 0666 & ~mask);
    }

    bool ok = true;
    std::string buffer;
    constexpr std::size_t kFlushAt = std::size_t{1} << 20;
    buffer.reserve(kFlushAt + 4096);
    walkPreOrder(tree, [&](NodeId node, std::size_t level) {
        appendRecord(buffer, tree.kind(node), level, tree.text(node), result);
        if (buffer.size() >= kFlushAt) {
            if (ok && !writeAll(fd, buffer.data(), buffer.size())) {
                ok = false;
                result.error = errno;
            }
            buffer.clear();
        }
    });
    if (ok && !writeAll(fd, buffer.data(), buffer.size())) {
        ok = false;
        result.error = errno;
    }
    if (ok && ::fdatasync(fd) != 0) {
        ok = false;
        result.error = errno;
    }
    if (::close(fd) != 0 && ok) {
        ok = false;
        result.error = errno;
    }
    if (ok && ::rename(temp.c_str(), target.c_str()) != 0) {
        ok = false;
        result.error = errno;
    }
    if (!ok) {
        ::unlink(temp.c_str());
        return result;
    }
    result.ok = true;
    return result;
}

LoadStats decodeSnapshot(std::string_view data, SnapshotTree& tree) {
    LoadStats stats;
    stats.opened = true;
    SnapshotTree::BulkUpdate bulk(tree);

    const auto* p = reinterpret_cast<const unsigned char*>(data.data());
    const std::size_t size = data.size();
    std::size_t pos = 0;
    std::size_t previousDepth = 0;
    NodeId currentParent = kTopLevel;
    NodeId lastNode = kNoNode;
    std::u16string name;

    while (true) {
        if (pos >= size) {
            break;
        }
        if (pos + 1 >= size) {
            stats.truncatedRecord = true; // a kind byte and nothing after it
            break;
        }
        const unsigned kind = p[pos];
        const std::size_t depth = p[pos + 1];
        pos += 2;

        name.clear();
        bool endReached = false;
        if (pos + 1 < size && p[pos] == 0xFF && p[pos + 1] == 0xFF) {
            pos += 2;
            ++stats.utf16Records;
            while (true) {
                if (pos + 1 >= size) {
                    pos = size; // an odd last byte is dropped
                    endReached = true;
                    break;
                }
                const char16_t unit = static_cast<char16_t>(p[pos] | (p[pos + 1] << 8));
                pos += 2;
                if (unit == 0) {
                    break;
                }
                name.push_back(unit);
            }
        } else {
            const void* terminator = pos < size ? std::memchr(p + pos, 0, size - pos) : nullptr;
            const std::size_t end =
                terminator != nullptr
                    ? static_cast<std::size_t>(static_cast<const unsigned char*>(terminator) - p)
                    : size;
            name.resize(end - pos);
            for (std::size_t i = pos; i < end; ++i) {
                name[i - pos] = p[i];
            }
            if (terminator != nullptr) {
                pos = end + 1;
            } else {
                pos = size;
                endReached = true;
            }
        }
        if (endReached) {
            stats.truncatedName = true;
        }

        // Where the node goes: under the last node when deeper (whatever the jump), beside
        // it when as deep, and n levels up from the current parent when n levels higher.
        NodeId parent;
        if (stats.records == 0 && depth > 0) {
            stats.firstRecordDeep = true;
            parent = kTopLevel;
        } else if (depth > previousDepth) {
            if (depth > previousDepth + 1) {
                ++stats.depthJumps;
            }
            parent = lastNode == kNoNode ? kTopLevel : lastNode;
        } else if (depth == previousDepth) {
            parent = currentParent;
        } else {
            parent = currentParent;
            for (std::size_t n = previousDepth - depth; n > 0 && parent != kTopLevel; --n) {
                const NodeId up = tree.parent(parent);
                parent = up == kNoNode ? kTopLevel : up;
            }
            if (parent == kTopLevel && depth > 0) {
                ++stats.orphanRecords;
            }
        }

        const NodeId node = tree.insertLast(parent, name);
        if (node == kNoNode) {
            break; // out of handles
        }
        tree.setKind(node, static_cast<int>(kind));
        if (parent == kTopLevel) {
            // Every top-level node is a root, also one whose depth byte said otherwise.
            tree.setTextAndBold(node, name);
            ++stats.roots;
        } else if (kind == static_cast<unsigned>(kKindFolder)) {
            tree.setTextAndBold(node, name);
            ++stats.folders;
        } else {
            ++stats.files;
        }
        if (kind >= static_cast<unsigned>(kKindCount)) {
            ++stats.kindsAbove11;
        }
        if (name.size() > kMaxNameUnits) {
            ++stats.longNames;
        }
        if (depth > stats.deepestLevel) {
            stats.deepestLevel = depth;
        }
        ++stats.records;

        previousDepth = depth;
        currentParent = parent;
        lastNode = node;
        if (endReached) {
            break;
        }
    }
    return stats;
}

LoadStats readSnapshotFile(const std::string& path, SnapshotTree& tree) {
    tree.removeAll();
    LoadStats stats;
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        stats.error = errno;
        return stats;
    }
    struct stat st;
    if (::fstat(fd, &st) != 0) {
        stats.error = errno;
        ::close(fd);
        return stats;
    }
    if (S_ISDIR(st.st_mode)) {
        stats.error = EISDIR;
        ::close(fd);
        return stats;
    }
    // Read into memory rather than mapping: a file cut short by someone else while it is
    // read must not bring the program down.
    std::string data;
    if (S_ISREG(st.st_mode) && st.st_size > 0) {
        data.reserve(static_cast<std::size_t>(st.st_size));
        tree.reserve(static_cast<std::size_t>(st.st_size) / 16, 0);
    }
    char chunk[65536];
    while (true) {
        const ssize_t n = ::read(fd, chunk, sizeof chunk);
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            stats.error = errno;
            ::close(fd);
            return stats;
        }
        if (n == 0) {
            break;
        }
        data.append(chunk, static_cast<std::size_t>(n));
    }
    ::close(fd);
    return decodeSnapshot(data, tree);
}

} // namespace zelvane
