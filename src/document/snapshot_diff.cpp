#include "document/snapshot_diff.h"

#include <algorithm>
#include <cstdint>

namespace zelvane {

namespace {

constexpr std::uint32_t kUnmatched = 0xFFFFFFFFu;

// One step of the merged order of a folder's children: a pair of nodes holding the same
// path, or a node of one side only (the other is kNoNode).
struct Step {
    NodeId oldNode;
    NodeId newNode;
};

// The children of one folder present on both sides, merged, and how far the walk is.
struct Frame {
    std::vector<Step> steps;
    std::size_t next = 0;
    std::size_t level = 0;
};

class Differ {
public:
    Differ(const SnapshotTree& oldTree, const SnapshotTree& newTree, const TextBefore& before,
           const std::function<void(const DiffEntry&)>& emit)
        : old_(oldTree), new_(newTree), before_(before), emit_(emit) {}

    void run() {
        std::vector<Frame> stack;
        stack.emplace_back();
        merge(kTopLevel, kTopLevel, stack.back().steps);
        while (!stack.empty()) {
            Frame& frame = stack.back();
            if (frame.next == frame.steps.size()) {
                recycle(std::move(frame.steps));
                stack.pop_back();
                continue;
            }
            const Step step = frame.steps[frame.next++];
            const std::size_t level = frame.level;
            if (step.newNode == kNoNode) {
                emitSubtree(old_, step.oldNode, level, DiffChange::Removed);
            } else if (step.oldNode == kNoNode) {
                emitSubtree(new_, step.newNode, level, DiffChange::Added);
            } else if (old_.hasChildren(step.oldNode) || new_.hasChildren(step.newNode)) {
                Frame child;
                child.level = level + 1;
                child.steps = spare();
                merge(step.oldNode, step.newNode, child.steps);
                stack.push_back(std::move(child)); // frame is not used after this
            }
        }
    }

private:
    // The children of two folders that hold the same path, in merged order.
    void merge(NodeId oldParent, NodeId newParent, std::vector<Step>& steps) {
        children(old_, oldParent, oldKids_);
        children(new_, newParent, newKids_);
        const std::size_t n = oldKids_.size();
        const std::size_t m = newKids_.size();
        std::size_t same = 0;
        while (same < n && same < m && old_.text(oldKids_[same]) == new_.text(newKids_[same])) {
            ++same;
        }
        steps.reserve(std::max(n, m));
        for (std::size_t i = 0; i < same; ++i) {
            steps.push_back({oldKids_[i], newKids_[i]});
        }
        if (same == n && same == m) {
            return; // the common case: nothing changed among these children
        }
        matchRest(same);
        mergeRest(same, steps);
    }

    static void children(const SnapshotTree& tree, NodeId parent, std::vector<NodeId>& kids) {
        kids.clear();
        for (NodeId c = tree.firstChild(parent); c != kNoNode; c = tree.nextSibling(c)) {
            kids.push_back(c);
        }
    }

    // Pairs the children from row `same` on by text, the k-th of a text on one side with
    // the k-th on the other: both sides sorted by text, equal texts kept in their order.
    void matchRest(std::size_t same) {
        oldMatch_.assign(oldKids_.size() - same, kUnmatched);
        newMatch_.assign(newKids_.size() - same, kUnmatched);
        auto sortedRows = [same](const SnapshotTree& tree, const std::vector<NodeId>& kids,
                                 std::vector<std::uint32_t>& rows) {
            rows.resize(kids.size() - same);
            for (std::size_t i = 0; i < rows.size(); ++i) {
                rows[i] = static_cast<std::uint32_t>(i);
            }
            std::stable_sort(rows.begin(), rows.end(), [&](std::uint32_t a, std::uint32_t b) {
                return tree.text(kids[same + a]) < tree.text(kids[same + b]);
            });
        };
        sortedRows(old_, oldKids_, oldRows_);
        sortedRows(new_, newKids_, newRows_);
        std::size_t a = 0;
        std::size_t b = 0;
        while (a < oldRows_.size() && b < newRows_.size()) {
            const NodeText x = old_.text(oldKids_[same + oldRows_[a]]);
            const NodeText y = new_.text(newKids_[same + newRows_[b]]);
            if (x < y) {
                ++a;
            } else if (y < x) {
                ++b;
            } else {
                oldMatch_[oldRows_[a]] = newRows_[b];
                newMatch_[newRows_[b]] = oldRows_[a];
                ++a;
                ++b;
            }
        }
    }

    // Walks both rests at once: a child of one side only comes where its side has it; the
    // pairs follow the old side's order.
    void mergeRest(std::size_t same, std::vector<Step>& steps) {
        const std::size_t oldRest = oldKids_.size() - same;
        const std::size_t newRest = newKids_.size() - same;
        newDone_.assign(newRest, false);
        std::size_t i = 0;
        std::size_t j = 0;
        while (i < oldRest || j < newRest) {
            if (j < newRest && newDone_[j]) {
                ++j;
                continue;
            }
            const bool oldOnly = i < oldRest && oldMatch_[i] == kUnmatched;
            const bool newOnly = j < newRest && newMatch_[j] == kUnmatched;
            const NodeId oldNode = i < oldRest ? oldKids_[same + i] : kNoNode;
            const NodeId newNode = j < newRest ? newKids_[same + j] : kNoNode;
            if (newOnly && (!oldOnly || addedFirst(oldNode, newNode))) {
                steps.push_back({kNoNode, newNode});
                ++j;
            } else if (oldOnly) {
                steps.push_back({oldNode, kNoNode});
                ++i;
            } else {
                // The old child has a partner; every new child that has one is reached
                // through its old partner, so i < oldRest here.
                const std::uint32_t partner = oldMatch_[i];
                newDone_[partner] = true;
                steps.push_back({oldNode, newKids_[same + partner]});
                ++i;
            }
        }
    }

    bool addedFirst(NodeId oldNode, NodeId newNode) const {
        return before_ && before_(new_.text(newNode), old_.text(oldNode));
    }

    void emitSubtree(const SnapshotTree& tree, NodeId top, std::size_t level, DiffChange change) {
        emit_({change, top, level});
        walkPreOrder(tree, top, [&](NodeId node, std::size_t depth) {
            emit_({change, node, level + 1 + depth});
        });
    }

    std::vector<Step> spare() {
        if (spares_.empty()) {
            return {};
        }
        std::vector<Step> steps = std::move(spares_.back());
        spares_.pop_back();
        steps.clear();
        return steps;
    }
    void recycle(std::vector<Step>&& steps) { spares_.push_back(std::move(steps)); }

    const SnapshotTree& old_;
    const SnapshotTree& new_;
    const TextBefore& before_;
    const std::function<void(const DiffEntry&)>& emit_;
    std::vector<NodeId> oldKids_, newKids_;
    std::vector<std::uint32_t> oldRows_, newRows_, oldMatch_, newMatch_;
    std::vector<bool> newDone_;
    std::vector<std::vector<Step>> spares_;
};

} // namespace

void diffSnapshots(const SnapshotTree& oldTree, const SnapshotTree& newTree,
                   const TextBefore& before, const std::function<void(const DiffEntry&)>& emit) {
    Differ(oldTree, newTree, before, emit).run();
}

std::vector<DiffEntry> diffSnapshots(const SnapshotTree& oldTree, const SnapshotTree& newTree,
                                     const TextBefore& before) {
    std::vector<DiffEntry> entries;
    diffSnapshots(oldTree, newTree, before,
                  [&entries](const DiffEntry& entry) { entries.push_back(entry); });
    return entries;
}

} // namespace zelvane
