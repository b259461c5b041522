// Conversions between the UTF-16 text the program works in and the byte strings of the
// file system and the terminal.
//
// File names on this platform are bytes, usually UTF-8 but not always. utf8ToUtf16 is
// lossless: every byte that is not part of a valid UTF-8 sequence becomes the lone
// surrogate U+DC00 + byte (U+DC80 to U+DCFF), and utf16ToUtf8 turns those back into the
// original bytes, so any name survives the round trip through the snapshot.
#pragma once

#include <string>
#include <string_view>

#include "text/text.h"

namespace zelvane {

std::u16string utf8ToUtf16(std::string_view bytes);
// utf8ToUtf16 into out, whose room is reused from name to name: ASCII bytes directly,
// anything else through the lossless conversion.
void widen(std::string_view bytes, std::u16string& out);
// Inverse of utf8ToUtf16. Lone surrogates other than U+DC80..U+DCFF become U+FFFD.
// Either form of a NodeText, without widening the one-byte form.
std::string utf16ToUtf8(NodeText text);
// The same, appended to out.
void appendAsUtf8(std::string& out, NodeText text);
// Appends the code point as UTF-8.
inline void appendUtf8(std::string& out, char32_t cp) {
    if (cp < 0x80) {
        out.push_back(static_cast<char>(cp));
        return;
    }
    char bytes[4];
    std::size_t n = 0;
    if (cp < 0x800) {
        bytes[n++] = static_cast<char>(0xC0 | (cp >> 6));
    } else {
        if (cp < 0x10000) {
            bytes[n++] = static_cast<char>(0xE0 | (cp >> 12));
        } else {
            bytes[n++] = static_cast<char>(0xF0 | (cp >> 18));
            bytes[n++] = static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        }
        bytes[n++] = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    }
    bytes[n++] = static_cast<char>(0x80 | (cp & 0x3F));
    out.append(bytes, n);
}
// Appends prefix and value in upper-case hexadecimal, digits long.
void appendHex(std::string& out, std::string_view prefix, unsigned value, int digits);

// Walks text as code points: visit(code point, lone), a lone surrogate coming as itself
// with lone set.
template <class Visit> void forEachCodePoint(std::u16string_view text, Visit visit) {
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char16_t u = text[i];
        if (isHighSurrogate(u) && i + 1 < text.size() && isLowSurrogate(text[i + 1])) {
            visit(0x10000 + ((char32_t(u) - 0xD800) << 10) + (char32_t(text[i + 1]) - 0xDC00),
                  false);
            ++i;
        } else {
            visit(char32_t(u), isHighSurrogate(u) || isLowSurrogate(u));
        }
    }
}

} // namespace zelvane
