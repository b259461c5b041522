// zelvane-cli export: a whole snapshot as CSV, as JSON Lines or as one HTML page.
#pragma once

#include <string_view>

#include "document/snapshot_tree.h"

namespace zelvane::cli {

class Output;

// CSV (RFC 4180): a header line, then one line a node in tree order with the columns
// path, name, kind, kind name, depth (the header left out without header); lines end in CR LF,
// and a field that holds a comma, a double quote, CR or LF is quoted with its double quotes
// doubled. Names are the bytes the file system gave (UTF-8 as a rule); a folder's name goes
// without its leading space. Unless raw, a path or name that starts with =, +, -, @, a tab or
// CR gets a ' in front, so that a spreadsheet takes it for text, never for a formula.
void writeCsv(const SnapshotTree& tree, Output& out, bool header = true, bool raw = false);

// JSON Lines: one object a node in tree order, the rows of the other commands' --format json.
void writeJsonLines(const SnapshotTree& tree, std::string_view file, Output& out);

// The catalogue as one HTML page that needs no other file and no network.
void writeCataloguePage(const SnapshotTree& tree, std::u16string_view title, Output& out);

} // namespace zelvane::cli
