#include "text/text.h"

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
    if (text.size() <= kMaxShownTextLength) {
        return std::u16string(text);
    }
    std::u16string shown(cutText(text, kMaxShownTextLength - 1));
    shown.push_back(kEllipsis);
    return shown;
}

std::u16string decimalText(std::uint64_t n) {
    std::u16string digits;
    do {
        digits.insert(digits.begin(), static_cast<char16_t>(u'0' + n % 10));
        n /= 10;
    } while (n != 0);
    return digits;
}

} // namespace zelvane
