// Name matching beyond the Search dialog's plain rule, for zelvane-cli: shell wildcards,
// ICU regular expressions and full Unicode case folding; and the walk that applies one to
// a snapshot under the dialog's "recursive" and "files only" options.
//
// Plain      the pattern anywhere in the name (or the whole name with `whole`), letter
//            case folded by the chosen rule. (The Search dialog's own rule, on the stored
//            texts, is the search engine's.)
// Glob       * (any run), ? (any one character), [abc], [a-z], [!a-z] or [^a-z], {a,b}
//            (either), and \ that takes the next character as it is, over the whole
//            name; with fullPath over the whole slash path, where * ? and classes do not
//            match a / and ** does (**/ also matching no folder at all).
// Regex      an ICU regular expression found anywhere in the name (the whole name with
//            `whole`). ICU's own case folding is used whenever case is ignored.
// Every syntax looks at the name as people see it: a folder's text without its one
// leading space.
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "document/snapshot_tree.h"
#include "search/search_engine.h"
#include "text/text.h"

namespace zelvane {

enum class MatchSyntax { Plain, Glob, Regex };
enum class CaseRule {
    Exact,        // letter case must match
    AsciiLetters, // only a to z fold onto A to Z (the dialog's rule)
    Unicode,      // full Unicode case folding (ß matches SS)
};

struct NameMatchOptions {
    MatchSyntax syntax = MatchSyntax::Plain;
    CaseRule caseRule = CaseRule::AsciiLetters;
    bool whole = false;    // Plain and Regex: the whole text must match (Glob always is whole)
    bool fullPath = false; // Glob and Regex: matched against the node's whole slash path
};

class NameMatcher {
public:
    NameMatcher();
    ~NameMatcher();
    NameMatcher(const NameMatcher&) = delete;
    NameMatcher& operator=(const NameMatcher&) = delete;

    // Prepares the pattern. False, with the reason in error, when it is not valid (an
    // unbalanced regular expression, for one).
    bool compile(std::u16string_view pattern, const NameMatchOptions& options, std::string& error);
    bool matches(std::u16string_view text);
    // The same for a text in either form.
    bool matchesStored(NodeText text);
    // Whether the last regular expression match gave up, past the time or the memory it is
    // allowed (a pattern that backtracks without end): it then did not match.
    bool tooSlow() const { return tooSlow_; }
    const NameMatchOptions& options() const { return options_; }
    // Units that every name the pattern matches holds as they are, one after the other
    // (none when no such run is known, or when a whole path is matched): the plain pattern
    // itself when case must match, else its longest run of units its case rule does not fold.
    std::u16string_view requiredUnits() const { return required_; }

private:
    struct GlobToken {
        // Star: any run (not across a / with fullPath); AnyRun: **, any run at all;
        // Folders: **/, no folder or any run ending with a /.
        enum Type { Literal, Any, Star, AnyRun, Folders, Class } type;
        char32_t value = 0;             // Literal
        bool negated = false;           // Class
        std::vector<char32_t> ranges{}; // Class: pairs of first and last
    };
    // text folded by the case rule; the view lasts until the next call.
    std::u16string_view fold(std::u16string_view text);
    template <class Units> bool plainMatches(Units text);
    static bool tokenTakes(const GlobToken& token, char32_t c);
    static bool runAt(const std::vector<GlobToken>& glob, std::size_t from, std::size_t to,
                      const std::vector<char32_t>& points, std::size_t at);
    bool starMatches(const std::vector<GlobToken>& glob);
    bool findRun(const std::vector<GlobToken>& glob, std::size_t from, std::size_t to,
                 std::size_t& t, std::size_t limit);
    bool globMatches(std::u16string_view text);
    bool globMatches(const std::vector<GlobToken>& glob);
    static std::vector<GlobToken> globTokens(const std::vector<char32_t>& points, bool fullPath);

    NameMatchOptions options_;
    std::u16string pattern_; // Plain: the folded pattern
    // Plain: the pattern's test without a fold, on the units as they are; under full
    // folding for ASCII texts only, after the test for required_ (caseless_, see compile).
    TextMatcher units_;
    TextMatcher caseless_;
    std::u16string required_;
    std::u16string folded_;                     // the text of the last fold()
    std::u16string widened_;                    // a one-byte text in UTF-16
    std::vector<std::vector<GlobToken>> globs_; // one for each of the braces' patterns
    std::vector<char> live_, next_;             // the positions reached, before and after
    std::vector<char32_t> points_;              // the text being matched, as code points
    std::vector<std::size_t> prefix_;           // findRun's prefix function
    struct Regex;
    std::unique_ptr<Regex> regex_;
    bool tooSlow_ = false;
    bool anyText_ = false; // Glob: every text matches
};

// The text a matcher is given for a node: its name (a folder's without its leading space);
// with fullPath, searchNames gives the whole slash path instead.
std::u16string matchedText(const SnapshotTree& tree, NodeId node);

// searchNames' test of one node, for nodes met one at a time in pre-order (a walk of the
// tree or a streaming read): level is the node's depth (0 for a root), text its stored
// text and kind its kind. Keeps the running slash path that fullPath matches against.
class PreOrderNameTest {
public:
    PreOrderNameTest(NameMatcher& matcher, bool recursive, bool filesOnly)
        : matcher_(matcher), recursive_(recursive), filesOnly_(filesOnly),
          fullPath_(matcher.options().fullPath) {}
    // Whether the node is a match. Nodes below the roots never are when recursive is off.
    bool matches(std::size_t level, NodeText text, int kind);
    // Takes the node at level as the one above the next, without testing it: for a test that
    // starts below the roots.
    void follow(std::size_t level, NodeText text, int kind);
    bool tooSlow() const { return matcher_.tooSlow(); }

private:
    NameMatcher& matcher_;
    bool recursive_;
    bool filesOnly_;
    bool fullPath_;
    std::u16string path_;
    std::vector<std::size_t> lengths_; // of path_ up to each level
    std::u16string widened_;
};

// The nodes that match, in pre-order, appended to out. Every node is examined, or only
// the roots when recursive is off; with filesOnly, matching roots and folders (kinds 4, 6
// and 9) are left out, while what lies below them is still searched. Returns the node at
// which the matcher was too slow, having stopped there, or kNoNode.
NodeId searchNames(const SnapshotTree& tree, NameMatcher& matcher, bool recursive, bool filesOnly,
                   std::vector<NodeId>& out);

} // namespace zelvane
