#include "document/tree_order.h"

#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "text/utf.h"

namespace zelvane {
namespace {

using Texts = std::vector<std::u16string>;

Texts childTexts(const SnapshotTree& tree, NodeId parent) {
    Texts texts;
    for (NodeId c = tree.firstChild(parent); c != kNoNode; c = tree.nextSibling(c)) {
        texts.emplace_back(tree.text(c));
    }
    return texts;
}

// Folders first, case ignored, accents and the locale's letters counted; texts equal but
// for case keep their order, other twins (full-width, ligature, kana, superscript) do not.
TEST(TreeOrder, SortsSiblingsFoldersFirstCaseInsensitivelyAndStably) {
    const std::u16string han(100, u'\u4e00'); // long sort keys: the key buffer must grow
    const std::string junk(300, 'x');         // no locale ICU can open: the root collation
    const struct {
        const char* locale;
        Texts in, out;
    } cases[] = {
        {"de_DE",
         {u" Zeta", u"Beta.txt", u" alpha", u"apple.txt"},
         {u" alpha", u" Zeta", u"apple.txt", u"Beta.txt"}},
        {"", {u"a", u"1", u" b"}, {u" b", u"1", u"a"}},
        {"", {u"readme", u"x", u"README", u"Readme"}, {u"readme", u"README", u"Readme", u"x"}},
        {"",
         {u"\u0436", u"f", u"\u0430", u"\u00e9", u"\u0411", u"e"},
         {u"e", u"\u00e9", u"f", u"\u0430", u"\u0411", u"\u0436"}},
        {junk.c_str(), {u"f", u"\u00e9", u"e"}, {u"e", u"\u00e9", u"f"}},
        {"sv_SE", {u"\u00e5", u"z"}, {u"z", u"\u00e5"}},
        {"th", {u"ab", u"a b"}, {u"a b", u"ab"}}, // spaces count even where they are ignorable
        {"", {han + u"b", han + u"a"}, {han + u"a", han + u"b"}},
        {"", {u"\uff41.txt", u"A.txt", u"a.txt"}, {u"A.txt", u"a.txt", u"\uff41.txt"}},
        {"", {u"\uff21.txt", u"\uff41.txt", u"A.TXT"}, {u"A.TXT", u"\uff21.txt", u"\uff41.txt"}},
        {"da",
         {u"\ufb01", u"fi", u"\u30a2", u"\u3042", u"x\u00b2", u"x2"},
         {u"fi", u"\ufb01", u"x2", u"x\u00b2", u"\u3042", u"\u30a2"}}};
    for (const auto& c : cases) {
        SnapshotTree tree;
        const NodeId root = tree.insertLast(kTopLevel, u"root");
        for (const auto& text : c.in) {
            tree.insertLast(root, text);
        }
        SortTree(tree, TextOrder(c.locale));
        EXPECT_EQ(childTexts(tree, root), c.out) << c.locale << " " << utf16ToUtf8(c.in[0]);
    }
}

TEST(TreeOrder, LocaleComesFromTheFirstVariableSetWithoutEncodingOrModifier) {
    const char* const variables[] = {"LC_ALL", "LC_COLLATE", "LANG"};
    std::optional<std::string> saved[3];
    for (int i = 0; i < 3; ++i) {
        if (const char* value = std::getenv(variables[i])) {
            saved[i] = value;
        }
    }
    const struct {
        const char* values[3]; // nullptr: unset
        const char* locale;
    } cases[] = {{{"de_DE.UTF-8@euro", nullptr, nullptr}, "de_DE"},
                 {{"", "fr_FR.ISO-8859-1", "ja_JP"}, "fr_FR"},
                 {{nullptr, "", "ja_JP@x"}, "ja_JP"},
                 {{"C", "fr_FR", nullptr}, ""},
                 {{"POSIX", nullptr, nullptr}, ""},
                 {{nullptr, nullptr, nullptr}, ""}};
    for (const auto& c : cases) {
        for (int i = 0; i < 3; ++i) {
            c.values[i] ? setenv(variables[i], c.values[i], 1) : unsetenv(variables[i]);
        }
        EXPECT_EQ(TextOrder::localeFromEnvironment(), c.locale) << c.locale;
        EXPECT_EQ(TextOrder().locale(), c.locale);
    }
    for (int i = 0; i < 3; ++i) {
        saved[i] ? setenv(variables[i], saved[i]->c_str(), 1) : unsetenv(variables[i]);
    }
}

} // namespace
} // namespace zelvane
