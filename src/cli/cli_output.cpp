#include "cli/cli_output.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <iterator>
#include <new>
#include <optional>
#include <sys/stat.h>
#include <type_traits>
#include <unistd.h>
#include <utility>

#include "cli/cli_common.h"
#include "platform/replace_file.h"
#include "text/text.h"
#include "text/utf.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace zelvane::cli {

namespace {

constexpr std::array<std::string_view, kKindCount> kKindNames = {
    "snapshot-document", "program",    "archive",     "autorun-file",
    "cdrom-root",        "document",   "folder",      "media-file",
    "other-file",        "drive-root", "system-file", "shortcut",
};

// Characters that a terminal acts on or that reorder or break what follows them.
bool isUnsafe(char32_t cp) {
    return cp < 0x20 || (cp >= 0x7F && cp < 0xA0) || cp == 0x2028 || cp == 0x2029 ||
           isBidiControl(cp);
}

// Whether every form writes the unit as the ASCII character it is: printable ASCII but the
// backslash and the double quote.
constexpr bool isPlain(char16_t u) {
    return u >= 0x20 && u < 0x7F && u != u'\\' && u != u'"';
}

#if defined(__SSE2__)
// Whether the eight units at p are all plain, and if so their bytes at to.
inline bool narrowEight(const char16_t* p, char* to) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    // Units from 0x8000 up compare as negative: not printable.
    const __m128i printable = _mm_and_si128(_mm_cmpgt_epi16(v, _mm_set1_epi16(0x1F)),
                                            _mm_cmplt_epi16(v, _mm_set1_epi16(0x7F)));
    const __m128i quoting =
        _mm_or_si128(_mm_cmpeq_epi16(v, _mm_set1_epi16(static_cast<short>(u'\\'))),
                     _mm_cmpeq_epi16(v, _mm_set1_epi16(static_cast<short>(u'"'))));
    if (_mm_movemask_epi8(_mm_andnot_si128(quoting, printable)) != 0xFFFF) {
        return false;
    }
    _mm_storel_epi64(reinterpret_cast<__m128i*>(to), _mm_packus_epi16(v, v));
    return true;
}
#endif

// Appends the run of plain units that text starts with, as the ASCII characters they are,
// and returns its length: eight units at a time where the processor can, the last eight
// of a text overlapping those before them.
std::size_t appendPlainRun(std::string& out, std::u16string_view text) {
    const std::size_t at = out.size();
    const std::size_t n = text.size();
    out.resize(at + n); // room for all, given back below
    char* to = out.data() + at;
    const char16_t* units = text.data();
    std::size_t k = 0;
#if defined(__SSE2__)
    while (k + 8 <= n && narrowEight(units + k, to + k)) {
        k += 8;
    }
    if (k + 8 > n && k < n && n >= 8 && narrowEight(units + n - 8, to + n - 8)) {
        k = n;
    }
#endif
    while (k < n && isPlain(units[k])) {
        to[k] = static_cast<char>(units[k]);
        ++k;
    }
    out.resize(at + k);
    return k;
}

// The same for a text in one byte a unit, sixteen at a time.
std::size_t appendPlainRun(std::string& out, std::string_view text) {
    const std::size_t at = out.size();
    const std::size_t n = text.size();
    out.resize(at + n);
    char* to = out.data() + at;
    std::size_t k = 0;
#if defined(__SSE2__)
    for (; k + 16 <= n; k += 16) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(text.data() + k));
        // Bytes from 0x80 up compare as negative: not printable.
        const __m128i printable = _mm_and_si128(_mm_cmpgt_epi8(v, _mm_set1_epi8(0x1F)),
                                                _mm_cmplt_epi8(v, _mm_set1_epi8(0x7F)));
        const __m128i quoting = _mm_or_si128(_mm_cmpeq_epi8(v, _mm_set1_epi8('\\')),
                                             _mm_cmpeq_epi8(v, _mm_set1_epi8('"')));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(to + k), v);
        const auto plain =
            static_cast<unsigned>(_mm_movemask_epi8(_mm_andnot_si128(quoting, printable)));
        if (plain != 0xFFFF) {
            k += static_cast<unsigned>(__builtin_ctz(~plain));
            out.resize(at + k);
            return k;
        }
    }
#endif
    while (k < n && isPlain(NodeText::unit(text[k]))) {
        to[k] = text[k];
        ++k;
    }
    out.resize(at + k);
    return k;
}

// Writes text a run at a time: each run of plain units as it is, the rest through odd, a
// piece at a time, in UTF-16. A surrogate pair is never cut, its units not being plain.
template <class Odd> void appendRuns(std::string& out, NodeText whole, Odd odd) {
    whole.visit([&](auto text) {
        while (!text.empty()) {
            text.remove_prefix(appendPlainRun(out, text));
            std::size_t n = 0;
            while (n < text.size() && !isPlain(NodeText::unit(text[n]))) {
                ++n;
            }
            if constexpr (std::is_same_v<decltype(text), std::u16string_view>) {
                odd(text.substr(0, n));
            } else { // widened a piece at a time: one byte a unit holds no pair to cut
                char16_t widened[64];
                for (std::size_t i = 0; i < n; i += std::size(widened)) {
                    const std::size_t k = std::min(std::size(widened), n - i);
                    for (std::size_t j = 0; j < k; ++j) {
                        widened[j] = NodeText::unit(text[i + j]);
                    }
                    odd(std::u16string_view(widened, k));
                }
            }
            text.remove_prefix(n);
        }
    });
}

// The escapes shared by the display and the TSV forms.
void appendSafe(std::string& out, NodeText whole, bool tsv) {
    appendRuns(out, whole, [&](std::u16string_view text) {
        forEachCodePoint(text, [&](char32_t cp, bool lone) {
            if (lone) {
                if (cp >= 0xDC80 && cp <= 0xDCFF) {
                    appendHex(out, "\\x", static_cast<unsigned>(cp) & 0xFF, 2);
                } else {
                    appendHex(out, "\\u", static_cast<unsigned>(cp), 4);
                }
            } else if (tsv && cp == u'\\') {
                out += "\\\\";
            } else if (tsv && cp == u'\t') {
                out += "\\t";
            } else if (tsv && cp == u'\n') {
                out += "\\n";
            } else if (tsv && cp == u'\r') {
                out += "\\r";
            } else if (isUnsafe(cp)) {
                appendHex(out, cp < 0x80 ? "\\x" : "\\u", static_cast<unsigned>(cp),
                          cp < 0x80 ? 2 : 4);
            } else {
                appendUtf8(out, cp);
            }
        });
    });
}

} // namespace

std::vector<std::string_view> kindNames() {
    return {kKindNames.begin(), kKindNames.end()};
}

void appendKind(std::string& out, int kind, KindStyle style) {
    if (style == KindStyle::Names) {
        out += kindName(kind);
        return;
    }
    if (static_cast<unsigned>(kind) < 10) {
        out += static_cast<char>('0' + kind);
        return;
    }
    out += std::to_string(kind);
}

std::string_view kindName(int kind) {
    if (kind < 0 || kind >= kKindCount) {
        return "unknown";
    }
    return kKindNames[static_cast<std::size_t>(kind)];
}

void appendDisplay(std::string& out, NodeText text) {
    appendSafe(out, text, false);
}

void appendTsvField(std::string& out, NodeText text) {
    appendSafe(out, text, true);
}

void appendJsonText(std::string& out, NodeText whole) {
    appendRuns(out, whole, [&](std::u16string_view text) {
        forEachCodePoint(text, [&](char32_t cp, bool lone) {
            if (cp == u'"') {
                out += "\\\"";
            } else if (cp == u'\\') {
                out += "\\\\";
            } else if (cp == u'\n') {
                out += "\\n";
            } else if (cp == u'\t') {
                out += "\\t";
            } else if (cp == u'\r') {
                out += "\\r";
            } else if (lone || isUnsafe(cp)) {
                appendHex(out, "\\u", static_cast<unsigned>(cp), 4);
            } else {
                appendUtf8(out, cp);
            }
        });
    });
}

namespace {

// Appends text escaped the given way, a JSON string without its quotes.
void appendText(std::string& out, std::u16string_view text, Escape escape) {
    if (escape == Escape::Json) {
        appendJsonText(out, text);
    } else {
        appendEscaped(out, text, escape);
    }
}

} // namespace

void appendJsonString(std::string& out, std::u16string_view text) {
    out += '"';
    appendJsonText(out, text);
    out += '"';
}

void appendRaw(std::string& out, NodeText text) {
    appendRuns(out, text, [&](std::u16string_view odd) { appendAsUtf8(out, odd); });
}

void appendEscaped(std::string& out, std::u16string_view text, Escape escape) {
    switch (escape) {
    case Escape::Display:
        appendDisplay(out, text);
        break;
    case Escape::Tsv:
        appendTsvField(out, text);
        break;
    case Escape::Json:
        appendJsonString(out, text);
        break;
    case Escape::Raw:
        appendRaw(out, text);
        break;
    }
}

std::string displayArgument(std::string_view bytes) {
    std::string out;
    appendDisplay(out, utf8ToUtf16(bytes));
    return out;
}

void describeNode(std::string_view file, const SnapshotTree& tree, NodeId node, NodeRow& row) {
    row.chain = nullptr;
    std::size_t texts = 1;
    for (NodeId up = tree.parent(node); up != kNoNode; up = tree.parent(up)) {
        ++texts;
    }
    if (row.widened.size() < texts) {
        row.widened.resize(texts); // before any view of them is taken
    }
    std::size_t used = 0;
    const auto utf16 = [&](NodeId n) { return tree.text(n).utf16(row.widened[used++]); };
    row.file = file;
    row.name = utf16(node);
    row.kind = tree.kind(node);
    row.path.clear();
    for (NodeId up = tree.parent(node); up != kNoNode; up = tree.parent(up)) {
        row.path.push_back({utf16(up), tree.kind(up)});
    }
    std::reverse(row.path.begin(), row.path.end());
}

// How many of the levels above level the path made for the last row of the same chain
// shares with the chain now; serials are those of that path's nodes.
std::size_t keptLevels(const std::vector<std::uint64_t>& serials, const ReadChain& chain,
                       std::size_t level) {
    // A node's serial stands for the nodes above it too: the deepest one that is the same
    // tells.
    std::size_t kept = std::min(serials.size(), level);
    while (kept > 0 && serials[kept - 1] != chain.serial(kept - 1)) {
        --kept;
    }
    return kept;
}

void describeNode(std::string_view file, const ReadChain& chain, NodeRow& row) {
    const std::size_t level = chain.size() - 1;
    // The ancestors of the last row that are this one's stay.
    const std::size_t kept =
        row.chain == &chain && row.room == chain.room() ? keptLevels(row.serials, chain, level) : 0;
    row.chain = &chain;
    row.room = chain.room();
    row.file = file;
    row.name = chain.text(level);
    row.kind = chain.kind(level);
    row.path.resize(kept);
    row.serials.resize(kept);
    for (std::size_t up = kept; up < level; ++up) {
        row.path.push_back({chain.text(up), chain.kind(up)});
        row.serials.push_back(chain.serial(up));
    }
}

namespace {

std::u16string_view nameText(const NodeRow& row, PathStyle style) {
    return style == PathStyle::Slash ? listedName(row.name, row.kind, row.path.empty()) : row.name;
}

constexpr std::size_t kJsonArray = 8; // the form of JSON's path array

std::size_t formOf(PathStyle style, Escape escape) {
    return (style == PathStyle::Slash ? 0 : 4) + static_cast<std::size_t>(escape);
}

// Appends one step of a path in form, escaped: its separator, as slashPath() and
// columnPath() put it, and text. No escape ends in a slash or makes a text empty.
void appendStep(std::string& out, std::size_t form, bool first, std::u16string_view text) {
    const auto escape = static_cast<Escape>(form % 4);
    if (form == kJsonArray) {
        out += first ? "\"" : ",\"";
        appendJsonText(out, text);
        out += '"';
        return;
    }
    if (form >= 4) {
        appendText(out, std::u16string_view(u" \\").substr(first ? 0 : 1, 1), escape);
    } else if (!first && (out.empty() || out.back() != '/')) {
        out += '/';
    }
    appendText(out, text, escape);
}

// The escaped path of row's ancestors in form (JSON's without quotes). Of a row from a
// streaming read, the levels that hold the nodes of the last row's are kept.
const std::string& escapedPath(const NodeRow& row, std::size_t form) {
    if (row.chain == nullptr && form != kJsonArray) { // the whole path escaped at once
        std::string& whole = row.escaped.whole;
        whole.clear();
        appendText(whole, form < 4 ? slashPath(row.path) : columnPath(row.path),
                   static_cast<Escape>(form % 4));
        return whole;
    }
    EscapedPaths::Form& paths = row.escaped.forms[form];
    const std::size_t kept =
        row.chain != nullptr ? keptLevels(paths.serials, *row.chain, row.path.size()) : 0;
    paths.serials.resize(kept);
    paths.ends.resize(kept);
    paths.text.resize(kept > 0 ? paths.ends[kept - 1] : 0);
    for (std::size_t level = kept; level < row.path.size(); ++level) {
        const PathElement& up = row.path[level];
        appendStep(paths.text, form, level == 0,
                   form < 4 ? listedName(up.text, up.kind, level == 0) : up.text);
        paths.ends.push_back(paths.text.size());
        paths.serials.push_back(row.chain != nullptr ? row.chain->serial(level) : 0);
    }
    return paths.text;
}

// The file's field as TSV (with its tab) or JSON (a quoted string), made once for its rows.
const std::string& fileField(const NodeRow& row, bool json) {
    EscapedPaths& e = row.escaped;
    if (e.file != row.file || e.fileJson.empty()) {
        e.file = row.file;
        e.fileTsv.clear();
        e.fileJson.clear();
        appendTsvField(e.fileTsv, utf8ToUtf16(row.file));
        e.fileTsv += '\t';
        appendJsonString(e.fileJson, utf8ToUtf16(row.file));
    }
    return json ? e.fileJson : e.fileTsv;
}

} // namespace

void appendPath(std::string& out, const NodeRow& row, PathStyle style, Escape escape) {
    const bool json = escape == Escape::Json;
    out += json ? "\"" : "";
    out += escapedPath(row, formOf(style, escape));
    out += json ? "\"" : "";
}

void appendName(std::string& out, const NodeRow& row, PathStyle style, Escape escape) {
    appendEscaped(out, nameText(row, style), escape);
}

void appendWholePath(std::string& out, const NodeRow& row, PathStyle style, Escape escape) {
    if (row.chain == nullptr) { // the whole path escaped at once
        std::u16string whole =
            style == PathStyle::Slash ? slashPath(row.path) : columnPath(row.path);
        if (style == PathStyle::Slash) {
            appendSlashStep(whole, row.path.empty(), nameText(row, style));
        } else {
            whole += row.path.empty() ? u"" : std::u16string(1, columnSeparator(false));
            whole += nameText(row, style);
        }
        appendEscaped(out, whole, escape);
        return;
    }
    const bool json = escape == Escape::Json;
    out += json ? "\"" : "";
    const std::string& path = escapedPath(row, formOf(style, escape));
    out += path;
    if (!row.path.empty() && style == PathStyle::Native) {
        appendText(out, u"\\", escape);
    } else if (slashGoesAfter(path, row.path.empty())) {
        out += '/';
    }
    appendText(out, nameText(row, style), escape);
    out += json ? "\"" : "";
}

void appendTsvFields(std::string& out, const NodeRow& row, PathStyle style) {
    out += fileField(row, false);
    appendPath(out, row, style, Escape::Tsv);
    out += '\t';
    appendName(out, row, style, Escape::Tsv);
    out += '\t';
    appendKind(out, row.kind, KindStyle::Numbers);
    out += '\t';
    out += kindName(row.kind);
}

void appendJsonFields(std::string& out, const NodeRow& row) {
    out += "\"file\":";
    out += fileField(row, true);
    out += ",\"path\":[";
    out += escapedPath(row, kJsonArray);
    out += "],\"name\":";
    appendJsonString(out, row.name);
    out += ",\"kind\":";
    appendKind(out, row.kind, KindStyle::Numbers);
    out += ",\"kindName\":\"";
    out += kindName(row.kind);
    out += "\",\"fullPath\":";
    appendWholePath(out, row, PathStyle::Slash, Escape::Json);
}

void appendJsonObject(std::string& out, const NodeRow& row) {
    out += '{';
    appendJsonFields(out, row);
    out += '}';
}

OptionSpec outputFileSpec() {
    return {kOptOutput,
            'o',
            "output",
            ValueKind::File,
            "FILE",
            "write to FILE instead of standard output (- is standard output); a file is\n"
            "replaced only once everything is written"};
}

std::vector<OptionSpec> listingOptionSpecs(bool withKinds) {
    std::vector<OptionSpec> specs = {
        {kOptFormat,
         '\0',
         "format",
         ValueKind::Choice,
         "FORMAT",
         "text (the default), tsv or json",
         {"text", "tsv", "json"}},
        {kOptNull, '0', "null", ValueKind::None, "",
         "each whole path as the file system's bytes, followed by a NUL"},
        {kOptPathStyle,
         '\0',
         "path-style",
         ValueKind::Choice,
         "STYLE",
         "slash (Root/Folder/name, the default) or native (the Search Results'\n"
         "Path column: \" Root\\ Folder\" and the stored text)",
         {"slash", "native"}},
        {kOptKinds,
         '\0',
         "kinds",
         ValueKind::Choice,
         "STYLE",
         "show each node's kind as a number or a name",
         {"numbers", "names"}},
        outputFileSpec(),
    };
    if (!withKinds) {
        specs.erase(specs.begin() + 3);
    }
    return specs;
}

std::optional<OutputOptions> outputOptionsOf(std::string_view command, const CommandLine& line) {
    OutputOptions options;
    const std::string_view format = line.last(kOptFormat).value_or("text");
    options.format = format == "tsv" ? Format::Tsv : format == "json" ? Format::Json : Format::Text;
    options.null = line.has(kOptNull);
    options.pathStyleGiven = line.has(kOptPathStyle);
    options.pathStyle = line.last(kOptPathStyle) == "native" ? PathStyle::Native : PathStyle::Slash;
    options.kindsShown = line.has(kOptKinds);
    options.kinds = line.last(kOptKinds) == "names" ? KindStyle::Names : KindStyle::Numbers;
    if (options.null && options.format != Format::Text) {
        usageError(command, "-0 prints whole paths; it does not go with --format tsv or json");
        return std::nullopt;
    }
    return options;
}

bool writeOutput(const CommandLine& line, const std::vector<std::string_view>& inputs,
                 const std::function<bool(Output& out)>& write) {
    const std::string target(line.last(kOptOutput).value_or("-"));
    if (target == "-") {
        Output output;
        return write(output) && output.finish();
    }
    struct stat out {
    }, in{};
    if (::stat(target.c_str(), &out) == 0 && S_ISREG(out.st_mode)) {
        for (std::string_view input : inputs) {
            if (::stat(inputPath(input).c_str(), &in) == 0 && in.st_dev == out.st_dev &&
                in.st_ino == out.st_ino) {
                std::fprintf(stderr, "zelvane-cli: %s: the output file is one of the input files\n",
                             displayArgument(target).c_str());
                return false;
            }
        }
    }
    bool told = false; // the output said itself why it could not be written
    const platform::ReplaceResult replaced = platform::replaceFile(
        target,
        [&](int fd) {
            Output output(fd, target);
            told = !(write(output) && output.finish());
            return told ? EIO : 0;
        },
        platform::OtherTargets::WriteInPlace);
    if (replaced.error == ENOMEM) {
        throw std::bad_alloc(); // told as everywhere else in the program
    }
    if (replaced.error != 0 && !told) {
        reportFileError(target, replaced.error);
    }
    return replaced.error == 0;
}

bool Output::flush() {
    writeAll(buffer_);
    buffer_.clear();
    return !failed_;
}

void Output::writeAll(std::string_view bytes) {
    std::size_t done = 0;
    while (!failed_ && done < bytes.size()) {
        const ssize_t n = ::write(fd_, bytes.data() + done, bytes.size() - done);
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            failed_ = true;
            if (errno == EPIPE) {
                // The reader has gone: nothing to tell.
            } else if (!name_.empty()) {
                reportFileError(name_, errno);
            } else {
                std::fprintf(stderr, "zelvane-cli: cannot write the output: %s\n",
                             std::strerror(errno));
            }
        } else {
            done += static_cast<std::size_t>(n);
        }
    }
}

bool putPart(PartVisitor& part, Output& out) {
    std::string& text = static_cast<TextPart&>(part).text;
    out.put(text);
    text.clear();
    return !out.failed();
}

void appendListedRow(std::string& out, const NodeRow& row, std::size_t level,
                     const OutputOptions& options) {
    if (isTreeForm(options)) {
        appendTreeRow(out, row.name, row.kind, level, options);
        return;
    }
    if (options.null) {
        appendWholePath(out, row, options.pathStyle, Escape::Raw);
        out += '\0';
        return;
    }
    if (options.format == Format::Json) {
        appendJsonObject(out, row);
    } else if (options.format == Format::Tsv) {
        appendTsvFields(out, row, options.pathStyle);
    } else { // the slash path
        appendKind(out, row.kind, options.kinds);
        out += ' ';
        appendWholePath(out, row, PathStyle::Slash, Escape::Display);
    }
    out += '\n';
}

bool isTreeForm(const OutputOptions& options) {
    return !options.null && options.format == Format::Text &&
           !(options.pathStyleGiven && options.pathStyle == PathStyle::Slash);
}

void appendTreeRow(std::string& out, NodeText name, int kind, std::size_t level,
                   const OutputOptions& options) {
    out.append(level * 2, ' ');
    appendKind(out, kind, options.kinds);
    out += ' ';
    appendDisplay(out, name);
    out += '\n';
}

void appendFoundRow(std::string& out, const NodeRow& row, const OutputOptions& options,
                    bool severalFiles) {
    if (options.null) {
        if (severalFiles) {
            out += row.file;
            out += ':';
        }
        appendWholePath(out, row, options.pathStyle, Escape::Raw);
        out += '\0';
        return;
    }
    switch (options.format) {
    case Format::Json:
        appendJsonObject(out, row);
        break;
    case Format::Tsv:
        appendTsvFields(out, row, options.pathStyle);
        break;
    case Format::Text:
        if (severalFiles) {
            out += displayArgument(row.file);
            out += ':';
        }
        if (options.pathStyle == PathStyle::Slash) {
            appendWholePath(out, row, PathStyle::Slash, Escape::Display);
        } else {
            appendPath(out, row, PathStyle::Native, Escape::Display);
            out += '\t';
            appendName(out, row, PathStyle::Native, Escape::Display);
        }
        if (options.kindsShown) {
            out += '\t';
            appendKind(out, row.kind, options.kinds);
        }
        break;
    }
    out += '\n';
}

} // namespace zelvane::cli
