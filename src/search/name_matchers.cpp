#include "search/name_matchers.h"

#include <algorithm>
#include <type_traits>

#include <unicode/uregex.h>
#include <unicode/ustring.h>

#include "document/node_text.h"
#include "text/utf.h"

namespace zelvane {

struct NameMatcher::Regex {
    URegularExpression* handle = nullptr;
    ~Regex() {
        if (handle != nullptr) {
            uregex_close(handle);
        }
    }
};

namespace {

// The most patterns one pattern's braces may stand for.
constexpr std::size_t kMaxAlternatives = 4096;

// What one regular expression match may take: steps of ICU's match engine (each about a
// millisecond) and bytes of its backtracking stack. A name that needs more is reported,
// never taken for a mismatch.
constexpr int32_t kRegexTimeLimit = 1000;
constexpr int32_t kRegexStackLimit = 64 << 20;

bool isAsciiLetter(char16_t c) {
    return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z');
}

bool isAsciiNonLetter(char16_t c) {
    return c < 0x80 && !isAsciiLetter(c);
}

// The code points of text; a lone surrogate stands for itself.
void decode(std::u16string_view text, std::vector<char32_t>& out) {
    out.clear();
    forEachCodePoint(text, [&out](char32_t cp, bool) { out.push_back(cp); });
}

bool inClass(const std::vector<char32_t>& ranges, char32_t c) {
    for (std::size_t i = 0; i + 1 < ranges.size(); i += 2) {
        if (c >= ranges[i] && c <= ranges[i + 1]) {
            return true;
        }
    }
    return false;
}

// The patterns that {a,b} stands for, nested braces too; a \ quotes a brace or comma, and
// a brace without its partner stands for itself. False when they would be more than
// kMaxAlternatives.
bool expandBraces(const std::vector<char32_t>& points, std::vector<std::vector<char32_t>>& out) {
    // The first brace group at the top level: its { and }, and its top-level commas.
    std::size_t open = points.size();
    std::vector<std::size_t> commas;
    int depth = 0;
    for (std::size_t i = 0; i < points.size(); ++i) {
        const char32_t c = points[i];
        if (c == U'\\') {
            ++i;
        } else if (c == U'{') {
            open = depth++ == 0 ? i : open;
        } else if (c == U',' && depth == 1) {
            commas.push_back(i);
        } else if (c == U'}' && depth > 0 && --depth == 0) {
            if (commas.empty()) { // {x}: no alternatives, the braces stand for themselves
                open = points.size();
                continue;
            }
            commas.push_back(i);
            const std::vector<char32_t> before(points.begin(), points.begin() + open);
            const std::vector<char32_t> after(points.begin() + i + 1, points.end());
            std::size_t from = open + 1;
            for (const std::size_t to : commas) {
                std::vector<char32_t> one = before;
                one.insert(one.end(), points.begin() + from, points.begin() + to);
                one.insert(one.end(), after.begin(), after.end());
                from = to + 1;
                if (!expandBraces(one, out)) {
                    return false;
                }
            }
            return true;
        }
    }
    if (out.size() >= kMaxAlternatives) {
        return false;
    }
    out.push_back(points);
    return true;
}

} // namespace

NameMatcher::NameMatcher() = default;
NameMatcher::~NameMatcher() = default;

std::u16string_view NameMatcher::fold(std::u16string_view text) {
    if (options_.caseRule == CaseRule::Exact) {
        return text;
    }
    // ASCII names, the most, folded in place: their full case folding is a-z for A-Z.
    const bool ascii = std::all_of(text.begin(), text.end(), [](char16_t c) { return c < 0x80; });
    if (options_.caseRule == CaseRule::Unicode && !ascii) {
        folded_ = foldCaseFull(text);
        return folded_;
    }
    folded_.assign(text);
    for (char16_t& c : folded_) {
        if (options_.caseRule == CaseRule::Unicode && c >= u'A' && c <= u'Z') {
            c = static_cast<char16_t>(c - u'A' + u'a');
        } else if (options_.caseRule == CaseRule::AsciiLetters && c >= u'a' && c <= u'z') {
            c = static_cast<char16_t>(c - u'a' + u'A');
        }
    }
    return folded_;
}

// Units: std::u16string_view, or std::string_view of a text in one byte a unit.
template <class Units> bool NameMatcher::plainMatches(Units text) {
    const auto test = [&text](const TextMatcher& matcher) {
        if constexpr (std::is_same_v<Units, std::string_view>) {
            return matcher.matchesNarrow(text.data(), text.size());
        } else {
            return matcher.matchesWide(text.data(), text.size());
        }
    };
    // Exact case and the a to z rule are the units' own test; so is full folding for an
    // ASCII text, whose folding is A to Z onto a to z.
    if (options_.caseRule != CaseRule::Unicode) {
        return test(units_);
    }
    if (!required_.empty() && !test(caseless_)) {
        return false;
    }
    unsigned all = 0;
    for (const auto c : text) {
        all |= NodeText::unit(c);
    }
    if (all < 0x80) {
        return test(units_);
    }
    std::u16string_view wide;
    if constexpr (std::is_same_v<Units, std::string_view>) {
        wide = NodeText::narrowForm(text).utf16(widened_);
    } else {
        wide = text;
    }
    const std::u16string_view folded = fold(wide);
    return options_.whole ? folded == pattern_ : folded.find(pattern_) != std::u16string::npos;
}

bool NameMatcher::compile(std::u16string_view pattern, const NameMatchOptions& options,
                          std::string& error) {
    options_ = options;
    required_.clear();
    globs_.clear();
    anyText_ = false;
    regex_.reset();
    pattern_.clear();
    switch (options.syntax) {
    case MatchSyntax::Plain: {
        pattern_ = fold(pattern);
        const bool exact = options.caseRule == CaseRule::Exact;
        units_.prepare(exact ? pattern_ : foldAsciiUpper(pattern_), exact, options.whole);
        // Under full folding, no character but an ASCII non-letter itself folds to anything
        // that holds one, and no character folds to nothing: a name can only hold the
        // folded pattern if it holds the pattern's longest run of ASCII non-letters as it
        // is. Most names are refused by that test alone, without a fold. The a to z rule
        // folds ASCII letters only.
        const auto stable = [&options](char16_t c) {
            return options.caseRule == CaseRule::Exact ||
                   (options.caseRule == CaseRule::Unicode ? isAsciiNonLetter(c)
                                                          : !isAsciiLetter(c));
        };
        std::u16string_view run;
        for (std::size_t i = 0; i < pattern_.size();) {
            std::size_t end = i;
            while (end < pattern_.size() && stable(pattern_[end])) {
                ++end;
            }
            if (end - i > run.size()) {
                run = std::u16string_view(pattern_).substr(i, end - i);
            }
            i = std::max(end, i + 1);
        }
        // A whole path is matched across its names, which the file holds apart.
        required_ = options.fullPath ? std::u16string_view() : run;
        caseless_.prepare(required_, true, false);
        return true;
    }
    case MatchSyntax::Regex: {
        UParseError where{};
        UErrorCode status = U_ZERO_ERROR;
        const uint32_t flags = options.caseRule == CaseRule::Exact ? 0 : UREGEX_CASE_INSENSITIVE;
        URegularExpression* handle = uregex_open(
            pattern.data(), static_cast<int32_t>(pattern.size()), flags, &where, &status);
        if (U_FAILURE(status)) { // no handle is made
            error = std::string("not a valid regular expression (") + u_errorName(status) +
                    " after character " + std::to_string(where.offset) + ")";
            return false;
        }
        regex_ = std::make_unique<Regex>();
        regex_->handle = handle;
        uregex_setTimeLimit(handle, kRegexTimeLimit, &status);
        uregex_setStackLimit(handle, kRegexStackLimit, &status);
        return true;
    }
    case MatchSyntax::Glob:
        break;
    }
    std::vector<char32_t> points;
    decode(fold(pattern), points);
    std::vector<std::vector<char32_t>> alternatives;
    if (!expandBraces(points, alternatives)) {
        error =
            "the pattern's {...} make more than " + std::to_string(kMaxAlternatives) + " patterns";
        return false;
    }
    for (const std::vector<char32_t>& alternative : alternatives) {
        globs_.push_back(globTokens(alternative, options.fullPath));
    }
    // A name's glob of stars alone takes any text, folded or not.
    anyText_ = !options.fullPath && std::any_of(globs_.begin(), globs_.end(), [](const auto& glob) {
        return !glob.empty() && std::all_of(glob.begin(), glob.end(), [](const GlobToken& g) {
            return g.type == GlobToken::Star;
        });
    });
    return true;
}

std::vector<NameMatcher::GlobToken> NameMatcher::globTokens(const std::vector<char32_t>& points,
                                                            bool fullPath) {
    std::vector<GlobToken> tokens;
    for (std::size_t i = 0; i < points.size(); ++i) {
        const char32_t c = points[i];
        if (c == U'*' && i + 1 < points.size() && points[i + 1] == U'*' && fullPath) {
            // ** crosses folders; **/ also matches no folder at all.
            const bool slash = i + 2 < points.size() && points[i + 2] == U'/';
            tokens.push_back({slash ? GlobToken::Folders : GlobToken::AnyRun});
            i += slash ? 2 : 1;
        } else if (c == U'*') {
            if (tokens.empty() || tokens.back().type != GlobToken::Star) {
                tokens.push_back({GlobToken::Star});
            }
        } else if (c == U'?') {
            tokens.push_back({GlobToken::Any});
        } else if (c == U'\\' && i + 1 < points.size()) {
            tokens.push_back({GlobToken::Literal, points[++i]});
        } else if (c == U'[') {
            // A class runs to the first ] after its first member; without one, [ is itself.
            std::size_t j = i + 1;
            GlobToken token{GlobToken::Class};
            if (j < points.size() && (points[j] == U'!' || points[j] == U'^')) {
                token.negated = true;
                ++j;
            }
            const std::size_t firstMember = j;
            bool closed = false;
            for (; j < points.size(); ++j) {
                if (points[j] == U']' && j > firstMember) {
                    closed = true;
                    break;
                }
                char32_t first = points[j];
                if (first == U'\\' && j + 1 < points.size()) {
                    first = points[++j];
                }
                char32_t last = first;
                if (j + 2 < points.size() && points[j + 1] == U'-' && points[j + 2] != U']') {
                    j += 2;
                    last = points[j];
                    if (last == U'\\' && j + 1 < points.size()) {
                        last = points[++j];
                    }
                }
                token.ranges.push_back(first);
                token.ranges.push_back(last);
            }
            if (closed) {
                tokens.push_back(std::move(token));
                i = j;
            } else {
                tokens.push_back({GlobToken::Literal, c});
            }
        } else {
            tokens.push_back({GlobToken::Literal, c});
        }
    }
    return tokens;
}

bool NameMatcher::globMatches(std::u16string_view text) {
    decode(fold(text), points_);
    for (const std::vector<GlobToken>& glob : globs_) {
        if (options_.fullPath ? globMatches(glob) : starMatches(glob)) {
            return true;
        }
    }
    return false;
}

bool NameMatcher::tokenTakes(const GlobToken& token, char32_t c) {
    return token.type == GlobToken::Any || (token.type == GlobToken::Literal && token.value == c) ||
           (token.type == GlobToken::Class && inClass(token.ranges, c) != token.negated);
}

// Whether the star-free tokens glob[from, to) match points at position at.
bool NameMatcher::runAt(const std::vector<GlobToken>& glob, std::size_t from, std::size_t to,
                        const std::vector<char32_t>& points, std::size_t at) {
    for (std::size_t p = from; p < to; ++p, ++at) {
        if (!tokenTakes(glob[p], points[at])) {
            return false;
        }
    }
    return true;
}

// The first place at or after t, ending by limit, where the star-free tokens glob[from, to)
// match; t is moved past it. A run of literals is looked for by its prefix function, so
// that a long one costs time in the length of the name, not in the product of both.
bool NameMatcher::findRun(const std::vector<GlobToken>& glob, std::size_t from, std::size_t to,
                          std::size_t& t, std::size_t limit) {
    const std::size_t m = to - from;
    const bool literal =
        std::all_of(glob.begin() + static_cast<std::ptrdiff_t>(from),
                    glob.begin() + static_cast<std::ptrdiff_t>(to),
                    [](const GlobToken& g) { return g.type == GlobToken::Literal; });
    if (!literal) {
        for (std::size_t at = t; at + m <= limit; ++at) {
            if (runAt(glob, from, to, points_, at)) {
                t = at + m;
                return true;
            }
        }
        return false;
    }
    prefix_.assign(m, 0);
    for (std::size_t i = 1, q = 0; i < m; ++i) {
        while (q > 0 && glob[from + q].value != glob[from + i].value) {
            q = prefix_[q - 1];
        }
        q += glob[from + q].value == glob[from + i].value ? 1 : 0;
        prefix_[i] = q;
    }
    for (std::size_t i = t, q = 0; i < limit; ++i) {
        while (q > 0 && glob[from + q].value != points_[i]) {
            q = prefix_[q - 1];
        }
        q += glob[from + q].value == points_[i] ? 1 : 0;
        if (q == m) {
            t = i + 1;
            return true;
        }
    }
    return false;
}

// A name's glob has one kind of star. The runs between stars are found in turn, each at
// its first place after the one before: the first run at the start, the last at the end.
// Taking the first place never loses a match, so nothing is tried twice.
bool NameMatcher::starMatches(const std::vector<GlobToken>& glob) {
    const std::size_t n = points_.size();
    const auto star = [&glob](std::size_t from) {
        return static_cast<std::size_t>(
            std::find_if(glob.begin() + static_cast<std::ptrdiff_t>(from), glob.end(),
                         [](const GlobToken& g) { return g.type == GlobToken::Star; }) -
            glob.begin());
    };
    const std::size_t head = star(0);
    if (head == glob.size()) {
        return n == head && runAt(glob, 0, head, points_, 0);
    }
    std::size_t last = glob.size() - 1;
    while (glob[last].type != GlobToken::Star) {
        --last;
    }
    const std::size_t tail = glob.size() - last - 1;
    if (head + tail > n || !runAt(glob, 0, head, points_, 0) ||
        !runAt(glob, last + 1, glob.size(), points_, n - tail)) {
        return false;
    }
    std::size_t t = head;
    for (std::size_t p = head + 1; p < last; p = star(p) + 1) {
        if (!findRun(glob, p, star(p), t, n - tail)) {
            return false;
        }
    }
    return true;
}

// A whole path's glob, whose stars stop at a slash and whose ** do not: the pattern as a
// machine of its token positions, all followed at once: time in the
// product of the lengths whatever the pattern, so that no pattern can make it crawl.
bool NameMatcher::globMatches(const std::vector<GlobToken>& glob) {
    const bool fullPath = options_.fullPath;
    const std::size_t n = glob.size();
    live_.assign(n + 1, 0);
    next_.assign(n + 1, 0);
    // Adds position p and what follows it without taking a character.
    auto reach = [&](std::vector<char>& set, std::size_t p) {
        for (; p <= n && set[p] == 0; ++p) { // what a reached position leads to is in already
            set[p] = 1;
            const auto type = p < n ? glob[p].type : GlobToken::Literal;
            if (type != GlobToken::Star && type != GlobToken::AnyRun &&
                type != GlobToken::Folders) {
                return;
            }
        }
    };
    reach(live_, 0);
    for (const char32_t c : points_) {
        std::fill(next_.begin(), next_.end(), 0);
        bool any = false;
        for (std::size_t p = 0; p < n; ++p) {
            if (live_[p] == 0) {
                continue;
            }
            const GlobToken& token = glob[p];
            const bool slash = c == U'/';
            switch (token.type) {
            case GlobToken::Star:
                if (!(fullPath && slash)) {
                    reach(next_, p);
                    any = true;
                }
                break;
            case GlobToken::AnyRun:
                reach(next_, p);
                any = true;
                break;
            case GlobToken::Folders:
                reach(next_, p);
                if (slash) {
                    reach(next_, p + 1);
                }
                any = true;
                break;
            case GlobToken::Any:
                if (!(fullPath && slash)) {
                    reach(next_, p + 1);
                    any = true;
                }
                break;
            case GlobToken::Literal:
                if (token.value == c) {
                    reach(next_, p + 1);
                    any = true;
                }
                break;
            case GlobToken::Class:
                if (inClass(token.ranges, c) != token.negated && !(fullPath && slash)) {
                    reach(next_, p + 1);
                    any = true;
                }
                break;
            }
        }
        if (!any) {
            return false;
        }
        live_.swap(next_);
    }
    return live_[n] != 0;
}

bool NameMatcher::matches(std::u16string_view text) {
    return matchesStored(text);
}

bool NameMatcher::matchesStored(NodeText stored) {
    if (anyText_) {
        return true; // a glob of stars alone, without a look at the text
    }
    if (options_.syntax == MatchSyntax::Plain) {
        return stored.isWide() ? plainMatches(stored.wide()) : plainMatches(stored.narrow());
    }
    const std::u16string_view text = stored.utf16(widened_);
    if (options_.syntax == MatchSyntax::Glob) {
        return globMatches(text);
    }
    UErrorCode status = U_ZERO_ERROR;
    uregex_setText(regex_->handle, text.data(), static_cast<int32_t>(text.size()), &status);
    const UBool found = options_.whole ? uregex_matches(regex_->handle, 0, &status)
                                       : uregex_find(regex_->handle, 0, &status);
    tooSlow_ = status == U_REGEX_TIME_OUT || status == U_REGEX_STACK_OVERFLOW;
    return U_SUCCESS(status) && found;
}

std::u16string matchedText(const SnapshotTree& tree, NodeId node) {
    return listedNameOf(tree.text(node), tree.kind(node), tree.parent(node) == kNoNode).toU16();
}

bool PreOrderNameTest::matches(std::size_t level, NodeText text, int kind) {
    if (level > 0 && !recursive_) {
        return false;
    }
    if (fullPath_) {
        follow(level, text, kind);
        text = path_;
    } else {
        text = listedNameOf(text, kind, level == 0);
    }
    return matcher_.matchesStored(text) && !(filesOnly_ && isContainerKind(kind));
}

void PreOrderNameTest::follow(std::size_t level, NodeText text, int kind) {
    if (!fullPath_) {
        return;
    }
    path_.resize(level == 0 ? 0 : lengths_[level - 1]);
    appendSlashStep(path_, level == 0, listedNameOf(text, kind, level == 0).utf16(widened_));
    lengths_.resize(level + 1);
    lengths_[level] = path_.size();
}

NodeId searchNames(const SnapshotTree& tree, NameMatcher& matcher, bool recursive, bool filesOnly,
                   std::vector<NodeId>& out) {
    PreOrderNameTest test(matcher, recursive, filesOnly);
    // Pre-order with an explicit stack of the next siblings to come back to.
    std::vector<NodeId> pending;
    NodeId node = tree.firstRoot();
    while (node != kNoNode) {
        if (test.matches(pending.size(), tree.text(node), tree.kind(node))) {
            out.push_back(node);
        } else if (test.tooSlow()) {
            return node;
        }
        const NodeId next = tree.nextSibling(node);
        if (recursive && tree.hasChildren(node)) {
            pending.push_back(next);
            node = tree.firstChild(node);
        } else {
            node = next;
        }
        while (node == kNoNode && !pending.empty()) {
            node = pending.back();
            pending.pop_back();
        }
    }
    return kNoNode;
}

} // namespace zelvane
