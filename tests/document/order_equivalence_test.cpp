// The quick ways to the text order (ASCII keys, group sorts, moving a renamed node) against
// a plain reference.
#include <algorithm>
#include <random>
#include <string>
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

const char* const kLocales[] = {"",   "en_US", "de_DE", "sv_SE", "cs",
                                "da", "hu",    "th",    "ja",    "fr_CA"};

// Secondary level; ties by the third level alone of the case-folded texts.
class Reference {
public:
    explicit Reference(const char* locale)
        : secondary_(open(locale, UCOL_SECONDARY)), tertiary_(open(locale, UCOL_TERTIARY)) {}
    ~Reference() {
        ucol_close(secondary_);
        ucol_close(tertiary_);
    }
    Reference(const Reference&) = delete;
    Reference& operator=(const Reference&) = delete;

    int compare(std::u16string_view a, std::u16string_view b) const {
        const std::string ka = key(secondary_, a);
        const std::string kb = key(secondary_, b);
        return ka != kb ? (ka < kb ? -1 : 1) : thirdLevel(a).compare(thirdLevel(b));
    }
    bool less(std::u16string_view a, std::u16string_view b) const { return compare(a, b) < 0; }
    void sortEveryGroup(SnapshotTree& tree) const {
        const auto byText = [&](NodeId a, NodeId b) { return less(tree.text(a), tree.text(b)); };
        tree.sortChildren(kTopLevel, byText);
        for (NodeId node = 0; node < tree.idBound(); ++node) {
            tree.sortChildren(node, byText);
        }
    }

private:
    static UCollator* open(const char* locale, UCollationStrength strength) {
        UErrorCode status = U_ZERO_ERROR;
        UCollator* collator = ucol_open(locale, &status);
        ucol_setStrength(collator, strength);
        ucol_setAttribute(collator, UCOL_ALTERNATE_HANDLING, UCOL_NON_IGNORABLE, &status);
        return collator;
    }
    static std::string key(const UCollator* c, std::u16string_view text) {
        const auto* units = reinterpret_cast<const UChar*>(text.data());
        std::string bytes(static_cast<std::size_t>(ucol_getSortKey(
                              c, units, static_cast<int32_t>(text.size()), nullptr, 0)),
                          '\0');
        ucol_getSortKey(c, units, static_cast<int32_t>(text.size()),
                        reinterpret_cast<uint8_t*>(bytes.data()),
                        static_cast<int32_t>(bytes.size()));
        return bytes;
    }
    std::string thirdLevel(std::u16string_view text) const {
        const std::string bytes = key(tertiary_, fold(text));
        return bytes.substr(bytes.find('\1', bytes.find('\1') + 1) + 1);
    }
    static std::u16string fold(std::u16string_view text) {
        std::u16string out(text); // the twins used here are all in the BMP
        for (char16_t& c : out) {
            c = static_cast<char16_t>(u_foldCase(c, U_FOLD_CASE_DEFAULT));
        }
        return out;
    }
    UCollator* secondary_;
    UCollator* tertiary_;
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
    const std::size_t length = random() % 12;
    for (std::size_t i = 0; i < length; ++i) {
        const bool foreign = !asciiOnly && random() % 6 == 0;
        const std::u16string& from = foreign ? other : ascii;
        name.push_back(from[random() % from.size()]);
    }
    return name;
}

std::u16string flipCase(std::u16string name) {
    for (char16_t& c : name) {
        c = c >= u'a' && c <= u'z' ? asciiUpper(c) : asciiLower(c);
    }
    return name;
}
std::u16string fullWidth(std::u16string name) {
    for (char16_t& c : name) {
        c = asciiLower(c) >= u'a' && asciiLower(c) <= u'z' ? static_cast<char16_t>(c + 0xfee0) : c;
    }
    return name;
}

// Keys (ties by compareTies), appended after the buffer's bytes, and compare().
TEST(OrderEquivalence, KeysAndComparisonsFollowTheReference) {
    std::mt19937 random(3);
    for (const char* locale : kLocales) {
        const TextOrder order(locale);
        const Reference reference(locale);
        EXPECT_TRUE(order.hasAsciiKeys()) << locale;
        std::vector<std::u16string> texts{std::u16string(100, u'a'), std::u16string(34, u' '),
                                          std::u16string(300, u'0')}; // long keys: U+FDFA
        for (const char16_t* t : {u"", u"ch", u"Aa", u"dzs", u"\u0080x", u"\u0001x", u"x\u007f",
                                  u"\ufdfa", u"a\ufdfa\ufdfa\u3300"}) {
            texts.push_back(t);
        }
        for (int i = 0; i < 2000; ++i) {
            const std::u16string name = randomName(random, i % 2 == 0);
            texts.push_back(i % 5 == 1   ? fullWidth(texts.back())
                            : i % 5 == 2 ? flipCase(texts.back())
                                         : name);
        }
        std::vector<std::vector<std::uint8_t>> keys;
        for (const std::u16string& text : texts) {
            keys.push_back({7});
            order.appendSortKey(text, keys.back());
        }
        auto sign = [](auto v) { return (v > 0) - (v < 0); };
        for (std::size_t i = 0; i < 6000; ++i) {
            const std::size_t a = i < texts.size() ? i : random() % texts.size();
            const std::size_t b =
                i < texts.size() ? (i + 1) % texts.size() : random() % texts.size();
            const int expected = sign(reference.compare(texts[a], texts[b]));
            const int byKey = sign(keys[a] <=> keys[b]);
            ASSERT_EQ(byKey != 0 ? byKey : order.compareTies(texts[a], texts[b]), expected)
                << locale << " \"" << utf16ToUtf8(texts[a]) << "\" \"" << utf16ToUtf8(texts[b])
                << "\"";
            ASSERT_EQ(order.compare(texts[a], texts[b]), expected)
                << locale << " " << a << " " << b;
        }
    }
}

void makeDisk(const test::TempTree& disk, std::mt19937& random, const std::string& at, int depth) {
    std::vector<std::u16string> names;
    const std::size_t entries = random() % 13;
    for (std::size_t i = 0; i < entries; ++i) {
        const std::u16string& other = names.empty() ? u"" : names[random() % names.size()];
        std::u16string name = random() % 4 == 0   ? flipCase(other)
                              : random() % 3 == 0 ? fullWidth(other)
                                                  : randomName(random, false);
        std::erase_if(name, [](char16_t c) { return c < 0x20 || c == u'/'; });
        if (name.empty() || name == u"." || name == u".." ||
            std::find(names.begin(), names.end(), name) != names.end()) {
            continue;
        }
        names.push_back(name);
        const std::string path = at + "/" + utf16ToUtf8(name);
        if (depth < 3 && random() % 3 == 0) {
            disk.dir(path);
            makeDisk(disk, random, path, depth + 1);
        } else {
            disk.file(path);
        }
    }
}

std::string snapshotBytes(const SnapshotTree& tree) {
    std::string bytes;
    EXPECT_TRUE(encodeSnapshot(tree, bytes).ok);
    return bytes;
}

TEST(OrderEquivalence, CapturesSaveTheBytesOfAPlainSortByTheCollator) {
    std::mt19937 random(11);
    for (int round = 0; round < 12; ++round) {
        const char* locale = kLocales[round % std::size(kLocales)];
        const TextOrder order(locale);
        const Reference reference(locale);
        test::TempTree disk;
        disk.dir("one");
        disk.dir("two");
        makeDisk(disk, random, "one", 0);
        makeDisk(disk, random, "two", 0);

        // Two captures after loaded unsorted roots.
        SnapshotTree tree;
        SnapshotTree plain;
        for (SnapshotTree* t : {&tree, &plain}) {
            t->insertLast(t->insertLast(kTopLevel, u"loaded"), u"b");
            t->insertLast(t->firstChild(kTopLevel), u"A");
        }
        testing::ScriptedUi ui;
        ScanState state;
        for (const char* sub : {"one", "two"}) {
            const std::u16string path = utf8ToUtf16(disk.at(sub));
            captureTree(tree, state, {path, u"*", flipCase(path)}, ui, order);
            EXPECT_TRUE(tree.inOrder());

            const NodeId root = plain.insertLast(kTopLevel, flipCase(path));
            ScanState plainState;
            DirectoryScanner(plain, plainState, ui).ScanDirectory(path, root);
            plain.setTextAndBold(root, flipCase(path));
            plain.setKind(root, rootKindForPath(path));
            reference.sortEveryGroup(plain);
            EXPECT_EQ(snapshotBytes(tree), snapshotBytes(plain))
                << locale << " round " << round << " " << sub;
        }
    }
}

void build(SnapshotTree& tree, std::mt19937 random) {
    std::vector<NodeId> parents{kTopLevel};
    for (std::size_t i = 0; i < parents.size() && i < 60; ++i) {
        for (std::size_t k = random() % 40; k > 0; --k) {
            const std::u16string text =
                random() % 3 == 0 ? u"same" : randomName(random, k % 2 == 0);
            const NodeId node =
                tree.insertLast(parents[i], random() % 2 == 0 ? flipCase(text) : text);
            if (random() % 4 == 0) {
                parents.push_back(node);
            }
        }
    }
}

TEST(OrderEquivalence, ARenamedNodeMovedAloneEndsWhereAWholeSortPutsIt) {
    std::mt19937 random(5);
    for (int round = 0; round < 8; ++round) {
        const TextOrder order(kLocales[round % std::size(kLocales)]);
        SnapshotTree moved;
        SnapshotTree sorted;
        build(moved, random);
        build(sorted, random);
        random.discard(1000);
        EXPECT_FALSE(moved.inOrder());
        SortTree(moved, order);
        SortTree(sorted, order);
        EXPECT_TRUE(moved.inOrder());
        for (int rename = 0; rename < 300; ++rename) {
            // A new name, a sibling's twin or the old one; at times after an insertion.
            const NodeId node = static_cast<NodeId>(random() % moved.idBound());
            if (rename % 10 == 0) {
                EXPECT_EQ(moved.insertLast(node, u"0 added"), sorted.insertLast(node, u"0 added"));
            }
            const NodeId sibling =
                moved.firstChild(moved.parent(node) == kNoNode ? kTopLevel : moved.parent(node));
            const std::u16string twin = rename % 2 == 0
                                            ? flipCase(std::u16string(moved.text(sibling)))
                                            : fullWidth(std::u16string(moved.text(sibling)));
            const std::u16string text = rename % 3 == 0   ? twin
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

// What can break the order clears the mark.
TEST(OrderEquivalence, EditsThatCanBreakTheOrderClearTheMark) {
    using Edit = void (*)(SnapshotTree&, NodeId root, NodeId b);
    const struct {
        const char* edit;
        bool keepsOrder;
        Edit apply;
    } cases[] = {
        {"insert", false, [](SnapshotTree& t, NodeId root, NodeId) { t.insertLast(root, u"c"); }},
        {"new text", false, [](SnapshotTree& t, NodeId, NodeId b) { t.setText(b, u"0"); }},
        {"same text", true, [](SnapshotTree& t, NodeId, NodeId b) { t.setText(b, u"b"); }},
        {"kind", true, [](SnapshotTree& t, NodeId, NodeId b) { t.setKind(b, kKindFolder); }},
        {"remove", true, [](SnapshotTree& t, NodeId, NodeId b) { t.remove(b); }},
        {"remove all", false, [](SnapshotTree& t, NodeId, NodeId) { t.removeAll(); }},
        {"reorder", false,
         [](SnapshotTree& t, NodeId root, NodeId) {
             t.sortChildren(root, [](NodeId x, NodeId y) { return x < y; });
         }},
        {"load", false,
         [](SnapshotTree& t, NodeId, NodeId) { decodeSnapshot(snapshotBytes(t), t); }},
    };
    for (const auto& c : cases) {
        SnapshotTree tree;
        const NodeId root = tree.insertLast(kTopLevel, u"r");
        const NodeId b = tree.insertLast(root, u"b");
        tree.insertLast(root, u"a");
        SortTree(tree, TextOrder(""));
        ASSERT_TRUE(tree.inOrder());
        c.apply(tree, root, b);
        EXPECT_EQ(tree.inOrder(), c.keepsOrder) << c.edit;
    }
}

} // namespace
} // namespace zelvane
