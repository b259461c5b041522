#include "capture/archive_lister.h"

#include <algorithm>
#include <archive.h>
#include <archive_entry.h>
#include <array>
#include <clocale>
#include <cstdlib>
#include <ctime>
#include <locale.h>
#include <memory>
#include <unistd.h>

#include "capture/classification.h"
#include "text/utf.h"

namespace zelvane {

namespace {

using Clock = std::chrono::steady_clock;

// An archive on disk up to this size is read whole and listed from memory; a larger one
// is read through its descriptor as libarchive asks.
constexpr std::size_t kReadWholeBytes = std::size_t{8} << 20;
// The first bytes of a member looked at to tell whether it is an archive itself: enough
// for the identifier of a disc image at byte 32769.
constexpr std::size_t kDiscOffset = 32769;
constexpr std::size_t kHeadBytes = 512;
constexpr std::size_t kSniffBytes = kDiscOffset + 5;

struct Signature {
    std::size_t offset;
    std::string_view bytes;
};

using namespace std::string_view_literals;
// zip (local, empty and spanned), 7z, rar, cab, ar (deb), rpm, xar, warc, cpio (ASCII and
// binary), lha, tar; the compressed streams gzip, compress, bzip2, xz, lzma, lzip, zstd, lz4.
constexpr std::array kSignatures{
    Signature{0, "PK\x03\x04"sv},
    Signature{0, "PK\x05\x06"sv},
    Signature{0, "PK\x07\x08"sv},
    Signature{0, "7z\xBC\xAF\x27\x1C"sv},
    Signature{0, "Rar!\x1A\x07"sv},
    Signature{0, "MSCF"sv},
    Signature{0, "!<arch>\n"sv},
    Signature{0, "\xED\xAB\xEE\xDB"sv},
    Signature{0, "xar!"sv},
    Signature{0, "WARC/"sv},
    Signature{0, "07070"sv},
    Signature{0, "\xC7\x71"sv},
    Signature{0, "\x71\xC7"sv},
    Signature{2, "-lh"sv},
    Signature{2, "-lz"sv},
    Signature{257, "ustar"sv},
    Signature{0, "\x1F\x8B"sv},
    Signature{0, "\x1F\x9D"sv},
    Signature{0, "BZh"sv},
    Signature{0, "\xFD"
                 "7zXZ"sv},
    Signature{0, "\x5D\x00\x00"sv},
    Signature{0, "LZIP"sv},
    Signature{0, "\x28\xB5\x2F\xFD"sv},
    Signature{0, "\x04\x22\x4D\x18"sv},
};

// A tar header without the ustar magic (the old format) is known by its checksum: the
// octal sum of its 512 bytes, those of the checksum field counted as spaces.
bool tarChecksumMatches(std::string_view head) {
    if (head.size() < kHeadBytes || head[0] == '\0') {
        return false;
    }
    unsigned sum = 0;
    for (std::size_t i = 0; i < kHeadBytes; ++i) {
        sum += i >= 148 && i < 156 ? ' ' : static_cast<unsigned char>(head[i]);
    }
    unsigned stored = 0;
    std::size_t i = 148;
    while (i < 156 && head[i] == ' ') {
        ++i;
    }
    const std::size_t first = i;
    for (; i < 156 && head[i] >= '0' && head[i] <= '7'; ++i) {
        stored = stored * 8 + static_cast<unsigned>(head[i] - '0');
    }
    return i > first && stored == sum;
}

// libarchive converts the names of the formats that declare their character set (zip's
// UTF-8 flag, Joliet, pax) into the current locale's: UTF-8 is asked for while an archive
// is listed, so that they arrive as UTF-8 whatever the user's locale.
class Utf8Locale {
public:
    Utf8Locale() {
        static const locale_t utf8 = newlocale(LC_CTYPE_MASK, "C.UTF-8", locale_t{});
        if (utf8 != locale_t{}) {
            previous_ = uselocale(utf8);
        }
    }
    ~Utf8Locale() {
        if (previous_ != locale_t{}) {
            uselocale(previous_);
        }
    }
    Utf8Locale(const Utf8Locale&) = delete;
    Utf8Locale& operator=(const Utf8Locale&) = delete;

private:
    locale_t previous_{};
};

struct ArchiveFree {
    void operator()(::archive* a) const { archive_read_free(a); }
};
using ArchivePtr = std::unique_ptr<::archive, ArchiveFree>;

// A reader of every format that lists members, but neither "raw" nor "empty" (which would
// take any file) nor mtree (a text format that names files on disk), and of the compressed
// streams libarchive decodes itself (never through an outside program).
ArchivePtr newReader() {
    ArchivePtr a(archive_read_new());
    for (auto support : {archive_read_support_filter_gzip, archive_read_support_filter_bzip2,
                         archive_read_support_filter_xz,   archive_read_support_filter_lzma,
                         archive_read_support_filter_lzip, archive_read_support_filter_zstd,
                         archive_read_support_filter_lz4,  archive_read_support_filter_compress,
                         archive_read_support_filter_rpm,  archive_read_support_format_7zip,
                         archive_read_support_format_ar,   archive_read_support_format_cab,
                         archive_read_support_format_cpio, archive_read_support_format_iso9660,
                         archive_read_support_format_lha,  archive_read_support_format_rar,
                         archive_read_support_format_rar5, archive_read_support_format_tar,
                         archive_read_support_format_warc, archive_read_support_format_xar,
                         archive_read_support_format_zip}) {
        support(a.get());
    }
    return a;
}

// Whether going to the next member reads through this one's data anyway (a compressed
// stream, a solid archive): then it is read here, counted against the bounds, instead.
bool skipDecompresses(::archive* a) {
    if (archive_filter_code(a, 0) != ARCHIVE_FILTER_NONE) {
        return true;
    }
    switch (archive_format(a) & ARCHIVE_FORMAT_BASE_MASK) {
    case ARCHIVE_FORMAT_ZIP:
    case ARCHIVE_FORMAT_ISO9660:
    case ARCHIVE_FORMAT_TAR:
    case ARCHIVE_FORMAT_CPIO:
    case ARCHIVE_FORMAT_AR:
        return false;
    default:
        return true;
    }
}

bool readFully(int fd, char* out, std::size_t size, std::size_t offset) {
    std::size_t done = 0;
    while (done < size) {
        const ssize_t got = ::pread(fd, out + done, size - done, static_cast<off_t>(offset + done));
        if (got <= 0) {
            return false;
        }
        done += static_cast<std::size_t>(got);
    }
    return true;
}

} // namespace

bool mayBeArchive(std::string_view head, std::string_view disc) {
    for (const Signature& s : kSignatures) {
        if (head.size() >= s.offset + s.bytes.size() &&
            head.substr(s.offset, s.bytes.size()) == s.bytes) {
            return true;
        }
    }
    return disc == "CD001" || disc == "BEA01" || tarChecksumMatches(head);
}

struct ArchiveLister::Budget {
    Clock::time_point start = Clock::now();
    std::uint64_t bytes = 0; // member data decompressed
    std::size_t entries = 0; // members read
    std::size_t held = 0;    // bytes of archives inside archives held in memory
    std::string problem;     // the bound met, told once
};

ArchiveLister::ArchiveLister(SnapshotTree& tree, ScanState& state, ScanObserver& observer,
                             const ArchiveLimits& limits,
                             std::function<bool(std::u16string_view)> passes)
    : tree_(tree), state_(state), observer_(observer), limits_(limits), passes_(std::move(passes)) {
    // libarchive gives zip members their local time through mktime, which without TZ looks
    // at /etc/localtime again on every call: naming that zone once keeps the same times
    // without a system call per member.
    if (std::getenv("TZ") == nullptr) {
        ::setenv("TZ", ":/etc/localtime", 0);
        ::tzset();
    }
}

// Every bound stays met once met, so every level of archives stops on it in turn.
bool ArchiveLister::spent(Budget& budget) const {
    if (budget.entries > limits_.members) {
        budget.problem = "listing stopped after " + std::to_string(limits_.members) + " members";
    } else if (budget.bytes > limits_.bytes) {
        budget.problem = "listing stopped after " + std::to_string(limits_.bytes) +
                         " bytes decompressed (a compression bomb?)";
    } else if (Clock::now() - budget.start > limits_.time) {
        budget.problem =
            "listing stopped after " + std::to_string(limits_.time.count() / 1000) + " s";
    } else {
        return state_.stopRequested;
    }
    return true;
}

NodeId ArchiveLister::folder(NodeId parent, std::u16string_view name) {
    key_.assign(reinterpret_cast<const char16_t*>(&parent), sizeof parent / sizeof(char16_t));
    key_.append(name);
    const auto [at, inserted] = folders_.try_emplace(key_, kNoNode);
    if (inserted) {
        at->second = tree_.insertLast(parent, name);
        finishFolderNode(tree_, at->second, name, text_);
        ++added_;
    }
    return at->second;
}

std::size_t ArchiveLister::listFile(int fd, std::uint64_t size, NodeId node,
                                    std::string_view path) {
    std::array<char, kSniffBytes> head{};
    const std::size_t headSize =
        static_cast<std::size_t>(std::min<std::uint64_t>(size, kHeadBytes));
    const bool disc =
        size >= kSniffBytes && readFully(fd, head.data() + kDiscOffset, 5, kDiscOffset);
    if (!readFully(fd, head.data(), headSize, 0) ||
        !mayBeArchive({head.data(), headSize},
                      disc ? std::string_view(head.data() + kDiscOffset, 5) : std::string_view())) {
        return 0;
    }
    const Utf8Locale locale;
    ArchivePtr a = newReader();
    int opened;
    if (size <= kReadWholeBytes) {
        file_.resize(static_cast<std::size_t>(size));
        opened = readFully(fd, file_.data(), file_.size(), 0)
                     ? archive_read_open_memory(a.get(), file_.data(), file_.size())
                     : ARCHIVE_FATAL;
    } else {
        opened = archive_read_open_fd(a.get(), fd, std::size_t{1} << 16);
    }
    if (opened != ARCHIVE_OK) {
        return 0; // not an archive after all: a plain file
    }
    added_ = 0;
    folders_.clear();
    Budget budget;
    listArchive(a.get(), node, 1, std::string(path), budget);
    return added_;
}

void ArchiveLister::listArchive(::archive* a, NodeId node, unsigned depth, const std::string& path,
                                Budget& budget) {
    const std::size_t baseLevel = tree_.level(node);
    std::size_t deep = 0;
    bool encrypted = false;
    std::string problem;
    std::string warning;
    std::vector<char> data; // a member that may be an archive itself
    for (;;) {
        archive_entry* entry = nullptr;
        const int status = archive_read_next_header(a, &entry);
        if (status == ARCHIVE_EOF || spent(budget)) {
            break;
        }
        const char* reason = archive_error_string(a);
        if (status < ARCHIVE_WARN) {
            problem.assign("cannot list it to its end: ").append(reason ? reason : "damaged");
            break;
        }
        if (status == ARCHIVE_WARN && warning.empty()) {
            warning = reason ? reason : "damaged"; // a name it cannot read, say
        }
        ++budget.entries;
        if (spent(budget)) {
            break;
        }
        if (budget.entries % 1024 == 0) {
            observer_.pump();
        }
        const char* bytes = archive_entry_pathname(entry);
        std::string_view member = bytes ? bytes : "";
        const bool isDirectory = archive_entry_filetype(entry) == AE_IFDIR || member.ends_with('/');

        // The member's path, one name a level: empty names and "." say nothing, a leading
        // slash is a folder "/" of its own and ".." a name like any other. A member with
        // no name at all is a file with an empty name; "./" is the archive itself.
        names_.clear();
        for (std::size_t from = 0; from <= member.size();) {
            const std::size_t slash = std::min(member.find('/', from), member.size());
            const std::string_view step = member.substr(from, slash - from);
            if (!step.empty() && step != ".") {
                names_.push_back(step);
            }
            from = slash + 1;
        }
        const bool absolute = member.starts_with('/');
        const bool unnamed = member.empty() && !isDirectory;
        if (baseLevel + names_.size() + (absolute ? 1 : 0) + (unnamed ? 1 : 0) > kMaxMemberLevel) {
            ++deep;
            continue;
        }
        NodeId parent = absolute ? folder(node, u"/") : node;
        const std::size_t folders =
            isDirectory || names_.empty() ? names_.size() : names_.size() - 1;
        for (std::size_t i = 0; i < folders; ++i) {
            widen(names_[i], name_);
            parent = folder(parent, name_);
        }
        if (folders == names_.size() && !unnamed) {
            continue; // a folder, now in the tree, or the archive's own top ("./")
        }
        widen(unnamed ? std::string_view() : names_.back(), name_);
        if (archive_entry_is_encrypted(entry)) {
            encrypted = true;
        }
        const NameParts parts = splitExtension(name_);
        if (!passes_(parts.extension)) {
            continue;
        }
        const NodeId file = tree_.insertLast(parent, name_);
        tree_.setKind(file, classifyFile(parts.base, parts.extension));
        ++added_;

        // An archive inside: read from memory, while the depth and the memory allow.
        const la_int64_t size = archive_entry_size(entry);
        const bool drain = skipDecompresses(a);
        std::size_t have = 0;
        if (depth < limits_.depth && !archive_entry_is_encrypted(entry) &&
            archive_entry_filetype(entry) == AE_IFREG && archive_entry_size_is_set(entry) &&
            size > 0 && static_cast<std::uint64_t>(size) <= limits_.held - budget.held) {
            const std::size_t whole = static_cast<std::size_t>(size);
            data.resize(std::min(whole, kSniffBytes));
            auto fill = [&](std::size_t to) {
                while (have < to && !spent(budget)) {
                    const la_ssize_t got = archive_read_data(
                        a, data.data() + have, std::min<std::size_t>(to - have, 1 << 16));
                    if (got <= 0) {
                        return false;
                    }
                    have += static_cast<std::size_t>(got);
                    budget.bytes += static_cast<std::uint64_t>(got);
                }
                return have == to;
            };
            if (fill(data.size()) &&
                mayBeArchive({data.data(), std::min(have, kHeadBytes)},
                             have >= kSniffBytes ? std::string_view(data.data() + kDiscOffset, 5)
                                                 : std::string_view())) {
                data.resize(whole);
                if (fill(whole)) {
                    ArchivePtr inner = newReader();
                    if (archive_read_open_memory(inner.get(), data.data(), whole) == ARCHIVE_OK) {
                        budget.held += whole;
                        std::string innerPath = path;
                        innerPath.append("/").append(member);
                        listArchive(inner.get(), file, depth + 1, innerPath, budget);
                        budget.held -= whole;
                    }
                }
            }
        }
        if (drain) {
            const void* block = nullptr;
            std::size_t length = 0;
            la_int64_t offset = 0;
            while (!spent(budget) &&
                   archive_read_data_block(a, &block, &length, &offset) == ARCHIVE_OK) {
                budget.bytes += length;
            }
        }
    }
    if (problem.empty() && encrypted) {
        problem = "encrypted: its members are listed, their contents not read";
    }
    if (problem.empty() && deep > 0) {
        problem = std::to_string(deep) + " member(s) deeper than " +
                  std::to_string(kMaxMemberLevel) + " levels left out";
    }
    if (problem.empty()) {
        problem = warning;
    }
    if (depth == 1 && !budget.problem.empty()) {
        problem = budget.problem; // a bound, even when it was met inside an inner archive
    }
    if (!problem.empty()) {
        observer_.archiveUnreadable(path, problem);
    }
}

} // namespace zelvane
