// zelvane-cli export: the whole catalogue of a snapshot file as CSV, JSON Lines or HTML.
#include "cli/cli_export.h"

#include <algorithm>
#include <cerrno>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "cli/cli_common.h"
#include "cli/cli_output.h"
#include "document/node_text.h"
#include "text/utf.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace zelvane::cli {

constexpr int kOptTitle = 1;
constexpr int kOptCsvRaw = 2;

const CommandSpec& specExport() {
    static const CommandSpec spec = withCommonOptions({
        "export",
        "writes a snapshot as CSV, JSON Lines or HTML",
        "Usage: zelvane-cli export [OPTIONS] FILE...\n"
        "Writes the whole catalogue of the snapshot files (- is standard input) to standard\n"
        "output or to the -o file, every node in the order of the trees, the files one after\n"
        "the other (one header, one page). Without --format, the\n"
        "format follows the extension of the -o file (.csv, .json, .jsonl, .html, .htm).\n"
        "csv: RFC 4180, a header line, then one line a node with the columns path, name, kind,\n"
        "kind_name, depth: the path from the root down to the node itself joined by /, the\n"
        "name, the kind number, its name and the node's level (0 for a root). Folders go\n"
        "without their leading space; names are the bytes the file system gave them. Lines\n"
        "end in CR LF; a field with a comma, a double quote or a line break is put in double\n"
        "quotes, its double quotes doubled. A path or name that starts with =, +, -, @, a tab\n"
        "or a carriage return gets a ' in front, so that a spreadsheet shows it as text\n"
        "instead of running it as a formula; --csv-raw writes them unchanged.\n"
        "json: JSON Lines, the rows of list --format json.\n"
        "html: one page that any web browser opens without a network or other files: the tree\n"
        "with its icons, to open and close, and a filter that shows the names holding what is\n"
        "typed (letter case ignored) with the folders above them; text with * ? [ { or \\ is a\n"
        "glob as search --glob takes it, on the whole path when it holds a /. A link to\n"
        "page.html#filter=text opens it filtered.\n",
        {{kOptFormat,
          'f',
          "format",
          ValueKind::Choice,
          "FORMAT",
          "csv, json or html",
          {"csv", "json", "html"}},
         outputFileSpec(),
         {kOptTitle, 't', "title", ValueKind::Text, "TEXT",
          "the title of the page (default: the file names of the FILEs)"},
         {kOptCsvRaw, '\0', "csv-raw", ValueKind::None, "",
          "csv: write every path and name unchanged, even one a spreadsheet would take\n"
          "for a formula"}},
        ValueKind::Snapshot,
        "Exit status: 0, or 2 when FILE cannot be read, the output cannot be written or the\n"
        "arguments are wrong.\n",
    });
    return spec;
}

namespace {

enum class ExportFormat { None, Csv, Json, Html };

ExportFormat formatNamed(std::string_view name) {
    if (name == "csv") {
        return ExportFormat::Csv;
    }
    if (name == "json") {
        return ExportFormat::Json;
    }
    if (name == "html") {
        return ExportFormat::Html;
    }
    return ExportFormat::None;
}

bool endsWith(std::string_view text, std::string_view end) {
    return text.size() >= end.size() && text.substr(text.size() - end.size()) == end;
}

ExportFormat formatOfFileName(std::string_view name) {
    for (const auto& [extension, format] :
         {std::pair{".csv", ExportFormat::Csv}, std::pair{".json", ExportFormat::Json},
          std::pair{".jsonl", ExportFormat::Json}, std::pair{".html", ExportFormat::Html},
          std::pair{".htm", ExportFormat::Html}}) {
        if (endsWith(name, extension)) {
            return format;
        }
    }
    return ExportFormat::None;
}

// Whether field holds a comma, a double quote or a line end: sixteen bytes at a time where
// the processor can (find_first_of() looks for each character of the set in turn).
bool needsCsvQuotes(std::string_view field) {
    std::size_t i = 0;
#if defined(__SSE2__)
    for (; i + 16 <= field.size(); i += 16) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(field.data() + i));
        const __m128i found = _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(v, _mm_set1_epi8(',')),
                                                        _mm_cmpeq_epi8(v, _mm_set1_epi8('"'))),
                                           _mm_or_si128(_mm_cmpeq_epi8(v, _mm_set1_epi8('\r')),
                                                        _mm_cmpeq_epi8(v, _mm_set1_epi8('\n'))));
        if (_mm_movemask_epi8(found) != 0) {
            return true;
        }
    }
#endif
    return std::any_of(field.begin() + static_cast<std::ptrdiff_t>(i), field.end(),
                       [](char c) { return c == ',' || c == '"' || c == '\r' || c == '\n'; });
}

// Appends field, quoted when quoted (needsCsvQuotes() tells), a ' before a formula
// unless raw.
void appendCsvField(std::string& out, std::string_view field, bool raw, bool quoted) {
    const bool formula = !raw && !field.empty() &&
                         std::string_view("=+-@\t\r").find(field[0]) != std::string_view::npos;
    if (!quoted) {
        out += formula ? "'" : "";
        out += field;
        return;
    }
    out += formula ? "\"'" : "\"";
    for (char c : field) {
        if (c == '"') {
            out += '"';
        }
        out += c;
    }
    out += '"';
}

std::string baseName(std::string_view path) {
    const std::size_t slash = path.find_last_of('/');
    return std::string(slash == std::string_view::npos ? path : path.substr(slash + 1));
}

} // namespace

namespace {

// The CSV rows of a part.
class CsvPart final : public TextPart {
public:
    explicit CsvPart(bool raw) : raw_(raw) {}
    bool visit(const ReadChain& chain) override;

private:
    struct Path {
        std::string text;
        bool quoted = false;      // whether its field needs quotes
        std::uint64_t serial = 0; // of the node it was made for
    };
    // The path of the chain's node at level, made once for each node that has a child.
    const Path& pathAt(const ReadChain& chain, std::size_t level);
    // The node's name as its fields show it, into to.
    static void nameAt(const ReadChain& chain, std::size_t level, std::string& to) {
        to.clear();
        appendRaw(to, listedNameOf(chain.stored(level), chain.kind(level), level == 0));
    }
    // Joins name to the path of its parent, on the UTF-8 bytes.
    static void join(std::string& path, std::string_view name) {
        if (slashGoesAfter(path, false)) {
            path += '/';
        }
        path += name;
    }

    bool raw_;
    std::vector<Path> paths_;
    std::string name_, whole_;
};

const CsvPart::Path& CsvPart::pathAt(const ReadChain& chain, std::size_t level) {
    if (level < paths_.size() && paths_[level].serial == chain.serial(level)) {
        return paths_[level]; // the same node: the same path
    }
    paths_.resize(std::max(paths_.size(), level + 1));
    Path& path = paths_[level];
    if (level == 0) {
        nameAt(chain, 0, path.text);
    } else {
        path.text = pathAt(chain, level - 1).text;
        nameAt(chain, level, name_);
        join(path.text, name_);
    }
    path.quoted = needsCsvQuotes(path.text);
    path.serial = chain.serial(level);
    return path;
}

bool CsvPart::visit(const ReadChain& chain) {
    const std::size_t level = chain.size() - 1;
    const Path* parent = level > 0 ? &pathAt(chain, level - 1) : nullptr;
    nameAt(chain, level, name_);
    const bool nameQuoted = needsCsvQuotes(name_);
    if (parent == nullptr) {
        appendCsvField(text, name_, raw_, nameQuoted);
    } else if (parent->quoted || nameQuoted) {
        whole_ = parent->text;
        join(whole_, name_);
        appendCsvField(text, whole_, raw_, true);
    } else { // written in place, the path starting as its root's does
        appendCsvField(text, parent->text, raw_, false);
        join(text, name_);
    }
    text += ',';
    appendCsvField(text, name_, raw_, nameQuoted);
    text += ',';
    const int kind = chain.kind(level);
    appendKind(text, kind, KindStyle::Numbers);
    text += ',';
    text += kindName(kind);
    text += ',';
    text += std::to_string(level);
    text += "\r\n";
    return true;
}

class CsvWriter final : public ExportWriter {
public:
    explicit CsvWriter(bool raw) : raw_(raw) {}
    void begin(Output& out) override { out.buffer() += "path,name,kind,kind_name,depth\r\n"; }
    std::unique_ptr<PartVisitor> part(std::string_view) override {
        return std::make_unique<CsvPart>(raw_);
    }

private:
    bool raw_;
};

// The JSON Lines rows of a part.
class JsonLinesPart final : public TextPart {
public:
    explicit JsonLinesPart(std::string_view file) : file_(file) {}
    bool visit(const ReadChain& chain) override {
        describeNode(file_, chain, row_);
        appendJsonObject(text, row_);
        text += '\n';
        return true;
    }

private:
    std::string_view file_;
    NodeRow row_;
};

class JsonLinesWriter final : public ExportWriter {
public:
    std::unique_ptr<PartVisitor> part(std::string_view file) override {
        return std::make_unique<JsonLinesPart>(file);
    }
};

} // namespace

void ExportWriter::take(PartVisitor& part, Output& out) {
    putPart(part, out);
}

std::unique_ptr<ExportWriter> csvWriter(bool raw) {
    return std::make_unique<CsvWriter>(raw);
}

std::unique_ptr<ExportWriter> jsonLinesWriter() {
    return std::make_unique<JsonLinesWriter>();
}

int runExport(const CommandLine& line) {
    const std::vector<std::string_view>& files = line.operands;
    if (files.empty()) {
        return usageError("export", "a snapshot file is needed");
    }
    const std::string_view out = line.last(kOptOutput).value_or("-");
    ExportFormat format = formatNamed(line.last(kOptFormat).value_or(""));
    if (format == ExportFormat::None) {
        format = formatOfFileName(out);
        if (format == ExportFormat::None) {
            return usageError("export", "say which format: --format csv, json or html");
        }
    }
    std::string title(line.last(kOptTitle).value_or(""));
    for (std::size_t k = 0; k < files.size() && !line.has(kOptTitle); ++k) {
        title.append(k > 0 ? ", " : "").append(baseName(files[k]));
    }

    const std::unique_ptr<ExportWriter> writer =
        format == ExportFormat::Csv    ? csvWriter(line.has(kOptCsvRaw))
        : format == ExportFormat::Json ? jsonLinesWriter()
                                       : cataloguePageWriter(utf8ToUtf16(title));
    // The rows are written while the files are read: no tree is built.
    const bool written = writeOutput(line, files, [&](Output& output) {
        writer->begin(output);
        for (const std::string_view file : files) {
            const LoadStats stats = visitSnapshotFileInParts(
                inputPath(file), [&] { return writer->part(file); },
                [&](PartVisitor& part) {
                    writer->take(part, output);
                    return !output.failed();
                });
            if (output.failed() || !readOrReport(file, stats)) {
                return false;
            }
        }
        writer->end(output);
        return !output.failed();
    });
    return written ? kExitOk : kExitFailure;
}

} // namespace zelvane::cli
