// The search engine: finds the nodes whose stored text matches the pattern under the
// search options and gives one result row per match, in the pre-order of the tree.
//
// Matching is plain: no character is a wildcard, nothing is trimmed, and the leading space
// of a folder's text takes part. With match case off only a to z fold onto A to Z.
// Texts of any length are compared and kept whole; the number of rows is not limited.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "document/snapshot_tree.h"
#include "search/search_options.h"

namespace zelvane {

// The rows of one search, in the order the walk found them.
//
// Texts live in one arena, so a row costs no allocation of its own. A row's path is kept
// as a chain of path pieces, one piece for each descent of the walk, so the rows below
// one folder share its piece and a deep tree costs memory in proportion to its size
// rather than to the sum of its path lengths. path() joins the pieces on demand.
class SearchResults {
public:
    std::size_t size() const { return rows_.size(); }
    bool empty() const { return rows_.empty(); }

    // Column "Item": the node's stored text, unchanged.
    std::u16string_view item(std::size_t row) const {
        const Row& r = rows_[row];
        return {arena_.data() + r.itemOffset, r.itemLength};
    }
    // Column "Path": the running path when the node matched.
    std::u16string path(std::size_t row) const;
    // The same, appended to out.
    void appendPath(std::size_t row, std::u16string& out) const;
    std::size_t pathLength(std::size_t row) const;
    // Rows with the same path identity have the same path (the converse need not hold).
    std::uint32_t pathIdentity(std::size_t row) const { return rows_[row].piece; }
    // The row's icon: the node's kind.
    int kind(std::size_t row) const { return rows_[row].kind; }
    // The node's handle in the searched tree.
    NodeId node(std::size_t row) const { return rows_[row].node; }

    // The paths as chains of pieces: pathIdentity(row) is the last piece of the row's path
    // (kNoPiece for an empty path), and each piece's text, its separator included, follows
    // the path of pieceBefore(). A piece always comes after the piece before it.
    static constexpr std::uint32_t kNoPiece = 0xFFFFFFFFu;
    std::size_t pieceCount() const { return pieces_.size(); }
    std::u16string_view pieceText(std::uint32_t piece) const {
        const Piece& p = pieces_[piece];
        return {arena_.data() + p.offset, p.length};
    }
    std::uint32_t pieceBefore(std::uint32_t piece) const { return pieces_[piece].before; }

    // Bytes held, for the benchmarks.
    std::size_t memoryUsage() const;

    void clear();

private:
    friend class SearchEngine;

    // One step of the running path: its text (separator included) follows the text of
    // the piece before it.
    struct Piece {
        std::size_t offset;
        std::size_t totalLength; // of the whole path up to and including this piece
        std::uint32_t length;
        std::uint32_t before; // kNoPiece for the first piece
    };
    struct Row {
        std::size_t itemOffset;
        std::uint32_t itemLength;
        std::uint32_t piece; // the last piece of the row's path, kNoPiece when empty
        NodeId node;
        std::int32_t kind;
    };

    std::uint32_t addPiece(std::uint32_t before, char16_t separator, NodeText text);

    std::vector<Row> rows_;
    std::vector<Piece> pieces_;
    std::u16string arena_;
};

// Decides whether a text matches a working pattern under match case and whole pattern
// only. The time is linear in the text's length whatever the pattern: candidate starts
// are found eight at a time by the pattern's first and last units, and once checking them
// has cost more than a pass over the text, the rest is read once with the pattern's
// failure table instead.
class TextMatcher {
public:
    // workingPattern is folded already when matchCase is off (only a to z fold).
    void prepare(std::u16string_view workingPattern, bool matchCase, bool wholePatternOnly);
    bool matches(NodeText text) const;
    // The same for a text of n units in each form.
    bool matchesWide(const char16_t* text, std::size_t n) const;
    bool matchesNarrow(const char* text, std::size_t n) const;

private:
    // Unit is char16_t for a UTF-16 text, unsigned char for one in one byte a unit, which
    // is tested against the pattern's units in one byte each.
    template <bool Fold, class Unit> bool matchesUnits(const Unit* text, std::size_t n) const;
    template <bool Fold, class Unit> bool equals(const Unit* text, std::size_t n) const;
    template <bool Fold, class Unit> bool contains(const Unit* text, std::size_t n) const;
    template <bool Fold, class Unit>
    bool containsFrom(const Unit* text, std::size_t n, std::size_t from) const;
    template <class Unit> const Unit* patternUnits() const;

    std::u16string pattern_;
    // The pattern's units in one byte each, when none is above U+00FF (narrowOk_); a
    // pattern with a wider unit can match no text that is held in one byte a unit.
    std::string narrowPattern_;
    bool narrowOk_ = true;
    // failure_[k]: the length of the longest proper border of the pattern's first k + 1
    // units.
    std::vector<std::uint32_t> failure_;
    bool matchCase_ = false;
    bool whole_ = false;
};

// One search's working state: the working pattern, the running path and the match count.
// Every run overwrites it; the count keeps its value until the next run.
class SearchEngine {
public:
    // Prepares and runs a search over tree with options, starting from the tree's selected
    // node when options.isLocalSearch is on. Replaces the contents of results.
    void run(const SnapshotTree& tree, const SearchOptions& options, SearchResults& results);

    std::size_t matchCount() const { return matchCount_; }
    std::u16string_view workingPattern() const { return pattern_; }

private:
    // Examines the children of parent (kTopLevel for the roots) and, when recursive, their
    // subtrees. depth is that of parent's children relative to the start of the walk.
    // The walk keeps its own stack, so the depth of the tree is not limited.
    void SearchChildren(NodeId parent, std::size_t depth);
    template <class Steps> void walkFrom(NodeId parent, const Steps& steps);
    bool matches(NodeText text) const { return matcher_.matches(text); }
    // Before a recursive walk: every text is tested in one pass in the order of the ids,
    // which is the order of the texts in memory, and the matching nodes and their
    // ancestors up to start are marked. The walk then descends only where a mark is below,
    // and gives the same rows in the same order as a walk through everything.
    void markMatches(NodeId start);
    void testRange(NodeId from, NodeId to);
    // From this many ids, two processors test the texts.
    static constexpr std::size_t kSplitFrom = 1 << 16;

    const SnapshotTree* tree_ = nullptr;
    SearchResults* results_ = nullptr;
    SearchOptions options_;
    std::u16string pattern_; // the working pattern, folded when match case is off
    TextMatcher matcher_;
    std::size_t matchCount_ = 0;
    // Bits indexed by NodeId, filled by markMatches for a recursive search: the nodes that
    // match, and the nodes with a matching node below them.
    std::vector<std::uint64_t> matched_;
    std::vector<std::uint64_t> above_;
    // The running path, as the last of its pieces in the results (kNoPiece: empty). A
    // descent adds a piece; coming back up returns to the piece before.
    std::uint32_t path_ = SearchResults::kNoPiece;

    struct Frame {
        std::uint32_t at;   // the walk's place at the node descended into
        std::uint32_t path; // the running path before the descent
    };
    std::vector<Frame> stack_;
};

// Convenience: one search from scratch.
SearchResults searchTree(const SnapshotTree& tree, const SearchOptions& options,
                         std::size_t* matchCount = nullptr);

} // namespace zelvane
