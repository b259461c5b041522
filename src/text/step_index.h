// The steps of paths as numbers: each (parent number, name) pair gets the next number the
// first time it is seen, the same one after. Open addressing over one array, for the
// millions of names of a listing or of several snapshots.
#pragma once

#include <cstdint>
#include <string_view>
#include <utility>
#include <vector>

namespace zelvane {

template <class Char> class StepIndex {
public:
    // The number of (parent, name) and whether it is new (then it is the count before).
    // The characters of name must stay where they are while the index lives.
    std::pair<std::uint32_t, bool> insert(std::uint32_t parent, std::basic_string_view<Char> name) {
        std::uint64_t hash = parent;
        for (const Char c : name) {
            hash = (hash ^ static_cast<std::uint64_t>(c)) * 0x100000001b3ull;
        }
        hash = (hash ^ (hash >> 33)) * 0xff51afd7ed558ccdull; // the low bits from all of them
        hash ^= hash >> 33;
        if ((count_ + 1) * 2 > slots_.size()) {
            grow();
        }
        std::size_t at = hash & (slots_.size() - 1);
        for (; slots_[at].number != 0; at = (at + 1) & (slots_.size() - 1)) {
            const Slot& slot = slots_[at];
            if (slot.hash == hash && slot.parent == parent &&
                std::basic_string_view<Char>(slot.data, slot.size) == name) {
                return {slot.number - 1, false};
            }
        }
        slots_[at] = {hash, name.data(), parent, static_cast<std::uint32_t>(name.size()),
                      static_cast<std::uint32_t>(++count_)};
        return {static_cast<std::uint32_t>(count_ - 1), true};
    }
    std::size_t size() const { return count_; }

private:
    // The pair itself in the table, so that a look-up reads no other memory but the name.
    struct Slot {
        std::uint64_t hash;
        const Char* data;
        std::uint32_t parent;
        std::uint32_t size;
        std::uint32_t number; // + 1; 0 for a free slot
    };
    void grow() {
        std::vector<Slot> old(slots_.empty() ? 1024 : slots_.size() * 2, Slot{});
        old.swap(slots_);
        for (const Slot& slot : old) {
            std::size_t at = slot.hash & (slots_.size() - 1);
            while (slot.number != 0 && slots_[at].number != 0) {
                at = (at + 1) & (slots_.size() - 1);
            }
            if (slot.number != 0) {
                slots_[at] = slot;
            }
        }
    }

    std::vector<Slot> slots_;
    std::size_t count_ = 0;
};

} // namespace zelvane
