#include "document/snapshot_tree.h"

#include <algorithm>
#include <cassert>
#include <cstring>
#include <new>

namespace zelvane {

SnapshotTree::SnapshotTree() = default;

SnapshotTree::~SnapshotTree() = default;

// What a free slot holds, and what an id that names no node reads as.
const SnapshotTree::Node SnapshotTree::kRemovedNode{0, 0, kNoNode, kNoNode, kNoNode, 0};

SnapshotTree::Node* SnapshotTree::checkedForChange(NodeId id) {
    const bool valid = isValid(id);
    assert(valid && "not the id of a node of this tree");
    return valid ? &node(id) : nullptr;
}

void SnapshotTree::setLinks(NodeId parent, NodeId first, NodeId last) {
    if (parent == kTopLevel) {
        top_ = Links{first, last};
        return;
    }
    node(parent).first = first;
    if (first != kNoNode) {
        node(first).rowOrLast = last;
    }
}

char* SnapshotTree::roomFor(std::size_t bytes, std::size_t align, std::uint32_t& offset) {
    // A new chunk when one is needed, unless no offset is left to address it with.
    const auto addChunk = [this](std::size_t size) {
        if (textChunks_.size() >= kTextChunkLimit) {
            throw std::bad_alloc();
        }
        textChunks_.push_back(std::make_unique_for_overwrite<char[]>(size));
        textBytes_ += size;
    };
    // Long texts get a chunk of their own so that the shared chunks stay dense.
    if (bytes > kTextChunkBytes / 4) {
        addChunk(bytes);
        offset = static_cast<std::uint32_t>((textChunks_.size() - 1) << kTextChunkBits);
        return textChunks_.back().get();
    }
    std::size_t at = (textChunkUsed_ + align - 1) & ~(align - 1);
    if (at + bytes > textChunkCapacity_) {
        // Small trees stay small: chunks start at a few kilobytes and double up to 4 MB.
        const std::size_t size = std::max(
            bytes, textChunkCapacity_ == 0 ? kFirstTextChunkBytes
                                           : std::min(textChunkCapacity_ * 2, kTextChunkBytes));
        addChunk(size);
        textChunk_ = textChunks_.size() - 1;
        textChunkCapacity_ = size;
        at = 0;
    }
    offset = static_cast<std::uint32_t>((textChunk_ << kTextChunkBits) | at);
    textChunkUsed_ = at + bytes;
    return textChunks_[textChunk_].get() + at;
}

std::pair<std::uint32_t, std::uint32_t> SnapshotTree::storeText(NodeText text) {
    if (text.size() > kMaxTextUnits) {
        throw std::bad_alloc();
    }
    if (text.empty()) {
        return {0, 0}; // the offset is never read: an empty text is known by its length
    }
    // Chunks never move, so text may lie in the arena itself (a text copied from a node).
    const auto length = static_cast<std::uint32_t>(text.size());
    std::uint32_t offset = 0;
    if (!text.isWide()) {
        std::memcpy(roomFor(length, 1, offset), text.narrow().data(), length);
        return {offset, length};
    }
    const std::u16string_view units = text.wide();
    if (std::any_of(units.begin(), units.end(), [](char16_t u) { return u > 0xFF; })) {
        std::memcpy(roomFor(2 * std::size_t{length}, 2, offset), units.data(), 2 * units.size());
        return {offset, length | kWideBit};
    }
    char* to = roomFor(length, 1, offset);
    for (std::size_t i = 0; i < units.size(); ++i) {
        to[i] = static_cast<char>(units[i]);
    }
    return {offset, length};
}

void SnapshotTree::reserve(std::size_t nodes, std::size_t /*textUnits*/) {
    const std::size_t chunks = (nodes + kChunkSize - 1) / kChunkSize;
    nodeChunks_.reserve(chunks);
}

NodeId SnapshotTree::insertLast(NodeId parent, NodeText text) {
    if (parent != kTopLevel && checkedForChange(parent) == nullptr) {
        return kNoNode;
    }
    inOrder_ = false;
    // The text first: when it cannot be stored the tree stays as it was.
    const auto [offset, length] = storeText(text);
    NodeId id;
    if (!freeSlots_.empty()) {
        id = freeSlots_.back();
        freeSlots_.pop_back();
    } else {
        if (slotCount_ >= kTopLevel) {
            return kNoNode; // out of handles: over four billion nodes
        }
        if (nodeChunks_.empty() || nodeChunks_.back().size() == kChunkSize) {
            nodeChunks_.emplace_back();
            if (nodeChunks_.size() > 1) {
                nodeChunks_.back().reserve(kChunkSize);
            }
        }
        nodeChunks_.back().emplace_back();
        id = static_cast<NodeId>(slotCount_++);
    }
    const NodeId last = lastOf(parent);
    const std::uint32_t row = last == kNoNode ? 0 : rowOf(last, node(last)) + 1;
    if (notifying()) {
        observer_->beforeInsert(parent, row);
    }
    node(id) = Node{offset, length, parent, kNoNode, kNoNode, row};
    if (last == kNoNode) {
        setLinks(parent, id, id);
    } else {
        node(last).next = id;
        setLinks(parent, firstOf(parent), id);
    }
    if (!childIndex_.empty()) {
        if (const auto found = childIndex_.find(parent); found != childIndex_.end()) {
            found->second.push_back(id);
        }
    }
    ++liveCount_;
    if (notifying()) {
        observer_->afterInsert(id);
    }
    return id;
}

void SnapshotTree::setKind(NodeId id, int kind) {
    Node* n = checkedForChange(id);
    const auto stored = static_cast<std::uint8_t>(kind);
    if (n == nullptr || n->kind() == stored) {
        return;
    }
    n->packed =
        (n->packed & ~(std::uint32_t{0xFF} << kKindShift)) | (std::uint32_t{stored} << kKindShift);
    if (notifying()) {
        observer_->nodeChanged(id);
    }
}

void SnapshotTree::setTextAndBold(NodeId id, NodeText text) {
    if (Node* n = checkedForChange(id)) {
        n->packed |= kBoldBit;
        changeText(id, *n, text);
    }
}

void SnapshotTree::setText(NodeId id, NodeText text) {
    if (Node* n = checkedForChange(id)) {
        changeText(id, *n, text);
    }
}

void SnapshotTree::changeText(NodeId id, Node& n, NodeText text) {
    if (textOf(n) != text) {
        // The old text's place in the arena is not reused; texts rarely change. Stored
        // texts never move, so n and text stay where they are.
        inOrder_ = false;
        const auto [offset, length] = storeText(text);
        n.text = offset;
        n.packed = (n.packed & ~(kLengthMask | kWideBit)) | length;
    }
    if (notifying()) {
        observer_->nodeChanged(id);
    }
}

NodeText SnapshotTree::text(NodeId id) const {
    return textOf(checked(id));
}

int SnapshotTree::kind(NodeId id) const {
    return checked(id).kind();
}

bool SnapshotTree::isBold(NodeId id) const {
    return checked(id).bold();
}

NodeId SnapshotTree::firstRoot() const {
    return top_.first;
}

NodeId SnapshotTree::firstChild(NodeId parent) const {
    if (parent != kTopLevel && !isValid(parent)) {
        return kNoNode;
    }
    return firstOf(parent);
}

NodeId SnapshotTree::parent(NodeId id) const {
    const NodeId p = checked(id).parent;
    return p == kTopLevel ? kNoNode : p;
}

std::size_t SnapshotTree::childCount(NodeId parent) const {
    if (parent != kTopLevel && !isValid(parent)) {
        return 0;
    }
    const NodeId last = lastOf(parent);
    return last == kNoNode ? 0 : std::size_t{rowOf(last, node(last))} + 1;
}

NodeId SnapshotTree::childAt(NodeId parent, std::size_t row) const {
    const std::size_t count = childCount(parent);
    if (row >= count) {
        return kNoNode;
    }
    if (row + 1 == count) {
        return lastOf(parent);
    }
    if (count <= kIndexedChildren) {
        NodeId child = firstOf(parent);
        for (std::size_t i = 0; i < row; ++i) {
            child = node(child).next;
        }
        return child;
    }
    std::vector<NodeId>& index = childIndex_[parent];
    if (index.empty()) {
        index.reserve(count);
        for (NodeId child = firstOf(parent); child != kNoNode; child = node(child).next) {
            index.push_back(child);
        }
    }
    return index[row];
}

std::size_t SnapshotTree::row(NodeId id) const {
    const Node& n = checked(id);
    return n.parent == kNoNode ? 0 : rowOf(id, n);
}

std::size_t SnapshotTree::level(NodeId id) const {
    const NodeId up = checked(id).parent;
    std::size_t depth = 0;
    for (NodeId p = up == kNoNode ? kTopLevel : up; p != kTopLevel; p = node(p).parent) {
        ++depth;
    }
    return depth;
}

void SnapshotTree::forgetChildIndex(NodeId parent) const {
    if (!childIndex_.empty()) {
        childIndex_.erase(parent);
    }
}

void SnapshotTree::applyOrder(NodeId parent, std::vector<NodeId>& order) {
    inOrder_ = false;
    if (notifying()) {
        observer_->beforeReorder(parent);
    }
    for (std::size_t i = 0; i < order.size(); ++i) {
        Node& n = node(order[i]);
        n.rowOrLast = static_cast<std::uint32_t>(i); // the first one's is set by setLinks
        n.next = i + 1 < order.size() ? order[i + 1] : kNoNode;
    }
    setLinks(parent, order.front(), order.back());
    forgetChildIndex(parent);
    if (notifying()) {
        observer_->afterReorder(parent);
    }
}

void SnapshotTree::releaseSubtree(NodeId root) {
    // Iterative, so that a very deep branch cannot exhaust the stack.
    std::vector<NodeId> pending{root};
    while (!pending.empty()) {
        const NodeId id = pending.back();
        pending.pop_back();
        Node& n = node(id);
        for (NodeId child = n.first; child != kNoNode; child = node(child).next) {
            pending.push_back(child);
        }
        forgetChildIndex(id);
        if (id == selected_) {
            selected_ = kNoNode;
        }
        n = kRemovedNode;
        freeSlots_.push_back(id);
        --liveCount_;
    }
}

void SnapshotTree::remove(NodeId id) {
    if (!isValid(id)) {
        return;
    }
    const NodeId parentId = node(id).parent;
    const std::size_t row = rowOf(id, node(id));
    const NodeId previous = row == 0 ? kNoNode : childAt(parentId, row - 1);
    const NodeId next = node(id).next;

    // Where the selection goes if it lies in the removed branch.
    NodeId successor = kNoNode;
    bool selectionInside = false;
    for (NodeId s = selected_; s != kNoNode && s != kTopLevel; s = node(s).parent) {
        if (s == id) {
            selectionInside = true;
            break;
        }
    }
    if (selectionInside) {
        if (next != kNoNode) {
            successor = next;
        } else if (previous != kNoNode) {
            successor = previous;
        } else if (parentId != kTopLevel) {
            successor = parentId;
        }
    }

    if (notifying()) {
        observer_->beforeRemove(id);
    }
    const NodeId last = lastOf(parentId);
    releaseSubtree(id);
    // The rows after it go down by one; the first child's field then holds the last child.
    for (NodeId s = next; s != kNoNode; s = node(s).next) {
        --node(s).rowOrLast;
    }
    if (previous == kNoNode) {
        setLinks(parentId, next, next == kNoNode ? kNoNode : last);
    } else {
        node(previous).next = next;
        setLinks(parentId, firstOf(parentId), next == kNoNode ? previous : last);
    }
    if (!childIndex_.empty()) {
        if (const auto found = childIndex_.find(parentId); found != childIndex_.end()) {
            found->second.erase(found->second.begin() + static_cast<std::ptrdiff_t>(row));
        }
    }
    if (notifying()) {
        observer_->afterRemove(parentId, row);
    }
    if (selectionInside) {
        select(successor);
    }
}

void SnapshotTree::removeAll() {
    inOrder_ = false;
    if (notifying()) {
        observer_->beforeReset();
    }
    // Assigned from empty containers (not cleared) so that their memory goes back too.
    nodeChunks_ = std::vector<std::vector<Node>>();
    slotCount_ = 0;
    liveCount_ = 0;
    freeSlots_ = std::vector<NodeId>();
    top_ = Links{};
    textChunks_ = std::vector<std::unique_ptr<char[]>>();
    textChunk_ = 0;
    textChunkUsed_ = 0;
    textChunkCapacity_ = 0;
    textBytes_ = 0;
    childIndex_ = std::unordered_map<NodeId, std::vector<NodeId>>();
    selected_ = kNoNode;
    if (notifying()) {
        observer_->afterReset();
    }
}

void SnapshotTree::select(NodeId id) {
    if (id != kNoNode && !isValid(id)) {
        return;
    }
    selected_ = id;
    if (notifying()) {
        observer_->selectionChanged(id);
    }
}

std::size_t SnapshotTree::memoryUsage() const {
    std::size_t bytes = textBytes_ + textChunks_.capacity() * sizeof(textChunks_[0]) +
                        freeSlots_.capacity() * sizeof(NodeId) +
                        nodeChunks_.capacity() * sizeof(nodeChunks_[0]);
    for (const std::vector<Node>& chunk : nodeChunks_) {
        bytes += chunk.capacity() * sizeof(Node);
    }
    bytes += childIndex_.bucket_count() * sizeof(void*);
    for (const auto& [parent, children] : childIndex_) {
        bytes += sizeof(parent) + sizeof(children) + 2 * sizeof(void*) +
                 children.capacity() * sizeof(NodeId);
    }
    return bytes;
}

SnapshotTree::BulkUpdate::BulkUpdate(SnapshotTree& tree) : tree_(tree) {
    if (tree_.bulkDepth_++ == 0 && tree_.observer_ != nullptr) {
        tree_.observer_->beforeReset();
    }
}

SnapshotTree::BulkUpdate::~BulkUpdate() {
    if (--tree_.bulkDepth_ == 0 && tree_.observer_ != nullptr) {
        tree_.observer_->afterReset();
    }
}

} // namespace zelvane
