#include "search/name_matchers.h"

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

} // namespace

NameMatcher::NameMatcher() = default;
NameMatcher::~NameMatcher() = default;

std::u16string NameMatcher::fold(std::u16string_view text) const {
    switch (options_.caseRule) {
    case CaseRule::Unicode:
        return foldCaseFull(text);
    case CaseRule::AsciiLetters: {
        std::u16string out(text);
        for (char16_t& c : out) {
            if (c >= u'a' && c <= u'z') {
                c = static_cast<char16_t>(c - u'a' + u'A');
            }
        }
        return out;
    }
    case CaseRule::Exact:
        break;
    }
    return std::u16string(text);
}

bool NameMatcher::compile(std::u16string_view pattern, const NameMatchOptions& options,
                          std::string& error) {
    options_ = options;
    glob_.clear();
    regex_.reset();
    pattern_.clear();
    switch (options.syntax) {
    case MatchSyntax::Plain:
        pattern_ = fold(pattern);
        return true;
    case MatchSyntax::Regex: {
        UParseError where{};
        UErrorCode status = U_ZERO_ERROR;
        const uint32_t flags = options.caseRule == CaseRule::Exact ? 0 : UREGEX_CASE_INSENSITIVE;
        URegularExpression* handle = uregex_open(
            pattern.data(), static_cast<int32_t>(pattern.size()), flags, &where, &status);
        if (U_FAILURE(status)) {
            uregex_close(handle); // ICU's close takes a null handle too
            error = std::string("not a valid regular expression (") + u_errorName(status) +
                    " after character " + std::to_string(where.offset) + ")";
            return false;
        }
        regex_ = std::make_unique<Regex>();
        regex_->handle = handle;
        return true;
    }
    case MatchSyntax::Glob:
        break;
    }
    std::vector<char32_t> points;
    decode(fold(pattern), points);
    for (std::size_t i = 0; i < points.size(); ++i) {
        const char32_t c = points[i];
        if (c == U'*') {
            if (glob_.empty() || glob_.back().type != GlobToken::Star) {
                glob_.push_back({GlobToken::Star});
            }
        } else if (c == U'?') {
            glob_.push_back({GlobToken::Any});
        } else if (c == U'\\' && i + 1 < points.size()) {
            glob_.push_back({GlobToken::Literal, points[++i]});
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
                glob_.push_back(std::move(token));
                i = j;
            } else {
                glob_.push_back({GlobToken::Literal, c});
            }
        } else {
            glob_.push_back({GlobToken::Literal, c});
        }
    }
    return true;
}

bool NameMatcher::globMatches(std::u16string_view text) {
    decode(fold(text), points_);
    // Classic wildcard matching: on a mismatch, go back to the last star and let it take
    // one more character.
    std::size_t t = 0;
    std::size_t p = 0;
    std::size_t starToken = glob_.size();
    std::size_t starText = 0;
    while (t < points_.size()) {
        if (p < glob_.size()) {
            const GlobToken& token = glob_[p];
            if (token.type == GlobToken::Star) {
                starToken = p++;
                starText = t;
                continue;
            }
            const char32_t c = points_[t];
            const bool one =
                token.type == GlobToken::Any ||
                (token.type == GlobToken::Literal && token.value == c) ||
                (token.type == GlobToken::Class && inClass(token.ranges, c) != token.negated);
            if (one) {
                ++p;
                ++t;
                continue;
            }
        }
        if (starToken == glob_.size()) {
            return false;
        }
        p = starToken + 1;
        t = ++starText;
    }
    while (p < glob_.size() && glob_[p].type == GlobToken::Star) {
        ++p;
    }
    return p == glob_.size();
}

bool NameMatcher::matches(std::u16string_view text) {
    switch (options_.syntax) {
    case MatchSyntax::Plain: {
        const std::u16string folded = fold(text);
        return options_.whole ? folded == pattern_ : folded.find(pattern_) != std::u16string::npos;
    }
    case MatchSyntax::Glob:
        return globMatches(text);
    case MatchSyntax::Regex:
        break;
    }
    UErrorCode status = U_ZERO_ERROR;
    uregex_setText(regex_->handle, text.data(), static_cast<int32_t>(text.size()), &status);
    const UBool found = options_.whole ? uregex_matches(regex_->handle, 0, &status)
                                       : uregex_find(regex_->handle, 0, &status);
    return U_SUCCESS(status) && found;
}

std::u16string_view matchedText(const SnapshotTree& tree, NodeId node, MatchSyntax syntax) {
    const std::u16string_view text = tree.text(node);
    return syntax == MatchSyntax::Plain
               ? text
               : listedName(text, tree.kind(node), tree.parent(node) == kNoNode);
}

void searchNames(const SnapshotTree& tree, NameMatcher& matcher, bool recursive, bool filesOnly,
                 std::vector<NodeId>& out) {
    const MatchSyntax syntax = matcher.options().syntax;
    // Pre-order with an explicit stack of the next siblings to come back to.
    std::vector<NodeId> pending;
    NodeId node = tree.firstRoot();
    while (node != kNoNode) {
        if (matcher.matches(matchedText(tree, node, syntax)) &&
            !(filesOnly && isContainerKind(tree.kind(node)))) {
            out.push_back(node);
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
}

} // namespace zelvane
