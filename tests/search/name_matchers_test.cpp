// The command line's name matchers under each case rule, and their walk over a tree.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "document/snapshot_tree.h"
#include "search/name_matchers.h"
#include "text/utf.h"

namespace zelvane {
namespace {

constexpr auto kPlain = MatchSyntax::Plain;
constexpr auto kGlob = MatchSyntax::Glob;
constexpr auto kRegex = MatchSyntax::Regex;
constexpr auto kExact = CaseRule::Exact;
constexpr auto kAscii = CaseRule::AsciiLetters;
constexpr auto kUnicode = CaseRule::Unicode;

TEST(NameMatchers, MatchEachSyntaxUnderEachCaseRule) {
    const struct {
        MatchSyntax syntax;
        CaseRule caseRule;
        bool whole;
        std::u16string pattern, text;
        bool matches;
    } cases[] = {
        // Plain: the dialog's rule, with the case rule chosen.
        {kPlain, kAscii, false, u"readme", u"Docs README.TXT", true},
        {kPlain, kExact, false, u"readme", u"README.TXT", false},
        {kPlain, kAscii, false, u"\u00E9", u"\u00C9t\u00E9", true},
        {kPlain, kAscii, false, u"\u00E9t", u"\u00C9t\u00C9", false},
        {kPlain, kUnicode, false, u"\u00E9t", u"\u00C9T\u00C9", true},
        {kPlain, kUnicode, false, u"strasse", u"Stra\u00DFe.txt", true},
        {kPlain, kUnicode, true, u"docs", u" Docs", false},
        {kPlain, kAscii, false, u"*", u"abc", false},
        // Glob: over the whole name.
        {kGlob, kAscii, false, u"*.txt", u"a.TXT", true},
        {kGlob, kExact, false, u"*.txt", u"a.TXT", false},
        {kGlob, kAscii, false, u"??.txt", u"ab.txt", true},
        {kGlob, kAscii, false, u"?", u"\U0001F600", true},
        {kGlob, kAscii, false, u"[abc]*", u"b1", true},
        {kGlob, kAscii, false, u"[!abc]*", u"b1", false},
        {kGlob, kAscii, false, u"[^abc]*", u"d1", true},
        {kGlob, kAscii, false, u"[a-c]x", u"bx", true},
        {kGlob, kAscii, false, u"[a-]", u"-", true},
        {kGlob, kAscii, false, u"[]]", u"]", true},
        {kGlob, kAscii, false, u"[x", u"[x", true},
        {kGlob, kAscii, false, u"\\*", u"*", true},
        {kGlob, kAscii, false, u"a\\", u"a\\", true},
        {kGlob, kAscii, false, u"*a*b", u"xxaxxb", true},
        {kGlob, kAscii, false, u"*", u"", true},
        {kGlob, kAscii, false, u"a*a*a*a*b", std::u16string(40, u'a'), false},
        // A star gives back only what it took: what lies before it stays matched.
        {kGlob, kAscii, false, u"aa*ab", u"aab", false},
        // Lone surrogates are one character each, whichever half they are.
        {kGlob, kAscii, false, u"??", u"\xDC00\xDC01", true},
        {kGlob, kAscii, false, u"??", u"\xDBFF\xDC00", false},
        {kGlob, kExact, false, u"[\U00010000-\U0001FFFF]", u"\U0001F600", true},
        // An unclosed class whose last member is an escape: the [ is itself.
        {kGlob, kAscii, false, u"[a-\\", u"[a-\\", true},
        {kGlob, kUnicode, false, u"*STRASSE*", u"die stra\u00DFe", true},
        {kGlob, kAscii, false, u"b\xDCE9*", u"b\xDCE9x", true},
        // Regex: found anywhere, or the whole name; ICU's folding whenever case is ignored.
        {kRegex, kAscii, false, u"^re.*d", u"README", true},
        {kRegex, kExact, false, u"^re.*d", u"README", false},
        {kRegex, kAscii, true, u"is", u"Disk", false},
        {kRegex, kUnicode, false, u"\u03C9\\.mp3$", u"\u03A9.MP3", true},
        // With case kept, a carriage return still ends a line for $, as ICU's default has it.
        {kRegex, kExact, false, u"a$", u"a\r", true},
        {kGlob, kExact, false, u"a*", u"babbc", false}, // a glob after an expression
    };
    // One matcher for all, after a bad expression refused with its place.
    NameMatcher matcher;
    std::string error;
    EXPECT_FALSE(matcher.compile(u"a)", {kRegex, kAscii, false}, error));
    EXPECT_EQ(error, "not a valid regular expression (U_REGEX_MISMATCHED_PAREN after character 2)");
    for (const auto& c : cases) {
        error.clear();
        ASSERT_TRUE(matcher.compile(c.pattern, {c.syntax, c.caseRule, c.whole}, error));
        EXPECT_EQ(matcher.matches(c.text), c.matches) << utf16ToUtf8(c.pattern);
        EXPECT_EQ(error, "");
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
        EXPECT_TRUE(matcher.compile(pattern, {syntax, kAscii, false}, error));
        std::vector<NodeId> nodes;
        searchNames(tree, matcher, recursive, filesOnly, nodes);
        for (const NodeId node : nodes) {
            out.append(out.empty() ? "" : "|").append(utf16ToUtf8(tree.text(node)));
        }
        return out;
    };
    EXPECT_EQ(found(u"*", kGlob), ""); // nothing in an empty tree
    const NodeId disk = add(kTopLevel, u"Disk", 9), docs = add(disk, u" Docs", 6);
    add(add(docs, u" d2", 6), u"d3.doc", 5);
    add(disk, u" docsless", 8);  // a file whose name begins with a space
    add(kTopLevel, u" Docs", 6); // a root of kind 6 keeps its space
    EXPECT_EQ(found(u"d*", kGlob), "Disk| Docs| d2|d3.doc");
    EXPECT_EQ(found(u"d*", kGlob, true, true), "d3.doc");
    EXPECT_EQ(found(u"*", kGlob, false), "Disk| Docs");
    EXPECT_EQ(found(u" d*", kGlob), " docsless| Docs");
    EXPECT_EQ(found(u"^docs$", kRegex), " Docs");
    EXPECT_EQ(found(u" d", kPlain), " Docs| d2| docsless| Docs");
}

} // namespace
} // namespace zelvane
