// zelvane-cli export: the whole catalogue of a snapshot file as CSV, JSON Lines or HTML.
#include "cli/cli_export.h"

#include <cerrno>
#include <new>
#include <string>

#include "cli/cli_common.h"
#include "cli/cli_output.h"
#include "document/node_text.h"
#include "platform/replace_file.h"
#include "text/utf.h"

namespace zelvane::cli {

extern const char kExportUsage[] =
    "Usage: zelvane-cli export FILE --format csv|json|html -o OUT [--title TEXT]\n"
    "Writes the whole catalogue of a snapshot file to OUT (- for standard output), every\n"
    "node in the order of the tree. A file OUT is replaced only once the whole export has\n"
    "been written. Without --format, the format follows the extension of OUT (.csv, .json,\n"
    ".jsonl, .html, .htm).\n"
    "  --format csv    RFC 4180: a header line, then one line a node with the columns path,\n"
    "                  name, kind, kind name, depth: the path from the root down to the\n"
    "                  node itself joined by /, the name, the kind number, its name and the\n"
    "                  node's level (0 for a root). Folders go without their leading space;\n"
    "                  names are the bytes the file system gave them. Lines end in CR LF; a\n"
    "                  field with a comma, a double quote or a line break is put in double\n"
    "                  quotes, its double quotes doubled.\n"
    "  --format json   JSON Lines: the rows of list --format json.\n"
    "  --format html   one page that any web browser opens without a network or other\n"
    "                  files: the tree with its icons, to open and close, and a filter that\n"
    "                  shows the names holding what is typed (letter case ignored) with the\n"
    "                  folders above them. A link to page.html#filter=text opens it filtered.\n"
    "  -o OUT          the file to write, or - for standard output\n"
    "  --title TEXT    the title of the page (default: the file name of FILE)\n"
    "  --              every argument after it is FILE, even if it begins with -\n"
    "Exit status: 0, or 2 when FILE cannot be read, OUT cannot be written or the\n"
    "arguments are wrong.\n";

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

void appendCsvField(std::string& out, std::string_view field) {
    if (field.find_first_of(",\"\r\n") == std::string_view::npos) {
        out += field;
        return;
    }
    out += '"';
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

void writeCsv(const SnapshotTree& tree, Output& output) {
    std::string& out = output.buffer();
    out += "path,name,kind,kind name,depth\r\n";
    // The path of the node last seen at each level, so that each name is converted once.
    std::vector<std::string> paths;
    std::string name;
    walkPreOrder(tree, [&](NodeId node, std::size_t level) {
        const int kind = tree.kind(node);
        const std::u16string_view text = listedName(tree.text(node), kind, level == 0);
        name.clear();
        appendRaw(name, text);
        paths.resize(level + 1);
        std::string& path = paths[level];
        if (level > 0) {
            path.assign(paths[level - 1]).append(1, '/').append(name);
        } else {
            path.assign(name);
        }
        appendCsvField(out, path);
        out += ',';
        appendCsvField(out, name);
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

int runExport(const Args& args) {
    std::vector<std::string_view> positional;
    ExportFormat format = ExportFormat::None;
    std::string_view out;
    std::string_view title;
    bool haveTitle = false;
    const bool read = readArguments(args, positional, [&](std::string_view a, std::size_t& i) {
        if (a != "--format" && a != "-o" && a != "--title") {
            return unknownOption("export", a);
        }
        const std::optional<std::string_view> value = optionValue("export", args, i);
        if (!value) {
            return false;
        }
        if (a == "--format") {
            format = formatNamed(*value);
            if (format == ExportFormat::None) {
                usageError("export", "the format is csv, json or html, not '" +
                                         displayArgument(*value) + "'");
                return false;
            }
        } else if (a == "-o") {
            out = *value;
        } else {
            title = *value;
            haveTitle = true;
        }
        return true;
    });
    if (!read) {
        return kExitFailure;
    }
    if (positional.size() != 1 || positional[0].empty()) {
        return usageError("export", positional.empty() ? "a snapshot file is needed"
                                                       : "one snapshot file, please");
    }
    if (out.empty()) {
        return usageError("export", "say where to write: -o OUT, or -o - for standard output");
    }
    if (format == ExportFormat::None) {
        format = formatOfFileName(out);
        if (format == ExportFormat::None) {
            return usageError("export", "say which format: --format csv, json or html");
        }
    }

    const std::string file(positional[0]);
    SnapshotTree tree;
    LoadStats stats;
    if (!loadOrReport(file, tree, stats)) {
        return kExitFailure;
    }
    auto write = [&](Output& output) {
        switch (format) {
        case ExportFormat::Csv:
            writeCsv(tree, output);
            break;
        case ExportFormat::Json:
            writeJsonLines(tree, file, output);
            break;
        default:
            writeCataloguePage(tree, utf8ToUtf16(haveTitle ? title : baseName(file)), output);
            break;
        }
        return output.finish();
    };
    if (out == "-") {
        Output output;
        return write(output) ? kExitOk : kExitFailure;
    }
    // A file is replaced only once the whole export is written; a device or a pipe is
    // written as it is.
    bool told = false; // the output said itself why it could not be written
    const platform::ReplaceResult replaced = platform::replaceFile(
        std::string(out),
        [&](int fd) {
            Output output(fd);
            told = !write(output);
            return told ? EIO : 0;
        },
        platform::OtherTargets::WriteInPlace);
    if (replaced.error == ENOMEM) {
        throw std::bad_alloc(); // told as everywhere else in the program
    }
    if (replaced.error != 0) {
        if (!told) {
            reportFileError(out, replaced.error);
        }
        return kExitFailure;
    }
    return kExitOk;
}

} // namespace zelvane::cli
