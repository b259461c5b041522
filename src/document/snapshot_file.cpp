#include "document/snapshot_file.h"

#include <algorithm>
#include <atomic>
#include <bit>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <new>
#include <optional>
#include <stdexcept>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "document/tree_order.h"
#include "platform/descriptor.h"
#include "platform/replace_file.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace zelvane {

namespace {

constexpr std::size_t kMaxNameUnits = 1023;

// ---------------------------------------------------------------------------------------
// Writing

void appendRecord(std::string& out, int kind, std::size_t level, NodeText stored,
                  WriteResult& result) {
    if (level > kMaxStoredDepth) {
        ++result.deepRecords;
        level = kMaxStoredDepth;
    }
    const std::size_t start = out.size();
    const std::size_t widest = 2 + 2 + stored.size() * 2 + 2;
    if (out.capacity() < start + widest) {
        out.reserve(std::max(out.capacity() * 2, start + widest));
    }
    // A text held in one byte a unit is in the 8-bit form already.
    out.resize(start + 2 + stored.size() + 1);
    char* p = out.data() + start;
    *p++ = static_cast<char>(static_cast<unsigned>(kind) & 0xFF);
    *p++ = static_cast<char>(level);
    char16_t high = 0;
    if (stored.isWide()) {
        for (char16_t u : stored.wide()) {
            high |= u;
            *p++ = static_cast<char>(u);
        }
    } else {
        std::memcpy(p, stored.narrow().data(), stored.size());
        p += stored.size();
    }
    *p = 0;
    // Two leading U+00FF would read back as the UTF-16 marker, so they need the wide form.
    const bool wide = high > 0xFF || (stored.size() >= 2 && stored[0] == 0xFF && stored[1] == 0xFF);
    if (wide) {
        out.resize(start + widest);
        p = out.data() + start + 2;
        *p++ = '\xFF';
        *p++ = '\xFF';
        for (std::size_t i = 0; i < stored.size(); ++i) {
            const char16_t u = stored[i];
            *p++ = static_cast<char>(u & 0xFF);
            *p++ = static_cast<char>(u >> 8);
        }
        *p++ = 0;
        *p = 0;
    }
    ++result.records;
}

// Writes every record to fd; the errno of the first failure, or 0.
int writeRecords(const SnapshotTree& tree, int fd, WriteResult& result) {
    result.records = 0;
    result.deepRecords = 0;
    int error = 0;
    std::string buffer;
    constexpr std::size_t kFlushAt = std::size_t{1} << 20;
    buffer.reserve(kFlushAt + 4096);
    walkPreOrder(tree, [&](NodeId node, std::size_t level) {
        appendRecord(buffer, tree.kind(node), level, tree.text(node), result);
        if (buffer.size() >= kFlushAt) {
            if (error == 0) {
                error = platform::writeAll(fd, buffer);
            }
            buffer.clear();
        }
    });
    return error != 0 ? error : platform::writeAll(fd, buffer);
}

// ---------------------------------------------------------------------------------------
// Reading

} // namespace

// Fills a ReadChain as the records come.
class ChainKeeper {
public:
    ChainKeeper() : serials_(++reads_ << 40) {}
    ReadChain chain;
    // Makes the node of kind the last one, level deep, with its text in one byte a unit,
    // the bytes at name: they are copied only when settle() is called while they are the
    // last node's, which must be before they change and before the node is read.
    void placeNarrow(std::size_t level, int kind, const unsigned char* name, std::size_t bytes) {
        place(level, kind, false);
        pending_ = std::string_view(reinterpret_cast<const char*>(name), bytes);
        pendingLevel_ = level;
        hasPending_ = true;
    }
    void settle() {
        if (hasPending_) {
            chain.bytes_[pendingLevel_].assign(pending_);
            hasPending_ = false;
        }
    }
    // The same with a UTF-16 text, for the caller to fill.
    std::u16string& placeWide(std::size_t level, int kind) {
        place(level, kind, true);
        return chain.texts_[level];
    }

private:
    void place(std::size_t level, int kind, bool wide) {
        // A node below the last one makes the last one a parent, whose text the chain keeps.
        if (hasPending_ && level > pendingLevel_) {
            settle();
        }
        hasPending_ = false;
        if (chain.texts_.size() <= level) {
            chain.bytes_.resize(level + 1);
            chain.texts_.resize(level + 1);
            chain.wide_.resize(level + 1);
            chain.widened_.resize(level + 1);
            chain.kinds_.resize(level + 1);
            chain.serials_.resize(level + 1);
        }
        chain.wide_[level] = wide ? 1 : 0;
        chain.widened_[level] = 0;
        chain.kinds_[level] = static_cast<int>(static_cast<std::uint8_t>(kind));
        chain.serials_[level] = serials_++;
        chain.size_ = level + 1;
    }

private:
    // Each read's serials start at its number << 40; reads may run on several threads.
    static inline std::atomic<std::uint64_t> reads_ = 0;
    std::uint64_t serials_;
    std::string_view pending_; // the last node's text, when not copied yet
    std::size_t pendingLevel_ = 0;
    bool hasPending_ = false;
};

namespace {

using Visit = std::function<bool(const ReadChain&)>;

// Where the UTF-16 name at from ends: its first unit 0, or the last whole unit before size.
std::size_t wideNameEnd(const unsigned char* p, std::size_t from, std::size_t size) {
    std::size_t at = from;
#if defined(__SSE2__)
    for (; at + 16 <= size; at += 16) {
        const __m128i units = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + at));
        const auto zero =
            static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi16(units, _mm_setzero_si128())));
        if (zero != 0) {
            return at + static_cast<unsigned>(__builtin_ctz(zero));
        }
    }
#endif
    while (at + 1 < size && (p[at] | p[at + 1]) != 0) {
        at += 2;
    }
    return at;
}

// Rebuilds the hierarchy from records handed to it piece by piece. Without a tree it only
// counts, keeping no more than the chain of open levels (at most 256 deep: a node's level
// never exceeds its depth byte).
class RecordReader {
public:
    explicit RecordReader(SnapshotTree* tree, OrderWatch* watch = nullptr,
                          const Visit* visit = nullptr,
                          const std::vector<std::string>* needles = nullptr)
        : tree_(tree), watch_(watch), visit_(visit), needles_(needles) {
        stats.opened = true;
    }

    // Takes the whole records at the start of data and returns the bytes they used. Unless
    // atEnd, a record that data cuts off is left for the next call, which starts with it.
    std::size_t take(const unsigned char* p, std::size_t size, bool atEnd);
    // The end of the records, or of the node handles, was reached.
    bool finished() const { return finished_; }

    LoadStats stats;

private:
    std::size_t takeRecords(const unsigned char* p, std::size_t size, bool atEnd);
    void place(unsigned kind, std::size_t depth, bool wide, const unsigned char* name,
               std::size_t bytes);

    SnapshotTree* tree_;
    OrderWatch* watch_;  // with a tree only
    const Visit* visit_; // without a tree only
    // With a visit: the parts of the data that hold none of these are not visited.
    const std::vector<std::string>* needles_;
    bool visiting_ = true;
    ChainKeeper keeper_;
    std::vector<NodeId> chain_; // from a top-level node down to the last node
    std::size_t previousDepth_ = 0;
    std::u16string name_;
    bool finished_ = false;
};

std::size_t RecordReader::take(const unsigned char* p, std::size_t size, bool atEnd) {
    const std::size_t used = takeRecords(p, size, atEnd);
    keeper_.settle(); // before the data moves
    return used;
}

std::size_t RecordReader::takeRecords(const unsigned char* p, std::size_t size, bool atEnd) {
    if (needles_ != nullptr && !needles_->empty()) {
        visiting_ = std::any_of(needles_->begin(), needles_->end(), [&](const std::string& n) {
            return ::memmem(p, size, n.data(), n.size()) != nullptr;
        });
    }
    std::size_t pos = 0;
    while (!finished_) {
        const std::size_t start = pos;
        if (pos >= size) {
            finished_ = atEnd;
            return pos;
        }
        if (pos + 1 >= size) {
            if (!atEnd) {
                return start;
            }
            stats.truncatedRecord = true; // a kind byte and nothing after it
            finished_ = true;
            return size;
        }
        const unsigned kind = p[pos];
        const std::size_t depth = p[pos + 1];
        pos += 2;
        if (pos + 1 >= size && !atEnd) {
            return start; // the form is not known yet
        }
        const bool wide = pos + 1 < size && p[pos] == 0xFF && p[pos + 1] == 0xFF;
        std::size_t nameStart = pos;
        std::size_t nameEnd;
        bool cut;
        if (wide) {
            nameStart += 2;
            nameEnd = wideNameEnd(p, nameStart, size);
            cut = nameEnd + 1 >= size; // an odd last byte is dropped
            pos = cut ? size : nameEnd + 2;
        } else {
            const void* zero = pos < size ? std::memchr(p + pos, 0, size - pos) : nullptr;
            cut = zero == nullptr;
            nameEnd =
                cut ? size : static_cast<std::size_t>(static_cast<const unsigned char*>(zero) - p);
            pos = cut ? size : nameEnd + 1;
        }
        if (cut && !atEnd) {
            return start;
        }
        place(kind, depth, wide, p + nameStart, nameEnd - nameStart);
        if (cut) {
            stats.truncatedName = true;
            finished_ = true;
        }
    }
    return pos;
}

void RecordReader::place(unsigned kind, std::size_t depth, bool wide, const unsigned char* name,
                         std::size_t bytes) {
    // Where the node goes: under the last node when deeper (whatever the jump), beside it
    // when as deep, and n levels up from the current parent when n levels higher.
    const bool first = stats.records == 0;
    NodeId previous = kNoNode; // the new node's previous sibling
    if (first) {
        stats.firstRecordDeep = depth > 0;
    } else if (depth > previousDepth_) {
        if (depth > previousDepth_ + 1) {
            ++stats.depthJumps;
        }
    } else {
        // The last node's parent is the current parent; climbing stops at the top level.
        const std::size_t climb = std::min(previousDepth_ - depth, chain_.size() - 1);
        const std::size_t kept = chain_.size() - 1 - climb;
        previous = chain_[kept];
        chain_.resize(kept);
        if (depth < previousDepth_ && chain_.empty() && depth > 0) {
            ++stats.orphanRecords;
        }
    }
    const NodeId parent = chain_.empty() ? kTopLevel : chain_.back();
    // A first record deeper than 0 has nothing to go under, and is taken as a root.
    const bool root = depth == 0 || first;
    const bool folder = !root && kind == static_cast<unsigned>(kKindFolder);

    const std::size_t units = wide ? bytes / 2 : bytes;
    NodeId node = 0;
    // A tree takes an 8-bit name's bytes as they are.
    NodeText stored =
        NodeText::narrowForm(std::string_view(reinterpret_cast<const char*>(name), bytes));
    // A visit's names go straight into the chain, in their form.
    if (visit_ != nullptr && !wide) {
        keeper_.placeNarrow(chain_.size(), static_cast<int>(kind), name, bytes);
    } else if (wide && (tree_ != nullptr || visit_ != nullptr)) {
        std::u16string& text =
            visit_ != nullptr ? keeper_.placeWide(chain_.size(), static_cast<int>(kind)) : name_;
        text.resize(units);
        char16_t* out = text.data();
        if constexpr (std::endian::native == std::endian::little) {
            std::memcpy(out, name, units * 2); // the file's units are little-endian
        } else {
            for (std::size_t i = 0; i < units; ++i) {
                out[i] = static_cast<char16_t>(name[2 * i] | (name[2 * i + 1] << 8));
            }
        }
    }
    if (wide) {
        stored = name_;
    }
    if (visit_ != nullptr && visiting_) {
        keeper_.settle();
        if (!(*visit_)(keeper_.chain)) {
            finished_ = true;
        }
    }
    if (tree_ != nullptr) {
        node = tree_->insertLast(parent, stored);
        if (node == kNoNode) {
            finished_ = true; // out of handles
            return;
        }
        tree_->setKind(node, static_cast<int>(kind));
        if (root || folder) {
            tree_->setTextAndBold(node, stored);
        }
        if (watch_ != nullptr) {
            // The tree's own copies: the watch may read them later, on its thread.
            watch_->next(previous == kNoNode,
                         previous == kNoNode ? NodeText() : tree_->text(previous),
                         tree_->text(node));
        }
    }
    if (root) {
        ++stats.roots;
    } else if (folder) {
        ++stats.folders;
    } else {
        ++stats.files;
    }
    stats.utf16Records += wide ? 1 : 0;
    stats.kindsAbove11 += kind >= static_cast<unsigned>(kKindCount) ? 1 : 0;
    stats.longNames += units > kMaxNameUnits ? 1 : 0;
    stats.deepestLevel = std::max(stats.deepestLevel, depth);
    ++stats.records;
    chain_.push_back(node);
    previousDepth_ = depth;
}

LoadStats decode(std::string_view data, SnapshotTree* tree) {
    RecordReader reader(tree);
    reader.take(reinterpret_cast<const unsigned char*>(data.data()), data.size(), true);
    return reader.stats;
}

LoadStats failed(int error) {
    LoadStats stats;
    stats.error = error;
    return stats;
}

// Reads the file through a buffer of a megabyte (more while one record is longer), so
// that the file's bytes are never held whole beside the tree.
LoadStats readFile(const std::string& path, SnapshotTree* tree, const ReadLimits& limits,
                   OrderWatch* watch = nullptr, const Visit* visit = nullptr,
                   const std::vector<std::string>* needles = nullptr) {
    // Without O_NONBLOCK a pipe that nobody writes to would block the open for ever; it
    // then reads as empty instead.
    const platform::Descriptor fd(
        ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    if (!fd.valid()) {
        return failed(errno);
    }
    struct stat st;
    if (::fstat(fd.get(), &st) != 0) {
        return failed(errno);
    }
    if (S_ISDIR(st.st_mode)) {
        return failed(EISDIR);
    }
    const int flags = ::fcntl(fd.get(), F_GETFL);
    ::fcntl(fd.get(), F_SETFL, flags & ~O_NONBLOCK);
    const bool regular = S_ISREG(st.st_mode);
    // A regular file is read to its end, also when it grows meanwhile up to the limit.
    const std::uint64_t limit =
        regular
            ? std::max<std::uint64_t>(static_cast<std::uint64_t>(st.st_size), limits.streamBytes)
            : limits.streamBytes;
    if (tree != nullptr && regular && st.st_size > 0) {
        tree->reserve(static_cast<std::size_t>(st.st_size) / 16, 0);
    }

    RecordReader reader(tree, watch, visit, needles);
    std::vector<unsigned char> buffer(std::max<std::size_t>(limits.bufferBytes, 1));
    std::size_t held = 0;
    std::uint64_t total = 0;
    bool atEnd = false;
    while (true) {
        while (!atEnd && held < buffer.size()) {
            const ssize_t n = ::read(fd.get(), buffer.data() + held, buffer.size() - held);
            if (n < 0) {
                if (errno == EINTR) {
                    continue;
                }
                return failed(errno);
            }
            atEnd = n == 0;
            held += static_cast<std::size_t>(n);
            total += static_cast<std::uint64_t>(n);
            if (total > limit) {
                return failed(EFBIG);
            }
        }
        const std::size_t used = reader.take(buffer.data(), held, atEnd);
        if (reader.finished()) {
            break;
        }
        held -= used;
        std::memmove(buffer.data(), buffer.data() + used, held);
        if (held > buffer.size() / 2) {
            buffer.resize(buffer.size() * 2); // one record fills most of it: room for more
        }
    }
    return reader.stats;
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
    const platform::ReplaceResult replaced = platform::replaceFile(
        path, [&](int fd) { return writeRecords(tree, fd, result); },
        platform::OtherTargets::Refuse);
    result.opened = replaced.opened;
    result.error = replaced.error;
    result.ok = result.opened && result.error == 0;
    return result;
}

LoadStats decodeSnapshot(std::string_view data, SnapshotTree& tree) {
    SnapshotTree::BulkUpdate bulk(tree);
    return decode(data, &tree);
}

LoadStats countSnapshot(std::string_view data) {
    return decode(data, nullptr);
}

LoadStats readSnapshotFile(const std::string& path, SnapshotTree& tree, const ReadLimits& limits,
                           const TextOrder* order) {
    tree.removeAll();
    LoadStats stats;
    try {
        std::optional<OrderWatch> watch;
        if (order != nullptr) {
            watch.emplace(*order);
        }
        {
            SnapshotTree::BulkUpdate bulk(tree);
            stats = readFile(path, &tree, limits, watch ? &*watch : nullptr);
        }
        if (stats.opened && watch && watch->inOrder()) {
            tree.markInOrder();
        }
    } catch (const std::bad_alloc&) {
        stats = failed(ENOMEM);
    } catch (const std::length_error&) {
        stats = failed(ENOMEM);
    }
    if (!stats.opened) {
        tree.removeAll(); // a failed load leaves nothing half read
    }
    return stats;
}

LoadStats visitSnapshotFile(const std::string& path, const Visit& visit, const ReadLimits& limits,
                            const std::vector<std::string>& needles) {
    try {
        return readFile(path, nullptr, limits, nullptr, &visit, &needles);
    } catch (const std::bad_alloc&) {
        return failed(ENOMEM);
    } catch (const std::length_error&) {
        return failed(ENOMEM);
    }
}

std::vector<std::string> needlesFor(std::u16string_view units) {
    if (units.empty()) {
        return {};
    }
    std::vector<std::string> needles(1);
    for (const char16_t u : units) {
        needles[0].push_back(static_cast<char>(u & 0xFF));
        needles[0].push_back(static_cast<char>(u >> 8));
    }
    if (std::all_of(units.begin(), units.end(), [](char16_t u) { return u <= 0xFF; })) {
        needles.emplace_back(units.begin(), units.end());
    }
    return needles;
}

LoadStats countSnapshotFile(const std::string& path, const ReadLimits& limits) {
    try {
        return readFile(path, nullptr, limits);
    } catch (const std::bad_alloc&) {
        return failed(ENOMEM);
    } catch (const std::length_error&) {
        return failed(ENOMEM);
    }
}

} // namespace zelvane
