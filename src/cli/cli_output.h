// How zelvane-cli shows nodes, names and messages, and how it writes standard output.
//
// Escaping (each function appends to out):
//   appendDisplay(out, text)   for people and terminals (the text format and every message):
//                              printable text as UTF-8, the backslash as it is; control
//                              characters below U+0080 as \xNN; a byte kept from a name that
//                              is not valid UTF-8 (U+DC80..U+DCFF, see text/utf.h) as \xNN
//                              with NN >= 80; C1 controls, line and paragraph separators,
//                              bidirectional controls and other lone surrogates as \uXXXX.
//                              Nothing a name holds can move the cursor or retitle a window.
//   appendTsvField(out, text)  the same, but lossless: the backslash is \\, tab \t, newline
//                              \n, carriage return \r. Read back: \\ \t \n \r as usual;
//                              \xNN below 80 is that character, \xNN from 80 up is the raw
//                              byte NN of a name that was not valid UTF-8; \uXXXX is that
//                              UTF-16 code unit (possibly a lone surrogate).
//   appendJsonString(out, text) a quoted JSON string. Texts are UTF-16 code units, and
//                              JSON's \uXXXX escapes are UTF-16 code units too, so a lone
//                              surrogate is written as its own \uXXXX escape and the text
//                              comes back unit for unit (Python: json.loads). Bytes of an
//                              invalid UTF-8 name arrive as U+DC80..U+DCFF; Python's
//                              s.encode("utf-8", "surrogateescape") gives the original bytes.
//   appendRaw(out, text)       the bytes of the name as the file system had them (for -0):
//                              UTF-8, kept bytes restored; other lone surrogates as U+FFFD.
//   displayArgument(bytes)     a command-line argument (a file name) made safe for a message.
//
// Rows: a node is described by NodeRow (its snapshot file, the texts and kinds of its
// ancestors from the root down, its own text and kind), made by describeNode(). Then:
//   appendPath(out, row, style, escape)       the folder part: " Root\ Folder" (Native, the
//                                             Search Results' Path column) or "Root/Folder"
//                                             (Slash: no folder's leading space)
//   appendName(out, row, style, escape)       the node's text (Slash: a folder's without its
//                                             leading space)
//   appendWholePath(out, row, style, escape)  path and name joined by \ or /
//   appendTsvFields(out, row, style)          file, path, name, kind, kind name; tab-separated,
//                                             no terminator
//   appendJsonFields(out, row)                "file":..,"path":[..],"name":..,"kind":N,
//                                             "kindName":"..","fullPath":".." (the slash
//                                             path) without braces, so that a caller can
//                                             add fields of its own
//   appendJsonObject(out, row)                {fields} without a terminator
// JSON's path and name are always the stored texts (a folder's leading space included),
// whatever the path style. kindName(kind) gives the names of the kind table ("folder",
// "drive-root", ...), "unknown" for kinds above 11.
//
// Options: listingOptionSpecs() are --format text|tsv|json, -0/--null, --path-style
// slash|native, --kinds numbers|names and -o for every command that lists nodes;
// outputOptionsOf() reads them back from a parsed command line.
//
// Output: standard output collected in large blocks, every write checked. A closed pipe
// ends the program quietly (SIGPIPE, or EPIPE when it is ignored); any other failure
// (a full disk, /dev/full) is told once on standard error, and finish() returns false so
// that the command exits with status 2.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "cli/cli_options.h"
#include "document/node_text.h"
#include "document/snapshot_file.h"
#include "document/snapshot_tree.h"

namespace zelvane::cli {

class Output;

enum class Format { Text, Tsv, Json };
enum class PathStyle { Native, Slash };
enum class KindStyle { Numbers, Names };

struct OutputOptions {
    Format format = Format::Text;
    PathStyle pathStyle = PathStyle::Slash;
    bool pathStyleGiven = false; // --path-style was given
    KindStyle kinds = KindStyle::Numbers;
    bool null = false;       // -0: whole paths, raw, each followed by a NUL
    bool kindsShown = false; // --kinds was given
};

// The ids of the shared options, above every command's own.
inline constexpr int kOptFormat = 100;
inline constexpr int kOptNull = 101;
inline constexpr int kOptPathStyle = 102;
inline constexpr int kOptKinds = 103;
inline constexpr int kOptOutput = 104;

// -o/--output FILE: where a command writes what it would print.
OptionSpec outputFileSpec();
// --format text|tsv|json, -0/--null, --path-style, --kinds (when withKinds) and -o: the
// options of every command that lists nodes.
std::vector<OptionSpec> listingOptionSpecs(bool withKinds = true);
// What line's listing options ask for; reports a misuse (-0 with tsv or json) and returns
// nullopt.
std::optional<OutputOptions> outputOptionsOf(std::string_view command, const CommandLine& line);

// Runs write over standard output, or over the file -o names (replaced only once write has
// succeeded, a device or a pipe written as it is); false, told, when it cannot be written.
// A file -o names that is one of inputs (the same file, however named) is refused.
bool writeOutput(const CommandLine& line, const std::vector<std::string_view>& inputs,
                 const std::function<bool(Output& out)>& write);
inline bool writeOutput(const CommandLine& line, const std::function<bool(Output& out)>& write) {
    return writeOutput(line, {}, write);
}

std::string_view kindName(int kind);
// Appends a node's kind as --kinds asks: its number or its name.
void appendKind(std::string& out, int kind, KindStyle style);
// The names of kinds 0 to 11, in order.
std::vector<std::string_view> kindNames();

enum class Escape { Display, Tsv, Json, Raw };

void appendDisplay(std::string& out, NodeText text);
void appendTsvField(std::string& out, NodeText text);
void appendJsonString(std::string& out, std::u16string_view text);
// The same without its quotes.
void appendJsonText(std::string& out, NodeText text);
void appendRaw(std::string& out, NodeText text);
// Appends text escaped the given way (Json: a quoted string).
void appendEscaped(std::string& out, std::u16string_view text, Escape escape);

std::string displayArgument(std::string_view bytes);

// The escaped paths of the levels of a streaming read, kept from one row to the next: in
// each form, the path down to each level and the serial of the node it was made for.
struct EscapedPaths {
    struct Form {
        std::string text;
        std::vector<std::size_t> ends; // text's length after each level
        std::vector<std::uint64_t> serials;
    };
    std::array<Form, 9> forms;           // a path style with an escape each, and JSON's path array
    std::string file, fileTsv, fileJson; // file's fields as TSV and JSON escape them
    std::string whole;                   // a path of a row from a tree
};

struct NodeRow {
    std::string_view file;         // the snapshot file as named on the command line
    std::vector<PathElement> path; // the ancestors, root first (empty for a root)
    std::u16string_view name;      // the node's stored text
    int kind = 0;
    const ReadChain* chain = nullptr;   // the read it comes from, when it comes from one
    mutable EscapedPaths escaped;       // for such rows
    std::vector<std::uint64_t> serials; // of the chain's nodes that path was made from
    std::size_t room = 0;               // the chain's room then
    // UTF-16 copies of the texts that a tree holds in one byte a unit, reused row by row.
    std::vector<std::u16string> widened;
};

// Fills row for node (its texts stay owned by tree). row's vector is reused.
void describeNode(std::string_view file, const SnapshotTree& tree, NodeId node, NodeRow& row);
// Fills row for the last node of chain, met in a streaming read (its texts stay owned by
// chain, valid until the read goes on).
void describeNode(std::string_view file, const ReadChain& chain, NodeRow& row);

void appendPath(std::string& out, const NodeRow& row, PathStyle style, Escape escape);
void appendName(std::string& out, const NodeRow& row, PathStyle style, Escape escape);
void appendWholePath(std::string& out, const NodeRow& row, PathStyle style, Escape escape);
void appendTsvFields(std::string& out, const NodeRow& row, PathStyle style);
void appendJsonFields(std::string& out, const NodeRow& row);
void appendJsonObject(std::string& out, const NodeRow& row);

// One row of list in the form options ask for, level levels below the first listed: in the
// text form an indented tree, unless --path-style slash is given.
// Whether options ask for list's tree form (each node's kind and name, indented by its
// level), whose rows appendTreeRow writes from the name and the kind alone.
bool isTreeForm(const OutputOptions& options);
void appendTreeRow(std::string& out, NodeText name, int kind, std::size_t level,
                   const OutputOptions& options);
void appendListedRow(std::string& out, const NodeRow& row, std::size_t level,
                     const OutputOptions& options);

// One row of a command that finds nodes (search, unique) in the form options ask for, with
// its file first in the text and -0 forms when withFile.
void appendFoundRow(std::string& out, const NodeRow& row, const OutputOptions& options,
                    bool withFile);

// The visits of a part of a file read in parts that write text, for putPart() to put out.
class TextPart : public PartVisitor {
public:
    // Room for a full part and the row that fills it: text is not doubled as it grows.
    TextPart() { text.reserve(kFullPart + kRowRoom); }
    bool full() const override { return text.size() >= kFullPart; }
    std::string text;
    static constexpr std::size_t kFullPart = std::size_t{4} << 20;
    static constexpr std::size_t kRowRoom = std::size_t{256} << 10;
};
// Puts out what part (a TextPart) wrote, and empties it; false when the output failed.
bool putPart(PartVisitor& part, Output& out);

// Standard output (or another descriptor) written in blocks, every write checked.
class Output {
public:
    // name is the file fd writes, for messages; empty for standard output.
    explicit Output(int fd = 1, std::string_view name = {}) : fd_(fd), name_(name) {}
    Output(const Output&) = delete;
    Output& operator=(const Output&) = delete;

    // Append here, then call flushIfFull() now and then.
    std::string& buffer() { return buffer_; }
    void flushIfFull() {
        if (buffer_.size() >= kBlock) {
            flush();
        }
    }
    // Writes what is buffered; false (told once) when the output cannot be written.
    bool flush();
    // Appends text; a large one is written from where it is, after what is buffered.
    void put(std::string_view text) {
        if (buffer_.size() + text.size() < kBlock) {
            buffer_ += text;
        } else if (flush()) {
            writeAll(text);
        }
    }
    // Writes the rest; false when any write failed.
    bool finish() { return flush(); }
    bool failed() const { return failed_; }

private:
    void writeAll(std::string_view bytes);
    static constexpr std::size_t kBlock = 1u << 16;
    int fd_;
    std::string name_;
    bool failed_ = false;
    std::string buffer_;
};

} // namespace zelvane::cli
