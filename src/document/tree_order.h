// The text order of the snapshot: every parent's children, and the roots, sorted by their
// stored texts, case-insensitively in the collation of the user's locale. A space sorts
// before every letter and digit, so a parent's folders (" name") come before its files.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "document/snapshot_tree.h"

struct UCollator;

namespace zelvane {

// The comparison of stored texts: an ICU collator at secondary strength (case is ignored,
// accents are not) with spaces and punctuation as ordinary characters. Texts it holds
// equal are told apart by the third level of their case-folded forms (a full-width letter
// after its plain twin, a ligature after its letters, katakana after hiragana), so that
// only texts equal but for letter case compare equal, and keep their order in a sort.
class TextOrder {
public:
    // The locale from LC_ALL, LC_COLLATE or LANG, the first one that is set; the root
    // locale when none is (or for "C" and "POSIX").
    TextOrder();
    // An ICU locale name such as "de_DE" or "" for the root locale.
    explicit TextOrder(const std::string& locale);
    ~TextOrder();
    TextOrder(const TextOrder&) = delete;
    TextOrder& operator=(const TextOrder&) = delete;

    // <0, 0 or >0.
    int compare(NodeText a, NodeText b) const;
    // Appends the sort key of text to keys (zero-terminated); keys compare as C strings in
    // the same order as compare() orders their texts, but for the ties that compareTies()
    // breaks: their keys are equal.
    void appendSortKey(NodeText text, std::vector<std::uint8_t>& keys) const;
    // The order of two texts that the collator holds equal: by the third level of their
    // case-folded forms. 0 for texts equal but for letter case.
    int compareTies(NodeText a, NodeText b) const;
    const std::string& locale() const { return locale_; }
    // True when the sort keys of texts made only of the common ASCII characters come from
    // a table of the collator's own weights rather than from the collator (the same bytes,
    // several times faster). False for locales whose tailoring joins ASCII letters.
    bool hasAsciiKeys() const { return ascii_ != nullptr; }

    // The locale the environment asks for, as an ICU name ("" for the root locale).
    static std::string localeFromEnvironment();

    // The weights of the ASCII characters, when the collator's keys for ASCII texts are
    // plain concatenations of them (checked when the table is made).
    struct AsciiKeys;

private:
    UCollator* collator_ = nullptr; // null only when ICU has no collation data at all
    UCollator* tertiary_ = nullptr; // the same at tertiary strength, for the ties
    std::string locale_;
    std::shared_ptr<const AsciiKeys> ascii_;
};

// Follows the nodes of a tree built in pre-order (a load) and tells whether every sibling
// group came in the order SortTree gives, so that the tree can be marked in order instead
// of being sorted. With a second processor the comparisons run on a thread of their own
// beside the load; the texts handed to next() must then stay where they are until
// inOrder() or the destructor (a tree's texts do while nothing is changed or removed).
class OrderWatch {
public:
    explicit OrderWatch(const TextOrder& order);
    ~OrderWatch();
    OrderWatch(const OrderWatch&) = delete;
    OrderWatch& operator=(const OrderWatch&) = delete;
    // The next node; previous is the text of its previous sibling, ignored for a first child.
    void next(bool firstChild, NodeText previous, NodeText text);
    // Waits for the comparisons handed over.
    bool inOrder();

private:
    struct Pair {
        NodeText previous, text;
    };
    void check(const std::vector<Pair>& pairs);
    void hand(bool last);
    void run();

    const TextOrder& order_;
    std::atomic<bool> inOrder_{true};
    std::vector<Pair> filling_;
    bool threaded_ = false;
    // Between the two threads: one batch at a time.
    std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<Pair> handed_;
    bool handedFull_ = false;
    bool done_ = false;
    std::thread thread_;
};

// Sorts the children of parent (a node or kTopLevel), then, in their new order, every
// child's branch that has children. Equal texts keep their relative order.
void SortBranch(SnapshotTree& tree, NodeId parent, const TextOrder& order);
// Sorts the whole snapshot, the roots included, and marks it in order.
void SortTree(SnapshotTree& tree, const TextOrder& order);

// What SortTree gives after a new root with its branch was appended, with less work when
// the tree was in order just before (wasInOrder, by the same order): then only the roots
// and the new branch are sorted.
void sortTreeAfterCapture(SnapshotTree& tree, NodeId root, bool wasInOrder, const TextOrder& order);
// What SortTree gives after the text of node changed, with less work when the tree was in
// order just before the change (wasInOrder, by the same order): then node alone moves, to
// the place a stable sort of its siblings gives it. Otherwise the whole tree is sorted.
void sortTreeAfterRename(SnapshotTree& tree, NodeId node, bool wasInOrder, const TextOrder& order);

} // namespace zelvane
