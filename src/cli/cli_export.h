// zelvane-cli export: a whole snapshot as CSV, as JSON Lines or as one HTML page.
#pragma once

#include <memory>
#include <string_view>

#include "document/snapshot_file.h"

namespace zelvane::cli {

class Output;

// The rows of an export, written while the snapshot files are read a part at a time:
// begin(), then for each file (as named on the command line) the visitors that part() makes
// visit its parts on helper threads, each part's visitor given to take() in the order of
// the file; then end().
class ExportWriter {
public:
    virtual ~ExportWriter() = default;
    virtual void begin(Output&) {}
    virtual std::unique_ptr<PartVisitor> part(std::string_view file) = 0;
    // Puts out what a part's visits made, leaving its visitor ready for another part: by
    // default the text of a TextPart.
    virtual void take(PartVisitor& part, Output& out);
    virtual void end(Output&) {}
};

// CSV (RFC 4180): a header line, then one line a node in tree order with the columns
// path, name, kind, kind name, depth; lines end in CR LF, and a field that holds a comma, a
// double quote, CR or LF is quoted with its double quotes doubled. Names are the bytes the
// file system gave (UTF-8 as a rule); a folder's name goes without its leading space. Unless
// raw, a path or name that starts with =, +, -, @, a tab or CR gets a ' in front, so that a
// spreadsheet takes it for text, never for a formula.
std::unique_ptr<ExportWriter> csvWriter(bool raw);

// JSON Lines: one object a node in tree order, the rows of the other commands' --format json.
std::unique_ptr<ExportWriter> jsonLinesWriter();

// The catalogue as one HTML page that needs no other file and no network, with the roots of
// every file.
std::unique_ptr<ExportWriter> cataloguePageWriter(std::u16string_view title);

} // namespace zelvane::cli
