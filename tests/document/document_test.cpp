#include <cctype>
#include <sched.h>
#include <sstream>
#include <unicode/uchar.h>
#include <unicode/ucol.h>

#include "capture/capture_command.h"
#include "capture/directory_scanner.h"
#include "document/document.h"
#include "document/document_commands.h"
#include "document/node_text.h"
#include "document/snapshot_diff.h"
#include "document/snapshot_file.h"
#include "document/snapshot_tree.h"
#include "document/tree_order.h"
#include "support/scripted_ui.h"
#include "support/test_common.h"
#include "sync_seam.h"
#include "text/utf.h"

namespace zelvane {
namespace {

using namespace std::string_literals;
using Lines = std::vector<std::string>;

std::vector<std::string> words(const std::string& text, char separator = ' ') {
    std::vector<std::string> out;
    std::istringstream in(text);
    for (std::string word; std::getline(in >> std::ws, word, separator);) {
        out.push_back(word.substr(0, word.find_last_not_of(' ') + 1));
    }
    return out;
}

std::string snapshotBytes(const SnapshotTree& tree) {
    std::string bytes;
    EXPECT_TRUE(encodeSnapshot(tree, bytes).ok);
    return bytes;
}

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
    tree.childAt(ids[0], 5); // an index for that parent only
    // 24 bytes of links and 20 of text (one byte a unit, for units up to U+00FF).
    const std::size_t perNode = tree.memoryUsage() / 300000;
    EXPECT_TRUE(perNode >= 44u && perNode <= 56u) << perNode;
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
    // The longest text a node holds; one unit more is refused and adds nothing.
    const std::u16string longest(SnapshotTree::kMaxTextUnits, u'\u0416');
    EXPECT_EQ(tree.text(tree.insertLast(kTopLevel, longest)), longest);
    EXPECT_THROW(tree.insertLast(kTopLevel, longest + u'x'), std::bad_alloc);
    EXPECT_EQ(tree.size(), 1u);
    tree.removeAll();
    EXPECT_EQ(tree.idBound(), 0u);
    EXPECT_LT(tree.memoryUsage(), 64u); // the nodes and the texts are given back
}

// Each text is held in the form its units need (one byte a unit up to U+00FF), read back
// whole, also across a change of form either way and in the slot a removed node gave back;
// long texts take chunks of their own. Kind, bold flag and the other nodes stay as they were.
TEST(SnapshotTree, TextsTakeOneByteAUnitUpToU00FFAndUtf16Beyond) {
    const std::u16string longText((1 << 20) + 1, u'\u00e9');
    const std::pair<std::u16string, bool> texts[] = {// text, held in UTF-16
                                                     {u"", false},
                                                     {u"\u00ff", false},
                                                     {u"\u0100", true},
                                                     {u"\u00ff\u00ffa", false},
                                                     {u"caf\u00e9\u0416", true},
                                                     {longText, false},
                                                     {longText + u'\u0416', true}};
    for (const auto& [text, wide] : texts) {
        SnapshotTree tree;
        const NodeId before = tree.insertLast(kTopLevel, u"b\u00e9");
        const NodeId after = tree.insertLast(kTopLevel, u"a\u0416");
        tree.remove(tree.insertLast(kTopLevel, u"gone"));
        for (const auto& [other, otherWide] : texts) {
            const NodeId id = tree.insertLast(kTopLevel, text);
            tree.setKind(id, 255);
            tree.setTextAndBold(id, text);
            ASSERT_TRUE(tree.text(id) == text && tree.text(id).isWide() == wide);
            tree.setText(id, other);
            ASSERT_TRUE(tree.text(id) == other && tree.text(id).isWide() == otherWide);
            EXPECT_TRUE(tree.kind(id) == 255 && tree.isBold(id) && tree.idBound() == 3u);
            EXPECT_TRUE(tree.text(before) == u"b\u00e9" && tree.text(after) == u"a\u0416");
            tree.remove(id);
        }
    }
    SnapshotTree tree; // a long text beside short ones leaves their chunk to them
    tree.insertLast(kTopLevel, u"a");
    tree.insertLast(kTopLevel, longText);
    const std::size_t held = tree.memoryUsage();
    tree.insertLast(kTopLevel, u"b");
    EXPECT_LT(tree.memoryUsage() - held, 1024u);
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
                plain.nodes[id].text =
                    tree.text(from).toU16(); // read from the arena while it grows
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
    EXPECT_EQ(columnPath({}) + u"|" + slashPath({}), u"|");
    EXPECT_EQ(columnPath(chain) + u"|" + slashPath(chain), u" R\\ F\\ f.x\\ G|R/F/ f.x/G");
    EXPECT_EQ(columnPath(spacedRoot) + u"|" + slashPath(spacedRoot), u"  S\\| S/");
}

std::string pathOf(const SnapshotTree& tree, NodeId node) {
    std::u16string path;
    for (NodeId n = node; n != kNoNode; n = tree.parent(n)) {
        path = std::u16string(tree.text(n)) + (n == node ? u"" : u"/") + path;
    }
    return utf16ToUtf8(path);
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
    // Rows "locale|LC_ALL|LC_COLLATE|LANG", "-" unset; the last row puts them back.
    std::string rows = "de_DE|de_DE.UTF-8@euro|-|-;fr_FR||fr_FR.ISO-8859-1|ja_JP;ja_JP|-||ja_JP@x;"
                       "|C|fr_FR|-;|POSIX|-|-;|-|-|-;-";
    for (const char* variable : variables) {
        rows += "|"s + (std::getenv(variable) ? std::getenv(variable) : "-");
    }
    for (const std::string& row : words(rows, ';')) {
        const std::vector<std::string> c = words(row, '|');
        for (int i = 0; i < 3; ++i) {
            c[i + 1] == "-" ? unsetenv(variables[i]) : setenv(variables[i], c[i + 1].c_str(), 1);
        }
        if (c[0] != "-") {
            EXPECT_EQ(TextOrder::localeFromEnvironment(), c[0]) << row;
            EXPECT_EQ(TextOrder().locale(), c[0]);
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
            texts.push_back(i % 5 == 1 || i % 5 == 2 ? twin(texts.back(), i % 5 == 1)
                                                     : randomName(random, i % 2 == 0));
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
                return reference.compare(plain.text(a).toU16(), plain.text(b).toU16()) < 0;
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

using testing::AllocSeam;
using testing::readBytes;
using testing::TempTree;
using testing::writeBytes;

// The bytes of one record: kind, depth and the name in the 8-bit form, or the UTF-16 one.
std::string record(int kind, int depth, std::u16string_view name, bool wide = false) {
    std::string out{static_cast<char>(kind), static_cast<char>(depth)};
    out += wide ? "\xFF\xFF" : "";
    for (const char16_t u : name) {
        out += static_cast<char>(u & 0xFF);
        out += wide ? std::string(1, static_cast<char>(u >> 8)) : "";
    }
    return out + (wide ? "\0\0"s : "\0"s);
}

// One line per node, "level kind bold text", with the code units above 0x7F in hex.
std::string dump(const SnapshotTree& tree) {
    std::ostringstream out;
    walkPreOrder(tree, [&](NodeId n, std::size_t level) {
        out << level << ' ' << tree.kind(n) << ' ' << (tree.isBold(n) ? 'B' : '-') << ' ';
        for (char16_t u : tree.text(n).toU16()) {
            u < 0x80 ? out << static_cast<char>(u)
                     : out << "<" << std::hex << static_cast<unsigned>(u) << std::dec << ">";
        }
        out << '\n';
    });
    return out.str();
}

// The counters that are not zero and "ok" or "damaged", or the error of a failed load.
std::string diagnostics(const LoadStats& s) {
    const std::pair<const char*, std::size_t> counts[] = {
        {"roots", s.roots},           {"folders", s.folders},      {"files", s.files},
        {"records", s.records},       {"deepest", s.deepestLevel}, {"utf16", s.utf16Records},
        {"long", s.longNames},        {"kinds", s.kindsAbove11},   {"first", s.firstRecordDeep},
        {"orphans", s.orphanRecords}, {"jumps", s.depthJumps},     {"name", s.truncatedName},
        {"record", s.truncatedRecord}};
    std::string out;
    for (const auto& [name, count] : counts) {
        out += count != 0 ? name + " "s + std::to_string(count) + " " : "";
    }
    return s.opened ? out + (s.wellFormed() ? "ok" : "damaged")
                    : "failed: "s + std::strerror(s.error);
}

// A root "Backup" holding the folder " Docs" with a.txt and Ω.mp3.
const std::string kExample = record(9, 0, u"Backup") + record(6, 1, u" Docs") +
                             record(5, 2, u"a.txt") + record(7, 2, u"Ω.mp3", true);
const std::string kExampleTree = "0 9 B Backup\n1 6 B  Docs\n2 5 - a.txt\n2 7 - <3a9>.mp3\n";

TEST(SnapshotFile, EveryFileLoadsWhatItHoldsAndWellFormedOnesAreWrittenBackAsTheyWere) {
    const std::u16string n1023(1023, 'n'), n1024(1024, 'n');
    const auto r = [](int kind, int depth, auto name) { return record(kind, depth, name); };
    const std::tuple<std::string, std::string, std::string> cases[] = {
        // data, tree, stats
        {"", "", "ok"},
        {kExample, kExampleTree, "roots 1 folders 1 files 2 records 4 deepest 2 utf16 1 ok"},
        // Up two levels, then one, and an empty name last.
        {r(9, 0, u"r") + r(6, 1, u"a") + r(6, 2, u"b") + r(5, 3, u"x") + r(5, 1, u"y") +
             r(9, 0, u"s") + r(5, 1, u""),
         "0 9 B r\n1 6 B a\n2 6 B b\n3 5 - x\n1 5 - y\n0 9 B s\n1 5 - \n",
         "roots 2 folders 2 files 3 records 7 deepest 3 ok"},
        // Each name form; two leading U+00FF (the marker) and non-text units go in UTF-16.
        {r(9, 0, u"r") + r(8, 1, u"caf\xE9") + r(8, 1, u"\xFF") + r(8, 1, u"q\xFF\xFF") +
             r(8, 1, u"\xFFq\xFF") + record(8, 1, u"x\x100", true) +
             record(8, 1, u"\xFFFF\xD800", true) + record(8, 1, u"\xFF\xFFz", true),
         "0 9 B r\n1 8 - caf<e9>\n1 8 - <ff>\n1 8 - q<ff><ff>\n1 8 - <ff>q<ff>\n1 8 - x<100>\n"
         "1 8 - <ffff><d800>\n1 8 - <ff><ff>z\n",
         "roots 1 files 7 records 8 deepest 1 utf16 3 ok"},
        {r(9, 0, n1023) + r(5, 1, n1024) + record(5, 1, n1023 + u"\x100", true),
         "0 9 B " + std::string(1023, 'n') + "\n1 5 - " + std::string(1024, 'n') + "\n1 5 - " +
             std::string(1023, 'n') + "<100>\n",
         "roots 1 files 2 records 3 deepest 1 utf16 1 long 2 ok"},
        {r(11, 0, u"r") + r(12, 1, u"x") + r(11, 1, u"y"), "0 11 B r\n1 12 - x\n1 11 - y\n",
         "roots 1 files 2 records 3 deepest 1 kinds 1 ok"},
        // A first record deeper than 0 is a root; the next goes under it.
        {r(5, 7, u"x") + r(5, 8, u"y"), "0 5 B x\n1 5 - y\n",
         "roots 1 files 1 records 2 deepest 8 first 1 damaged"},
        {r(5, 3, u"x") + r(5, 1, u"y"), "0 5 B x\n0 5 - y\n",
         "roots 1 files 1 records 2 deepest 3 first 1 orphans 1 damaged"},
        // An orphan goes to the top, a folder by kind 6; the next one as deep stays beside it.
        {r(9, 0, u"A") + r(6, 5, u" B") + r(5, 2, u"C") + r(6, 2, u" D"),
         "0 9 B A\n1 6 B  B\n0 5 - C\n0 6 B  D\n",
         "roots 1 folders 2 files 1 records 4 deepest 5 orphans 1 jumps 1 damaged"},
        // deep jumps under a, b goes beside it, c runs out of parents two up from a, f too.
        {r(9, 0, u"r") + r(6, 1, u"a") + r(5, 4, u"deep") + r(5, 4, u"b") + r(5, 2, u"c") +
             r(9, 0, u"d") + r(5, 3, u"e") + r(6, 1, u"f"),
         "0 9 B r\n1 6 B a\n2 5 - deep\n2 5 - b\n0 5 - c\n0 9 B d\n1 5 - e\n0 6 B f\n",
         "roots 2 folders 2 files 4 records 8 deepest 4 orphans 2 jumps 2 damaged"},
        // Cut short: after a kind byte, in or before a name of either form.
        {"\x09"s, "", "record 1 damaged"},
        {r(9, 0, u"r") + "\x05", "0 9 B r\n", "roots 1 records 1 record 1 damaged"},
        {"\x09\0"s, "0 9 B \n", "roots 1 records 1 name 1 damaged"},
        {"\x09\0ab"s, "0 9 B ab\n", "roots 1 records 1 name 1 damaged"},
        {"\x09\0\xFF"s, "0 9 B <ff>\n", "roots 1 records 1 name 1 damaged"},
        {"\x09\0\xFF\xFFx\0y"s, "0 9 B x\n", "roots 1 records 1 utf16 1 name 1 damaged"},
        {"\x09\0\xFF\xFF"s, "0 9 B \n", "roots 1 records 1 utf16 1 name 1 damaged"},
    };
    TempTree dir;
    const std::string file = dir.at("case.zelv");
    for (const auto& [data, want, stats] : cases) {
        SCOPED_TRACE(want.substr(0, 60));
        SnapshotTree tree;
        EXPECT_EQ(diagnostics(decodeSnapshot(data, tree)), stats);
        EXPECT_EQ(dump(tree), want);
        EXPECT_EQ(diagnostics(countSnapshot(data)), stats);
        std::string encoded = "kept";
        const WriteResult written = encodeSnapshot(tree, encoded);
        EXPECT_TRUE(written.opened && written.ok && written.records == tree.size());
        EXPECT_EQ(stats.ends_with(" ok") ? encoded : "kept" + data, "kept" + data);
        // Through buffers of every small size: a record or a name cut anywhere by one.
        writeBytes(file, data);
        for (const std::size_t buffer : {0, 1, 2, 3, 5, 8, 1 << 20}) {
            SCOPED_TRACE(buffer);
            const ReadLimits limits{kMaxStreamBytes, buffer};
            SnapshotTree read;
            EXPECT_EQ(diagnostics(readSnapshotFile(file, read, limits)), stats);
            EXPECT_EQ(dump(read), want);
            EXPECT_EQ(diagnostics(countSnapshotFile(file, limits)), stats);
        }
    }
}

// Beyond the platform's replacing of a file: big trees, refusals, hostile inputs.
// A load given the order marks the tree in order exactly when a sort would move nothing,
// for files saved sorted or not (damaged ones too); a rename then gives what a sort gives.
// Each level of a streaming read's chain: its kind and its text.
std::string chainText(const ReadChain& chain) {
    std::string out;
    for (std::size_t level = 0; level < chain.size(); ++level) {
        out += std::to_string(chain.kind(level)) + ":" + utf16ToUtf8(chain.text(level)) + "/";
    }
    return out;
}

// A read in parts of a few bytes visits the nodes one read visits, with the same chains and
// their own serials, in order; needles leave out nodes whose names lack them, and only
// such; it stops where a visit or a take says; a full visitor is taken and goes on. On one
// processor the parts are visited on the reading thread, the same way.
TEST(SnapshotFile, ReadsInPartsVisitAsOneRead) {
    struct Seen final : PartVisitor {
        bool visit(const ReadChain& chain) override {
            chains.push_back(chainText(chain));
            serials.push_back(chain.serial(chain.size() - 1));
            return chains.back() != stopAt;
        }
        bool full() const override { return fills && chains.size() >= 2; }
        std::vector<std::string> chains;
        std::vector<std::uint64_t> serials;
        std::string stopAt;
        bool fills = false;
    };
    std::mt19937 random(9);
    TempTree dir;
    const std::string file = dir.at("t.zelv");
    const std::size_t partBytes = readPartBytes();
    cpu_set_t all, one;
    ASSERT_EQ(sched_getaffinity(0, sizeof all, &all), 0);
    CPU_ZERO(&one);
    for (int cpu = 0; CPU_COUNT(&one) == 0; ++cpu) {
        if (CPU_ISSET(cpu, &all)) {
            CPU_SET(cpu, &one);
        }
    }
    for (int round = 0; round < 48; ++round) {
        sched_setaffinity(0, sizeof one, round % 8 < 4 ? &all : &one); // this thread's
        std::string bytes;
        for (int i = 0, depth = 0; i < 30;
             ++i, depth = std::max(0, depth + int(random() % 4) - 2)) {
            const std::u16string name = randomName(random, round % 3 == 0);
            bytes += record(static_cast<int>(random() % 12), depth, name, name.size() % 4 == 0);
        }
        bytes.resize(bytes.size() - (round % 5 == 0 ? 3 : 0)); // the last name cut short
        writeBytes(file, bytes);
        std::vector<std::string> whole, names;
        const LoadStats once = visitSnapshotFile(file, [&](const ReadChain& chain) {
            whole.push_back(chainText(chain));
            names.push_back(utf16ToUtf8(chain.text(chain.size() - 1)));
            return true;
        });
        const int way = round % 4; // every node, needles, a visit stops, a take stops
        setReadPartBytes(1 + round % 37);
        const std::size_t stop = random() % whole.size();
        const std::string needle(1, static_cast<char>('a' + random() % 3));
        std::vector<std::string> seen;
        std::vector<std::uint64_t> serials;
        std::size_t takes = 0;
        const LoadStats parts = visitSnapshotFileInParts(
            file,
            [&] {
                auto seen = std::make_unique<Seen>();
                seen->stopAt = way == 2 ? whole[stop] : "";
                seen->fills = round % 2 == 0;
                return seen;
            },
            [&](PartVisitor& part) {
                auto& s = static_cast<Seen&>(part);
                seen.insert(seen.end(), s.chains.begin(), s.chains.end());
                serials.insert(serials.end(), s.serials.begin(), s.serials.end());
                s.chains.clear();
                s.serials.clear();
                return way != 3 || ++takes < 2;
            },
            {}, needlesFor(way == 1 ? utf8ToUtf16(needle) : u""));
        std::sort(serials.begin(), serials.end());
        EXPECT_EQ(std::adjacent_find(serials.begin(), serials.end()), serials.end()) << round;
        if (way == 0) {
            EXPECT_EQ(seen, whole) << round;
            EXPECT_EQ(diagnostics(parts), diagnostics(once)) << round;
        } else if (way == 1) { // in order, each node whose name holds the needle among them
            std::size_t at = 0;
            for (std::size_t i = 0; i < whole.size(); ++i) {
                const bool visited = at < seen.size() && seen[at] == whole[i];
                at += visited ? 1 : 0;
                EXPECT_TRUE(visited || names[i].find(needle) == std::string::npos) << round << i;
            }
            EXPECT_EQ(at, seen.size()) << round;
        } else {
            const std::size_t end =
                way == 2 ? std::find(whole.begin(), whole.end(), whole[stop]) - whole.begin() + 1
                         : seen.size();
            EXPECT_EQ(seen, std::vector(whole.begin(), whole.begin() + end)) << round;
            EXPECT_TRUE(way == 2 || takes == 2) << round;
        }
    }
    sched_setaffinity(0, sizeof all, &all);
    setReadPartBytes(partBytes);
}

TEST(SnapshotFile, LoadMarksTheTreeInOrderWhenASortWouldMoveNothing) {
    std::mt19937 random(5);
    TempTree dir;
    const std::string file = dir.at("t.zelv");
    for (int round = 0; round < 60; ++round) {
        const TextOrder order(kLocales[round % std::size(kLocales)]);
        std::string bytes;
        std::u16string name;
        for (int i = 0, depth = 0; i < 40;
             ++i, depth = std::max(0, depth + int(random() % 3) - 1)) {
            const int pick = static_cast<int>(random() % 8);
            name = pick == 0 ? twin(name) : pick == 1 ? name : randomName(random, round % 4 < 2);
            bytes += record(static_cast<int>(random() % 7), depth, name, name.size() % 5 == 0);
        }
        SnapshotTree tree, sorted, loaded;
        decodeSnapshot(bytes, tree);
        if (round % 2 == 0) {
            SortTree(tree, order); // as a save leaves it
        }
        writeBytes(file, snapshotBytes(tree));
        readSnapshotFile(file, sorted);
        SortTree(sorted, order);
        readSnapshotFile(file, loaded, {}, &order);
        EXPECT_EQ(loaded.inOrder(), dump(loaded) == dump(sorted)) << round;
        EXPECT_TRUE(round % 2 == 1 || loaded.inOrder()) << round;
        const auto node = static_cast<NodeId>(random() % loaded.idBound());
        const std::u16string text = randomName(random, false);
        const bool wasInOrder = loaded.inOrder();
        loaded.setText(node, text);
        sortTreeAfterRename(loaded, node, wasInOrder, order);
        sorted.setText(node, text);
        SortTree(sorted, order);
        EXPECT_EQ(dump(loaded), dump(sorted)) << round;
    }
}

TEST(SnapshotFile, WritesWholeFilesAndHostileFilesLoadNothing) {
    TempTree dir;
    SnapshotTree tree, big;
    decodeSnapshot(kExample, tree);
    const NodeId bigRoot = big.insertLast(kTopLevel, u"r"); // well over the writer's 1 MB buffer
    for (int i = 0; i < 30000; ++i) {
        big.insertLast(bigRoot, u"a rather long file name to fill the disk.txt");
    }
    EXPECT_EQ(writeSnapshotFile(big, dir.at("big.zelv")).records, 30001u);
    EXPECT_EQ(writeSnapshotFile(tree, dir.at("example.zelv")).records, 4u);
    const std::string bigBytes = snapshotBytes(big);
    EXPECT_EQ(readBytes(dir.at("big.zelv")), bigBytes);
    ::mkdir(dir.at("folder.zelv").c_str(), 0755);
    ::mkfifo(dir.at("fifo.zelv").c_str(), 0644);
    for (const auto& [path, error] : {std::pair(dir.at("folder.zelv"), EISDIR),
                                      {dir.at("fifo.zelv"), EEXIST},
                                      {"/dev/null", EEXIST}}) {
        const WriteResult refused = writeSnapshotFile(tree, path);
        EXPECT_EQ(std::tuple(refused.opened, refused.ok, refused.error),
                  std::tuple(false, false, error));
    }
    AllocSeam::largest = 1 << 19; // less than the writer's buffer
    const WriteResult starved = writeSnapshotFile(big, dir.at("big.zelv"));
    AllocSeam::largest = static_cast<std::size_t>(-1);
    EXPECT_EQ(std::tuple(starved.opened, starved.ok, starved.error),
              std::tuple(true, false, ENOMEM));
    EXPECT_EQ(readBytes(dir.at("big.zelv")), bigBytes);
    // A pipe holding a snapshot, its writer gone, loads like a file.
    int fed[2];
    ASSERT_EQ(::pipe(fed), 0);
    ASSERT_EQ(::write(fed[1], kExample.data(), kExample.size()),
              static_cast<ssize_t>(kExample.size()));
    ::close(fed[1]);
    // Path, stream limit, allocations allowed before memory runs out (-1 no limit), stats.
    const std::tuple<std::string, std::uint64_t, long long, std::string> cases[] = {
        {dir.at("none.zelv"), kMaxStreamBytes, -1, "failed: No such file or directory"},
        {dir.at("folder.zelv"), kMaxStreamBytes, -1, "failed: Is a directory"},
        {"/proc/self/mem", kMaxStreamBytes, -1, "failed: Input/output error"},
        // A pipe without a writer is empty rather than waited for.
        {dir.at("fifo.zelv"), kMaxStreamBytes, -1, "ok"},
        {"/proc/self/fd/" + std::to_string(fed[0]), kMaxStreamBytes, -1,
         "roots 1 folders 1 files 2 records 4 deepest 2 utf16 1 ok"},
        // Endless input stops at the limit; a regular file is read whole past it.
        {"/dev/zero", 1 << 16, -1, "failed: File too large"},
        {dir.at("big.zelv"), 1 << 10, -1, "roots 1 files 30000 records 30001 deepest 1 ok"},
        {dir.at("big.zelv"), kMaxStreamBytes, 1, "failed: Cannot allocate memory"},
        {dir.at("example.zelv"), kMaxStreamBytes, 0, "failed: Cannot allocate memory"},
    };
    for (const auto& [path, streamBytes, allocations, want] : cases) {
        SCOPED_TRACE(path);
        const int passes = path.starts_with("/proc/self/fd/") ? 1 : 2; // the pipe is read once
        for (int counting = 0; counting < passes; ++counting) {
            SnapshotTree tree;
            tree.insertLast(kTopLevel, u"left over");
            const ReadLimits limits{streamBytes};
            AllocSeam::allowed = allocations;
            const LoadStats stats =
                counting ? countSnapshotFile(path, limits) : readSnapshotFile(path, tree, limits);
            AllocSeam::allowed = -1;
            EXPECT_EQ(diagnostics(stats), want);
            EXPECT_EQ(tree.size(), counting ? 1 : stats.records); // emptied, nothing half read
        }
    }
    ::close(fed[0]);
    SnapshotTree again; // after memory ran out
    EXPECT_TRUE(readSnapshotFile(dir.at("example.zelv"), again).opened);
    EXPECT_EQ(dump(again), kExampleTree);
}

using testing::SyncSeam;

const std::string kArchiveBytes = record(9, 0, u"Empty") + kExample; // two roots
const std::string kArchive = "Архив-Ω.zelv";

// "@" stands for the example's name, "~" for the name of a snapshot never saved.
std::string named(std::string text) {
    for (std::size_t at; (at = text.find_first_of("@~")) != std::string::npos;) {
        text.replace(at, 1, text[at] == '@' ? kArchive : "Untitled.zelv");
    }
    return text;
}

// A transcript line from its code (open, save, ask, caption, io, deep, loaded, damaged) or itself.
std::string line(const std::string& code) {
    std::vector<std::string> w = words(code);
    w.resize(5);
    const auto q = [](const std::string& t) {
        return t == "cancel" ? t : "\"" + (t == "-" ? "" : t) + "\"";
    };
    const std::string filters =
        R"x( | "Zelvane Files (*.zelv)" "*.zelv" "All Files (*.*)" "*.*" | "zelv")x";
    const std::map<std::string, int> errors{{"EEXIST", EEXIST}, {"ENOMEM", ENOMEM}, {"EIO", EIO}};
    const std::map<std::string, std::string> lines{
        {"open", R"(open dialog "*.zelv")" + filters + " must exist -> " + q(w[1])},
        {"save", "save dialog " + q(w[1]) + filters + " overwrite prompt -> " + q(w[2])},
        {"ask", R"(message "Save changes ?" | "zelvane-test" | Question | YesNo -> )" + w[1]},
        {"changed", "message \"The file " + w[1] +
                        " has been changed by another program since it "
                        R"(was opened or saved.\n\nSave over it ?" | "zelvane-test" | Question | )"
                        "YesNo -> " +
                        w[2]},
        {"caption", "caption " + q(w[1].empty() ? "Zelvane" : w[1] + " - Zelvane")},
        {"io", "message \"" + (w[1] == "-" ? "" : w[1] + "\\n") +
                   std::strerror(errors.contains(w[2]) ? errors.at(w[2]) : ENOENT) +
                   R"(" | "I/O ERROR" | Exclamation | Ok -> Ok)"},
        {"damaged", R"(message "bad.zelv is damaged.\n\nDefect: the last name is cut off by the )"
                    R"(end of the file\n\nSaving over it replaces the file with the tree as it is )"
                    R"(shown." | "Warning" | Exclamation | Ok -> Ok)"},
        {"deep", R"(message "DEEP OVERFLOW ERROR!\nMAX DEEP LEVEL IS 255.\n\nFILE WILL BE )"
                 R"(SAVED WITH ERRORS!" | "zelvane-test" | NoIcon | Ok -> Ok)"},
        {"loaded", "message \"" + w[1] + R"( successfuly opened.\n\nRoots:\t)" + w[2] +
                       R"(\nFolders:\t)" + w[3] + R"(\nFiles:\t)" + w[4] +
                       R"(" | "Information" | Information | Ok -> Ok)"}};
    return lines.contains(w[0]) ? lines.at(w[0]) : code;
}

// "start # script # commands # all did their work # transcript # end". start: [title] ["+"
// three unsaved nodes | N a chain of N folders]; "-" an empty file name; end: "nodes | title |
// path[ | modified]", then "; file size" for each file made.
const char* const kFlows[] = {
    "a.zelv + # cancel # Open # no # open cancel # 3 | a.zelv | a.zelv | modified",
    "+ # @ No # Open # yes # open @; ask No; caption @; loaded @ 2 1 2 # 5 | @ | @",
    "+ # bad.zelv Yes mine.zelv # Open # yes # open bad.zelv; ask Yes; save ~ mine.zelv; caption "
    "mine.zelv; caption bad.zelv; loaded bad.zelv 1 1 0; damaged # 2 | bad.zelv | bad.zelv; "
    "mine.zelv 27",
    " # # cmdline= # no # # 0 | ~ |",
    // No question, and an unreadable file leaves its name on an empty snapshot.
    "+ # # cmdline=nodir/a.b.zelv # no # caption a.b.zelv; io nodir/a.b.zelv # 0 | a.b.zelv | "
    "nodir/a.b.zelv",
    " # # cmdline=./@ # yes # caption @; loaded @ 2 1 2 # 5 | @ | ./@",
    " # a.zelv # Save # yes # save ~ a.zelv; caption a.zelv # 0 | a.zelv | a.zelv; a.zelv 0",
    // A failed Save As takes the name but not the caption or the flag.
    "a.zelv + # nodir/x.zelv # SaveAs # no # save a.zelv nodir/x.zelv; io nodir/x.zelv # 3 | "
    "x.zelv | nodir/x.zelv | modified",
    "a.zelv + # - # SaveAs # no # save a.zelv -; io - # 3 |  |  | modified",
    "a.zelv + # ~ ~ # SaveAs Save # yes # save a.zelv ~; caption ~; save ~ ~; caption ~ # 3 | ~ | "
    "~; ~ 27",
    "p.zelv + # # Save # no # io p.zelv EEXIST # 3 | p.zelv | p.zelv | modified",
    "p.zelv + # # Load # yes # caption p.zelv; loaded p.zelv 0 0 0 # 0 | p.zelv | p.zelv",
    "bad.zelv + # # nomemory Load # no # caption bad.zelv; io bad.zelv ENOMEM # 0 | bad.zelv | "
    "bad.zelv",
    "d.zelv 256 # # Save # yes # caption d.zelv # 256 | d.zelv | d.zelv; d.zelv 1024",
    "d.zelv 257 # # Save # yes # caption d.zelv; deep # 257 | d.zelv | d.zelv; d.zelv 1028",
    "d.zelv 300 # # Save # yes # caption d.zelv; deep # 300 | d.zelv | d.zelv; d.zelv 1200",
    "a.zelv # # New # yes # caption # 0 | ~ |",
    "f.zelv + # Yes # nosync New # no # ask Yes; caption f.zelv; io f.zelv EIO # 3 | f.zelv | "
    "f.zelv | modified",
    " # # Exit # yes # settings saved; end 0 # 0 | ~ |",
    "f.zelv + # Yes # Exit # yes # ask Yes; caption f.zelv; settings saved; end 0 # 3 | f.zelv | "
    "f.zelv; f.zelv 27",
    "+ # Yes cancel # Exit # no # ask Yes; save ~ cancel # 3 | ~ |  | modified",
    // Another program changed the file: No leaves it; Yes saves over it, and asks once.
    " # No # cmdline=./@ touch Save # no # caption @; loaded @ 2 1 2; changed @ No # 5 | @ | ./@; "
    "@ 50",
    " # Yes # cmdline=./@ touch Save Save # yes # caption @; loaded @ 2 1 2; changed @ Yes; "
    "caption "
    "@; caption @ # 5 | @ | ./@",
    " # bad.zelv # cmdline=./@ SaveAs # yes # caption @; loaded @ 2 1 2; save @ bad.zelv; caption "
    "bad.zelv # 5 | bad.zelv | bad.zelv; bad.zelv 49",
};

class DocumentFlow : public ::testing::TestWithParam<const char*> {};

TEST_P(DocumentFlow, Runs) {
    const std::vector<std::string> flow = words(named(GetParam()), '#');
    const std::filesystem::path home = std::filesystem::current_path();
    testing::TempTree dir;
    std::filesystem::current_path(dir.path());
    testing::writeBytes(kArchive, kArchiveBytes);
    testing::writeBytes("bad.zelv", std::string("\x09\0R\0\x06\1cut", 8));
    ::mkfifo("p.zelv", 0644);
    testing::ScriptedUi ui;
    Document document{ui, u"zelvane-test", [&] { ui.note("settings saved"); }};
    SnapshotTree& tree = document.tree();
    const std::u16string plus[] = {u"Disk", u" Music", u"song.mp3"};
    for (const std::string& word : words(flow[0])) {
        const bool chain = word == "+" || std::isdigit(static_cast<unsigned char>(word[0]));
        for (NodeId n = kTopLevel; chain && tree.size() < (word == "+" ? 3 : std::stoul(word));) {
            n = tree.insertLast(n, word == "+" ? plus[tree.size()] : u"d");
        }
        document.state() =
            chain ? document.state() : DocumentState{utf8ToUtf16(word), utf8ToUtf16(word)};
    }
    document.state().modified = !tree.empty(); // whatever the flow starts with is not saved
    for (const std::string& word : words(flow[1])) {
        word == "Yes" || word == "No"
            ? ui.answer(word == "Yes" ? MessageAnswer::Yes : MessageAnswer::No)
        : word == "cancel" ? ui.cancelFile()
                           : ui.choose(utf8ToUtf16(word == "-" ? "" : word));
    }
    const std::map<std::string, bool (Document::*)()> commands{
        {"New", &Document::OnFileNew},   {"Open", &Document::OnFileOpen},
        {"Save", &Document::OnFileSave}, {"SaveAs", &Document::OnFileSaveAs},
        {"Exit", &Document::OnFileExit}, {"Load", &Document::LoadSnapshot}};
    bool result = true;
    for (const std::string& word : words(flow[2])) {
        if (word == "touch") { // another program adds a byte
            std::ofstream(kArchive, std::ios::app) << 'x';
        } else if (word == "nosync" || word == "nomemory") {
            (word == "nosync" ? SyncSeam::failWith = EIO : AllocSeam::largest = 1 << 16);
        } else if (word.starts_with("cmdline=")) {
            result = document.OpenFromCommandLine(utf8ToUtf16(word.substr(8))) && result;
        } else {
            result = (document.*commands.at(word))() && result;
        }
    }
    SyncSeam::failWith = 0;
    AllocSeam::largest = static_cast<std::size_t>(-1);
    EXPECT_EQ(result, flow[3] == "yes");
    testing::Lines expected;
    for (const std::string& code : words(flow[4], ';')) {
        expected.push_back(line(code));
    }
    EXPECT_EQ(ui.transcript(), expected);
    const DocumentState& state = document.state();
    std::string end = std::to_string(tree.size()) + " | " +
                      utf16ToUtf8(state.title + u" | " + state.path) +
                      (state.modified ? " | modified" : "");
    const std::set<std::string> fixtures{kArchive + " 49", "bad.zelv 8", "p.zelv pipe"};
    for (const auto& entry : std::filesystem::directory_iterator(dir.path())) {
        const std::string file = entry.path().filename().string() + " " +
                                 (entry.is_fifo() ? "pipe" : std::to_string(entry.file_size()));
        end += fixtures.contains(file) ? "" : "; " + file;
    }
    end.erase(end.find_last_not_of(' ') + 1);
    EXPECT_EQ(end, flow[5]);
    std::filesystem::current_path(home);
}

INSTANTIATE_TEST_SUITE_P(File, DocumentFlow, ::testing::ValuesIn(kFlows));

// Each row is the path with "|" between its parts.
TEST(SplitPathTest, DirectoryBaseAndExtension) {
    for (const std::u16string split : {u"a/b.c/|file|", u"|archive.tar|.zelv", u"/dir/||",
                                       u"||.hidden", u"|back\\slash|.zelv"}) {
        std::u16string path = split;
        std::erase(path, u'|');
        const PathParts p = splitPath(path);
        EXPECT_EQ(p.dir + u"|" + p.base + u"|" + p.ext, split) << utf16ToUtf8(path);
    }
}

} // namespace
} // namespace zelvane
