#include "search/search_engine.h"

#include <algorithm>
#include <array>
#include <system_error>
#include <thread>

#include "document/node_text.h"
#include "platform/processors.h"
#include "text/text.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace zelvane {

namespace {

template <bool Fold, class Unit> inline Unit unitOf(Unit c) {
    if constexpr (Fold) {
        return static_cast<Unit>(asciiUpper(c));
    } else {
        return c;
    }
}

#if defined(__SSE2__)
// Lanes of units from p, folded as unitOf folds them: a to z, and nothing else, lose 0x20.
// Units from 0x8000 (bytes from 0x80) up compare as negative, so they are never taken for
// small letters. Eight UTF-16 units, sixteen one-byte ones, or eight one-byte ones for
// texts too short for sixteen starts.
template <class Unit, std::size_t Count> struct Lanes;
template <> struct Lanes<char16_t, 8> {
    static constexpr std::size_t kCount = 8;
    static constexpr unsigned kMask = 0xFFFF;
    static __m128i splat(char16_t u) { return _mm_set1_epi16(static_cast<short>(u)); }
    static __m128i equal(__m128i a, __m128i b) { return _mm_cmpeq_epi16(a, b); }
    static __m128i load(const char16_t* p) {
        return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    }
    static __m128i inside(__m128i v, __m128i above, __m128i below) {
        return _mm_and_si128(_mm_cmpgt_epi16(v, above), _mm_cmplt_epi16(v, below));
    }
    static __m128i minus(__m128i v, __m128i w) { return _mm_sub_epi16(v, w); }
};
template <std::size_t Count> struct ByteLanes {
    static constexpr std::size_t kCount = Count;
    static constexpr unsigned kMask = (1u << Count) - 1;
    static __m128i splat(unsigned char u) { return _mm_set1_epi8(static_cast<char>(u)); }
    static __m128i equal(__m128i a, __m128i b) { return _mm_cmpeq_epi8(a, b); }
    static __m128i load(const unsigned char* p) {
        if constexpr (Count == 16) {
            return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
        } else {
            return _mm_loadl_epi64(reinterpret_cast<const __m128i*>(p));
        }
    }
    static __m128i inside(__m128i v, __m128i above, __m128i below) {
        return _mm_and_si128(_mm_cmpgt_epi8(v, above), _mm_cmplt_epi8(v, below));
    }
    static __m128i minus(__m128i v, __m128i w) { return _mm_sub_epi8(v, w); }
};
template <> struct Lanes<unsigned char, 16> : ByteLanes<16> {};
template <> struct Lanes<unsigned char, 8> : ByteLanes<8> {};
template <bool Fold, class L, class Unit> inline __m128i loadLanes(const Unit* p) {
    __m128i v = L::load(p);
    if constexpr (Fold) {
        const __m128i small = L::inside(v, L::splat(0x60), L::splat(0x7B));
        v = L::minus(v, _mm_and_si128(small, L::splat(0x20)));
    }
    return v;
}
#endif

} // namespace

void TextMatcher::prepare(std::u16string_view workingPattern, bool matchCase,
                          bool wholePatternOnly) {
    pattern_ = workingPattern;
    matchCase_ = matchCase;
    whole_ = wholePatternOnly;
    narrowOk_ = std::all_of(pattern_.begin(), pattern_.end(), [](char16_t u) { return u <= 0xFF; });
    narrowPattern_.assign(pattern_.begin(), pattern_.end());
    failure_.assign(whole_ ? 0 : pattern_.size(), 0);
    std::uint32_t border = 0;
    for (std::size_t k = 1; k < failure_.size(); ++k) {
        while (border > 0 && pattern_[k] != pattern_[border]) {
            border = failure_[border - 1];
        }
        if (pattern_[k] == pattern_[border]) {
            ++border;
        }
        failure_[k] = border;
    }
}

template <> const char16_t* TextMatcher::patternUnits<char16_t>() const {
    return pattern_.data();
}
template <> const unsigned char* TextMatcher::patternUnits<unsigned char>() const {
    return reinterpret_cast<const unsigned char*>(narrowPattern_.data());
}

bool TextMatcher::matches(NodeText text) const {
    return text.isWide() ? matchesWide(text.wide().data(), text.size())
                         : matchesNarrow(text.narrow().data(), text.size());
}

bool TextMatcher::matchesWide(const char16_t* text, std::size_t n) const {
    return matchCase_ ? matchesUnits<false>(text, n) : matchesUnits<true>(text, n);
}

bool TextMatcher::matchesNarrow(const char* text, std::size_t n) const {
    if (!narrowOk_) {
        return false;
    }
    const auto* units = reinterpret_cast<const unsigned char*>(text);
    return matchCase_ ? matchesUnits<false>(units, n) : matchesUnits<true>(units, n);
}

template <bool Fold, class Unit>
bool TextMatcher::matchesUnits(const Unit* text, std::size_t n) const {
    return whole_ ? equals<Fold>(text, n) : contains<Fold>(text, n);
}

template <bool Fold, class Unit> bool TextMatcher::equals(const Unit* text, std::size_t n) const {
    if (n != pattern_.size()) {
        return false;
    }
    const Unit* p = patternUnits<Unit>();
    for (std::size_t k = 0; k < n; ++k) {
        if (unitOf<Fold>(text[k]) != p[k]) {
            return false;
        }
    }
    return true;
}

template <bool Fold, class Unit> bool TextMatcher::contains(const Unit* t, std::size_t n) const {
    const std::size_t m = pattern_.size();
    if (m == 0) {
        return true;
    }
    if (m > n) {
        return false;
    }
    const Unit* p = patternUnits<Unit>();
    const std::size_t starts = n - m + 1; // candidate starts 0 .. starts - 1
    // Units the candidate checks may still compare before the failure table takes over.
    std::size_t budget = n;
    // Whether the units between the first and the last follow at pos; the units compared
    // are taken from the budget.
    auto middleMatches = [&](std::size_t pos, bool& spent) {
        std::size_t k = 1;
        while (k + 1 < m && unitOf<Fold>(t[pos + k]) == p[k]) {
            ++k;
        }
        if (k + 1 >= m) {
            return true;
        }
        spent = k > budget;
        budget -= spent ? budget : k;
        return false;
    };
    std::size_t i = 0;
    bool spent = false;
#if defined(__SSE2__)
    // Starts i .. i + lanes - 1 at a time; the last group ends at the last start and may
    // overlap the one before it. 1: found, 0: not there, -1: the budget is spent at i.
    const auto sweep = [&]<class L>(L) {
        const __m128i first = L::splat(p[0]);
        const __m128i last = L::splat(p[m - 1]);
        for (;;) {
            auto mask = static_cast<unsigned>(_mm_movemask_epi8(
                            _mm_and_si128(L::equal(loadLanes<Fold, L>(t + i), first),
                                          L::equal(loadLanes<Fold, L>(t + i + m - 1), last)))) &
                        L::kMask;
            while (mask != 0) {
                const auto bit = static_cast<unsigned>(__builtin_ctz(mask));
                if (middleMatches(i + bit / sizeof(Unit), spent)) {
                    return 1;
                }
                if (spent) {
                    return -1;
                }
                mask &= ~(((1u << sizeof(Unit)) - 1) << bit);
            }
            if (i + L::kCount >= starts) {
                return 0;
            }
            i = std::min(i + L::kCount, starts - L::kCount);
        }
    };
    int swept = 2; // not swept
    if constexpr (sizeof(Unit) == 2) {
        if (starts >= 8) {
            swept = sweep(Lanes<Unit, 8>{});
        }
    } else if (starts >= 16) {
        swept = sweep(Lanes<Unit, 16>{});
    } else if (starts >= 8) {
        swept = sweep(Lanes<Unit, 8>{});
    }
    if (swept != 2) {
        return swept == 1 || (swept == -1 && containsFrom<Fold>(t, n, i));
    }
#endif
    for (; i < starts; ++i) {
        if (unitOf<Fold>(t[i]) == p[0] && unitOf<Fold>(t[i + m - 1]) == p[m - 1]) {
            if (middleMatches(i, spent)) {
                return true;
            }
            if (spent) {
                return containsFrom<Fold>(t, n, i);
            }
        }
    }
    return false;
}

// Knuth, Morris and Pratt from the start from: each unit of text is read once.
template <bool Fold, class Unit>
bool TextMatcher::containsFrom(const Unit* text, std::size_t n, std::size_t from) const {
    const std::size_t m = pattern_.size();
    const Unit* p = patternUnits<Unit>();
    std::size_t matched = 0;
    for (std::size_t j = from; j < n; ++j) {
        const Unit c = unitOf<Fold>(text[j]);
        while (matched > 0 && c != p[matched]) {
            matched = failure_[matched - 1];
        }
        if (c == p[matched] && ++matched == m) {
            return true;
        }
    }
    return false;
}

void SearchResults::clear() {
    rows_.clear();
    pieces_.clear();
    arena_.clear();
}

std::uint32_t SearchResults::addPiece(std::uint32_t before, char16_t separator, NodeText text) {
    const std::size_t offset = arena_.size();
    if (separator != 0) {
        arena_.push_back(separator);
    }
    text.appendTo(arena_);
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
    matcher_.prepare(pattern_, options.isMatchCase, options.isMatchWholePatternOnly);
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
    // One level alone is cheaper to test as it is walked.
    if (options.isRecursiveSearch) {
        markMatches(start);
    }
    SearchChildren(start, 0);
    results_ = nullptr;
    tree_ = nullptr;
}

namespace {

inline bool hasBit(const std::vector<std::uint64_t>& bits, NodeId node) {
    return ((bits[node >> 6] >> (node & 63)) & 1) != 0;
}

inline void setBit(std::vector<std::uint64_t>& bits, NodeId node) {
    bits[node >> 6] |= std::uint64_t{1} << (node & 63);
}

// Calls visit with each node whose bit word(w) sets, w from 0 to words - 1, in id order.
template <class Word, class Visit> void forEachSetBit(std::size_t words, Word word, Visit visit) {
    for (std::size_t w = 0; w < words; ++w) {
        for (std::uint64_t bits = word(w); bits != 0; bits &= bits - 1) {
            visit(static_cast<NodeId>(w * 64 + static_cast<unsigned>(__builtin_ctzll(bits))));
        }
    }
}

} // namespace

// The texts of the ids from, from + 1 ... below to are tested, and those that match get
// their bit in matched_.
void SearchEngine::testRange(NodeId from, NodeId to) {
    // The two forms of text come mixed at random: a test of each text as it comes would
    // guess the form wrong about every other node. The texts are gathered by form, a block
    // at a time without a branch on the form, and each form's are tested in one run.
    struct Gathered {
        const void* data;
        std::uint32_t size;
        NodeId node;
    };
    constexpr std::size_t kBlock = 512;
    std::array<std::array<Gathered, kBlock>, 2> gathered; // [0] one byte a unit, [1] UTF-16
    std::size_t narrowCount = 0;
    std::size_t wideCount = 0;
    const auto test = [&] {
        for (std::size_t k = 0; k < narrowCount; ++k) {
            const Gathered& g = gathered[0][k];
            if (matcher_.matchesNarrow(static_cast<const char*>(g.data), g.size)) {
                setBit(matched_, g.node);
            }
        }
        for (std::size_t k = 0; k < wideCount; ++k) {
            const Gathered& g = gathered[1][k];
            if (matcher_.matchesWide(static_cast<const char16_t*>(g.data), g.size)) {
                setBit(matched_, g.node);
            }
        }
        narrowCount = 0;
        wideCount = 0;
    };
    tree_->forEachNodeIn(from, to, [&](NodeId node, NodeText text) {
        // Arithmetic rather than a choice, so that no branch is taken on the form.
        __builtin_prefetch(text.narrow().data()); // read when its block is tested
        const std::size_t wide = text.isWide() ? 1 : 0;
        const std::size_t at = wide * wideCount + (1 - wide) * narrowCount;
        gathered[wide][at] = {text.narrow().data(), static_cast<std::uint32_t>(text.size()), node};
        wideCount += wide;
        narrowCount += 1 - wide;
        if ((wideCount | narrowCount) >= kBlock) {
            test();
        }
    });
    test();
}

void SearchEngine::markMatches(NodeId start) {
    const SnapshotTree& tree = *tree_;
    const std::size_t bound = tree.idBound();
    const std::size_t words = (bound + 63) / 64;
    matched_.assign(words, 0);
    above_.assign(words, 0);
    // A large tree's upper ids are tested on a second processor meanwhile. The halves
    // meet at a multiple of 64, so that the two write different words of matched_.
    auto split = static_cast<NodeId>(bound);
    {
        std::jthread upper;
        if (bound >= kSplitFrom && platform::severalProcessors()) {
            split = static_cast<NodeId>((bound / 2) & ~std::size_t{63});
            try {
                upper = std::jthread(
                    [this, split, bound] { testRange(split, static_cast<NodeId>(bound)); });
            } catch (const std::system_error&) { // no thread: the lower half is all
                split = static_cast<NodeId>(bound);
            }
        }
        testRange(0, split);
    }
    // The ancestors of each match up to start, or to a node marked already, whose
    // ancestors are marked too.
    forEachSetBit(
        words, [this](std::size_t w) { return matched_[w]; },
        [&](NodeId node) {
            for (NodeId up = tree.parent(node); up != kNoNode && up != start && !hasBit(above_, up);
                 up = tree.parent(up)) {
                setBit(above_, up);
            }
        });
}

namespace {

// How a walk goes from a node to its children and its next sibling, through a cursor. A
// walk through everything: the cursor is the node.
struct SiblingSteps {
    const SnapshotTree& tree;
    static constexpr std::uint32_t kEnd = kNoNode;
    std::uint32_t first(NodeId parent) const { return tree.firstChild(parent); }
    std::uint32_t next(std::uint32_t at) const { return tree.nextSibling(at); }
    NodeId node(std::uint32_t at) const { return at; }
};

// A walk through the marked nodes alone, gathered by parent in their order among its
// children: the cursor is a place in that list. With few marks in a large tree, this
// skips the long lists of children with no mark that a walk through siblings reads.
struct MarkedSteps {
    struct Marked {
        NodeId parent; // kNoNode for a root
        std::uint32_t row;
        NodeId node;
        bool operator<(const Marked& o) const {
            return parent != o.parent ? parent < o.parent : row < o.row;
        }
    };
    std::vector<Marked> marked;
    static constexpr std::uint32_t kEnd = kNoNode;
    std::uint32_t first(NodeId parent) const {
        const NodeId key = parent == kTopLevel ? kNoNode : parent;
        const auto found = std::lower_bound(marked.begin(), marked.end(), Marked{key, 0, 0});
        return found != marked.end() && found->parent == key
                   ? static_cast<std::uint32_t>(found - marked.begin())
                   : kEnd;
    }
    std::uint32_t next(std::uint32_t at) const {
        return at + 1 < marked.size() && marked[at + 1].parent == marked[at].parent ? at + 1 : kEnd;
    }
    NodeId node(std::uint32_t at) const { return marked[at].node; }
};

// Marks this rare among the ids, or rarer, are walked through alone.
constexpr std::size_t kSparseMarks = 256;

} // namespace

void SearchEngine::SearchChildren(NodeId parent, std::size_t depth) {
    // depth only tells where the walk is; it sets no limit.
    static_cast<void>(depth);
    const SnapshotTree& tree = *tree_;
    if (options_.isRecursiveSearch) {
        std::size_t count = 0;
        for (std::size_t w = 0; w < matched_.size(); ++w) {
            count += static_cast<std::size_t>(__builtin_popcountll(matched_[w] | above_[w]));
        }
        if (count <= tree.idBound() / kSparseMarks) {
            MarkedSteps steps;
            steps.marked.reserve(count);
            forEachSetBit(
                matched_.size(), [this](std::size_t w) { return matched_[w] | above_[w]; },
                [&](NodeId node) {
                    steps.marked.push_back(
                        {tree.parent(node), static_cast<std::uint32_t>(tree.row(node)), node});
                });
            std::sort(steps.marked.begin(), steps.marked.end());
            walkFrom(parent, steps);
            return;
        }
    }
    walkFrom(parent, SiblingSteps{tree});
}

template <class Steps> void SearchEngine::walkFrom(NodeId parent, const Steps& steps) {
    const SnapshotTree& tree = *tree_;
    stack_.clear();
    std::uint32_t at = steps.first(parent);
    for (;;) {
        // Past the last sibling of a level: back to the level above, cutting the running
        // path back to what it was before the descent, and on with the next sibling.
        while (at == Steps::kEnd) {
            if (stack_.empty()) {
                return;
            }
            const Frame frame = stack_.back();
            stack_.pop_back();
            path_ = frame.path;
            at = steps.next(frame.at);
        }
        const NodeId node = steps.node(at);

        // A marked walk reads the text of a row or of a descent only.
        if (options_.isRecursiveSearch ? hasBit(matched_, node) : matches(tree.text(node))) {
            const NodeText text = tree.text(node);
            const int kind = tree.kind(node);
            // Files only: roots and folders give no row, but are still searched below.
            if (!(options_.isFilesOnly && isContainerKind(kind))) {
                SearchResults& results = *results_;
                const std::size_t itemOffset = results.arena_.size();
                text.appendTo(results.arena_);
                results.rows_.push_back(
                    {itemOffset, static_cast<std::uint32_t>(text.size()), path_, node, kind});
                ++matchCount_;
            }
        }

        // Below a node without marks there is no row to give.
        if (options_.isRecursiveSearch && hasBit(above_, node)) {
            // The running path in the Path column's form, one piece per descent.
            stack_.push_back({at, path_});
            const bool pathEmpty =
                path_ == SearchResults::kNoPiece || results_->pieces_[path_].totalLength == 0;
            path_ = results_->addPiece(path_, columnSeparator(pathEmpty), tree.text(node));
            at = steps.first(node);
            continue;
        }
        at = steps.next(at);
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
