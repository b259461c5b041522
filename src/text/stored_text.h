// NodeText: a view of a text held in one of two forms, one byte a code unit when no unit
// is above U+00FF (each byte the unit's own value, as ISO 8859-1), UTF-16 otherwise. The
// snapshot tree keeps names so: most names need a third of the room. A std::u16string_view
// (or anything that converts to one) converts to a NodeText in the UTF-16 form; the two
// forms of the same units are equal.
#pragma once

#include <algorithm>
#include <compare>
#include <cstddef>
#include <cstring>
#include <string>
#include <string_view>
#include <type_traits>

namespace zelvane {

class NodeText {
public:
    constexpr NodeText() = default;
    constexpr NodeText(std::u16string_view text)
        : data_(text.data() != nullptr ? text.data() : kEmpty), form_(text.size() << 1 | 1) {}
    template <class T>
    requires(std::is_convertible_v<const T&, std::u16string_view> &&
             !std::is_same_v<T, std::u16string_view>) constexpr NodeText(const T& text)
        : NodeText(std::u16string_view(text)) {}
    // bytes: the units of a text none of whose units is above U+00FF.
    static NodeText narrowForm(std::string_view bytes) {
        return inForm(bytes.data(), bytes.size(), false);
    }
    // size units at data, in the UTF-16 form when wide, else one byte a unit. Without a
    // branch on the form: stores that hold texts of both forms mixed choose it this way.
    static NodeText inForm(const void* data, std::size_t size, bool wide) {
        NodeText text;
        text.data_ = data != nullptr ? data : kEmpty;
        text.form_ = size << 1 | (wide ? 1 : 0);
        return text;
    }

    std::size_t size() const { return form_ >> 1; }
    bool empty() const { return size() == 0; }
    bool isWide() const { return (form_ & 1) != 0; }
    char16_t operator[](std::size_t i) const {
        return isWide() ? static_cast<const char16_t*>(data_)[i]
                        : static_cast<unsigned char>(static_cast<const char*>(data_)[i]);
    }
    // The one form the text is in: narrow() when !isWide(), wide() when isWide().
    std::string_view narrow() const { return {static_cast<const char*>(data_), size()}; }
    std::u16string_view wide() const { return {static_cast<const char16_t*>(data_), size()}; }
    // Calls f with the view of the form the text is in (std::string_view of units or
    // std::u16string_view) and gives what it returns; unit(c) is a unit of either as char16_t.
    template <class F> decltype(auto) visit(F&& f) const {
        return isWide() ? f(wide()) : f(narrow());
    }
    static constexpr char16_t unit(char c) { return static_cast<unsigned char>(c); }
    static constexpr char16_t unit(char16_t c) { return c; }

    NodeText substr(std::size_t pos) const {
        pos = std::min(pos, size());
        return isWide() ? NodeText(wide().substr(pos)) : narrowForm(narrow().substr(pos));
    }
    void appendTo(std::u16string& out) const {
        if (isWide()) {
            out.append(wide());
            return;
        }
        const std::size_t start = out.size();
        const std::size_t n = size();
        out.resize(start + n);
        const char* in = narrow().data();
        char16_t* to = out.data() + start;
        for (std::size_t i = 0; i < n; ++i) {
            to[i] = unit(in[i]);
        }
    }
    // The text as UTF-16: the text itself in that form, else widened into scratch.
    std::u16string_view utf16(std::u16string& scratch) const {
        if (isWide()) {
            return wide();
        }
        scratch.clear();
        appendTo(scratch);
        return scratch;
    }
    std::u16string toU16() const {
        std::u16string out;
        appendTo(out);
        return out;
    }
    explicit operator std::u16string() const { return toU16(); }

    friend bool operator==(const NodeText& a, const NodeText& b) {
        if (a.size() != b.size()) {
            return false;
        }
        if (a.isWide() == b.isWide()) {
            return std::memcmp(a.data_, b.data_, a.isWide() ? 2 * a.size() : a.size()) == 0;
        }
        return compareUnits(a, b) == 0;
    }
    // By code units, as std::u16string_view orders.
    friend std::strong_ordering operator<=>(const NodeText& a, const NodeText& b) {
        const int c = compareUnits(a, b);
        return c < 0   ? std::strong_ordering::less
               : c > 0 ? std::strong_ordering::greater
                       : std::strong_ordering::equal;
    }

private:
    static int compareUnits(const NodeText& a, const NodeText& b) {
        return a.visit([&](auto x) {
            return b.visit([&](auto y) {
                const std::size_t n = std::min(x.size(), y.size());
                for (std::size_t i = 0; i < n; ++i) {
                    if (unit(x[i]) != unit(y[i])) {
                        return unit(x[i]) < unit(y[i]) ? -1 : 1;
                    }
                }
                return x.size() < y.size() ? -1 : x.size() > y.size() ? 1 : 0;
            });
        });
    }

    static constexpr const char16_t* kEmpty = u""; // data is never null, even when empty
    // Two words, so that a NodeText is passed in registers: the size, shifted left by one
    // over the form's bit (1: UTF-16).
    const void* data_ = kEmpty;
    std::size_t form_ = 0;
};
static_assert(sizeof(NodeText) == 2 * sizeof(void*));

} // namespace zelvane
