#include "cli/cli_output.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <optional>
#include <unistd.h>
#include <utility>

#include "cli/cli_common.h"
#include "text/utf.h"

namespace zelvane::cli {

namespace {

constexpr std::array<std::string_view, kKindCount> kKindNames = {
    "snapshot-document", "program",    "archive",     "autorun-file",
    "cdrom-root",        "document",   "folder",      "media-file",
    "other-file",        "drive-root", "system-file", "shortcut",
};

// Characters that a terminal acts on or that reorder or break what follows them.
bool isUnsafe(char32_t cp) {
    return cp < 0x20 || (cp >= 0x7F && cp < 0xA0) || cp == 0x061C || cp == 0x200E || cp == 0x200F ||
           (cp >= 0x2028 && cp <= 0x202E) || (cp >= 0x2066 && cp <= 0x2069);
}

// The escapes shared by the display and the TSV forms.
void appendSafe(std::string& out, std::u16string_view text, bool tsv) {
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
            appendHex(out, cp < 0x80 ? "\\x" : "\\u", static_cast<unsigned>(cp), cp < 0x80 ? 2 : 4);
        } else {
            appendUtf8(out, cp);
        }
    });
}

// Sets choice to the value, among the named ones, that follows the option args[i]; reports
// a missing or unknown value and returns false.
template <class Choice, std::size_t N>
bool takeChoice(std::string_view command, const Args& args, std::size_t& i,
                const std::pair<std::string_view, Choice> (&named)[N], Choice& choice) {
    const std::string_view option = args[i];
    const std::optional<std::string_view> value = optionValue(command, args, i);
    if (!value) {
        return false;
    }
    std::string allowed;
    for (std::size_t k = 0; k < N; ++k) {
        if (named[k].first == *value) {
            choice = named[k].second;
            return true;
        }
        allowed += k == 0 ? "" : k + 1 == N ? " or " : ", ";
        allowed += named[k].first;
    }
    usageError(command,
               std::string(option) + " is " + allowed + ", not '" + displayArgument(*value) + "'");
    return false;
}

} // namespace

std::string_view kindName(int kind) {
    if (kind < 0 || kind >= kKindCount) {
        return "unknown";
    }
    return kKindNames[static_cast<std::size_t>(kind)];
}

void appendDisplay(std::string& out, std::u16string_view text) {
    appendSafe(out, text, false);
}

void appendTsvField(std::string& out, std::u16string_view text) {
    appendSafe(out, text, true);
}

void appendJsonString(std::string& out, std::u16string_view text) {
    out += '"';
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
    out += '"';
}

void appendRaw(std::string& out, std::u16string_view text) {
    out += utf16ToUtf8(text);
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
    row.file = file;
    row.name = tree.text(node);
    row.kind = tree.kind(node);
    row.path.clear();
    for (NodeId up = tree.parent(node); up != kNoNode; up = tree.parent(up)) {
        row.path.push_back({tree.text(up), tree.kind(up)});
    }
    std::reverse(row.path.begin(), row.path.end());
}

namespace {

std::u16string pathText(const NodeRow& row, PathStyle style) {
    return style == PathStyle::Slash ? slashPath(row.path) : columnPath(row.path);
}

std::u16string_view nameText(const NodeRow& row, PathStyle style) {
    return style == PathStyle::Slash ? listedName(row.name, row.kind, row.path.empty()) : row.name;
}

} // namespace

void appendPath(std::string& out, const NodeRow& row, PathStyle style, Escape escape) {
    appendEscaped(out, pathText(row, style), escape);
}

void appendName(std::string& out, const NodeRow& row, PathStyle style, Escape escape) {
    appendEscaped(out, nameText(row, style), escape);
}

void appendWholePath(std::string& out, const NodeRow& row, PathStyle style, Escape escape) {
    std::u16string whole = pathText(row, style);
    if (!row.path.empty()) {
        whole += style == PathStyle::Slash ? kSlashSeparator : columnSeparator(false);
    }
    whole += nameText(row, style);
    appendEscaped(out, whole, escape);
}

void appendTsvFields(std::string& out, const NodeRow& row, PathStyle style) {
    appendTsvField(out, utf8ToUtf16(row.file));
    out += '\t';
    appendPath(out, row, style, Escape::Tsv);
    out += '\t';
    appendName(out, row, style, Escape::Tsv);
    out += '\t';
    out += std::to_string(row.kind);
    out += '\t';
    out += kindName(row.kind);
}

void appendJsonFields(std::string& out, const NodeRow& row) {
    out += "\"file\":";
    appendJsonString(out, utf8ToUtf16(row.file));
    out += ",\"path\":[";
    for (std::size_t i = 0; i < row.path.size(); ++i) {
        if (i > 0) {
            out += ',';
        }
        appendJsonString(out, row.path[i].text);
    }
    out += "],\"name\":";
    appendJsonString(out, row.name);
    out += ",\"kind\":";
    out += std::to_string(row.kind);
    out += ",\"kindName\":\"";
    out += kindName(row.kind);
    out += '"';
}

void appendJsonObject(std::string& out, const NodeRow& row) {
    out += '{';
    appendJsonFields(out, row);
    out += '}';
}

OptionParse parseOutputOption(std::string_view command, const std::vector<std::string_view>& args,
                              std::size_t& i, OutputOptions& options) {
    static constexpr std::pair<std::string_view, Format> kFormats[] = {
        {"text", Format::Text}, {"tsv", Format::Tsv}, {"json", Format::Json}};
    static constexpr std::pair<std::string_view, PathStyle> kPathStyles[] = {
        {"native", PathStyle::Native}, {"slash", PathStyle::Slash}};
    static constexpr std::pair<std::string_view, KindStyle> kKindStyles[] = {
        {"numbers", KindStyle::Numbers}, {"names", KindStyle::Names}};
    const std::string_view arg = args[i];
    bool taken = true;
    if (arg == "-0" || arg == "--null") {
        options.null = true;
    } else if (arg == "--format") {
        taken = takeChoice(command, args, i, kFormats, options.format);
    } else if (arg == "--path-style") {
        taken = takeChoice(command, args, i, kPathStyles, options.pathStyle);
    } else if (arg == "--kinds") {
        options.kindsShown = true;
        taken = takeChoice(command, args, i, kKindStyles, options.kinds);
    } else {
        return OptionParse::NotMine;
    }
    return taken ? OptionParse::Taken : OptionParse::Bad;
}

bool takeOutputOption(std::string_view command, const Args& args, std::size_t& i,
                      OutputOptions& options) {
    switch (parseOutputOption(command, args, i, options)) {
    case OptionParse::Taken:
        return true;
    case OptionParse::Bad:
        return false;
    case OptionParse::NotMine:
        break;
    }
    return unknownOption(command, args[i]);
}

bool checkOutputOptions(std::string_view command, const OutputOptions& options) {
    if (options.null && options.format != Format::Text) {
        usageError(command, "-0 prints whole paths; it does not go with --format tsv or json");
        return false;
    }
    return true;
}

bool Output::flush() {
    std::size_t done = 0;
    while (!failed_ && done < buffer_.size()) {
        const ssize_t n = ::write(fd_, buffer_.data() + done, buffer_.size() - done);
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            failed_ = true;
            if (errno != EPIPE) {
                std::fprintf(stderr, "zelvane-cli: cannot write the output: %s\n",
                             std::strerror(errno));
            }
        } else {
            done += static_cast<std::size_t>(n);
        }
    }
    buffer_.clear();
    return !failed_;
}

} // namespace zelvane::cli
