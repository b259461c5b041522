#include "document/snapshot_tree.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <functional>
#include <map>
#include <random>
#include <sstream>
#include <string>
#include <tuple>
#include <unicode/uchar.h>
#include <unicode/ucol.h>
#include <vector>

#include "capture/capture_command.h"
#include "capture/directory_scanner.h"
#include "document/node_text.h"
#include "document/snapshot_diff.h"
#include "document/snapshot_file.h"
#include "document/tree_order.h"
#include "support/scripted_ui.h"
#include "support/temp_tree.h"
#include "text/utf.h"

namespace zelvane {
namespace {

using Lines = std::vector<std::string>;

std::string event(const std::string& what, NodeId parent, std::size_t row) {
    return what + (parent == kTopLevel ? " top " : " node ") + std::to_string(row);
}

struct RecordingObserver : TreeObserver {
    Lines calls;
    void beforeInsert(NodeId p, std::size_t r) override { calls.push_back(event("insert", p, r)); }
    void beforeRemove(NodeId) override { calls.push_back("remove"); }
    void afterRemove(NodeId p, std::size_t r) override { calls.push_back(event("removed", p, r)); }
    void nodeChanged(NodeId) override { calls.push_back("changed"); }
    void beforeReorder(NodeId) override { calls.push_back("reorder"); }
    void afterReorder(NodeId) override { calls.push_back("reordered"); }
    void beforeReset() override { calls.push_back("reset"); }
    void afterReset() override { calls.push_back("was reset"); }
    void selectionChanged(NodeId n) override { calls.push_back(n == kNoNode ? "none" : "select"); }
};

// A bad id stops a debug build; in release it answers as a removed node does.
TEST(SnapshotTree, GoneAndBadIdsFreedSlotsAndBulkUpdatesAsTheObserverHearsThem) {
    SnapshotTree tree;
    RecordingObserver observer;
    const NodeId r = tree.insertLast(kTopLevel, u"r"), a = tree.insertLast(r, u"a");
    const NodeId deep = tree.insertLast(a, u"deep"), x = tree.insertLast(r, u"x");
    tree.setObserver(&observer);
    tree.select(deep);
    tree.remove(a);
    tree.remove(a); // already gone: nothing happens
    tree.select(deep);
    EXPECT_TRUE(tree.selected() == x && tree.size() == 2);
    EXPECT_TRUE(tree.childCount(a) == 0 && tree.childAt(a, 0) == kNoNode);
    tree.markInOrder();
    const std::function<bool(NodeId)> operations[] = {
        [&](NodeId id) { return tree.text(id).empty(); },
        [&](NodeId id) { return tree.kind(id) == 0; },
        [&](NodeId id) { return !tree.isBold(id); },
        [&](NodeId id) { return tree.nextSibling(id) == kNoNode && tree.parent(id) == kNoNode; },
        [&](NodeId id) { return !tree.hasChildren(id) && tree.row(id) == 0 && !tree.level(id); },
        [&](NodeId id) { return tree.insertLast(id, u"x") == kNoNode; },
        [&](NodeId id) { return (tree.setKind(id, 3), tree.setTextAndBold(id, u"x"), true); },
    };
    for (const NodeId bad : {deep, NodeId{4} /* one past */, NodeId{1000}, kNoNode}) {
        for (const auto& operation : operations) {
            EXPECT_DEBUG_DEATH(EXPECT_TRUE(operation(bad)), "not the id");
        }
    }
    EXPECT_TRUE(tree.inOrder() && tree.size() == 2 && !tree.hasChildren(x));
    const NodeId top = tree.insertLast(kTopLevel, u"new"), under = tree.insertLast(x, u"new");
    EXPECT_TRUE(tree.idBound() == 4u && tree.nextSibling(r) == top && tree.parent(under) == x);
    {
        SnapshotTree::BulkUpdate outer(tree);
        tree.removeAll();
        SnapshotTree::BulkUpdate inner(tree);
        tree.select(tree.insertLast(kTopLevel, u"a"));
    }
    EXPECT_EQ(observer.calls, (Lines{"select", "remove", "removed node 0", "select", "insert top 1",
                                     "insert node 0", "reset", "was reset"}));
}

TEST(SnapshotTree, BigTreesCostTheirTextAndAFewLinksAndNeedNoRecursion) {
    SnapshotTree tree;
    std::vector<NodeId> ids{tree.insertLast(kTopLevel, u"root")};
    for (std::size_t i = 1; i < 300000; ++i) {
        const NodeId node = tree.insertLast(ids[i % ids.size()], u"name-of-twenty-units");
        if (i % 10 == 0) {
            ids.push_back(node);
        }
    }
    tree.childAt(ids[0], 5);                                 // an index for that parent only
    const std::size_t perNode = tree.memoryUsage() / 300000; // the 40 bytes of text and links
    EXPECT_TRUE(perNode >= 68u && perNode <= 80u) << perNode;
    tree.removeAll();
    auto nameOf = [](int i) {
        return i == 10 ? std::u16string(600000, u'L') : std::u16string(1 + i % 30, u'a' + i % 26);
    };
    ids = {tree.insertLast(kTopLevel, u"root")};
    for (int i = 0; i < 100000; ++i) {
        ids.push_back(tree.insertLast(ids.back(), nameOf(i)));
    }
    EXPECT_EQ(tree.text(ids[11]), nameOf(10));
    std::size_t visits = 0;
    walkPreOrder(tree, [&](NodeId, std::size_t level) { visits += level == visits ? 1 : 0; });
    EXPECT_TRUE(visits == 100001u && tree.level(ids.back()) == 100000u);
    tree.select(ids.back());
    const std::size_t full = tree.memoryUsage();
    tree.remove(ids[0]);
    EXPECT_TRUE(tree.empty() && tree.selected() == kNoNode);
    EXPECT_GT(tree.memoryUsage(), full); // the freed slots are listed for reuse
    tree.insertLast(kTopLevel, u"root");
    tree.removeAll();
    EXPECT_EQ(tree.idBound(), 0u);
    EXPECT_LT(tree.memoryUsage(), 64u); // the nodes and the texts are given back
}

// A plain model: each node's fields and its parent's list of children.
struct PlainTree {
    struct Node {
        std::u16string text;
        int kind = 0;
        bool bold = false;
        NodeId parent = kTopLevel;
    };
    std::map<NodeId, Node> nodes;
    std::map<NodeId, std::vector<NodeId>> children; // kTopLevel for the roots
    NodeId selected = kNoNode;

    void drop(NodeId node) {
        for (NodeId child : children[node]) {
            drop(child);
        }
        children.erase(node);
        nodes.erase(node);
    }
    void expectSame(const SnapshotTree& tree) {
        ASSERT_TRUE(tree.size() == nodes.size() && tree.selected() == selected);
        for (NodeId id = 0; id < tree.idBound(); ++id) {
            ASSERT_EQ(tree.isValid(id), nodes.count(id) == 1) << id;
        }
        for (auto& [id, n] : nodes) {
            ASSERT_EQ(tree.text(id), n.text) << id;
            ASSERT_TRUE(tree.kind(id) == n.kind && tree.isBold(id) == n.bold);
            ASSERT_EQ(tree.parent(id), n.parent == kTopLevel ? kNoNode : n.parent);
            ASSERT_EQ(tree.hasChildren(id), !children[id].empty());
            ASSERT_EQ(tree.level(id), n.parent == kTopLevel ? 0 : tree.level(n.parent) + 1);
        }
        children[kTopLevel];
        for (auto& [parent, kids] : children) {
            ASSERT_EQ(tree.childCount(parent), kids.size());
            ASSERT_EQ(tree.firstChild(parent), kids.empty() ? kNoNode : kids.front());
            // Backwards: a large parent's children then come from an index.
            for (std::size_t r = kids.size() + 1; r-- > 0;) {
                ASSERT_EQ(tree.childAt(parent, r), r < kids.size() ? kids[r] : kNoNode);
                ASSERT_TRUE(r == kids.size() || tree.row(kids[r]) == r);
                ASSERT_EQ(r < kids.size() ? tree.nextSibling(kids[r]) : kNoNode,
                          r + 1 < kids.size() ? kids[r + 1] : kNoNode);
            }
        }
        ASSERT_EQ(tree.firstRoot(), tree.firstChild(kTopLevel));
    }
};

// Random edits checked against the plain model after each step, with what the observer heard;
// a second run after removeAll finds nothing of the first one's nodes and child lists.
TEST(SnapshotTree, RandomEditsAnswerAsAPlainTreeDoes) {
    std::mt19937 random(3);
    SnapshotTree tree;
    RecordingObserver observer;
    tree.setObserver(&observer);
    for (int run = 0; run < 2; ++run) {
        PlainTree plain;
        auto anyNode = [&] {
            return std::next(plain.nodes.begin(), static_cast<long>(random() % plain.nodes.size()))
                ->first;
        };
        for (int step = 0; step < 1500; ++step) {
            observer.calls.clear();
            const unsigned op = plain.nodes.empty() ? 0 : random() % 10;
            Lines heard;
            if (op < 5) { // most go to a few parents, so that some groups grow large
                const NodeId parent = plain.nodes.empty() || random() % 8 == 0 ? kTopLevel
                                      : random() % 2 == 0 ? plain.nodes.begin()->first
                                                          : anyNode();
                const std::u16string text =
                    std::u16string(random() % 4, static_cast<char16_t>(u'a' + random() % 3)) +
                    (random() % 5 == 0 ? u"\u0416" : u"");
                heard = {event("insert", parent, plain.children[parent].size())};
                const NodeId id = tree.insertLast(parent, text);
                ASSERT_EQ(plain.nodes.count(id), 0u);
                plain.nodes[id] = {text, 0, false, parent};
                plain.children[parent].push_back(id);
            } else if (op == 5) {
                const NodeId id = anyNode(), from = anyNode();
                const bool bold = random() % 2 == 0;
                plain.nodes[id].text = tree.text(from); // read from the arena while it grows
                plain.nodes[id].bold = plain.nodes[id].bold || bold;
                bold ? tree.setTextAndBold(id, tree.text(from)) : tree.setText(id, tree.text(from));
                heard = {"changed"};
            } else if (op == 6) {
                const NodeId id = anyNode();
                const int kind = static_cast<int>(random() % 256);
                heard = plain.nodes[id].kind == kind ? Lines{} : Lines{"changed"};
                tree.setKind(id, kind);
                plain.nodes[id].kind = kind;
            } else if (op == 7) {
                const NodeId parent = random() % 4 == 0 ? kTopLevel : anyNode();
                tree.sortChildren(parent,
                                  [&](NodeId a, NodeId b) { return tree.text(a) < tree.text(b); });
                std::vector<NodeId>& kids = plain.children[parent];
                std::stable_sort(kids.begin(), kids.end(), [&](NodeId a, NodeId b) {
                    return plain.nodes[a].text < plain.nodes[b].text;
                });
                heard = kids.size() > 1 ? Lines{"reorder", "reordered"} : Lines{};
            } else if (op == 8) {
                const NodeId id = anyNode(), parent = plain.nodes[id].parent;
                std::vector<NodeId>& siblings = plain.children[parent];
                const std::size_t row = tree.row(id); // checked after the last step
                bool inside = false;
                for (NodeId s = plain.selected; s < kTopLevel && !inside;
                     s = plain.nodes[s].parent) {
                    inside = s == id;
                }
                tree.remove(id);
                heard = {"remove", event("removed", parent, row)};
                if (inside) {
                    plain.selected = row + 1 < siblings.size() ? siblings[row + 1]
                                     : row > 0                 ? siblings[row - 1]
                                     : parent != kTopLevel     ? parent
                                                               : kNoNode;
                    heard.push_back(plain.selected == kNoNode ? "none" : "select");
                }
                siblings.erase(siblings.begin() + static_cast<long>(row));
                plain.drop(id);
            } else {
                plain.selected = random() % 5 == 0 ? kNoNode : anyNode();
                tree.select(plain.selected);
                heard = {plain.selected == kNoNode ? "none" : "select"};
            }
            ASSERT_EQ(observer.calls, heard) << step;
            plain.expectSame(tree);
        }
        EXPECT_GT(tree.size(), 100u);
        tree.removeAll();
        EXPECT_EQ(observer.calls.back(), "was reset");
    }
}

TEST(NodeText, EachFormOfEachKindOfNode) {
    using View = std::u16string_view; // text, kind, root; display, listed, renamed to "n"
    const std::tuple<View, int, bool, View, View, View> rows[] = {
        {u" Docs", kKindFolder, false, u"Docs", u"Docs", u" n"},
        {u"  two", kKindFolder, false, u" two", u" two", u" n"}, // only one space goes
        {u" odd.txt", kKindDocument, false, u"odd.txt", u" odd.txt", u" n"},
        {u" Title", kKindFolder, true, u"Title", u" Title", u" n"}, // a root is its label
        {u"a.txt", kKindFolder, false, u"a.txt", u"a.txt", u"n"},
        {u"", kKindDriveRoot, true, u"", u"", u"n"},
    };
    for (const auto& [text, kind, root, display, listed, renamed] : rows) {
        EXPECT_EQ(displayName(text), display) << kind;
        EXPECT_EQ(listedName(text, kind, root), listed) << kind;
        EXPECT_EQ(renamedText(text, u"n"), renamed) << kind;
    }
    std::u16string folder = u"old";
    assignFolderText(folder, u"Docs");
    EXPECT_EQ(folder, u" Docs");

    const PathElement chain[] = {
        {u"R", kKindDriveRoot}, {u" F", kKindFolder}, {u" f.x", kKindOther}, {u" G", kKindFolder}};
    const PathElement spacedRoot[] = {{u" S", kKindFolder}, {u"", kKindFolder}};
    EXPECT_EQ(columnPath({}), u"");
    EXPECT_EQ(slashPath({}), u"");
    EXPECT_EQ(columnPath(chain), u" R\\ F\\ f.x\\ G");
    EXPECT_EQ(slashPath(chain), u"R/F/ f.x/G");
    EXPECT_EQ(columnPath(spacedRoot), u"  S\\");
    EXPECT_EQ(slashPath(spacedRoot), u" S/");
}

std::string pathOf(const SnapshotTree& tree, NodeId node) {
    std::string path;
    for (NodeId n = node; n != kNoNode; n = tree.parent(n)) {
        path =
            std::string(tree.text(n).begin(), tree.text(n).end()) + (n == node ? "" : "/") + path;
    }
    return path;
}

// Outlines: pre-order ASCII tokens, a dot per level; entries "-path" or "+path".
Lines diff(const std::string& oldOutline, const std::string& newOutline,
           const TextBefore& before = {}) {
    SnapshotTree trees[2];
    for (int side = 0; side < 2; ++side) {
        std::vector<NodeId> parents;
        std::istringstream tokens(side == 0 ? oldOutline : newOutline);
        for (std::string token; tokens >> token;) {
            const std::size_t level = token.find_first_not_of('.');
            parents.resize(level);
            const std::u16string text(token.begin() + static_cast<long>(level), token.end());
            parents.push_back(trees[side].insertLast(level ? parents.back() : kTopLevel, text));
            trees[side].setKind(parents.back(), level == 0 ? kKindDriveRoot : kKindOther);
        }
    }
    Lines lines;
    for (const DiffEntry& e : diffSnapshots(trees[0], trees[1], before)) {
        const SnapshotTree& tree = trees[e.change == DiffChange::Removed ? 0 : 1];
        EXPECT_EQ(e.level, tree.level(e.node));
        lines.push_back(static_cast<char>(e.change) + pathOf(tree, e.node));
    }
    return lines;
}

TEST(SnapshotDiff, ListsWhatEachSideHoldsAloneInMergedTreeOrder) {
    const TextBefore byFirst = [](auto a, auto b) { return a[0] < b[0]; };
    const std::tuple<std::string, std::string, Lines, TextBefore> cases[] = {
        {"", "D .a", {"+D", "+D/a"}, {}},
        {"D ._x ..a E", "", {"-D", "-D/_x", "-D/_x/a", "-E"}, {}},
        {"D ._a .z", "D ._a .m ..x ...d ..y .z", {"+D/m", "+D/m/x", "+D/m/x/d", "+D/m/y"}, {}},
        {"D ._a", "D .a", {"-D/_a", "+D/a"}, {}}, // one leading unit more: another name
        // Pairs follow the old order; duplicates pair in order of appearance.
        {"D .b .a E", "E D .a .b", {}, {}},
        {"D .a ..x .a ..y", "D .a ..y", {"-D/a/x", "+D/a/y", "-D/a", "-D/a/y"}, {}},
        // Without an order the removed go first between shared nodes.
        {"D .b .d", "D .a .c .d", {"-D/b", "+D/a", "+D/c"}, {}},
        {"D .b ..x", "D .a .b ..y", {"+D/a", "-D/b/x", "+D/b/y"}, {}},
        // An order interleaves them; equal in the order, the removed goes first.
        {"D .b .d .f", "D .a .c .d .e", {"+D/a", "-D/b", "+D/c", "+D/e", "-D/f"}, byFirst},
        {"D .a2", "D .a1", {"-D/a2", "+D/a1"}, byFirst},
    };
    for (const auto& [oldOutline, newOutline, expected, before] : cases) {
        EXPECT_EQ(diff(oldOutline, newOutline, before), expected) << oldOutline;
    }
}

// A path is told apart from its same-text siblings by its place among them.
TEST(SnapshotDiff, RandomTreesDifferByExactlyThePathsTheEntriesName) {
    std::mt19937 random(7);
    for (int round = 0; round < 200; ++round) {
        std::string outlines[2];
        std::map<std::string, std::string> paths[2]; // numbered path -> path
        for (int side = 0; side < 2; ++side) {
            std::vector<std::string> open, numbered; // of the node last seen at each level
            std::map<std::string, int> seen;
            for (int i = static_cast<int>(random() % 40); i > 0; --i) {
                const std::size_t level = std::min<std::size_t>(open.size(), random() % 4);
                open.resize(level);
                numbered.resize(level);
                const std::string text(1, static_cast<char>('a' + random() % 3));
                const std::string parent = level == 0 ? "" : numbered.back() + "/";
                numbered.push_back(parent + text + std::to_string(seen[parent + text]++));
                open.push_back((level == 0 ? "" : open.back() + "/") + text);
                outlines[side] += std::string(level, '.') + text + " ";
                paths[side].emplace(numbered.back(), open.back());
            }
        }
        Lines expected, named = diff(outlines[0], outlines[1]);
        for (int side = 0; side < 2; ++side) {
            for (const auto& [key, path] : paths[side]) {
                if (paths[1 - side].count(key) == 0) {
                    expected.push_back((side == 0 ? "-" : "+") + path);
                }
            }
        }
        std::sort(expected.begin(), expected.end());
        std::sort(named.begin(), named.end());
        ASSERT_EQ(named, expected) << outlines[0] << "-> " << outlines[1];
    }
}

// The text order and its quick ways (ASCII keys, group sorts, renames) against a reference.
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
