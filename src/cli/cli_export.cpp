// zelvane-cli export: the whole catalogue of a snapshot file as CSV, JSON Lines or HTML.
#include "cli/cli_export.h"

#include <cerrno>
#include <memory>
#include <new>
#include <string>

#include "cli/cli_common.h"
#include "cli/cli_output.h"
#include "document/node_text.h"
#include "text/utf.h"

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

void appendCsvField(std::string& out, std::string_view field, bool raw = true) {
    const bool formula = !raw && !field.empty() &&
                         std::string_view("=+-@\t\r").find(field[0]) != std::string_view::npos;
    if (field.find_first_of(",\"\r\n") == std::string_view::npos) {
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

void writeCsv(const SnapshotTree& tree, Output& output, bool header, bool raw) {
    std::string& out = output.buffer();
    if (header) {
        out += "path,name,kind,kind_name,depth\r\n";
    }
    // The path of the node last seen at each level, so that each name is converted once.
    std::vector<std::string> paths;
    std::string name;
    std::u16string wide;
    walkPreOrder(tree, [&](NodeId node, std::size_t level) {
        const int kind = tree.kind(node);
        const std::u16string_view text = listedName(tree.text(node).utf16(wide), kind, level == 0);
        name.clear();
        appendRaw(name, text);
        paths.resize(level + 1);
        std::string& path = paths[level];
        // As appendSlashStep() joins them, on the UTF-8 bytes.
        path.assign(level > 0 ? paths[level - 1] : std::string());
        if (level > 0 && (path.empty() || path.back() != '/')) {
            path += '/';
        }
        path += name;
        appendCsvField(out, path, raw);
        out += ',';
        appendCsvField(out, name, raw);
        out += ',';
        out += std::to_string(kind);
        out += ',';
        out += kindName(kind);
        out += ',';
        out += std::to_string(level);
        out += "\r\n";
        output.flushIfFull();
    });
}

void writeJsonLines(const SnapshotTree& tree, std::string_view file, Output& output) {
    NodeRow row;
    walkPreOrder(tree, [&](NodeId node, std::size_t) {
        describeNode(file, tree, node, row);
        appendJsonObject(output.buffer(), row);
        output.buffer() += '\n';
        output.flushIfFull();
    });
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

    // One tree for the page, one for each file otherwise (their rows name it).
    std::vector<std::unique_ptr<SnapshotTree>> trees;
    if (format == ExportFormat::Html) {
        trees.push_back(std::make_unique<SnapshotTree>());
        if (!loadAll(files, *trees.back())) {
            return kExitFailure;
        }
    } else if (!loadEach(files, trees)) {
        return kExitFailure;
    }
    const bool written = writeOutput(line, files, [&](Output& output) {
        for (std::size_t k = 0; k < trees.size(); ++k) {
            if (format == ExportFormat::Csv) {
                writeCsv(*trees[k], output, k == 0, line.has(kOptCsvRaw));
            } else if (format == ExportFormat::Json) {
                writeJsonLines(*trees[k], files[k], output);
            } else {
                writeCataloguePage(*trees[k], utf8ToUtf16(title), output);
            }
        }
        return !output.failed();
    });
    return written ? kExitOk : kExitFailure;
}

} // namespace zelvane::cli
