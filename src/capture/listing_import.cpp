#include "capture/listing_import.h"

#include <algorithm>
#include <cctype>

#include "capture/classification.h"
#include "document/snapshot_file.h"
#include "text/step_index.h"
#include "text/utf.h"

namespace zelvane {

namespace {

// Adds entries to a listing, one for each name under a parent however often it is given.
class EntryIndex {
public:
    explicit EntryIndex(Listing& listing) : listing_(listing) {
        listing_.entries.push_back({0, {}, true});
    }
    std::uint32_t child(std::uint32_t parent, std::string_view name) {
        const auto [step, added] = index_.insert(parent, name);
        if (added) {
            listing_.entries.push_back({parent, name});
            listing_.entries[parent].folder = true;
        }
        return step + 1; // entry 0 is the root
    }

private:
    Listing& listing_;
    StepIndex<char> index_;
};

std::string lineError(std::size_t line, std::string_view reason) {
    std::string error = "line " + std::to_string(line) + ": ";
    error += reason;
    return error;
}

// The steps of path, without empty and "." steps; false for a path with a ".." step.
bool splitSteps(std::string_view path, std::vector<std::string_view>& steps) {
    steps.clear();
    while (!path.empty()) {
        const std::size_t slash = path.find('/');
        const std::string_view step = path.substr(0, slash);
        path.remove_prefix(slash == std::string_view::npos ? path.size() : slash + 1);
        if (step == "..") {
            return false;
        }
        if (!step.empty() && step != ".") {
            steps.push_back(step);
        }
    }
    return true;
}

void readPaths(std::string_view data, char end, Listing& listing) {
    EntryIndex index(listing);
    std::vector<std::string_view> steps;
    std::vector<std::string_view> previous; // the steps of the path before, and their entries
    std::vector<std::uint32_t> nodes;
    std::vector<std::string_view> rootSteps;
    std::uint32_t firstNode = 0;
    bool first = true;
    bool allBelow = true;     // every path after the first lies below it
    std::size_t deepLine = 0; // the first line deeper than 255 levels below the new root
    std::size_t lineNumber = 0;
    while (!data.empty()) {
        const std::size_t stop = data.find(end);
        const std::string_view line = data.substr(0, stop);
        data.remove_prefix(stop == std::string_view::npos ? data.size() : stop + 1);
        ++lineNumber;
        if (line.empty()) {
            continue;
        }
        if (line.find('\0') != std::string_view::npos) {
            listing.error =
                lineError(lineNumber, "a NUL byte in the line (NUL-terminated listings take -0)");
            return;
        }
        if (!splitSteps(line, steps)) {
            listing.error = lineError(lineNumber, "'..' in a path");
            return;
        }
        if (steps.size() > kMaxStoredDepth + rootSteps.size()) {
            listing.error = lineError(lineNumber, "deeper than 255 levels");
            return;
        }
        if (steps.size() > kMaxStoredDepth && deepLine == 0) {
            deepLine = lineNumber;
        }
        std::size_t same = 0;
        while (same < previous.size() && same < steps.size() && previous[same] == steps[same]) {
            ++same;
        }
        nodes.resize(same);
        for (std::size_t k = same; k < steps.size(); ++k) {
            nodes.push_back(index.child(k == 0 ? 0 : nodes[k - 1], steps[k]));
        }
        const std::uint32_t node = nodes.empty() ? 0 : nodes.back();
        if (line.back() == '/') {
            listing.entries[node].folder = true;
        }
        if (first) {
            first = false;
            rootSteps = steps;
            firstNode = node;
            std::string_view root = line;
            while (root.size() > 1 && root.back() == '/') {
                root.remove_suffix(1);
            }
            listing.rootPath.emplace(root);
        } else if (allBelow) {
            allBelow = steps.size() >= rootSteps.size() &&
                       std::equal(rootSteps.begin(), rootSteps.end(), steps.begin());
        }
        previous = steps;
    }
    if (first || !allBelow || !listing.entries[firstNode].folder) {
        listing.rootPath.reset();
        if (deepLine != 0) {
            listing.error = lineError(deepLine, "deeper than 255 levels");
        }
        return;
    }
    // The first path is the root: its content goes under the new root, the steps down to
    // it go.
    for (std::uint32_t n = firstNode; n != 0; n = listing.entries[n].parent) {
        listing.entries[n].dropped = true;
    }
    for (Listing::Entry& entry : listing.entries) {
        if (entry.parent == firstNode) {
            entry.parent = 0;
        }
    }
}

// The ncdu export, read strictly: any fault stops at its byte.
class NcduReader {
public:
    NcduReader(std::string_view data, Listing& listing)
        : data_(data), listing_(listing), index_(listing) {}

    void read() {
        try {
            expect('[');
            if (number() != 1) {
                fail("not an ncdu export of major version 1");
            }
            expect(',');
            number();
            expect(',');
            skipValue(0);
            expect(',');
            folder(0, 0);
            expect(']');
            blank();
            if (at_ != data_.size()) {
                fail("text after the end of the listing");
            }
        } catch (const Fault&) {
            // The fault is in the listing's error.
        }
    }

private:
    struct Fault {};
    static constexpr int kMaxNesting = 64; // of the values the listing does not use

    [[noreturn]] void fail(std::string_view reason) {
        listing_.error = "byte " + std::to_string(at_ + 1) + ": ";
        listing_.error += reason;
        throw Fault{};
    }
    // The byte at the reading place; the end of the data there is a fault.
    char current() {
        if (at_ >= data_.size()) {
            fail("the listing ends too early");
        }
        return data_[at_];
    }
    void blank() {
        while (at_ < data_.size() && (data_[at_] == ' ' || data_[at_] == '\t' ||
                                      data_[at_] == '\n' || data_[at_] == '\r')) {
            ++at_;
        }
    }
    bool peek(char c) {
        blank();
        return at_ < data_.size() && data_[at_] == c;
    }
    void expect(char c) {
        blank();
        if (current() != c) {
            fail(std::string("'") + c + "' expected");
        }
        ++at_;
    }
    bool isDigit() const { return at_ < data_.size() && data_[at_] >= '0' && data_[at_] <= '9'; }
    // One or more digits; their value, UINT64_MAX when it does not fit.
    std::uint64_t digits() {
        if (current() < '0' || current() > '9') {
            fail("a digit expected");
        }
        std::uint64_t value = 0;
        for (; isDigit(); ++at_) {
            const auto digit = static_cast<std::uint64_t>(data_[at_] - '0');
            value = value > (UINT64_MAX - digit) / 10 ? UINT64_MAX : value * 10 + digit;
        }
        return value;
    }
    // A JSON number: a whole number's value, else 0.
    std::uint64_t number() {
        blank();
        const bool negative = current() == '-';
        at_ += negative ? 1 : 0;
        const std::size_t from = at_;
        const std::uint64_t whole = digits();
        if (data_[from] == '0' && at_ - from > 1) {
            at_ = from + 1;
            fail("a number with a leading zero");
        }
        bool fraction = false;
        if (at_ < data_.size() && data_[at_] == '.') {
            ++at_;
            fraction = true;
            digits();
        }
        if (at_ < data_.size() && (data_[at_] == 'e' || data_[at_] == 'E')) {
            ++at_;
            fraction = true;
            at_ += at_ < data_.size() && (data_[at_] == '+' || data_[at_] == '-') ? 1 : 0;
            digits();
        }
        return negative || fraction ? 0 : whole;
    }
    unsigned hex() {
        unsigned unit = 0;
        for (int k = 0; k < 4; ++k, ++at_) {
            const auto c = static_cast<unsigned char>(current());
            if (std::isxdigit(c) == 0) {
                fail("a hexadecimal digit expected");
            }
            unit = unit * 16 + (c <= '9' ? c - '0' : (c | 0x20) - 'a' + 10);
        }
        return unit;
    }
    // One \uXXXX escape (after its \u) as bytes: a pair of surrogates as its code point, a
    // byte kept from a name that was not UTF-8 (U+DC80..U+DCFF) as that byte, any other
    // lone surrogate as U+FFFD.
    void unicodeEscape(std::string& out) {
        const unsigned unit = hex();
        if (unit >= 0xD800 && unit < 0xDC00 && data_.substr(at_, 2) == "\\u") {
            const std::size_t back = at_;
            at_ += 2;
            const unsigned low = hex();
            if (low >= 0xDC00 && low < 0xE000) {
                appendUtf8(out, 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00));
                return;
            }
            at_ = back;
        }
        if (unit >= 0xDC80 && unit < 0xDD00) {
            out += static_cast<char>(unit - 0xDC00);
        } else {
            appendUtf8(out, unit >= 0xD800 && unit < 0xE000 ? 0xFFFD : unit);
        }
    }
    // A string's bytes as they are, or decoded into the listing when it holds escapes.
    std::string_view string() {
        expect('"');
        const std::size_t from = at_;
        std::string* decoded = nullptr;
        for (char c = current(); c != '"'; c = current()) {
            if (static_cast<unsigned char>(c) < 0x20) {
                fail("a control character in a string");
            }
            ++at_;
            if (c != '\\') {
                if (decoded != nullptr) {
                    *decoded += c;
                }
                continue;
            }
            if (decoded == nullptr) {
                decoded = &listing_.decoded.emplace_back(data_.substr(from, at_ - 1 - from));
            }
            static constexpr std::string_view kEscapes = "\"\\/bfnrt";
            static constexpr std::string_view kMeanings = "\"\\/\b\f\n\r\t";
            const char e = current();
            const std::size_t which = kEscapes.find(e);
            if (e != 'u' && which == std::string_view::npos) {
                fail("not a valid escape");
            }
            ++at_;
            if (e == 'u') {
                unicodeEscape(*decoded);
            } else {
                *decoded += kMeanings[which];
            }
        }
        ++at_;
        return decoded != nullptr ? std::string_view(*decoded) : data_.substr(from, at_ - 1 - from);
    }
    void skipValue(int nesting) {
        if (nesting > kMaxNesting) {
            fail("nested too deeply");
        }
        blank();
        const char c = current();
        if (c == '"') {
            string();
        } else if (c == '{' || c == '[') {
            const char close = c == '{' ? '}' : ']';
            ++at_;
            if (peek(close)) {
                ++at_;
                return;
            }
            do {
                if (close == '}') {
                    string();
                    expect(':');
                }
                skipValue(nesting + 1);
            } while (peek(',') && ++at_ > 0);
            expect(close);
        } else if (c == 't' || c == 'f' || c == 'n') {
            const std::string_view word = c == 't' ? "true" : c == 'f' ? "false" : "null";
            if (data_.substr(at_, word.size()) != word) {
                fail("not a JSON value");
            }
            at_ += word.size();
        } else {
            number();
        }
    }
    // An entry's object: its name (required, not empty but for the top folder's, no NUL)
    // and its size.
    std::string_view info(std::uint64_t& size, bool root) {
        expect('{');
        std::optional<std::string_view> name;
        if (peek('}')) {
            ++at_;
        } else {
            do {
                const std::string_view key = string();
                expect(':');
                if (key == "name") {
                    name = string();
                } else if (key == "asize") {
                    size = number();
                } else {
                    skipValue(1);
                }
            } while (peek(',') && ++at_ > 0);
            expect('}');
        }
        if (!name) {
            fail("an entry without a name");
        }
        if (name->empty() && !root) {
            fail("an entry with an empty name");
        }
        if (name->find('\0') != std::string_view::npos) {
            fail("a NUL character in a name");
        }
        return *name;
    }
    void folder(std::uint32_t parent, std::size_t level) {
        if (level > kMaxStoredDepth) {
            fail("deeper than 255 levels");
        }
        expect('[');
        std::uint64_t size = 0;
        const std::string_view name = info(size, level == 0);
        std::uint32_t node = 0;
        if (level == 0) {
            listing_.rootPath.emplace(name);
        } else {
            node = index_.child(parent, name);
            listing_.entries[node].folder = true;
        }
        while (peek(',')) {
            ++at_;
            if (peek('[')) {
                folder(node, level + 1);
                continue;
            }
            if (level + 1 > kMaxStoredDepth) {
                fail("deeper than 255 levels");
            }
            size = 0;
            const std::string_view file = info(size, false);
            listing_.entries[index_.child(node, file)].size = size;
        }
        expect(']');
    }

    std::string_view data_;
    std::size_t at_ = 0;
    Listing& listing_;
    EntryIndex index_;
};

} // namespace

Listing readListing(std::string_view data, ListingForm form) {
    Listing listing;
    if (form == ListingForm::Ncdu) {
        NcduReader(data, listing).read();
    } else {
        readPaths(data, form == ListingForm::NulPaths ? '\0' : '\n', listing);
    }
    return listing;
}

ImportOutcome addListing(SnapshotTree& tree, const Listing& listing, std::u16string_view label,
                         const TextOrder& order) {
    ImportOutcome outcome;
    const bool wasInOrder = tree.inOrder();
    const SnapshotTree::BulkUpdate bulk(tree);
    outcome.root = tree.insertLast(kTopLevel, label);
    tree.setTextAndBold(outcome.root, label); // as a capture's root
    tree.setKind(outcome.root, kKindDriveRoot);
    std::vector<NodeId> ids(listing.entries.size(), outcome.root);
    std::u16string name;
    std::u16string text;
    for (std::size_t i = 1; i < listing.entries.size(); ++i) {
        const Listing::Entry& entry = listing.entries[i];
        if (entry.dropped) {
            continue;
        }
        widen(entry.name, name);
        if (entry.folder) {
            ids[i] = tree.insertLast(ids[entry.parent], name);
            finishFolderNode(tree, ids[i], name, text);
            ++outcome.folders;
            continue;
        }
        const NameParts parts = splitExtension(name);
        ids[i] = tree.insertLast(ids[entry.parent], name);
        tree.setKind(ids[i], classifyFile(parts.base, parts.extension));
        ++outcome.files;
        outcome.total += entry.size;
    }
    sortTreeAfterCapture(tree, outcome.root, wasInOrder, order);
    return outcome;
}

} // namespace zelvane
