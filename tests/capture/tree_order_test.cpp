#include "capture/tree_order.h"

#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace zelvane {
namespace {

std::vector<std::u16string> childTexts(const SnapshotTree& tree, NodeId parent) {
    std::vector<std::u16string> texts;
    for (NodeId c = tree.firstChild(parent); c != kNoNode; c = tree.nextSibling(c)) {
        texts.emplace_back(tree.text(c));
    }
    return texts;
}

NodeId add(SnapshotTree& tree, NodeId parent, std::u16string_view text) {
    return tree.insertLast(parent, text);
}

TEST(TreeOrder, FoldersComeFirstThenFilesEachAlphabetically) {
    for (const char* locale : {"", "en_US", "de_DE", "th_TH", "sv_SE"}) {
        const TextOrder order(locale);
        SnapshotTree tree;
        const NodeId root = add(tree, kTopLevel, u"root");
        for (const char16_t* text : {u" Zeta", u"Beta.txt", u" alpha", u"apple.txt"}) {
            add(tree, root, text);
        }
        SortTree(tree, order);
        EXPECT_EQ(childTexts(tree, root),
                  (std::vector<std::u16string>{u" alpha", u" Zeta", u"apple.txt", u"Beta.txt"}))
            << locale;
    }
}

TEST(TreeOrder, ASpaceSortsBeforeLettersAndDigits) {
    // Thai makes spaces ignorable by default; they must count everywhere.
    for (const char* locale : {"", "en_US", "th", "ja"}) {
        const TextOrder order(locale);
        EXPECT_LT(order.compare(u" b", u"a"), 0) << locale;
        EXPECT_LT(order.compare(u" z", u"0"), 0) << locale;
        EXPECT_LT(order.compare(u" z", u"A"), 0) << locale;
        EXPECT_LT(order.compare(u"a b", u"ab"), 0) << locale;
        EXPECT_EQ(order.compare(u"Readme", u"README"), 0) << locale;
        EXPECT_LT(order.compare(u"e", u"\u00e9"), 0) << locale;
        EXPECT_LT(order.compare(u"\u00c9cole", u"ecrire"), 0) << locale;
    }
    EXPECT_GT(TextOrder("sv_SE").compare(u"\u00e5", u"z"), 0) << "Swedish puts \u00e5 after z";
    SnapshotTree tree;
    const NodeId root = add(tree, kTopLevel, u"r");
    add(tree, root, u"a");
    add(tree, root, u"1");
    add(tree, root, u" b");
    SortTree(tree, TextOrder(""));
    EXPECT_EQ(childTexts(tree, root), (std::vector<std::u16string>{u" b", u"1", u"a"}));
}

TEST(TreeOrder, RootsAreOrderedTooAndEqualTextsKeepTheirOrder) {
    SnapshotTree tree;
    add(tree, kTopLevel, u"b");
    add(tree, kTopLevel, u"A");
    add(tree, kTopLevel, u"9 disk");
    add(tree, kTopLevel, u" spaced");
    SortTree(tree, TextOrder(""));
    EXPECT_EQ(childTexts(tree, kTopLevel),
              (std::vector<std::u16string>{u" spaced", u"9 disk", u"A", u"b"}));

    SnapshotTree same;
    const NodeId root = add(same, kTopLevel, u"r");
    const NodeId first = add(same, root, u"Readme");
    const NodeId second = add(same, root, u"README");
    const NodeId third = add(same, root, u"readme");
    add(same, root, u"Also");
    SortTree(same, TextOrder(""));
    ASSERT_EQ(same.childCount(root), 4u);
    EXPECT_EQ(same.childAt(root, 1), first);
    EXPECT_EQ(same.childAt(root, 2), second);
    EXPECT_EQ(same.childAt(root, 3), third);
}

TEST(TreeOrder, EveryLevelIsSortedAndSortBranchStaysInItsBranch) {
    SnapshotTree tree;
    const NodeId r1 = add(tree, kTopLevel, u"r1");
    const NodeId sub = add(tree, r1, u" sub");
    add(tree, sub, u"z");
    const NodeId deep = add(tree, sub, u" deep");
    add(tree, deep, u"b");
    add(tree, deep, u"a");
    add(tree, sub, u"y");
    const NodeId r0 = add(tree, kTopLevel, u"r0");
    add(tree, r0, u"d");
    add(tree, r0, u"c");

    const TextOrder order("");
    SortBranch(tree, sub, order);
    EXPECT_EQ(childTexts(tree, sub), (std::vector<std::u16string>{u" deep", u"y", u"z"}));
    EXPECT_EQ(childTexts(tree, deep), (std::vector<std::u16string>{u"a", u"b"}));
    EXPECT_EQ(childTexts(tree, r0), (std::vector<std::u16string>{u"d", u"c"})) << "untouched";
    EXPECT_EQ(childTexts(tree, kTopLevel), (std::vector<std::u16string>{u"r1", u"r0"}));

    SortTree(tree, order);
    EXPECT_EQ(childTexts(tree, kTopLevel), (std::vector<std::u16string>{u"r0", u"r1"}));
    EXPECT_EQ(childTexts(tree, r0), (std::vector<std::u16string>{u"c", u"d"}));
}

TEST(TreeOrder, ToleratesOddTextsAndDeepTrees) {
    SnapshotTree tree;
    const NodeId root = add(tree, kTopLevel, u"r");
    add(tree, root, u"\xdcff\xdc80.txt"); // bytes kept from a name that was not UTF-8
    add(tree, root, u"");
    add(tree, root, std::u16string(5000, u'x'));
    add(tree, root, u"\xd800"); // a lone high surrogate
    add(tree, root, u"a");
    SortTree(tree, TextOrder(""));
    const auto texts = childTexts(tree, root);
    ASSERT_EQ(texts.size(), 5u);
    EXPECT_EQ(texts[0], u"");

    // 100,000 levels: the walk keeps its own stack.
    SnapshotTree deep;
    NodeId node = add(deep, kTopLevel, u"top");
    for (int i = 0; i < 100000; ++i) {
        node = add(deep, node, u" d");
        add(deep, deep.parent(node), u"a file");
    }
    SortTree(deep, TextOrder(""));
    EXPECT_EQ(childTexts(deep, deep.firstRoot()), (std::vector<std::u16string>{u" d", u"a file"}));
}

// Sets an environment variable for the life of the object.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const char* value) : name_(name) {
        if (const char* old = std::getenv(name)) {
            saved_ = old;
        }
        if (value != nullptr) {
            setenv(name, value, 1);
        } else {
            unsetenv(name);
        }
    }
    ~ScopedEnv() {
        if (saved_) {
            setenv(name_, saved_->c_str(), 1);
        } else {
            unsetenv(name_);
        }
    }

private:
    const char* name_;
    std::optional<std::string> saved_;
};

TEST(TreeOrder, LocaleComesFromLcAllThenLcCollateThenLang) {
    ScopedEnv all("LC_ALL", nullptr);
    ScopedEnv collate("LC_COLLATE", nullptr);
    ScopedEnv lang("LANG", nullptr);
    EXPECT_EQ(TextOrder::localeFromEnvironment(), "");
    setenv("LANG", "C.UTF-8", 1);
    EXPECT_EQ(TextOrder::localeFromEnvironment(), "");
    setenv("LANG", "de_DE.UTF-8", 1);
    setenv("LC_COLLATE", "sv_SE.UTF-8", 1);
    setenv("LC_ALL", "", 1);
    EXPECT_EQ(TextOrder::localeFromEnvironment(), "sv_SE");
    EXPECT_GT(TextOrder().compare(u"\u00e5", u"z"), 0);
    setenv("LC_ALL", "de_AT.ISO-8859-15@euro", 1);
    EXPECT_EQ(TextOrder::localeFromEnvironment(), "de_AT");
    setenv("LC_ALL", "no-such_LOCALE!!", 1);
    EXPECT_LT(TextOrder().compare(u" b", u"a"), 0) << "an unknown name falls back to the root";
}

TEST(TreeOrder, SortKeysOrderLikeTheComparison) {
    const TextOrder order("");
    const std::vector<std::u16string> texts = {u" b",       u"a",      u"A",   u"\u00e9",
                                               u"e",        u"1",      u"",    u"Beta",
                                               u"beta.txt", u"\xdc80", u"a b", u"zz top"};
    for (const auto& x : texts) {
        for (const auto& y : texts) {
            std::vector<std::uint8_t> kx;
            std::vector<std::uint8_t> ky;
            order.appendSortKey(x, kx);
            order.appendSortKey(y, ky);
            const int byKey =
                std::string(kx.begin(), kx.end()).compare(std::string(ky.begin(), ky.end()));
            const int byCompare = order.compare(x, y);
            EXPECT_EQ(byKey < 0, byCompare < 0);
            EXPECT_EQ(byKey == 0, byCompare == 0);
        }
    }
}

} // namespace
} // namespace zelvane
