// The command line's name matchers under each case rule, and their walk over a tree.
#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

#include "document/snapshot_tree.h"
#include "search/name_matchers.h"
#include "text/utf.h"

namespace zelvane {
namespace {

using enum MatchSyntax;
using enum CaseRule;

TEST(NameMatchers, MatchEachSyntaxUnderEachCaseRule) {
    const std::tuple<MatchSyntax, CaseRule, bool, std::u16string, std::u16string, bool> cases[] = {
        // Plain: the dialog's rule, with the case rule chosen.
        {Plain, AsciiLetters, false, u"readme", u"Docs README.TXT", true},
        {Plain, Exact, false, u"readme", u"README.TXT", false},
        {Plain, AsciiLetters, false, u"\u00E9", u"\u00C9t\u00E9", true},
        {Plain, AsciiLetters, false, u"\u00E9t", u"\u00C9t\u00C9", false},
        {Plain, Unicode, false, u"\u00E9t", u"\u00C9T\u00C9", true},
        {Plain, Unicode, false, u"strasse", u"Stra\u00DFe.txt", true},
        {Plain, Unicode, true, u"docs", u" Docs", false},
        {Plain, AsciiLetters, false, u"*", u"abc", false},
        // Glob: over the whole name.
        {Glob, AsciiLetters, false, u"*.txt", u"a.TXT", true},
        {Glob, Exact, false, u"*.txt", u"a.TXT", false},
        {Glob, AsciiLetters, false, u"??.txt", u"ab.txt", true},
        {Glob, AsciiLetters, false, u"?", u"\U0001F600", true},
        {Glob, AsciiLetters, false, u"[abc]*", u"b1", true},
        {Glob, AsciiLetters, false, u"[!abc]*", u"b1", false},
        {Glob, AsciiLetters, false, u"[^abc]*", u"d1", true},
        {Glob, AsciiLetters, false, u"[a-c]x", u"bx", true},
        {Glob, AsciiLetters, false, u"[a-]", u"-", true},
        {Glob, AsciiLetters, false, u"[]]", u"]", true},
        {Glob, AsciiLetters, false, u"[x", u"[x", true},
        {Glob, AsciiLetters, false, u"\\*", u"*", true},
        {Glob, AsciiLetters, false, u"a\\", u"a\\", true},
        {Glob, AsciiLetters, false, u"*a*b", u"xxaxxb", true},
        {Glob, AsciiLetters, false, u"*", u"", true},
        {Glob, AsciiLetters, false, u"a*a*a*a*b", std::u16string(40, u'a'), false},
        // A star gives back only what it took: what lies before it stays matched.
        {Glob, AsciiLetters, false, u"aa*ab", u"aab", false},
        // Lone surrogates are one character each, whichever half they are.
        {Glob, AsciiLetters, false, u"??", u"\xDC00\xDC01", true},
        {Glob, AsciiLetters, false, u"??", u"\xDBFF\xDC00", false},
        {Glob, Exact, false, u"[\U00010000-\U0001FFFF]", u"\U0001F600", true},
        // An unclosed class whose last member is an escape: the [ is itself.
        {Glob, AsciiLetters, false, u"[a-\\", u"[a-\\", true},
        {Glob, Unicode, false, u"*STRASSE*", u"die stra\u00DFe", true},
        {Glob, AsciiLetters, false, u"b\xDCE9*", u"b\xDCE9x", true},
        // Regex: found anywhere, or the whole name; ICU's folding whenever case is ignored.
        {Regex, AsciiLetters, false, u"^re.*d", u"README", true},
        {Regex, Exact, false, u"^re.*d", u"README", false},
        {Regex, AsciiLetters, true, u"is", u"Disk", false},
        {Regex, Unicode, false, u"\u03C9\\.mp3$", u"\u03A9.MP3", true},
        // With case kept, a carriage return still ends a line for $, as ICU's default has it.
        {Regex, Exact, false, u"a$", u"a\r", true},
        {Glob, Exact, false, u"a*", u"babbc", false}, // a glob after an expression
    };
    // One matcher for all, after a bad expression refused with its place.
    NameMatcher matcher;
    std::string error;
    EXPECT_FALSE(matcher.compile(u"a)", {Regex, AsciiLetters, false}, error));
    EXPECT_EQ(error, "not a valid regular expression (U_REGEX_MISMATCHED_PAREN after character 2)");
    for (const auto& [syntax, caseRule, whole, pattern, text, matches] : cases) {
        error.clear();
        ASSERT_TRUE(matcher.compile(pattern, {syntax, caseRule, whole}, error)) << error;
        EXPECT_EQ(matcher.matches(text), matches) << utf16ToUtf8(pattern);
    }
    EXPECT_EQ(foldCaseFull(u"\u00DF\u00DF\u00DF"), u"ssssss"); // folding grows the text
    EXPECT_EQ(foldCaseFull(u"A\xDCE9Z"), u"a\xDCE9z");
}

TEST(NameMatchers, WalkInPreOrderUnderTheDialogsOptions) {
    SnapshotTree tree;
    auto add = [&](NodeId parent, std::u16string_view text, int kind) {
        const NodeId id = tree.insertLast(parent, text);
        tree.setKind(id, kind);
        return id;
    };
    auto found = [&](std::u16string pattern, MatchSyntax syntax, bool recursive = true,
                     bool filesOnly = false) {
        NameMatcher matcher;
        std::string error, out;
        EXPECT_TRUE(matcher.compile(pattern, {syntax, AsciiLetters, false}, error));
        std::vector<NodeId> nodes;
        searchNames(tree, matcher, recursive, filesOnly, nodes);
        for (const NodeId node : nodes) {
            out.append(out.empty() ? "" : "|").append(utf16ToUtf8(tree.text(node)));
        }
        return out;
    };
    EXPECT_EQ(found(u"*", Glob), ""); // nothing in an empty tree
    const NodeId disk = add(kTopLevel, u"Disk", 9), docs = add(disk, u" Docs", 6);
    add(add(docs, u" d2", 6), u"d3.doc", 5);
    add(disk, u" docsless", 8);  // a file whose name begins with a space
    add(kTopLevel, u" Docs", 6); // a root of kind 6 keeps its space
    EXPECT_EQ(found(u"d*", Glob), "Disk| Docs| d2|d3.doc");
    EXPECT_EQ(found(u"d*", Glob, true, true), "d3.doc");
    EXPECT_EQ(found(u"*", Glob, false), "Disk| Docs");
    EXPECT_EQ(found(u" d*", Glob), " docsless| Docs");
    EXPECT_EQ(found(u"^docs$", Regex), " Docs");
    EXPECT_EQ(found(u" d", Plain), " Docs| d2| docsless| Docs");
}

} // namespace
} // namespace zelvane
