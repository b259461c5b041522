// The text order of the snapshot: every parent's children, and the roots, sorted by their
// stored texts, case-insensitively in the collation of the user's locale. A space sorts
// before every letter and digit, so a parent's folders (" name") come before its files.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "document/snapshot_tree.h"

struct UCollator;

namespace zelvane {

// The comparison of stored texts: an ICU collator at secondary strength (case is ignored,
// accents are not) with spaces and punctuation as ordinary characters.
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
    int compare(std::u16string_view a, std::u16string_view b) const;
    // Appends the sort key of text to keys (zero-terminated); keys compare as C strings in
    // the same order as compare() orders their texts.
    void appendSortKey(std::u16string_view text, std::vector<std::uint8_t>& keys) const;
    const std::string& locale() const { return locale_; }

    // The locale the environment asks for, as an ICU name ("" for the root locale).
    static std::string localeFromEnvironment();

private:
    UCollator* collator_ = nullptr; // null only when ICU has no collation data at all
    std::string locale_;
};

// Sorts the children of parent (a node or kTopLevel), then, in their new order, every
// child's branch that has children. Equal texts keep their relative order.
void SortBranch(SnapshotTree& tree, NodeId parent, const TextOrder& order);
// Sorts the whole snapshot, the roots included.
void SortTree(SnapshotTree& tree, const TextOrder& order);
// The same in the environment's collation.
void SortTree(SnapshotTree& tree);

} // namespace zelvane
