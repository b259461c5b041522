#include "document/snapshot_tree.h"

#include <cassert>
#include <cstring>

namespace zelvane {

SnapshotTree::SnapshotTree() = default;

SnapshotTree::~SnapshotTree() {
    for (std::size_t i = 0; i < slotCount_; ++i) {
        delete node(static_cast<NodeId>(i)).children;
    }
}

SnapshotTree::Node& SnapshotTree::node(NodeId id) {
    assert(id < slotCount_);
    return nodeChunks_[id >> kChunkBits][id & (kChunkSize - 1)];
}

const SnapshotTree::Node& SnapshotTree::node(NodeId id) const {
    assert(id < slotCount_);
    return nodeChunks_[id >> kChunkBits][id & (kChunkSize - 1)];
}

bool SnapshotTree::isValid(NodeId id) const {
    return id < slotCount_ && node(id).alive;
}

std::vector<NodeId>& SnapshotTree::childrenOf(NodeId parent) {
    if (parent == kTopLevel) {
        return roots_;
    }
    Node& p = node(parent);
    if (p.children == nullptr) {
        p.children = new std::vector<NodeId>();
    }
    return *p.children;
}

const std::vector<NodeId>* SnapshotTree::childrenOfOrNull(NodeId parent) const {
    if (parent == kTopLevel) {
        return &roots_;
    }
    if (!isValid(parent)) {
        return nullptr;
    }
    return node(parent).children;
}

const char16_t* SnapshotTree::storeText(std::u16string_view text) {
    if (text.empty()) {
        return nullptr;
    }
    // Long texts get a chunk of their own so that the shared chunks stay dense.
    if (text.size() > kTextChunkUnits / 4) {
        auto block = std::make_unique_for_overwrite<char16_t[]>(text.size());
        std::memcpy(block.get(), text.data(), text.size() * sizeof(char16_t));
        const char16_t* stored = block.get();
        // Keep the current (partly filled) chunk last so that it can still be filled.
        textChunks_.insert(textChunks_.empty() ? textChunks_.end() : textChunks_.end() - 1,
                           std::move(block));
        textBytes_ += text.size() * sizeof(char16_t);
        return stored;
    }
    if (textChunkUsed_ + text.size() > textChunkCapacity_) {
        // Small trees stay small: chunks start at a few kilobytes and double up to 2 MB.
        const std::size_t units = std::max(
            text.size(), textChunks_.empty() ? kFirstTextChunkUnits
                                             : std::min(textChunkCapacity_ * 2, kTextChunkUnits));
        textChunks_.push_back(std::make_unique_for_overwrite<char16_t[]>(units));
        textChunkUsed_ = 0;
        textChunkCapacity_ = units;
        textBytes_ += units * sizeof(char16_t);
    }
    char16_t* dest = textChunks_.back().get() + textChunkUsed_;
    std::memcpy(dest, text.data(), text.size() * sizeof(char16_t));
    textChunkUsed_ += text.size();
    return dest;
}

void SnapshotTree::reserve(std::size_t nodes, std::size_t /*textUnits*/) {
    const std::size_t chunks = (nodes + kChunkSize - 1) / kChunkSize;
    nodeChunks_.reserve(chunks);
}

NodeId SnapshotTree::insertLast(NodeId parent, std::u16string_view text) {
    assert(parent == kTopLevel || isValid(parent));
    inOrder_ = false;
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
        }
        nodeChunks_.back().emplace_back();
        id = static_cast<NodeId>(slotCount_++);
    }
    std::vector<NodeId>& siblings = childrenOf(parent);
    const std::size_t row = siblings.size();
    if (notifying()) {
        observer_->beforeInsert(parent, row);
    }
    Node& n = node(id);
    n.text = storeText(text);
    n.length = static_cast<std::uint32_t>(text.size());
    n.children = nullptr;
    n.parent = parent;
    n.row = static_cast<std::uint32_t>(row);
    n.kind = 0;
    n.bold = false;
    n.alive = true;
    siblings.push_back(id);
    ++liveCount_;
    if (notifying()) {
        observer_->afterInsert(id);
    }
    return id;
}

void SnapshotTree::setKind(NodeId id, int kind) {
    Node& n = node(id);
    if (n.kind == kind) {
        return;
    }
    n.kind = kind;
    if (notifying()) {
        observer_->nodeChanged(id);
    }
}

void SnapshotTree::setTextAndBold(NodeId id, std::u16string_view text) {
    Node& n = node(id);
    n.bold = true;
    setText(id, text);
}

void SnapshotTree::setText(NodeId id, std::u16string_view text) {
    Node& n = node(id);
    if (std::u16string_view(n.text, n.length) != text) {
        // The old text's place in the arena is not reused; texts rarely change.
        inOrder_ = false;
        n.text = storeText(text);
        n.length = static_cast<std::uint32_t>(text.size());
    }
    if (notifying()) {
        observer_->nodeChanged(id);
    }
}

std::u16string_view SnapshotTree::text(NodeId id) const {
    const Node& n = node(id);
    return {n.text, n.length};
}

int SnapshotTree::kind(NodeId id) const {
    return node(id).kind;
}

bool SnapshotTree::isBold(NodeId id) const {
    return node(id).bold;
}

NodeId SnapshotTree::firstRoot() const {
    return roots_.empty() ? kNoNode : roots_.front();
}

NodeId SnapshotTree::firstChild(NodeId parent) const {
    const std::vector<NodeId>* kids = childrenOfOrNull(parent);
    return kids == nullptr || kids->empty() ? kNoNode : kids->front();
}

NodeId SnapshotTree::nextSibling(NodeId id) const {
    const Node& n = node(id);
    const std::vector<NodeId>* siblings = childrenOfOrNull(n.parent);
    const std::size_t next = std::size_t{n.row} + 1;
    return next < siblings->size() ? (*siblings)[next] : kNoNode;
}

NodeId SnapshotTree::parent(NodeId id) const {
    const NodeId p = node(id).parent;
    return p == kTopLevel ? kNoNode : p;
}

bool SnapshotTree::hasChildren(NodeId id) const {
    const std::vector<NodeId>* kids = node(id).children;
    return kids != nullptr && !kids->empty();
}

std::size_t SnapshotTree::childCount(NodeId parent) const {
    const std::vector<NodeId>* kids = childrenOfOrNull(parent);
    return kids == nullptr ? 0 : kids->size();
}

NodeId SnapshotTree::childAt(NodeId parent, std::size_t row) const {
    const std::vector<NodeId>* kids = childrenOfOrNull(parent);
    return kids == nullptr || row >= kids->size() ? kNoNode : (*kids)[row];
}

std::size_t SnapshotTree::row(NodeId id) const {
    return node(id).row;
}

std::size_t SnapshotTree::level(NodeId id) const {
    std::size_t depth = 0;
    for (NodeId p = node(id).parent; p != kTopLevel; p = node(p).parent) {
        ++depth;
    }
    return depth;
}

void SnapshotTree::applyOrder(NodeId parent, std::vector<NodeId>& order) {
    inOrder_ = false;
    if (notifying()) {
        observer_->beforeReorder(parent);
    }
    std::vector<NodeId>& kids = childrenOf(parent);
    kids.swap(order);
    for (std::size_t i = 0; i < kids.size(); ++i) {
        node(kids[i]).row = static_cast<std::uint32_t>(i);
    }
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
        if (n.children != nullptr) {
            pending.insert(pending.end(), n.children->begin(), n.children->end());
            delete n.children;
            n.children = nullptr;
        }
        if (id == selected_) {
            selected_ = kNoNode;
        }
        n.alive = false;
        n.text = nullptr;
        n.length = 0;
        freeSlots_.push_back(id);
        --liveCount_;
    }
}

void SnapshotTree::remove(NodeId id) {
    if (!isValid(id)) {
        return;
    }
    const NodeId parentId = node(id).parent;
    const std::size_t row = node(id).row;
    std::vector<NodeId>& siblings = childrenOf(parentId);

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
        if (row + 1 < siblings.size()) {
            successor = siblings[row + 1];
        } else if (row > 0) {
            successor = siblings[row - 1];
        } else if (parentId != kTopLevel) {
            successor = parentId;
        }
    }

    if (notifying()) {
        observer_->beforeRemove(id);
    }
    releaseSubtree(id);
    siblings.erase(siblings.begin() + static_cast<std::ptrdiff_t>(row));
    for (std::size_t i = row; i < siblings.size(); ++i) {
        node(siblings[i]).row = static_cast<std::uint32_t>(i);
    }
    if (parentId != kTopLevel && siblings.empty()) {
        delete node(parentId).children;
        node(parentId).children = nullptr;
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
    for (std::size_t i = 0; i < slotCount_; ++i) {
        delete node(static_cast<NodeId>(i)).children;
    }
    nodeChunks_.clear();
    slotCount_ = 0;
    liveCount_ = 0;
    // Assigned from empty vectors (not cleared) so that their memory goes back too.
    freeSlots_ = std::vector<NodeId>();
    roots_ = std::vector<NodeId>();
    textChunks_.clear();
    textChunkUsed_ = kTextChunkUnits;
    textChunkCapacity_ = kTextChunkUnits;
    textBytes_ = 0;
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
    std::size_t bytes =
        textBytes_ + freeSlots_.capacity() * sizeof(NodeId) + roots_.capacity() * sizeof(NodeId);
    for (const std::vector<Node>& chunk : nodeChunks_) {
        bytes += chunk.capacity() * sizeof(Node);
    }
    for (std::size_t i = 0; i < slotCount_; ++i) {
        if (const std::vector<NodeId>* kids = node(static_cast<NodeId>(i)).children) {
            bytes += sizeof(*kids) + kids->capacity() * sizeof(NodeId);
        }
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
