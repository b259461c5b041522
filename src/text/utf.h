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

namespace zelvane {

std::u16string utf8ToUtf16(std::string_view bytes);
// Inverse of utf8ToUtf16. Lone surrogates other than U+DC80..U+DCFF become U+FFFD.
std::string utf16ToUtf8(std::u16string_view text);
// For printing: valid text as UTF-8, everything that could confuse a terminal escaped:
// control characters as \xNN, bytes kept from invalid names as \xNN, other lone
// surrogates as \uXXXX, and the backslash itself as \\.
std::string utf16ToDisplay(std::u16string_view text);

} // namespace zelvane
