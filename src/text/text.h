// Small text helpers that every layer shares: ASCII case folding, cutting a text to a
// buffer's capacity without splitting a character, numbers as text, and the captions of
// the message boxes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "text/stored_text.h"

namespace zelvane {

// The fixed captions of the message boxes.
inline constexpr std::u16string_view kInformationCaption = u"Information";
inline constexpr std::u16string_view kWarningCaption = u"Warning";
inline constexpr std::u16string_view kErrorCaption = u"Error";
inline constexpr std::u16string_view kIoErrorCaption = u"I/O ERROR";

// Only a to z (A to Z) change; every other unit stays as it is.
constexpr char16_t asciiUpper(char16_t c) {
    return c >= u'a' && c <= u'z' ? static_cast<char16_t>(c - u'a' + u'A') : c;
}
constexpr char16_t asciiLower(char16_t c) {
    return c >= u'A' && c <= u'Z' ? static_cast<char16_t>(c - u'A' + u'a') : c;
}
std::u16string foldAsciiUpper(std::u16string_view text);

constexpr bool isHighSurrogate(char16_t c) {
    return c >= 0xD800 && c <= 0xDBFF;
}
constexpr bool isLowSurrogate(char16_t c) {
    return c >= 0xDC00 && c <= 0xDFFF;
}

// What a buffer of capacity units keeps of text: its first capacity units, one fewer when
// the cut would split a surrogate pair (the whole character goes). Every field that reads
// into a fixed buffer cuts with this one rule.
std::u16string_view cutText(std::u16string_view text, std::size_t capacity);

// The controls of bidirectional text (LRM, RLM, ALM, the embeddings, overrides and
// isolates): shown as they are, they reorder what follows them, so that "holiday\u202Egpj.exe"
// reads as an .jpg. Every place that shows a stored text to people writes them as \uXXXX.
constexpr bool isBidiControl(char32_t c) {
    return c == 0x061C || c == 0x200E || c == 0x200F || (c >= 0x202A && c <= 0x202E) ||
           (c >= 0x2066 && c <= 0x2069);
}

// Windows show at most this many units of a node's text (the 1023 a node text is handled
// with); the stored text itself stays whole.
inline constexpr std::size_t kMaxShownTextLength = 1023;
inline constexpr char16_t kEllipsis = u'\u2026';
// What a window shows of a text: the text itself when it is no longer than
// kMaxShownTextLength, otherwise its first units, cut by cutText, and an ellipsis, no more
// than kMaxShownTextLength units in all. Painting a name of a megabyte would freeze the
// window. Bidirectional controls are written as \uXXXX (the stored text keeps them).
std::u16string shownText(std::u16string_view text);
// Whether shownText(text) is text itself.
bool shownAsStored(NodeText text);

// The decimal digits of n.
std::u16string decimalText(std::uint64_t n);

// Full Unicode case folding (CaseFolding.txt, default mappings); lone surrogates stay.
std::u16string foldCaseFull(std::u16string_view text);
// a and b are equal once both are folded so.
bool equalsIgnoringCase(std::u16string_view a, std::u16string_view b);

} // namespace zelvane
