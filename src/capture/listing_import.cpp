#include "capture/listing_import.h"

#include <algorithm>

#include "capture/classification.h"
#include "document/node_text.h"
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
        std::uint64_t major = 0;
        if (!expect('[') || !number(&major)) {
            return;
        }
        if (major != 1) {
            fail("not an ncdu export of major version 1");
            return;
        }
        if (expect(',') && number(nullptr) && expect(',') && skipValue(0) && expect(',') &&
            folder(0, 0) && expect(']')) {
            blank();
            if (at_ != data_.size()) {
                fail("text after the end of the listing");
            }
        }
    }

private:
    static constexpr int kMaxNesting = 64; // of the values the listing does not use

    bool fail(std::string_view reason) {
        if (listing_.error.empty()) {
            listing_.error = "byte " + std::to_string(at_ + 1) + ": ";
            listing_.error += reason;
        }
        return false;
    }
    bool ended() { return at_ >= data_.size() && !fail("the listing ends too early"); }
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
    bool expect(char c) {
        if (peek(c)) {
            ++at_;
            return true;
        }
        return !ended() && fail(std::string("'") + c + "' expected");
    }
    bool digits(std::uint64_t* value) {
        const std::size_t from = at_;
        while (at_ < data_.size() && data_[at_] >= '0' && data_[at_] <= '9') {
            if (value != nullptr) {
                const auto digit = static_cast<std::uint64_t>(data_[at_] - '0');
                *value = *value > (UINT64_MAX - digit) / 10 ? UINT64_MAX : *value * 10 + digit;
            }
            ++at_;
        }
        return at_ > from || (!ended() && fail("a digit expected"));
    }
    // A JSON number; value (when given) gets a whole number's value, else 0.
    bool number(std::uint64_t* value) {
        blank();
        std::uint64_t whole = 0;
        const bool negative = at_ < data_.size() && data_[at_] == '-';
        at_ += negative ? 1 : 0;
        const std::size_t from = at_;
        if (!digits(&whole)) {
            return false;
        }
        if (data_[from] == '0' && at_ - from > 1) {
            at_ = from + 1;
            return fail("a number with a leading zero");
        }
        bool fraction = false;
        if (at_ < data_.size() && data_[at_] == '.') {
            ++at_;
            fraction = true;
            if (!digits(nullptr)) {
                return false;
            }
        }
        if (at_ < data_.size() && (data_[at_] == 'e' || data_[at_] == 'E')) {
            ++at_;
            fraction = true;
            at_ += at_ < data_.size() && (data_[at_] == '+' || data_[at_] == '-') ? 1 : 0;
            if (!digits(nullptr)) {
                return false;
            }
        }
        if (value != nullptr) {
            *value = negative || fraction ? 0 : whole;
        }
        return true;
    }
    bool hex(unsigned& unit) {
        unit = 0;
        for (int k = 0; k < 4; ++k, ++at_) {
            if (ended()) {
                return false;
            }
            const char c = data_[at_];
            const int digit = c >= '0' && c <= '9'   ? c - '0'
                              : c >= 'a' && c <= 'f' ? c - 'a' + 10
                              : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                                     : -1;
            if (digit < 0) {
                return fail("a hexadecimal digit expected");
            }
            unit = unit * 16 + static_cast<unsigned>(digit);
        }
        return true;
    }
    // One \uXXXX escape (after its \u) as bytes: a pair of surrogates as its code point, a
    // byte kept from a name that was not UTF-8 (U+DC80..U+DCFF) as that byte.
    bool unicodeEscape(std::string& out) {
        unsigned unit = 0;
        if (!hex(unit)) {
            return false;
        }
        if (unit >= 0xD800 && unit < 0xDC00 && data_.substr(at_, 2) == "\\u") {
            const std::size_t back = at_;
            at_ += 2;
            unsigned low = 0;
            if (!hex(low)) {
                return false;
            }
            if (low >= 0xDC00 && low < 0xE000) {
                appendUtf8(out, 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00));
                return true;
            }
            at_ = back;
        }
        if (unit >= 0xDC80 && unit < 0xDD00) {
            out += static_cast<char>(unit - 0xDC00);
        } else {
            appendUtf8(out, unit >= 0xD800 && unit < 0xE000 ? 0xFFFD : unit);
        }
        return true;
    }
    // A string's bytes as they are, or decoded into the listing when it holds escapes.
    bool string(std::string_view& text) {
        if (!expect('"')) {
            return false;
        }
        const std::size_t from = at_;
        std::string* decoded = nullptr;
        for (;;) {
            if (ended()) {
                return false;
            }
            const char c = data_[at_];
            if (static_cast<unsigned char>(c) < 0x20) {
                return fail("a control character in a string");
            }
            if (c == '"') {
                text = decoded != nullptr ? std::string_view(*decoded)
                                          : data_.substr(from, at_ - from);
                ++at_;
                return true;
            }
            if (c != '\\') {
                if (decoded != nullptr) {
                    *decoded += c;
                }
                ++at_;
                continue;
            }
            if (decoded == nullptr) {
                decoded = &listing_.decoded.emplace_back(data_.substr(from, at_ - from));
            }
            ++at_;
            if (ended()) {
                return false;
            }
            const char e = data_[at_++];
            static constexpr std::string_view kEscapes = "\"\\/bfnrt";
            static constexpr std::string_view kMeanings = "\"\\/\b\f\n\r\t";
            if (e == 'u') {
                if (!unicodeEscape(*decoded)) {
                    return false;
                }
            } else if (kEscapes.find(e) != std::string_view::npos) {
                *decoded += kMeanings[kEscapes.find(e)];
            } else {
                --at_;
                return fail("not a valid escape");
            }
        }
    }
    bool skipValue(int nesting) {
        if (nesting > kMaxNesting) {
            return fail("nested too deeply");
        }
        blank();
        if (ended()) {
            return false;
        }
        std::string_view text;
        switch (data_[at_]) {
        case '"':
            return string(text);
        case '{':
        case '[': {
            const char close = data_[at_] == '{' ? '}' : ']';
            ++at_;
            if (peek(close)) {
                ++at_;
                return true;
            }
            do {
                if (close == '}' && !(string(text) && expect(':'))) {
                    return false;
                }
                if (!skipValue(nesting + 1)) {
                    return false;
                }
            } while (peek(',') && ++at_ > 0);
            return expect(close);
        }
        case 't':
            return word("true");
        case 'f':
            return word("false");
        case 'n':
            return word("null");
        default:
            return number(nullptr);
        }
    }
    bool word(std::string_view w) {
        if (data_.substr(at_, w.size()) != w) {
            return fail("not a JSON value");
        }
        at_ += w.size();
        return true;
    }
    // An entry's object: its name (required, not empty, no NUL) and size.
    bool info(std::string_view& name, std::uint64_t& size, bool root) {
        if (!expect('{')) {
            return false;
        }
        bool named = false;
        if (peek('}')) {
            ++at_;
        } else {
            do {
                std::string_view key;
                if (!string(key) || !expect(':')) {
                    return false;
                }
                if (key == "name") {
                    named = string(name);
                    if (!named) {
                        return false;
                    }
                } else if (!(key == "asize" ? number(&size) : skipValue(1))) {
                    return false;
                }
            } while (peek(',') && ++at_ > 0);
            if (!expect('}')) {
                return false;
            }
        }
        if (!named || (name.empty() && !root)) {
            return fail(named ? "an entry with an empty name" : "an entry without a name");
        }
        return name.find('\0') == std::string_view::npos || fail("a NUL character in a name");
    }
    bool folder(std::uint32_t parent, std::size_t level) {
        if (level > kMaxStoredDepth) {
            blank();
            return fail("deeper than 255 levels");
        }
        std::string_view name;
        std::uint64_t size = 0;
        if (!expect('[') || !info(name, size, level == 0)) {
            return false;
        }
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
                if (!folder(node, level + 1)) {
                    return false;
                }
            } else if (level + 1 > kMaxStoredDepth) {
                return fail("deeper than 255 levels");
            } else if (!info(name, size = 0, false)) {
                return false;
            } else {
                listing_.entries[index_.child(node, name)].size = size;
            }
        }
        return expect(']');
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
    if (!listing.error.empty()) {
        listing.entries.clear();
        listing.rootPath.reset();
    }
    return listing;
}

ImportOutcome addListing(SnapshotTree& tree, const Listing& listing, std::u16string_view label,
                         const TextOrder& order) {
    ImportOutcome outcome;
    const bool wasInOrder = tree.inOrder();
    const SnapshotTree::BulkUpdate bulk(tree);
    outcome.root = tree.insertLast(kTopLevel, label);
    tree.setTextAndBold(outcome.root, label);
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
            assignFolderText(text, name);
            ids[i] = tree.insertLast(ids[entry.parent], text);
            tree.setTextAndBold(ids[i], text);
            tree.setKind(ids[i], kKindFolder);
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
