// The snapshot tree: every node of the open snapshot with its stored text, its kind
// (which is also its icon index), its bold state and its place among its siblings.
//
// Nodes are addressed by NodeId handles. A handle stays valid until its node is deleted;
// the slot of a deleted node may be reused by a later insertion. kTopLevel stands for the
// invisible parent of the roots wherever an operation takes a parent.
//
// The operations that say so take any id (firstChild, childCount, childAt, remove, select,
// sortChildren, isValid). For the others an id that names no node (kNoNode, a removed
// node's, one past the last) is the caller's fault: a debug build stops at an assertion; a
// release build takes it for a removed node, which reads as an empty text of kind 0, not
// bold, without parent, sibling or children, at row 0 and level 0, and drops any change to
// it (insertLast under it inserts nothing and gives kNoNode).
//
// Storage is compact: a 24-byte record per node holding 32-bit links (parent, first child,
// next sibling), its row or its parent's last child, its text's place in a chunked arena
// and its length, form, kind and bold flag in one word. A text none of whose units is
// above U+00FF is stored one byte a unit (see NodeText), any other in UTF-16. Texts
// never move once stored. The row of every node is kept, so that a view learns it in
// constant time; the n-th child of a parent with many children is found through an index
// made the first time it is asked for and kept up to date until the children change.
#pragma once

#include <algorithm>
#include <cassert>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "text/stored_text.h"

namespace zelvane {

using NodeId = std::uint32_t;
inline constexpr NodeId kNoNode = 0xFFFFFFFFu;
inline constexpr NodeId kTopLevel = 0xFFFFFFFEu;

// Node kinds: a kind is an integer (a file may hold any byte); the value is also the index
// of the node's icon.
inline constexpr int kKindSnapshotDocument = 0;
inline constexpr int kKindProgram = 1;
inline constexpr int kKindArchive = 2;
inline constexpr int kKindAutorun = 3;
inline constexpr int kKindCdRomRoot = 4;
inline constexpr int kKindDocument = 5;
inline constexpr int kKindFolder = 6;
inline constexpr int kKindMedia = 7;
inline constexpr int kKindOther = 8;
inline constexpr int kKindDriveRoot = 9;
inline constexpr int kKindSystem = 10;
inline constexpr int kKindShortcut = 11;
inline constexpr int kKindCount = 12;

// Kinds 4, 6 and 9 are containers (roots and folders); every other kind is a file.
inline bool isContainerKind(int kind) {
    return kind == kKindCdRomRoot || kind == kKindFolder || kind == kKindDriveRoot;
}

// Told about every change, so that a view can follow the tree without copying it.
// "row" is the node's index among its parent's children. During a bulk update
// (see SnapshotTree::BulkUpdate) only the reset pair and selection changes are sent.
class TreeObserver {
public:
    virtual ~TreeObserver() = default;
    virtual void beforeInsert(NodeId /*parent*/, std::size_t /*row*/) {}
    virtual void afterInsert(NodeId /*node*/) {}
    // The node and its whole subtree are about to go.
    virtual void beforeRemove(NodeId /*node*/) {}
    virtual void afterRemove(NodeId /*parent*/, std::size_t /*row*/) {}
    // Text, kind or bold of one node changed.
    virtual void nodeChanged(NodeId /*node*/) {}
    // The children of parent are about to be put in a new order / have been.
    virtual void beforeReorder(NodeId /*parent*/) {}
    virtual void afterReorder(NodeId /*parent*/) {}
    // The whole tree is about to change / has changed in ways not reported one by one;
    // after afterReset() the observer re-reads everything, the selection included.
    virtual void beforeReset() {}
    virtual void afterReset() {}
    virtual void selectionChanged(NodeId /*node*/) {}
};

class SnapshotTree {
public:
    // The longest text a node holds (any text passing through a file is far shorter).
    static constexpr std::size_t kMaxTextUnits = (std::size_t{1} << 22) - 1;

    SnapshotTree();
    ~SnapshotTree();
    SnapshotTree(const SnapshotTree&) = delete;
    SnapshotTree& operator=(const SnapshotTree&) = delete;

    // One observer at a time (the main window's model); nullptr detaches.
    void setObserver(TreeObserver* observer) { observer_ = observer; }
    TreeObserver* observer() const { return observer_; }

    // --- The tree operations ---

    // Appends a node after parent's existing children (parent may be kTopLevel), with the
    // given text, kind 0 and no bold. Throws std::bad_alloc for a text longer than
    // kMaxTextUnits and when the texts outgrow the arena (several gigabytes), as when
    // memory runs out; the tree is then as it was but for the in-order flag.
    NodeId insertLast(NodeId parent, NodeText text);
    // Kinds are kept as one byte, the kind byte of the snapshot file (0 to 255).
    void setKind(NodeId node, int kind);
    void setTextAndBold(NodeId node, NodeText text);
    void setText(NodeId node, NodeText text);
    // Valid until the node's text changes or the node goes; in the one-byte form exactly
    // when no unit is above U+00FF.
    NodeText text(NodeId node) const;
    int kind(NodeId node) const;
    bool isBold(NodeId node) const;

    NodeId firstRoot() const;
    // parent may be kTopLevel, which gives the first root; kNoNode for an id that names
    // no node.
    NodeId firstChild(NodeId parent) const;
    NodeId nextSibling(NodeId node) const;
    // kNoNode for a root.
    NodeId parent(NodeId node) const;
    NodeId selected() const { return selected_; }
    bool hasChildren(NodeId node) const;

    // Reorders the children of one parent (or the roots, for kTopLevel), one level only,
    // by a strict weak order on node ids; equal nodes keep their relative order. Nothing
    // happens for an id that names no node.
    template <class Less> void sortChildren(NodeId parent, Less less);

    // Removes the node with its whole subtree. When the selected node goes, the selection
    // moves to its next sibling, else its previous sibling, else its parent. Nothing
    // happens for an id that names no node (a node removed already).
    void remove(NodeId node);
    // Removes every node.
    void removeAll();
    // Makes node the selected node (kNoNode clears the selection; any other id that names
    // no node is ignored). Expanding the collapsed ancestors is the view's part; the
    // observer is told.
    void select(NodeId node);

    // --- Queries the views need ---

    // Whether node names a node of the tree (kTopLevel does not).
    bool isValid(NodeId node) const;
    // 0 children, and kNoNode at every row, for an id that names no node.
    std::size_t childCount(NodeId parent) const;
    NodeId childAt(NodeId parent, std::size_t row) const;
    // Index of the node among its parent's children.
    std::size_t row(NodeId node) const;
    // Number of parents above the node: 0 for a root.
    std::size_t level(NodeId node) const;
    std::size_t size() const { return liveCount_; }
    bool empty() const { return liveCount_ == 0; }
    // One past the largest id in use: arrays indexed by NodeId need this many slots.
    std::size_t idBound() const { return slotCount_; }
    // Bytes held by the tree (records, texts, child indexes).
    std::size_t memoryUsage() const;

    // Calls visit(node, NodeText text) for every node, in the order of the ids rather than the tree
    // order: the quickest way over every text, for scans that need no order.
    template <class Visit> void forEachNode(Visit visit) const { forEachNodeIn(0, kNoNode, visit); }
    // The same for the ids from, from + 1 ... below to.
    template <class Visit> void forEachNodeIn(NodeId from, NodeId to, Visit visit) const;

    // Hint before many insertions.
    void reserve(std::size_t nodes, std::size_t textUnits);

    // While one exists, changes are not reported one by one: the observer gets
    // beforeReset() when the first guard is made and afterReset() when the last one goes.
    class BulkUpdate {
    public:
        explicit BulkUpdate(SnapshotTree& tree);
        ~BulkUpdate();
        BulkUpdate(const BulkUpdate&) = delete;
        BulkUpdate& operator=(const BulkUpdate&) = delete;

    private:
        SnapshotTree& tree_;
    };

private:
    // 24 bytes. A first child's row is 0 by definition, so its rowOrLast field holds its
    // parent's last child instead; every other child's holds its row. The roots' last one
    // is in top_.
    struct Node {
        std::uint32_t text;   // where the text starts in the arena (see textAt)
        std::uint32_t packed; // length in code units, form, bold flag and kind (see below)
        NodeId parent;        // kTopLevel for a root, kNoNode for a free slot
        NodeId first;         // first child, kNoNode without children
        NodeId next;          // next sibling, kNoNode for the last one
        std::uint32_t rowOrLast;

        std::uint32_t length() const { return packed & kLengthMask; }
        bool wide() const { return (packed & kWideBit) != 0; }
        bool bold() const { return (packed & kBoldBit) != 0; }
        std::uint8_t kind() const { return static_cast<std::uint8_t>(packed >> kKindShift); }
    };
    static constexpr unsigned kLengthBits = 22;
    static constexpr std::uint32_t kLengthMask = (std::uint32_t{1} << kLengthBits) - 1;
    static constexpr std::uint32_t kWideBit = std::uint32_t{1} << 22;
    static constexpr std::uint32_t kBoldBit = std::uint32_t{1} << 23;
    static constexpr unsigned kKindShift = 24;
    static_assert(sizeof(Node) == 24 && kLengthMask == kMaxTextUnits);
    // The links of the invisible parent of the roots.
    struct Links {
        NodeId first = kNoNode;
        NodeId last = kNoNode;
    };

    // The record of a node the tree links to (a parent, child or sibling link, or an id
    // just checked): never asked about any other id.
    Node& node(NodeId id) { return nodeChunks_[id >> kChunkBits][id & (kChunkSize - 1)]; }
    const Node& node(NodeId id) const {
        return nodeChunks_[id >> kChunkBits][id & (kChunkSize - 1)];
    }
    // The record of a node a caller names, for the operations that take only ids of
    // nodes: asserts that id names a node, and gives kRemovedNode for one that does not.
    const Node& checked(NodeId id) const;
    // The same for a change: nullptr for an id that names no node, and the change is
    // dropped.
    Node* checkedForChange(NodeId id);
    static const Node kRemovedNode;
    NodeId firstOf(NodeId parent) const {
        return parent == kTopLevel ? top_.first : node(parent).first;
    }
    NodeId lastOf(NodeId parent) const {
        if (parent == kTopLevel) {
            return top_.last;
        }
        const NodeId first = node(parent).first;
        return first == kNoNode ? kNoNode : node(first).rowOrLast;
    }
    // The row of a node of the tree.
    std::uint32_t rowOf(NodeId id, const Node& n) const {
        return firstOf(n.parent) == id ? 0 : n.rowOrLast;
    }
    void setLinks(NodeId parent, NodeId first, NodeId last);
    const char* textAt(std::uint32_t offset) const {
        return textChunks_[offset >> kTextChunkBits].get() + (offset & (kTextChunkBytes - 1));
    }
    NodeText textOf(const Node& n) const {
        if (n.length() == 0) {
            return NodeText::narrowForm({});
        }
        return NodeText::inForm(textAt(n.text), n.length(), n.wide());
    }
    // Stores text in its form and gives its offset and its length with the form's bit.
    std::pair<std::uint32_t, std::uint32_t> storeText(NodeText text);
    char* roomFor(std::size_t bytes, std::size_t align, std::uint32_t& offset);
    void changeText(NodeId id, Node& n, NodeText text);
    void releaseSubtree(NodeId id);
    void forgetChildIndex(NodeId parent) const;
    void applyOrder(NodeId parent, std::vector<NodeId>& order);
    bool notifying() const { return observer_ != nullptr && bulkDepth_ == 0; }

    static constexpr unsigned kChunkBits = 16;
    static constexpr std::size_t kChunkSize = std::size_t{1} << kChunkBits;
    // A text offset is a chunk number in its high bits and a byte in the chunk below.
    static constexpr unsigned kTextChunkBits = 22;
    static constexpr std::size_t kTextChunkBytes = std::size_t{1} << kTextChunkBits;
    static constexpr std::size_t kTextChunkLimit = std::size_t{1} << (32 - kTextChunkBits);
    static constexpr std::size_t kFirstTextChunkBytes = std::size_t{1} << 11;
    // Parents with more children than this get an index for childAt().
    static constexpr std::size_t kIndexedChildren = 16;

    std::vector<std::vector<Node>> nodeChunks_; // each grows to kChunkSize, then a new one
    std::size_t slotCount_ = 0;
    std::size_t liveCount_ = 0;
    std::vector<NodeId> freeSlots_;
    Links top_;

    std::vector<std::unique_ptr<char[]>> textChunks_;
    std::size_t textChunk_ = 0; // the chunk being filled
    std::size_t textChunkUsed_ = 0;
    std::size_t textChunkCapacity_ = 0;
    std::size_t textBytes_ = 0;

    // The children of a parent in row order, for parents asked about by row.
    mutable std::unordered_map<NodeId, std::vector<NodeId>> childIndex_;

    NodeId selected_ = kNoNode;
    TreeObserver* observer_ = nullptr;
    int bulkDepth_ = 0;

public:
    // True while every sibling group is known to be in text order: whoever sorts the
    // whole tree marks it, and every insertion, removal of all nodes, change of a text and
    // reordering clears it. Removing one node keeps it.
    bool inOrder() const { return inOrder_; }
    void markInOrder() { inOrder_ = true; }

private:
    bool inOrder_ = false;
};

template <class Less> void SnapshotTree::sortChildren(NodeId parent, Less less) {
    if (parent != kTopLevel && !isValid(parent)) {
        return;
    }
    std::vector<NodeId> order;
    for (NodeId child = firstOf(parent); child != kNoNode; child = node(child).next) {
        order.push_back(child);
    }
    if (order.size() < 2) {
        return;
    }
    // Stable, so that texts that compare equal keep their order.
    std::stable_sort(order.begin(), order.end(), less);
    applyOrder(parent, order);
}

// The light queries of every walk, inline.
inline bool SnapshotTree::isValid(NodeId id) const {
    return id < slotCount_ && node(id).parent != kNoNode;
}

inline const SnapshotTree::Node& SnapshotTree::checked(NodeId id) const {
    const bool valid = isValid(id);
    assert(valid && "not the id of a node of this tree");
    return valid ? node(id) : kRemovedNode;
}

inline NodeId SnapshotTree::nextSibling(NodeId id) const {
    return checked(id).next;
}

inline bool SnapshotTree::hasChildren(NodeId id) const {
    return checked(id).first != kNoNode;
}

template <class Visit> void SnapshotTree::forEachNodeIn(NodeId from, NodeId to, Visit visit) const {
    for (std::size_t c = from >> kChunkBits; c < nodeChunks_.size() && (c << kChunkBits) < to;
         ++c) {
        const std::vector<Node>& chunk = nodeChunks_[c];
        const NodeId base = static_cast<NodeId>(c << kChunkBits);
        const std::size_t end = std::min<std::size_t>(chunk.size(), to - base);
        for (std::size_t i = from > base ? from - base : 0; i < end; ++i) {
            const Node& n = chunk[i];
            if (n.parent != kNoNode) {
                visit(static_cast<NodeId>(base + i), textOf(n));
            }
        }
    }
}

// Visits every node below parent (kTopLevel: the whole tree) in pre-order (a node, its
// whole subtree, then its next sibling) with its level below parent, 0 for parent's
// children, down to level maxLevel. Iterative, so a very deep tree cannot exhaust the stack.
template <class Visit>
void walkPreOrder(const SnapshotTree& tree, NodeId parent, Visit visit,
                  std::size_t maxLevel = static_cast<std::size_t>(-1)) {
    std::vector<NodeId> pending; // the next sibling to visit at each open level
    NodeId current = tree.firstChild(parent);
    while (current != kNoNode) {
        visit(current, pending.size());
        if (pending.size() < maxLevel && tree.hasChildren(current)) {
            pending.push_back(tree.nextSibling(current));
            current = tree.firstChild(current);
            continue;
        }
        current = tree.nextSibling(current);
        while (current == kNoNode && !pending.empty()) {
            current = pending.back();
            pending.pop_back();
        }
    }
}
template <class Visit> void walkPreOrder(const SnapshotTree& tree, Visit visit) {
    walkPreOrder(tree, kTopLevel, visit);
}

} // namespace zelvane
