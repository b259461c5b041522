// The text order and its quick ways (ASCII keys, group sorts, renames) against a reference.
#include <algorithm>
#include <cstdlib>
#include <random>
#include <string>
#include <tuple>
#include <vector>

#include <gtest/gtest.h>
#include <unicode/uchar.h>
#include <unicode/ucol.h>

#include "capture/capture_command.h"
#include "capture/directory_scanner.h"
#include "document/snapshot_file.h"
#include "document/tree_order.h"
#include "support/scripted_ui.h"
#include "support/temp_tree.h"
#include "text/utf.h"

namespace zelvane {
namespace {

using Text = std::u16string;
using Texts = std::vector<Text>;

const char* const kLocales[] = {"",   "en_US", "de_DE", "sv_SE", "cs",
                                "da", "hu",    "th",    "ja",    "fr_CA"};

// Two levels, spaces counted, then the third level of the case-folded texts (BMP twins only).
struct Reference {
    UErrorCode status = U_ZERO_ERROR;
    UCollator* collator;
    explicit Reference(const char* locale) : collator(ucol_open(locale, &status)) {
        ucol_setAttribute(collator, UCOL_ALTERNATE_HANDLING, UCOL_NON_IGNORABLE, &status);
    }
    ~Reference() { ucol_close(collator); }
    std::string key(std::u16string_view view, bool fold) const {
        std::u16string text(view);
        std::string bytes(1 << 14, '\0');
        for (char16_t& u : text) {
            u = fold ? static_cast<char16_t>(u_foldCase(u, U_FOLD_CASE_DEFAULT)) : u;
        }
        bytes.resize(static_cast<std::size_t>(ucol_getSortKey(
            collator, reinterpret_cast<const UChar*>(text.data()),
            static_cast<int32_t>(text.size()), reinterpret_cast<uint8_t*>(bytes.data()), 1 << 14)));
        const std::size_t third = bytes.find('\1', bytes.find('\1') + 1);
        return fold ? bytes.substr(third + 1) : bytes.substr(0, third);
    }
    int compare(std::u16string_view a, std::u16string_view b) const {
        const int byTwo = key(a, false).compare(key(b, false));
        return byTwo != 0 ? byTwo : key(a, true).compare(key(b, true));
    }
};

// ASCII with tailored letters, controls, accents, other scripts and third-level twins.
std::u16string randomName(std::mt19937& random, bool asciiOnly) {
    static const std::u16string ascii =
        u"abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789 !#$%&'()+,-.;=@[]^_`{}~"
        u"chaadzsCHAA";
    static const std::u16string other = u"\u00e9\u00c5\u00e5\u00f6\u00df\u0436\u0416\u0430"
                                        u"\u03b1\u0391\u4e00\u6587\u3042\u30a2\u0e01\u0e40\t\u0001"
                                        u"\uff41\uff21\ufb01\u00b2";
    std::u16string name;
    for (std::size_t i = random() % 12; i > 0; --i) {
        const std::u16string& from = !asciiOnly && random() % 6 == 0 ? other : ascii;
        name.push_back(from[random() % from.size()]);
    }
    return name;
}

// The name with its ASCII letters' case flipped, or made full width.
std::u16string twin(std::u16string name, bool wide = false) {
    for (char16_t& c : name) {
        c = asciiLower(c) < u'a' || asciiLower(c) > u'z' ? c
            : wide                                       ? static_cast<char16_t>(c + 0xfee0)
            : c >= u'a'                                  ? asciiUpper(c)
                                                         : asciiLower(c);
    }
    return name;
}

std::string snapshotBytes(const SnapshotTree& tree) {
    std::string bytes;
    EXPECT_TRUE(encodeSnapshot(tree, bytes).ok);
    return bytes;
}

// What the oracles below cannot tell: stability among case twins, an unknown locale, long keys.
TEST(TreeOrder, SortsCaseTwinsStablyAndAnyLocaleOrKeyLength) {
    const std::u16string han(100, u'\u4e00'); // long sort keys: the key buffer must grow
    const std::string junk(300, 'x');         // no locale ICU can open: the root collation
    const std::tuple<const char*, Texts, Texts> cases[] = {
        {"", {u"readme", u"x", u"README", u"Readme"}, {u"readme", u"README", u"Readme", u"x"}},
        {junk.c_str(), {u"f", u"\u00e9", u"e"}, {u"e", u"\u00e9", u"f"}},
        {"", {han + u"b", han + u"a"}, {han + u"a", han + u"b"}},
        {"da", {u"\ufb01", u"fi", u"x\u00b2", u"x2"}, {u"fi", u"\ufb01", u"x2", u"x\u00b2"}}};
    for (const auto& [locale, in, out] : cases) {
        SnapshotTree tree;
        const NodeId root = tree.insertLast(kTopLevel, u"root");
        for (const auto& text : in) {
            tree.insertLast(root, text);
        }
        SortTree(tree, TextOrder(locale));
        for (std::size_t i = 0; i < out.size(); ++i) {
            EXPECT_EQ(tree.text(tree.childAt(root, i)), out[i]) << locale << " " << i;
        }
    }
}

TEST(TreeOrder, LocaleComesFromTheFirstVariableSetWithoutEncodingOrModifier) {
    const char* const variables[] = {"LC_ALL", "LC_COLLATE", "LANG"};
    // The three variables ("-" unset), then the locale they make; the last row puts them back.
    std::vector<std::vector<std::string>> cases = {{"de_DE.UTF-8@euro", "-", "-", "de_DE"},
                                                   {"", "fr_FR.ISO-8859-1", "ja_JP", "fr_FR"},
                                                   {"-", "", "ja_JP@x", "ja_JP"},
                                                   {"C", "fr_FR", "-", ""},
                                                   {"POSIX", "-", "-", ""},
                                                   {"-", "-", "-", ""},
                                                   {"-", "-", "-", "-"}};
    for (int i = 0; i < 3; ++i) {
        cases.back()[i] = std::getenv(variables[i]) ? std::getenv(variables[i]) : "-";
    }
    for (const auto& c : cases) {
        for (int i = 0; i < 3; ++i) {
            c[i] == "-" ? unsetenv(variables[i]) : setenv(variables[i], c[i].c_str(), 1);
        }
        if (c[3] != "-") {
            EXPECT_EQ(TextOrder::localeFromEnvironment(), c[3]) << c[3];
            EXPECT_EQ(TextOrder().locale(), c[3]);
        }
    }
}

// Keys (ties by compareTies), appended after the buffer's bytes, and compare().
TEST(OrderEquivalence, KeysAndComparisonsFollowTheReference) {
    std::mt19937 random(3);
    for (const char* locale : kLocales) {
        const TextOrder order(locale);
        const Reference reference(locale);
        EXPECT_TRUE(order.hasAsciiKeys()) << locale;
        Texts texts{Text(100, u'a'), Text(34, u' '), Text(300, u'0')}; // long keys, and U+FDFA
        texts.insert(texts.end(), {u"", u"ch", u"Aa", u"dzs", u"\u0080x", u"\u0001x", u"x\u007f",
                                   u"\ufdfa", u"a\ufdfa\ufdfa\u3300"});
        for (int i = 0; i < 2000; ++i) {
            const std::u16string name = randomName(random, i % 2 == 0);
            texts.push_back(i % 5 == 1   ? twin(texts.back(), true)
                            : i % 5 == 2 ? twin(texts.back())
                                         : name);
        }
        std::vector<std::vector<std::uint8_t>> keys;
        for (const std::u16string& text : texts) {
            keys.push_back({7});
            order.appendSortKey(text, keys.back());
        }
        auto sign = [](auto v) { return (v > 0) - (v < 0); };
        for (std::size_t i = 0; i < 6000; ++i) {
            const bool next = i < texts.size();
            const std::size_t a = next ? i : random() % texts.size();
            const std::size_t b = next ? (i + 1) % texts.size() : random() % texts.size();
            const int expected = sign(reference.compare(texts[a], texts[b]));
            const int byKey = sign(keys[a] <=> keys[b]);
            ASSERT_EQ(byKey != 0 ? byKey : order.compareTies(texts[a], texts[b]), expected)
                << locale << " \"" << utf16ToUtf8(texts[a]) << "\" \"" << utf16ToUtf8(texts[b]);
            ASSERT_EQ(order.compare(texts[a], texts[b]), expected) << locale << " " << a;
        }
    }
}

void makeDisk(const test::TempTree& disk, std::mt19937& random, const std::string& at, int depth) {
    std::vector<std::u16string> names;
    for (std::size_t i = random() % 13; i > 0; --i) {
        const std::u16string& other = names.empty() ? u"" : names[random() % names.size()];
        std::u16string name = random() % 4 == 0   ? twin(other)
                              : random() % 3 == 0 ? twin(other, true)
                                                  : randomName(random, false);
        std::erase_if(name, [](char16_t c) { return c < 0x20 || c == u'/'; });
        if (name.empty() || name == u"." || name == u".." ||
            std::find(names.begin(), names.end(), name) != names.end()) {
            continue;
        }
        names.push_back(name);
        const std::string path = at + "/" + utf16ToUtf8(name);
        depth < 3 && random() % 3 == 0 ? (disk.dir(path), makeDisk(disk, random, path, depth + 1))
                                       : disk.file(path);
    }
}

// Captures after loaded unsorted roots save the bytes of a plain sort by the reference; then
// a renamed node moved alone ends where a whole sort of a twin capture puts it.
TEST(OrderEquivalence, CapturesSortAsTheCollatorAndARenamedNodeMovesAlone) {
    std::mt19937 random(11);
    for (int round = 0; round < 12; ++round) {
        const char* locale = kLocales[round % std::size(kLocales)];
        const TextOrder order(locale);
        const Reference reference(locale);
        test::TempTree disk;
        SnapshotTree moved, sorted, plain;
        for (SnapshotTree* t : {&moved, &sorted, &plain}) {
            t->insertLast(t->insertLast(kTopLevel, u"loaded"), u"b");
            t->insertLast(t->firstChild(kTopLevel), u"A");
        }
        testing::ScriptedUi ui;
        ScanState states[3];
        for (const char* sub : {"one", "two"}) {
            disk.dir(sub);
            makeDisk(disk, random, sub, 0);
            const std::u16string path = utf8ToUtf16(disk.at(sub));
            captureTree(moved, states[0], {path, u"*", twin(path)}, ui, order);
            captureTree(sorted, states[1], {path, u"*", twin(path)}, ui, order);
            EXPECT_TRUE(moved.inOrder());
            const NodeId root = plain.insertLast(kTopLevel, twin(path));
            DirectoryScanner(plain, states[2], ui).ScanDirectory(path, root);
            plain.setTextAndBold(root, twin(path));
            plain.setKind(root, rootKindForPath(path));
            const auto byText = [&](NodeId a, NodeId b) {
                return reference.compare(plain.text(a), plain.text(b)) < 0;
            };
            plain.sortChildren(kTopLevel, byText);
            for (NodeId node = 0; node < plain.idBound(); ++node) {
                plain.sortChildren(node, byText);
            }
            EXPECT_EQ(snapshotBytes(moved), snapshotBytes(plain)) << locale << " " << round;
        }
        for (int rename = 0; rename < 300; ++rename) {
            // A new name, a sibling's twin or the old one; at times after an insertion.
            const NodeId node = static_cast<NodeId>(random() % moved.idBound());
            if (rename % 10 == 0) {
                EXPECT_EQ(moved.insertLast(node, u"0 added"), sorted.insertLast(node, u"0 added"));
            }
            const NodeId parent = moved.parent(node);
            const std::u16string sibling(
                moved.text(moved.firstChild(parent == kNoNode ? kTopLevel : parent)));
            const std::u16string text = rename % 3 == 0   ? twin(sibling, rename % 2 == 1)
                                        : rename % 7 == 0 ? std::u16string(moved.text(node))
                                                          : randomName(random, rename % 2 == 0);
            const bool wasInOrder = moved.inOrder();
            moved.setText(node, text);
            sortTreeAfterRename(moved, node, wasInOrder, order);
            sorted.setText(node, text);
            SortTree(sorted, order);
            for (NodeId n = 0; n < moved.idBound(); ++n) {
                ASSERT_EQ(moved.row(n), sorted.row(n)) << "round " << round << " rename " << rename;
            }
        }
        EXPECT_TRUE(moved.inOrder());
    }
}

// What can break the order clears the mark, in the tree "r" holding "b" (id 1) and "a".
TEST(OrderEquivalence, EditsThatCanBreakTheOrderClearTheMark) {
    const std::pair<bool, void (*)(SnapshotTree&)> cases[] = {
        // keeps the order, edit
        {false, [](SnapshotTree& t) { t.insertLast(0, u"c"); }},
        {false, [](SnapshotTree& t) { t.setText(1, u"0"); }},
        {true, [](SnapshotTree& t) { t.setText(1, u"b"); }},
        {true, [](SnapshotTree& t) { t.setKind(1, kKindFolder); }},
        {true, [](SnapshotTree& t) { t.remove(1); }},
        {false, [](SnapshotTree& t) { t.removeAll(); }},
        {false,
         [](SnapshotTree& t) { t.sortChildren(0, [](NodeId x, NodeId y) { return x < y; }); }},
        {false, [](SnapshotTree& t) { decodeSnapshot(snapshotBytes(t), t); }},
    };
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        SnapshotTree tree;
        tree.insertLast(tree.insertLast(kTopLevel, u"r"), u"b");
        tree.insertLast(0, u"a");
        SortTree(tree, TextOrder(""));
        ASSERT_TRUE(tree.inOrder());
        cases[i].second(tree);
        EXPECT_EQ(tree.inOrder(), cases[i].first) << i;
    }
}

} // namespace
} // namespace zelvane
