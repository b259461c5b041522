#include "search/search_engine.h"

#include "text/text.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace zelvane {

namespace {

inline char16_t same(char16_t c) {
    return c;
}

bool equalFolded(std::u16string_view text, std::u16string_view folded) {
    if (text.size() != folded.size()) {
        return false;
    }
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (asciiUpper(text[i]) != folded[i]) {
            return false;
        }
    }
    return true;
}

// Whether the rest of pattern (after its first unit) follows position pos of text, each
// unit of text going through fold.
template <class Fold>
inline bool restMatches(const char16_t* text, std::size_t pos, std::u16string_view pattern,
                        Fold fold) {
    for (std::size_t k = 1; k < pattern.size(); ++k) {
        if (fold(text[pos + k]) != pattern[k]) {
            return false;
        }
    }
    return true;
}

// Whether pattern occurs as a contiguous run in text once each unit of text has gone
// through fold. Candidate starts are the units equal to first or to alsoFirst (the two
// units that fold to the pattern's first); eight units are tested at a time.
template <class Fold>
bool contains(std::u16string_view text, std::u16string_view pattern, Fold fold, char16_t first,
              char16_t alsoFirst) {
    const std::size_t m = pattern.size();
    if (m == 0) {
        return true;
    }
    if (m > text.size()) {
        return false;
    }
    const char16_t* t = text.data();
    const std::size_t starts = text.size() - m + 1; // candidate starts 0 .. starts - 1
    std::size_t i = 0;
#if defined(__SSE2__)
    const __m128i a = _mm_set1_epi16(static_cast<short>(first));
    const __m128i b = _mm_set1_epi16(static_cast<short>(alsoFirst));
    // Reads t[i] .. t[i + 7], all of them candidate starts, so all inside the text.
    for (; i + 8 <= starts; i += 8) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(t + i));
        auto mask = static_cast<unsigned>(
            _mm_movemask_epi8(_mm_or_si128(_mm_cmpeq_epi16(v, a), _mm_cmpeq_epi16(v, b))));
        while (mask != 0) {
            const unsigned bit = static_cast<unsigned>(__builtin_ctz(mask));
            if (restMatches(t, i + bit / 2, pattern, fold)) {
                return true;
            }
            mask &= ~(3u << bit);
        }
    }
#endif
    for (; i < starts; ++i) {
        if ((t[i] == first || t[i] == alsoFirst) && restMatches(t, i, pattern, fold)) {
            return true;
        }
    }
    return false;
}

} // namespace

void SearchResults::clear() {
    rows_.clear();
    pieces_.clear();
    arena_.clear();
}

std::uint32_t SearchResults::addPiece(std::uint32_t before, char16_t separator,
                                      std::u16string_view text) {
    const std::size_t offset = arena_.size();
    if (separator != 0) {
        arena_.push_back(separator);
    }
    arena_.append(text);
    const auto length = static_cast<std::uint32_t>(arena_.size() - offset);
    const std::size_t total = (before == kNoPiece ? 0 : pieces_[before].totalLength) + length;
    pieces_.push_back({offset, total, length, before});
    return static_cast<std::uint32_t>(pieces_.size() - 1);
}

std::size_t SearchResults::pathLength(std::size_t row) const {
    const std::uint32_t piece = rows_[row].piece;
    return piece == kNoPiece ? 0 : pieces_[piece].totalLength;
}

void SearchResults::appendPath(std::size_t row, std::u16string& out) const {
    // The pieces are linked from the last to the first: fill the path from its end.
    const std::size_t start = out.size();
    out.resize(start + pathLength(row));
    for (std::uint32_t p = rows_[row].piece; p != kNoPiece; p = pieces_[p].before) {
        const Piece& piece = pieces_[p];
        arena_.copy(out.data() + start + piece.totalLength - piece.length, piece.length,
                    piece.offset);
    }
}

std::u16string SearchResults::path(std::size_t row) const {
    std::u16string out;
    appendPath(row, out);
    return out;
}

std::size_t SearchResults::memoryUsage() const {
    return rows_.capacity() * sizeof(Row) + pieces_.capacity() * sizeof(Piece) +
           arena_.capacity() * sizeof(char16_t);
}

void SearchEngine::run(const SnapshotTree& tree, const SearchOptions& options,
                       SearchResults& results) {
    tree_ = &tree;
    results_ = &results;
    options_ = options;
    results.clear();

    // The pattern is folded once per search, not once per node.
    pattern_ = options.pattern;
    if (!options.isMatchCase) {
        pattern_ = foldAsciiUpper(pattern_);
    }
    // The units that can start a match: the pattern's first, and with match case off the
    // small letter that folds to it.
    first_ = pattern_.empty() ? u'\0' : pattern_[0];
    alsoFirst_ = first_;
    if (!options.isMatchCase) {
        alsoFirst_ = asciiLower(first_);
    }
    matchCount_ = 0;
    path_ = SearchResults::kNoPiece;

    // From the current folder: the walk covers the children of the selected node's parent
    // and below, with that parent's own text as the running path. With nothing selected,
    // or a root selected, there is no parent and the search is global.
    NodeId start = kTopLevel;
    if (options.isLocalSearch) {
        const NodeId selected = tree.selected();
        if (selected != kNoNode && tree.isValid(selected)) {
            const NodeId parent = tree.parent(selected);
            if (parent != kNoNode) {
                start = parent;
                path_ = results.addPiece(SearchResults::kNoPiece, 0, tree.text(parent));
            }
        }
    }
    SearchChildren(start, 0);
    results_ = nullptr;
    tree_ = nullptr;
}

bool SearchEngine::matches(std::u16string_view text) {
    // The text is folded as it is compared rather than copied first: the same result as
    // comparing a folded copy, without the copy. The working pattern is folded already.
    if (options_.isMatchCase) {
        return options_.isMatchWholePatternOnly ? text == pattern_
                                                : contains(text, pattern_, same, first_, first_);
    }
    return options_.isMatchWholePatternOnly
               ? equalFolded(text, pattern_)
               : contains(
                     text, pattern_, [](char16_t c) { return asciiUpper(c); }, first_, alsoFirst_);
}

void SearchEngine::SearchChildren(NodeId parent, std::size_t depth) {
    const SnapshotTree& tree = *tree_;
    stack_.clear();
    // depth only tells where the walk is; it sets no limit.
    static_cast<void>(depth);

    NodeId node = tree.firstChild(parent);
    for (;;) {
        // Past the last sibling of a level: back to the level above, cutting the running
        // path back to what it was before the descent, and on with the next sibling.
        while (node == kNoNode) {
            if (stack_.empty()) {
                return;
            }
            const Frame frame = stack_.back();
            stack_.pop_back();
            path_ = frame.path;
            node = tree.nextSibling(frame.node);
        }

        const std::u16string_view text = tree.text(node);
        if (matches(text)) {
            const int kind = tree.kind(node);
            // Files only: roots and folders give no row, but are still searched below.
            if (!(options_.isFilesOnly && isContainerKind(kind))) {
                SearchResults& results = *results_;
                const std::size_t itemOffset = results.arena_.size();
                results.arena_.append(text);
                results.rows_.push_back(
                    {itemOffset, static_cast<std::uint32_t>(text.size()), path_, node, kind});
                ++matchCount_;
            }
        }

        if (options_.isRecursiveSearch && tree.hasChildren(node)) {
            // An empty running path becomes one space and the text; a longer one gets a
            // backslash and the text (a folder's own leading space follows it).
            stack_.push_back({node, path_});
            const bool pathEmpty =
                path_ == SearchResults::kNoPiece || results_->pieces_[path_].totalLength == 0;
            path_ = results_->addPiece(path_, pathEmpty ? u' ' : u'\\', text);
            node = tree.firstChild(node);
            continue;
        }
        node = tree.nextSibling(node);
    }
}

SearchResults searchTree(const SnapshotTree& tree, const SearchOptions& options,
                         std::size_t* matchCount) {
    SearchResults results;
    SearchEngine engine;
    engine.run(tree, options, results);
    if (matchCount != nullptr) {
        *matchCount = engine.matchCount();
    }
    return results;
}

} // namespace zelvane
