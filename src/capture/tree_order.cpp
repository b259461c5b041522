#include "capture/tree_order.h"

#include <cstdlib>
#include <cstring>

#include <unicode/ucol.h>

#include "text/text.h"

namespace zelvane {

namespace {

// "de_DE.UTF-8@euro" -> "de_DE"; "C" and "POSIX" -> "" (root).
std::string icuLocaleFromPosix(std::string_view name) {
    const std::size_t cut = name.find_first_of(".@");
    if (cut != std::string_view::npos) {
        name = name.substr(0, cut);
    }
    if (name == "C" || name == "POSIX") {
        return {};
    }
    return std::string(name);
}

UCollator* openCollator(const std::string& locale) {
    UErrorCode status = U_ZERO_ERROR;
    UCollator* collator = ucol_open(locale.c_str(), &status);
    if (U_FAILURE(status)) {
        status = U_ZERO_ERROR;
        collator = ucol_open("", &status);
        if (U_FAILURE(status)) {
            return nullptr;
        }
    }
    ucol_setStrength(collator, UCOL_SECONDARY);
    // Some locales make spaces and punctuation ignorable ("shifted"); folders must sort
    // by their leading space, so spaces always count.
    ucol_setAttribute(collator, UCOL_ALTERNATE_HANDLING, UCOL_NON_IGNORABLE, &status);
    return collator;
}

const UChar* icuText(std::u16string_view text) {
    return reinterpret_cast<const UChar*>(text.data());
}

// Fallback without collation data: code units with a to z folded.
int compareFolded(std::u16string_view a, std::u16string_view b) {
    const std::size_t n = std::min(a.size(), b.size());
    for (std::size_t i = 0; i < n; ++i) {
        const char16_t x = asciiLower(a[i]);
        const char16_t y = asciiLower(b[i]);
        if (x != y) {
            return x < y ? -1 : 1;
        }
    }
    return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

} // namespace

std::string TextOrder::localeFromEnvironment() {
    for (const char* variable : {"LC_ALL", "LC_COLLATE", "LANG"}) {
        const char* value = std::getenv(variable);
        if (value != nullptr && *value != '\0') {
            return icuLocaleFromPosix(value);
        }
    }
    return {};
}

TextOrder::TextOrder() : TextOrder(localeFromEnvironment()) {}

TextOrder::TextOrder(const std::string& locale)
    : collator_(openCollator(locale)), locale_(locale) {}

TextOrder::~TextOrder() {
    if (collator_ != nullptr) {
        ucol_close(collator_);
    }
}

int TextOrder::compare(std::u16string_view a, std::u16string_view b) const {
    if (collator_ == nullptr) {
        return compareFolded(a, b);
    }
    switch (ucol_strcoll(collator_, icuText(a), static_cast<int32_t>(a.size()), icuText(b),
                         static_cast<int32_t>(b.size()))) {
    case UCOL_LESS:
        return -1;
    case UCOL_GREATER:
        return 1;
    default:
        return 0;
    }
}

void TextOrder::appendSortKey(std::u16string_view text, std::vector<std::uint8_t>& keys) const {
    const std::size_t start = keys.size();
    if (collator_ == nullptr) {
        // Not reached with ICU's data present; keep an order-preserving key anyway: each
        // folded code unit as three bytes of 2, 7 and 7 bits, each plus one so that no byte
        // is zero, then the terminator.
        for (char16_t c : text) {
            const unsigned v = asciiLower(c);
            keys.push_back(static_cast<std::uint8_t>((v >> 14) + 1));
            keys.push_back(static_cast<std::uint8_t>(((v >> 7) & 0x7F) + 1));
            keys.push_back(static_cast<std::uint8_t>((v & 0x7F) + 1));
        }
        keys.push_back(0);
        return;
    }
    // A key is rarely longer than a few bytes per character; grow when ICU asks for more.
    std::size_t room = text.size() * 3 + 16;
    for (;;) {
        keys.resize(start + room);
        const int32_t needed =
            ucol_getSortKey(collator_, icuText(text), static_cast<int32_t>(text.size()),
                            keys.data() + start, static_cast<int32_t>(room));
        if (needed <= 0) {
            keys.resize(start);
            keys.push_back(0);
            return;
        }
        if (static_cast<std::size_t>(needed) <= room) {
            keys.resize(start + static_cast<std::size_t>(needed)); // includes the terminator
            return;
        }
        room = static_cast<std::size_t>(needed);
    }
}

namespace {

// Sorts sibling groups by sort keys computed once per node: keys of one group go into one
// buffer, and the comparison reads them through an offset table indexed by NodeId.
class BranchSorter {
public:
    BranchSorter(SnapshotTree& tree, const TextOrder& order)
        : tree_(tree), order_(order), offsets_(tree.idBound(), 0) {}

    void sortChildren(NodeId parent) {
        if (tree_.childCount(parent) < 2) {
            return; // nothing to order, and no key worth making
        }
        keys_.clear();
        for (NodeId child = tree_.firstChild(parent); child != kNoNode;
             child = tree_.nextSibling(child)) {
            offsets_[child] = keys_.size();
            order_.appendSortKey(tree_.text(child), keys_);
        }
        const std::uint8_t* keys = keys_.data();
        const std::size_t* offsets = offsets_.data();
        tree_.sortChildren(parent, [keys, offsets](NodeId a, NodeId b) {
            return std::strcmp(reinterpret_cast<const char*>(keys + offsets[a]),
                               reinterpret_cast<const char*>(keys + offsets[b])) < 0;
        });
    }

private:
    SnapshotTree& tree_;
    const TextOrder& order_;
    std::vector<std::size_t> offsets_;
    std::vector<std::uint8_t> keys_;
};

} // namespace

void SortBranch(SnapshotTree& tree, NodeId parent, const TextOrder& order) {
    BranchSorter sorter(tree, order);
    // The branches still to sort, the next one on top; a pre-order walk without recursion,
    // so that no depth of tree can exhaust the stack.
    std::vector<NodeId> pending{parent};
    std::vector<NodeId> children;
    while (!pending.empty()) {
        const NodeId current = pending.back();
        pending.pop_back();
        sorter.sortChildren(current);
        children.clear();
        for (NodeId child = tree.firstChild(current); child != kNoNode;
             child = tree.nextSibling(child)) {
            if (tree.hasChildren(child)) {
                children.push_back(child);
            }
        }
        pending.insert(pending.end(), children.rbegin(), children.rend());
    }
}

void SortTree(SnapshotTree& tree, const TextOrder& order) {
    SortBranch(tree, kTopLevel, order);
}

void SortTree(SnapshotTree& tree) {
    const TextOrder order;
    SortTree(tree, order);
}

} // namespace zelvane
