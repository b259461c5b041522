#include "document/tree_order.h"

#include <algorithm>
#include <array>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <map>
#include <mutex>
#include <system_error>

#include <unicode/uchar.h>
#include <unicode/ucol.h>
#include <unicode/uset.h>
#include <unicode/utf16.h>

#include "platform/processors.h"
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

UCollator* openCollator(const std::string& locale, UCollationStrength strength) {
    UErrorCode status = U_ZERO_ERROR;
    UCollator* collator = ucol_open(locale.c_str(), &status);
    if (U_FAILURE(status)) {
        status = U_ZERO_ERROR;
        collator = ucol_open("", &status);
        if (U_FAILURE(status)) {
            return nullptr;
        }
    }
    ucol_setStrength(collator, strength);
    // Some locales make spaces and punctuation ignorable ("shifted"); folders must sort
    // by their leading space, so spaces always count.
    ucol_setAttribute(collator, UCOL_ALTERNATE_HANDLING, UCOL_NON_IGNORABLE, &status);
    return collator;
}

const UChar* icuText(std::u16string_view text) {
    return reinterpret_cast<const UChar*>(text.data());
}

// Fallback without collation data: code units with a to z folded.
int compareFolded(NodeText a, NodeText b) {
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

// A collator's key at secondary strength ends with its secondary level: one common
// secondary weight per character, written in runs (a run of n as 0x05 + (n - 1), runs of
// 34 or more as 0x25 for every 33 first), then the terminator.
constexpr std::uint8_t kLevelSeparator = 0x01;
constexpr std::uint8_t kCommonSecondary = 0x05;
constexpr std::uint8_t kCommonRunStep = 0x25;
constexpr std::size_t kCommonRunMax = 33;
constexpr std::size_t kMaxAsciiPrimary = 3;

std::vector<std::uint8_t> icuKey(const UCollator* collator, std::u16string_view text) {
    std::vector<std::uint8_t> key(text.size() * 4 + 16);
    const int32_t n = ucol_getSortKey(collator, icuText(text), static_cast<int32_t>(text.size()),
                                      key.data(), static_cast<int32_t>(key.size()));
    key.resize(n > 0 && static_cast<std::size_t>(n) <= key.size() ? static_cast<std::size_t>(n)
                                                                  : 0);
    return key;
}

// The simple case folding of text, code point by code point (a ligature or a sharp s
// stays one character).
void caseFold(std::u16string_view text, std::u16string& folded) {
    folded.clear();
    for (std::size_t i = 0; i < text.size();) {
        UChar32 c = 0;
        U16_NEXT(text.data(), i, text.size(), c);
        const UChar32 f = u_foldCase(c, U_FOLD_CASE_DEFAULT);
        if (U_IS_BMP(f)) {
            folded.push_back(static_cast<char16_t>(f));
        } else {
            folded.push_back(static_cast<char16_t>(U16_LEAD(f)));
            folded.push_back(static_cast<char16_t>(U16_TRAIL(f)));
        }
    }
}

// The third level of the tertiary key of text's case folding: what follows the key's
// second level separator (no weight byte is 0 or 1).
std::vector<std::uint8_t> thirdLevel(const UCollator* tertiary, std::u16string_view text) {
    std::u16string folded;
    caseFold(text, folded);
    std::vector<std::uint8_t> key(folded.size() * 6 + 16);
    const auto length = static_cast<int32_t>(folded.size());
    const auto* units = reinterpret_cast<const UChar*>(folded.data());
    int32_t n =
        ucol_getSortKey(tertiary, units, length, key.data(), static_cast<int32_t>(key.size()));
    if (n > static_cast<int32_t>(key.size())) {
        key.resize(static_cast<std::size_t>(n));
        n = ucol_getSortKey(tertiary, units, length, key.data(), n);
    }
    key.resize(static_cast<std::size_t>(std::max(n, 0)));
    auto level = key.begin();
    for (int separators = 0; separators < 2 && level != key.end();) {
        separators += *level++ == kLevelSeparator ? 1 : 0;
    }
    key.erase(key.begin(), level);
    return key;
}

} // namespace

struct TextOrder::AsciiKeys {
    // The primary weight bytes of each character; a length of 0 marks a character whose
    // texts the collator must key itself (ignorables, members of contractions).
    std::array<std::array<std::uint8_t, kMaxAsciiPrimary>, 128> primary{};
    std::array<std::uint8_t, 128> length{};

    // Appends the key of text when the table covers every unit of it; false, with keys
    // as they were, when it does not.
    bool append(NodeText text, std::vector<std::uint8_t>& keys) const {
        return text.visit([&](auto units) { return appendUnits(units, keys); });
    }
    template <class Units> bool appendUnits(Units text, std::vector<std::uint8_t>& keys) const {
        std::size_t primaries = 0;
        for (const auto unit : text) {
            const char16_t c = NodeText::unit(unit);
            if (c >= 128 || length[c] == 0) {
                return false;
            }
            primaries += length[c];
        }
        const std::size_t runs = text.empty() ? 0 : (text.size() - 1) / kCommonRunMax + 1;
        const std::size_t start = keys.size();
        // The primaries, the separator, the runs and the terminator. Each character's
        // weight is copied whole (the bytes after it are written over), which the
        // separator and the terminator leave room for.
        keys.resize(start + primaries + runs + 2);
        std::uint8_t* out = keys.data() + start;
        for (const auto unit : text) {
            const char16_t c = NodeText::unit(unit);
            std::memcpy(out, primary[c].data(), kMaxAsciiPrimary);
            out += length[c];
        }
        *out++ = kLevelSeparator;
        if (!text.empty()) {
            std::size_t run = text.size() - 1;
            for (; run >= kCommonRunMax; run -= kCommonRunMax) {
                *out++ = kCommonRunStep;
            }
            *out++ = static_cast<std::uint8_t>(kCommonSecondary + run);
        }
        *out = 0;
        return true;
    }

    // The order of the keys of a and b by their primary weights, without making them: <0
    // or >0; 0 when the table does not cover both or their primary weights are the same
    // (the collator must tell). A key whose primaries end first is the smaller: the level
    // separator after them is below every weight byte.
    int comparePrimaries(NodeText a, NodeText b) const {
        return a.visit([&](auto x) { return b.visit([&](auto y) { return primaries(x, y); }); });
    }
    template <class A, class B> int primaries(A a, B b) const {
        const auto covered = [this](auto text) {
            return std::all_of(text.begin(), text.end(), [this](auto unit) {
                const char16_t c = NodeText::unit(unit);
                return c < 128 && length[c] != 0;
            });
        };
        if (!covered(a) || !covered(b)) {
            return 0;
        }
        std::size_t i = 0, j = 0, x = 0, y = 0; // characters done, bytes of the next one done
        while (i < a.size() && j < b.size()) {
            const char16_t c = NodeText::unit(a[i]);
            const char16_t d = NodeText::unit(b[j]);
            const std::uint8_t u = primary[c][x];
            const std::uint8_t v = primary[d][y];
            if (u != v) {
                return u < v ? -1 : 1;
            }
            if (++x == length[c]) {
                x = 0;
                ++i;
            }
            if (++y == length[d]) {
                y = 0;
                ++j;
            }
        }
        return i < a.size() ? 1 : j < b.size() ? -1 : 0;
    }

    // The table of this collator, or null when its keys for ASCII texts are not plain
    // concatenations of the characters' own weights.
    static std::shared_ptr<const AsciiKeys> make(const UCollator* collator);
};

std::shared_ptr<const TextOrder::AsciiKeys> TextOrder::AsciiKeys::make(const UCollator* collator) {
    auto table = std::make_shared<AsciiKeys>();
    for (char16_t c = 0; c < 128; ++c) {
        // A character of its own: its primary bytes, the separator, one common secondary.
        const std::vector<std::uint8_t> key = icuKey(collator, std::u16string_view(&c, 1));
        const std::size_t bytes = key.size() < 4 ? 0 : key.size() - 3;
        if (bytes >= 1 && bytes <= kMaxAsciiPrimary && key[bytes] == kLevelSeparator &&
            key[bytes + 1] == kCommonSecondary && key[bytes + 2] == 0 &&
            std::find(key.begin(), key.begin() + static_cast<std::ptrdiff_t>(bytes), 0) ==
                key.begin() + static_cast<std::ptrdiff_t>(bytes)) {
            std::copy(key.begin(), key.begin() + static_cast<std::ptrdiff_t>(bytes),
                      table->primary[c].begin());
            table->length[c] = static_cast<std::uint8_t>(bytes);
        }
    }
    // Characters that a tailoring joins with others ("ch", "aa") are keyed by the collator.
    UErrorCode status = U_ZERO_ERROR;
    USet* contractions = uset_openEmpty();
    ucol_getContractionsAndExpansions(collator, contractions, nullptr, true, &status);
    if (U_FAILURE(status)) {
        uset_close(contractions);
        return nullptr;
    }
    for (int32_t i = 0, items = uset_getItemCount(contractions); i < items; ++i) {
        UChar32 first = 0;
        UChar32 last = 0;
        UChar text[64];
        status = U_ZERO_ERROR;
        const int32_t length = uset_getItem(contractions, i, &first, &last, text,
                                            static_cast<int32_t>(std::size(text)), &status);
        if (U_FAILURE(status)) {
            uset_close(contractions);
            return nullptr;
        }
        if (length > 0 && std::all_of(text, text + length, [](UChar c) { return c < 128; })) {
            for (int32_t k = 0; k < length; ++k) {
                table->length[text[k]] = 0;
            }
        }
    }
    uset_close(contractions);

    // Proof that keys concatenate: every pair of covered characters, and runs of every
    // length that the secondary level writes differently.
    std::vector<std::uint8_t> ours;
    auto same = [&](std::u16string_view text) {
        ours.clear();
        table->append(text, ours);
        return ours == icuKey(collator, text);
    };
    std::u16string text;
    for (char16_t a = 0; a < 128; ++a) {
        for (char16_t b = 0; b < 128 && table->length[a] != 0; ++b) {
            if (table->length[b] != 0 && !same(std::u16string{a, b})) {
                return nullptr;
            }
        }
        if (table->length[a] != 0 && text.empty()) {
            for (std::size_t n = 0; n <= 3 * kCommonRunMax + 2; ++n) {
                if (!same(text)) {
                    return nullptr;
                }
                text.push_back(a);
            }
        }
    }
    return table;
}

namespace {

// One table per locale for the whole process: making one asks the collator for some
// ten thousand keys.
std::shared_ptr<const TextOrder::AsciiKeys> asciiKeysFor(const std::string& locale,
                                                         const UCollator* collator) {
    static std::mutex mutex;
    static std::map<std::string, std::shared_ptr<const TextOrder::AsciiKeys>> made;
    const std::lock_guard<std::mutex> lock(mutex);
    auto& table = made[locale];
    if (table == nullptr) {
        table = TextOrder::AsciiKeys::make(collator);
    }
    return table;
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
    : collator_(openCollator(locale, UCOL_SECONDARY)),
      tertiary_(collator_ == nullptr ? nullptr : openCollator(locale, UCOL_TERTIARY)),
      locale_(locale), ascii_(collator_ == nullptr ? nullptr : asciiKeysFor(locale, collator_)) {}

TextOrder::~TextOrder() {
    if (collator_ != nullptr) {
        ucol_close(collator_);
    }
    if (tertiary_ != nullptr) {
        ucol_close(tertiary_);
    }
}

int TextOrder::compare(NodeText a, NodeText b) const {
    if (collator_ == nullptr) {
        return compareFolded(a, b);
    }
    const int byPrimaries = ascii_ != nullptr ? ascii_->comparePrimaries(a, b) : 0;
    if (byPrimaries != 0) {
        return byPrimaries;
    }
    // The collator reads UTF-16 only.
    std::u16string wideA, wideB;
    const std::u16string_view x = a.utf16(wideA);
    const std::u16string_view y = b.utf16(wideB);
    switch (ucol_strcoll(collator_, icuText(x), static_cast<int32_t>(x.size()), icuText(y),
                         static_cast<int32_t>(y.size()))) {
    case UCOL_LESS:
        return -1;
    case UCOL_GREATER:
        return 1;
    default:
        return x == y ? 0 : compareTies(x, y);
    }
}

int TextOrder::compareTies(NodeText a, NodeText b) const {
    if (tertiary_ == nullptr) {
        return 0;
    }
    std::u16string wideA, wideB;
    const std::vector<std::uint8_t> x = thirdLevel(tertiary_, a.utf16(wideA));
    const std::vector<std::uint8_t> y = thirdLevel(tertiary_, b.utf16(wideB));
    return x == y ? 0 : (x < y ? -1 : 1);
}

void TextOrder::appendSortKey(NodeText stored, std::vector<std::uint8_t>& keys) const {
    const std::size_t start = keys.size();
    if (collator_ == nullptr) {
        // Not reached with ICU's data present; keep an order-preserving key anyway: each
        // folded code unit as three bytes of 2, 7 and 7 bits, each plus one so that no byte
        // is zero, then the terminator.
        for (std::size_t i = 0; i < stored.size(); ++i) {
            const unsigned v = asciiLower(stored[i]);
            keys.push_back(static_cast<std::uint8_t>((v >> 14) + 1));
            keys.push_back(static_cast<std::uint8_t>(((v >> 7) & 0x7F) + 1));
            keys.push_back(static_cast<std::uint8_t>((v & 0x7F) + 1));
        }
        keys.push_back(0);
        return;
    }
    if (ascii_ != nullptr && ascii_->append(stored, keys)) {
        return;
    }
    std::u16string wide;
    const std::u16string_view text = stored.utf16(wide);
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

// Comparisons handed to the watch's thread at a time.
constexpr std::size_t kWatchBatch = 8192;

} // namespace

OrderWatch::OrderWatch(const TextOrder& order) : order_(order) {
    if (platform::severalProcessors()) {
        try {
            filling_.reserve(kWatchBatch);
            handed_.reserve(kWatchBatch);
            thread_ = std::thread([this] { run(); });
            threaded_ = true;
        } catch (const std::exception&) {
            // the comparisons are made as the nodes come
        }
    }
}

OrderWatch::~OrderWatch() {
    if (thread_.joinable()) {
        inOrder_ = false; // nothing more to decide: the thread stops at its next pair
        hand(true);
        thread_.join();
    }
}

void OrderWatch::check(const std::vector<Pair>& pairs) {
    for (const Pair& pair : pairs) {
        if (!inOrder_.load(std::memory_order_relaxed)) {
            return;
        }
        if (order_.compare(pair.previous, pair.text) > 0) {
            inOrder_ = false;
        }
    }
}

void OrderWatch::next(bool firstChild, NodeText previous, NodeText text) {
    if (firstChild || !inOrder_.load(std::memory_order_relaxed)) {
        return;
    }
    if (!threaded_) {
        inOrder_ = order_.compare(previous, text) <= 0;
        return;
    }
    filling_.push_back({previous, text});
    if (filling_.size() == kWatchBatch) {
        hand(false);
    }
}

// Waits until the thread has taken the batch before, then hands the one filled.
void OrderWatch::hand(bool last) {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [this] { return !handedFull_; });
    handed_.swap(filling_);
    filling_.clear();
    handedFull_ = true;
    done_ = last;
    changed_.notify_all();
}

void OrderWatch::run() {
    std::vector<Pair> batch;
    for (;;) {
        bool last = false;
        {
            std::unique_lock lock(mutex_);
            changed_.wait(lock, [this] { return handedFull_; });
            batch.swap(handed_);
            handedFull_ = false;
            last = done_;
            changed_.notify_all();
        }
        try {
            check(batch);
        } catch (const std::exception&) {
            inOrder_ = false; // undecided: the first rename sorts
        }
        if (last) {
            return;
        }
    }
}

bool OrderWatch::inOrder() {
    if (thread_.joinable()) {
        hand(true);
        thread_.join();
    }
    return inOrder_;
}

namespace {

// Sorts sibling groups by sort keys computed once per node: the keys of one group go into
// one buffer, and the comparison finds them by the nodes' rows, which stay as they were
// until the group takes its new order.
class BranchSorter {
public:
    BranchSorter(SnapshotTree& tree, const TextOrder& order) : tree_(tree), order_(order) {}

    void sortChildren(NodeId parent) {
        const NodeId first = tree_.firstChild(parent);
        if (first == kNoNode || tree_.nextSibling(first) == kNoNode) {
            return; // nothing to order, and no key worth making
        }
        // Groups already in order (a loaded or an earlier sorted part of the tree) stay as
        // they are: a stable sort would not move anything in them. Neighbours are compared
        // until the first pair out of order, which in a freshly captured group comes soon.
        NodeId previous = first;
        NodeId child = tree_.nextSibling(previous);
        for (; child != kNoNode; previous = child, child = tree_.nextSibling(child)) {
            if (order_.compare(tree_.text(previous), tree_.text(child)) > 0) {
                break;
            }
        }
        if (child == kNoNode) {
            return;
        }
        keys_.clear();
        offsets_.clear();
        for (child = first; child != kNoNode; child = tree_.nextSibling(child)) {
            offsets_.push_back(keys_.size());
            order_.appendSortKey(tree_.text(child), keys_);
        }
        const std::uint8_t* keys = keys_.data();
        const std::size_t* offsets = offsets_.data();
        const SnapshotTree& tree = tree_;
        const TextOrder& order = order_;
        tree_.sortChildren(parent, [keys, offsets, &tree, &order](NodeId a, NodeId b) {
            const int byKey =
                std::strcmp(reinterpret_cast<const char*>(keys + offsets[tree.row(a)]),
                            reinterpret_cast<const char*>(keys + offsets[tree.row(b)]));
            // Equal keys (rare): the third level tells twins apart.
            return byKey != 0 ? byKey < 0 : order.compareTies(tree.text(a), tree.text(b)) < 0;
        });
    }

private:
    SnapshotTree& tree_;
    const TextOrder& order_;
    std::vector<std::size_t> offsets_; // by row
    std::vector<std::uint8_t> keys_;
};

void sortBranchWith(BranchSorter& sorter, SnapshotTree& tree, NodeId parent) {
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

} // namespace

void SortBranch(SnapshotTree& tree, NodeId parent, const TextOrder& order) {
    BranchSorter sorter(tree, order);
    sortBranchWith(sorter, tree, parent);
}

void SortTree(SnapshotTree& tree, const TextOrder& order) {
    SortBranch(tree, kTopLevel, order);
    tree.markInOrder();
}

void sortTreeAfterCapture(SnapshotTree& tree, NodeId root, bool wasInOrder,
                          const TextOrder& order) {
    if (!wasInOrder) {
        SortTree(tree, order);
        return;
    }
    // Every other branch is in order already: the roots among themselves and the new
    // branch are all that a whole sort would change.
    BranchSorter sorter(tree, order);
    sorter.sortChildren(kTopLevel);
    if (tree.hasChildren(root)) {
        sortBranchWith(sorter, tree, root);
    }
    tree.markInOrder();
}

void sortTreeAfterRename(SnapshotTree& tree, NodeId node, bool wasInOrder, const TextOrder& order) {
    if (!wasInOrder || !tree.isValid(node)) {
        SortTree(tree, order);
        return;
    }
    const NodeId up = tree.parent(node);
    const NodeId parent = up == kNoNode ? kTopLevel : up;
    // The siblings without node are in order. A stable sort puts node after those that
    // order before it and before those that order after it; among the ones equal to it,
    // it keeps its place.
    std::vector<NodeId> others;
    std::size_t row = 0;
    for (NodeId child = tree.firstChild(parent); child != kNoNode;
         child = tree.nextSibling(child)) {
        if (child == node) {
            row = others.size();
        } else {
            others.push_back(child);
        }
    }
    const NodeText text = tree.text(node);
    const auto lower = std::partition_point(others.begin(), others.end(), [&](NodeId other) {
        return order.compare(tree.text(other), text) < 0;
    });
    const auto upper = std::partition_point(lower, others.end(), [&](NodeId other) {
        return order.compare(tree.text(other), text) <= 0;
    });
    const std::size_t target = std::clamp(row, static_cast<std::size_t>(lower - others.begin()),
                                          static_cast<std::size_t>(upper - others.begin()));
    if (target != row) {
        // Every other node keeps its rank (twice its row, plus two); node goes just before
        // the sibling that is to follow it, or after all of them.
        const std::size_t rank =
            target < others.size() ? 2 * tree.row(others[target]) + 1 : 2 * others.size() + 3;
        auto rankOf = [&](NodeId n) { return n == node ? rank : 2 * tree.row(n) + 2; };
        tree.sortChildren(parent, [&](NodeId a, NodeId b) { return rankOf(a) < rankOf(b); });
    }
    tree.markInOrder();
}

} // namespace zelvane
