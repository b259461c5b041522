#include "text/utf.h"

#include <cstdint>

#include "text/text.h"

namespace zelvane {

namespace {

constexpr char16_t kEscapeBase = 0xDC00; // U+DC80..U+DCFF carry the bytes 0x80..0xFF

// Length of the valid UTF-8 sequence starting at s[i], or 0 when it is not valid
// (overlong forms, surrogates and values above U+10FFFF are not valid).
std::size_t validSequence(std::string_view s, std::size_t i, char32_t& cp) {
    const auto b0 = static_cast<unsigned char>(s[i]);
    std::size_t len;
    char32_t min;
    if (b0 < 0x80) {
        cp = b0;
        return 1;
    } else if ((b0 & 0xE0) == 0xC0) {
        len = 2;
        cp = b0 & 0x1F;
        min = 0x80;
    } else if ((b0 & 0xF0) == 0xE0) {
        len = 3;
        cp = b0 & 0x0F;
        min = 0x800;
    } else if ((b0 & 0xF8) == 0xF0) {
        len = 4;
        cp = b0 & 0x07;
        min = 0x10000;
    } else {
        return 0;
    }
    if (i + len > s.size()) {
        return 0;
    }
    for (std::size_t k = 1; k < len; ++k) {
        const auto b = static_cast<unsigned char>(s[i + k]);
        if ((b & 0xC0) != 0x80) {
            return 0;
        }
        cp = (cp << 6) | (b & 0x3F);
    }
    if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
        return 0;
    }
    return len;
}

} // namespace

void appendHex(std::string& out, std::string_view prefix, unsigned value, int digits) {
    static const char kHex[] = "0123456789ABCDEF";
    out.append(prefix);
    for (int shift = (digits - 1) * 4; shift >= 0; shift -= 4) {
        out.push_back(kHex[(value >> shift) & 0xF]);
    }
}

void widen(std::string_view bytes, std::u16string& out) {
    out.resize(bytes.size());
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        const auto byte = static_cast<unsigned char>(bytes[i]);
        if (byte >= 0x80) {
            out = utf8ToUtf16(bytes);
            return;
        }
        out[i] = byte;
    }
}

std::u16string utf8ToUtf16(std::string_view bytes) {
    std::u16string out;
    out.reserve(bytes.size());
    std::size_t i = 0;
    while (i < bytes.size()) {
        char32_t cp = 0;
        const std::size_t len = validSequence(bytes, i, cp);
        if (len == 0) {
            out.push_back(
                static_cast<char16_t>(kEscapeBase + static_cast<unsigned char>(bytes[i])));
            ++i;
            continue;
        }
        if (cp < 0x10000) {
            out.push_back(static_cast<char16_t>(cp));
        } else {
            cp -= 0x10000;
            out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
            out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
        }
        i += len;
    }
    return out;
}

std::string utf16ToUtf8(NodeText stored) {
    std::string out;
    out.reserve(stored.size());
    appendAsUtf8(out, stored);
    return out;
}

void appendAsUtf8(std::string& out, NodeText stored) {
    if (!stored.isWide()) {
        // One byte a unit: ASCII as it is, U+0080 to U+00FF in two bytes.
        for (const char c : stored.narrow()) {
            const auto u = static_cast<unsigned char>(c);
            if (u < 0x80) {
                out.push_back(c);
            } else {
                out.push_back(static_cast<char>(0xC0 | (u >> 6)));
                out.push_back(static_cast<char>(0x80 | (u & 0x3F)));
            }
        }
        return;
    }
    const std::u16string_view text = stored.wide();
    forEachCodePoint(text, [&](char32_t cp, bool lone) {
        if (!lone) {
            appendUtf8(out, cp);
        } else if (cp >= 0xDC80 && cp <= 0xDCFF) {
            out.push_back(static_cast<char>(cp & 0xFF));
        } else {
            appendUtf8(out, 0xFFFD);
        }
    });
}

} // namespace zelvane
