#include "document/snapshot_file.h"

#include <algorithm>
#include <atomic>
#include <bit>
#include <cerrno>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <exception>
#include <fcntl.h>
#include <mutex>
#include <new>
#include <optional>
#include <stdexcept>
#include <sys/stat.h>
#include <system_error>
#include <thread>
#include <unistd.h>
#include <vector>

#include "document/tree_order.h"
#include "platform/descriptor.h"
#include "platform/processors.h"
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
    // the bytes at name: the chain reads them where they are, and copies them when the node
    // gets a child, or when settle() is called while it is the last node, which must be
    // before the bytes change.
    void placeNarrow(std::size_t level, int kind, const unsigned char* name, std::size_t bytes) {
        place(level, kind, false);
        chain.pending_ = std::string_view(reinterpret_cast<const char*>(name), bytes);
        chain.hasPending_ = true;
    }
    void settle() {
        if (chain.hasPending_) {
            chain.bytes_[chain.size_ - 1].assign(chain.pending_);
            chain.hasPending_ = false;
        }
    }
    // The same with a UTF-16 text, for the caller to fill.
    std::u16string& placeWide(std::size_t level, int kind) {
        place(level, kind, true);
        return chain.texts_[level];
    }
    // The same with a name as the file holds it, in either form.
    void placeStored(std::size_t level, int kind, bool wide, const unsigned char* name,
                     std::size_t bytes) {
        if (wide) {
            unitsOfFile(placeWide(level, kind), name, bytes);
        } else {
            placeNarrow(level, kind, name, bytes);
        }
    }
    // Empties the chain, for a read that starts elsewhere; the serials go on.
    void restart() {
        chain.hasPending_ = false;
        chain.size_ = 0;
    }
    // Sets text to the UTF-16 name of bytes bytes at name, little-endian as in the file.
    static void unitsOfFile(std::u16string& text, const unsigned char* name, std::size_t bytes) {
        const std::size_t units = bytes / 2;
        text.resize(units);
        char16_t* out = text.data();
        if constexpr (std::endian::native == std::endian::little) {
            std::memcpy(out, name, units * 2);
        } else {
            for (std::size_t i = 0; i < units; ++i) {
                out[i] = static_cast<char16_t>(name[2 * i] | (name[2 * i + 1] << 8));
            }
        }
    }

private:
    void place(std::size_t level, int kind, bool wide) {
        // A node below the last one makes the last one a parent, whose text the chain keeps.
        if (level >= chain.size_) {
            settle();
        }
        chain.hasPending_ = false;
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

// A record of a part, as the reading thread met it: where its name lies in the part's
// bytes, and the level the chain gave it.
struct PartRecord {
    std::size_t name;
    std::size_t bytes;
    std::uint16_t level;
    std::uint8_t kind;
    bool wide;
};

// A node of the chain as a part starts: its name as the file holds it.
struct ChainNode {
    std::string name;
    int kind = 0;
    bool wide = false;
};

// A piece of the file cut at a record's end, with what its visits need.
struct Part {
    std::vector<unsigned char> bytes;  // as read; the records lie at the start
    std::vector<ChainNode> chainFirst; // the chain before the first record
    std::vector<PartRecord> records;
    bool visiting = true; // the needles allow visits
    PartVisitor* visitor = nullptr;
    // Under the pipeline's lock: visited; full, waiting to be taken.
    bool done = false;
    bool waiting = false;
    bool stopped = false;
    std::exception_ptr error;
};

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
    // Without a tree or a visit: the records of the next take are noted in part, data
    // being its bytes, and its chain is set to the one before them.
    void noteIn(Part& part) {
        part_ = &part;
        part.chainFirst = chainAtEnd_;
        part.records.clear();
    }
    bool visiting() const { return visiting_; }
    // The end of the records, or of the node handles, was reached.
    bool finished() const { return finished_; }

    LoadStats stats;

private:
    std::size_t takeRecords(const unsigned char* p, std::size_t size, bool atEnd);
    void place(unsigned kind, std::size_t depth, bool wide, const unsigned char* name,
               std::size_t bytes);

    // The chain after the last take, in a part's terms.
    void keepChain(const unsigned char* p);

    SnapshotTree* tree_;
    OrderWatch* watch_; // with a tree only
    Part* part_ = nullptr;
    const unsigned char* partBase_ = nullptr;
    std::vector<ChainNode> chainAtEnd_;
    const Visit* visit_; // without a tree only
    // Noting parts: those that hold none of these need no visits.
    const std::vector<std::string>* needles_;
    bool visiting_ = true;
    ChainKeeper keeper_;
    std::vector<NodeId> chain_; // from a top-level node down to the last node
    std::size_t previousDepth_ = 0;
    std::u16string name_;
    bool finished_ = false;
};

std::size_t RecordReader::take(const unsigned char* p, std::size_t size, bool atEnd) {
    partBase_ = p;
    const std::size_t used = takeRecords(p, size, atEnd);
    keeper_.settle(); // before the data moves
    if (part_ != nullptr) {
        keepChain(p);
    }
    return used;
}

void RecordReader::keepChain(const unsigned char* p) {
    // The node of each level is the last record there before the one below it.
    std::size_t level = chain_.size();
    chainAtEnd_.resize(level);
    for (auto r = part_->records.rbegin(); level > 0 && r != part_->records.rend(); ++r) {
        if (r->level + std::size_t{1} == level) {
            --level;
            ChainNode& node = chainAtEnd_[level];
            node.name.assign(reinterpret_cast<const char*>(p + r->name), r->bytes);
            node.kind = r->kind;
            node.wide = r->wide;
        }
    }
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
        ChainKeeper::unitsOfFile(
            visit_ != nullptr ? keeper_.placeWide(chain_.size(), static_cast<int>(kind)) : name_,
            name, bytes);
    } else if (part_ != nullptr) {
        part_->records.push_back({static_cast<std::size_t>(name - partBase_), bytes,
                                  static_cast<std::uint16_t>(chain_.size()),
                                  static_cast<std::uint8_t>(kind), wide});
    }
    if (wide) {
        stored = name_;
    }
    if (visit_ != nullptr) {
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

// What read() returns, or ENOMEM when it runs out of memory.
template <class Read> LoadStats orOutOfMemory(const Read& read) {
    try {
        return read();
    } catch (const std::bad_alloc&) {
        return failed(ENOMEM);
    } catch (const std::length_error&) {
        return failed(ENOMEM);
    }
}

// A snapshot file opened for reading, read a buffer at a time.
class RecordSource {
public:
    // 0, or why path cannot be read.
    int open(const std::string& path, const ReadLimits& limits) {
        // Without O_NONBLOCK a pipe that nobody writes to would block the open for ever; it
        // then reads as empty instead.
        fd_ = platform::Descriptor(
            ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
        if (!fd_.valid()) {
            return errno;
        }
        struct stat st;
        if (::fstat(fd_.get(), &st) != 0) {
            return errno;
        }
        if (S_ISDIR(st.st_mode)) {
            return EISDIR;
        }
        const int flags = ::fcntl(fd_.get(), F_GETFL);
        ::fcntl(fd_.get(), F_SETFL, flags & ~O_NONBLOCK);
        const bool regular = S_ISREG(st.st_mode);
        // A regular file is read to its end, also when it grows meanwhile up to the limit.
        limit_ = regular ? std::max<std::uint64_t>(static_cast<std::uint64_t>(st.st_size),
                                                   limits.streamBytes)
                         : limits.streamBytes;
        size_ = regular ? static_cast<std::uint64_t>(st.st_size) : 0;
        return 0;
    }
    // The file's size when it is a regular one, else 0.
    std::uint64_t size() const { return size_; }
    // Fills buffer from held on, up to its end or the file's; 0, or why it cannot be read.
    int fill(std::vector<unsigned char>& buffer, std::size_t& held) {
        while (!atEnd_ && held < buffer.size()) {
            const ssize_t n = ::read(fd_.get(), buffer.data() + held, buffer.size() - held);
            if (n < 0) {
                if (errno == EINTR) {
                    continue;
                }
                return errno;
            }
            atEnd_ = n == 0;
            held += static_cast<std::size_t>(n);
            total_ += static_cast<std::uint64_t>(n);
            if (total_ > limit_) {
                return EFBIG;
            }
        }
        return 0;
    }
    bool atEnd() const { return atEnd_; }

private:
    platform::Descriptor fd_;
    std::uint64_t limit_ = 0;
    std::uint64_t size_ = 0;
    std::uint64_t total_ = 0;
    bool atEnd_ = false;
};

// The size of the next buffer: doubled while one record fills most of it.
std::size_t nextBufferSize(std::size_t size, std::size_t left) {
    return left > size / 2 ? size * 2 : size;
}

// Reads the file through a buffer of a megabyte (more while one record is longer), so
// that the file's bytes are never held whole beside the tree.
LoadStats readFile(const std::string& path, SnapshotTree* tree, const ReadLimits& limits,
                   OrderWatch* watch = nullptr, const Visit* visit = nullptr) {
    RecordSource source;
    if (const int error = source.open(path, limits); error != 0) {
        return failed(error);
    }
    if (tree != nullptr && source.size() > 0) {
        tree->reserve(static_cast<std::size_t>(source.size()) / 16, 0);
    }
    RecordReader reader(tree, watch, visit);
    std::vector<unsigned char> buffer(std::max<std::size_t>(limits.bufferBytes, 1));
    std::size_t held = 0;
    while (true) {
        if (const int error = source.fill(buffer, held); error != 0) {
            return failed(error);
        }
        const std::size_t used = reader.take(buffer.data(), held, source.atEnd());
        if (reader.finished()) {
            break;
        }
        held -= used;
        std::memmove(buffer.data(), buffer.data() + used, held);
        buffer.resize(nextBufferSize(buffer.size(), held));
    }
    return reader.stats;
}

std::atomic<std::size_t> partBytes = std::size_t{128} << 10;

// Hands parts to the helper threads, or visits them at once without helpers, and gives
// them to take() in order.
class PartPipeline {
public:
    using Make = std::function<std::unique_ptr<PartVisitor>()>;
    using Take = std::function<bool(PartVisitor&)>;
    PartPipeline(const Make& make, const Take& take, std::size_t helpers)
        : make_(make), take_(take) {
        try {
            for (std::size_t i = 0; i < helpers; ++i) {
                helpers_.emplace_back([this] { help(); });
            }
        } catch (const std::system_error&) {
            // no more threads to be had: the helpers started do the visits, or this one
        }
    }
    PartPipeline(const PartPipeline&) = delete;
    PartPipeline& operator=(const PartPipeline&) = delete;
    ~PartPipeline() {
        {
            const std::lock_guard lock(mutex_);
            quit_ = true;
        }
        toDo_.notify_all();
        taken_.notify_all();
        helpers_.clear(); // joined before the parts go
    }

    // A part to fill, with room for bytes bytes.
    std::unique_ptr<Part> fresh(std::size_t bytes) {
        std::unique_ptr<Part> part;
        if (spare_.empty()) {
            part = std::make_unique<Part>();
        } else {
            part = std::move(spare_.back());
            spare_.pop_back();
        }
        part->bytes.resize(bytes);
        return part;
    }
    void putBack(std::unique_ptr<Part> part) { spare_.push_back(std::move(part)); }

    // Visits part, at once or on a helper; then takes the parts that are done, waiting for
    // the first when too many are on the way. false when the read is to stop.
    bool submit(std::unique_ptr<Part> part) {
        if (idle_.empty()) {
            visitors_.push_back(make_());
            idle_.push_back(visitors_.back().get());
        }
        part->visitor = idle_.back();
        idle_.pop_back();
        part->done = false;
        part->waiting = false;
        part->stopped = false;
        part->error = nullptr;
        Part& queued = *part;
        onTheWay_.push_back(std::move(part));
        if (helpers_.empty()) {
            visitPart(queued, keeper_);
            queued.done = true;
        } else {
            {
                const std::lock_guard lock(mutex_);
                queue_.push_back(&queued);
            }
            toDo_.notify_one();
        }
        return takeDone(onTheWay_.size() >= 3 * helpers_.size() + 1);
    }
    // Takes every part still on the way, unless one stops the read.
    void finish() {
        while (!onTheWay_.empty()) {
            if (!takeDone(true)) {
                return;
            }
        }
    }

private:
    // Visits the records of part in keeper's chain.
    void visitPart(Part& part, ChainKeeper& keeper) {
        keeper.restart();
        for (std::size_t level = 0; level < part.chainFirst.size(); ++level) {
            const ChainNode& node = part.chainFirst[level];
            keeper.placeStored(level, node.kind, node.wide,
                               reinterpret_cast<const unsigned char*>(node.name.data()),
                               node.name.size());
            keeper.settle();
        }
        for (const PartRecord& r : part.records) {
            keeper.placeStored(r.level, r.kind, r.wide, part.bytes.data() + r.name, r.bytes);
            if (part.visiting) {
                if (!part.visitor->visit(keeper.chain) ||
                    (part.visitor->full() && !handOver(part))) {
                    part.stopped = true;
                    break;
                }
            }
        }
        keeper.restart(); // its last text may be a view of the part's bytes
    }

    // Has take() take what part's visits made so far, once it is the first part on the way;
    // false when the read is to stop.
    bool handOver(Part& part) {
        if (helpers_.empty()) {
            return take_(*part.visitor);
        }
        std::unique_lock lock(mutex_);
        part.waiting = true;
        done_.notify_all();
        taken_.wait(lock, [&] { return quit_ || !part.waiting; });
        return !quit_; // a read that stops ends the pipeline
    }

    void help() {
        ChainKeeper keeper;
        std::unique_lock lock(mutex_);
        while (true) {
            toDo_.wait(lock, [this] { return quit_ || !queue_.empty(); });
            if (quit_) {
                return;
            }
            Part& part = *queue_.front();
            queue_.pop_front();
            lock.unlock();
            try {
                visitPart(part, keeper);
            } catch (...) {
                part.error = std::current_exception();
            }
            lock.lock();
            part.done = true;
            done_.notify_all();
        }
    }

    // Takes the parts done at the front, and what the first has made when it is full,
    // waiting for the first to be done when wait.
    bool takeDone(bool wait) {
        while (!onTheWay_.empty()) {
            Part& first = *onTheWay_.front();
            {
                std::unique_lock lock(mutex_);
                if (!first.done && !first.waiting && !wait) {
                    return true;
                }
                done_.wait(lock, [&first] { return first.done || first.waiting; });
                if (first.waiting) {
                    lock.unlock();
                    const bool goOn = take_(*first.visitor);
                    lock.lock();
                    first.waiting = false;
                    taken_.notify_all();
                    if (!goOn) {
                        return false;
                    }
                    continue;
                }
            }
            wait = false;
            if (first.error) {
                std::rethrow_exception(first.error);
            }
            const bool goOn = take_(*first.visitor) && !first.stopped;
            idle_.push_back(first.visitor);
            spare_.push_back(std::move(onTheWay_.front()));
            onTheWay_.pop_front();
            if (!goOn) {
                return false;
            }
        }
        return true;
    }

    const Make& make_;
    const Take& take_;
    ChainKeeper keeper_; // without helpers
    std::vector<std::unique_ptr<PartVisitor>> visitors_;
    std::vector<PartVisitor*> idle_;
    std::vector<std::unique_ptr<Part>> spare_;
    std::deque<std::unique_ptr<Part>> onTheWay_; // in the file's order
    std::mutex mutex_;
    std::condition_variable toDo_, done_, taken_;
    std::deque<Part*> queue_;
    bool quit_ = false;
    std::vector<std::jthread> helpers_; // last: joined first
};

LoadStats readParts(const std::string& path, const PartPipeline::Make& make,
                    const PartPipeline::Take& take, const ReadLimits& limits,
                    const std::vector<std::string>& needles) {
    RecordSource source;
    if (const int error = source.open(path, limits); error != 0) {
        return failed(error);
    }
    RecordReader reader(nullptr, nullptr, nullptr, &needles);
    PartPipeline pipeline(make, take, platform::severalProcessors() ? 2 : 0);
    std::size_t size = std::max<std::size_t>(std::min(limits.bufferBytes, readPartBytes()), 1);
    std::unique_ptr<Part> part = pipeline.fresh(size);
    std::size_t held = 0;
    while (true) {
        if (const int error = source.fill(part->bytes, held); error != 0) {
            return failed(error);
        }
        reader.noteIn(*part);
        const std::size_t used = reader.take(part->bytes.data(), held, source.atEnd());
        part->visiting = reader.visiting();
        const std::size_t left = held - used;
        size = nextBufferSize(size, left);
        std::unique_ptr<Part> next = pipeline.fresh(std::max(size, left));
        std::memcpy(next->bytes.data(), part->bytes.data() + used, left);
        if (part->records.empty() || !part->visiting) { // nothing to visit
            pipeline.putBack(std::move(part));
        } else if (!pipeline.submit(std::move(part))) {
            return reader.stats;
        }
        if (reader.finished()) {
            break;
        }
        part = std::move(next);
        held = left;
    }
    pipeline.finish();
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
    const LoadStats stats = orOutOfMemory([&] {
        std::optional<OrderWatch> watch;
        if (order != nullptr) {
            watch.emplace(*order);
        }
        LoadStats read;
        {
            SnapshotTree::BulkUpdate bulk(tree);
            read = readFile(path, &tree, limits, watch ? &*watch : nullptr);
        }
        if (read.opened && watch && watch->inOrder()) {
            tree.markInOrder();
        }
        return read;
    });
    if (!stats.opened) {
        tree.removeAll(); // a failed load leaves nothing half read
    }
    return stats;
}

LoadStats visitSnapshotFile(const std::string& path, const Visit& visit, const ReadLimits& limits) {
    return orOutOfMemory([&] { return readFile(path, nullptr, limits, nullptr, &visit); });
}

LoadStats visitSnapshotFileInParts(const std::string& path,
                                   const std::function<std::unique_ptr<PartVisitor>()>& make,
                                   const std::function<bool(PartVisitor&)>& take,
                                   const ReadLimits& limits,
                                   const std::vector<std::string>& needles) {
    return orOutOfMemory([&] { return readParts(path, make, take, limits, needles); });
}

std::size_t readPartBytes() {
    return partBytes.load();
}

void setReadPartBytes(std::size_t bytes) {
    partBytes = bytes;
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
    return orOutOfMemory([&] { return readFile(path, nullptr, limits); });
}

} // namespace zelvane
