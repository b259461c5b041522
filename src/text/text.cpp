#include "text/text.h"

#include <algorithm>

#include <unicode/uchar.h>
#include <unicode/ustring.h>

namespace zelvane {

std::u16string foldAsciiUpper(std::u16string_view text) {
    std::u16string out(text);
    for (char16_t& c : out) {
        c = asciiUpper(c);
    }
    return out;
}

std::u16string_view cutText(std::u16string_view text, std::size_t capacity) {
    if (text.size() <= capacity) {
        return text;
    }
    std::size_t keep = capacity;
    if (keep > 0 && isHighSurrogate(text[keep - 1]) && isLowSurrogate(text[keep])) {
        --keep;
    }
    return text.substr(0, keep);
}

std::u16string shownText(std::u16string_view text) {
    std::u16string shown;
    std::size_t used = 0; // units of text shown so far
    for (; used < text.size() && shown.size() <= kMaxShownTextLength; ++used) {
        const char16_t c = text[used];
        if (isBidiControl(c)) {
            static constexpr char16_t kDigits[] = u"0123456789ABCDEF";
            shown.append(u"\\u");
            for (int shift = 12; shift >= 0; shift -= 4) {
                shown.push_back(kDigits[(c >> shift) & 0xF]);
            }
        } else {
            shown.push_back(c);
        }
    }
    if (used == text.size() && shown.size() <= kMaxShownTextLength) {
        return shown;
    }
    shown.resize(cutText(shown, kMaxShownTextLength - 1).size());
    shown.push_back(kEllipsis);
    return shown;
}

bool shownAsStored(NodeText text) {
    // No bidirectional control is a unit up to U+00FF.
    const std::u16string_view units = text.isWide() ? text.wide() : std::u16string_view();
    return text.size() <= kMaxShownTextLength &&
           std::none_of(units.begin(), units.end(), [](char16_t c) { return isBidiControl(c); });
}

std::u16string decimalText(std::uint64_t n) {
    std::u16string digits;
    do {
        digits.insert(digits.begin(), static_cast<char16_t>(u'0' + n % 10));
        n /= 10;
    } while (n != 0);
    return digits;
}

std::u16string foldCaseFull(std::u16string_view text) {
    std::u16string out(text.size() * 3 + 1, u'\0');
    for (;;) {
        UErrorCode status = U_ZERO_ERROR;
        const int32_t length =
            u_strFoldCase(out.data(), static_cast<int32_t>(out.size()), text.data(),
                          static_cast<int32_t>(text.size()), U_FOLD_CASE_DEFAULT, &status);
        if (status == U_BUFFER_OVERFLOW_ERROR) {
            out.resize(static_cast<std::size_t>(length) + 1);
            continue;
        }
        if (U_FAILURE(status)) {
            return std::u16string(text);
        }
        out.resize(static_cast<std::size_t>(length));
        return out;
    }
}

bool equalsIgnoringCase(std::u16string_view a, std::u16string_view b) {
    return a == b || foldCaseFull(a) == foldCaseFull(b);
}

} // namespace zelvane
