#include "text/text.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <string>

#include "text/utf.h"

namespace zelvane {
namespace {

TEST(Text, FoldingChangesOnlyTheAsciiLetters) {
    // The letters at both ends of each range and their neighbours outside it.
    const std::u16string in = u"azAZ@[`{\u00E9\u00C9\uFF41", upper = u"AZAZ@[`{\u00E9\u00C9\uFF41",
                         lower = u"azaz@[`{\u00E9\u00C9\uFF41";
    for (std::size_t i = 0; i < in.size(); ++i) {
        EXPECT_TRUE(asciiUpper(in[i]) == upper[i] && asciiLower(in[i]) == lower[i]) << i;
    }
    EXPECT_EQ(foldAsciiUpper(in), upper);
}

// Cut to a capacity, and shown in at most 1023 units: neither splits a surrogate pair.
TEST(Text, CutAndShownTextsKeepWholeCharacters) {
    const std::u16string pairAt3 = u"abc\U0001F3B5", a1021(1021, u'a'), a1022(1022, u'a');
    const struct {
        std::u16string text;
        std::size_t capacity;
        std::u16string kept;
    } cuts[] = {
        {u"abcdef", 6, u"abcdef"},
        {u"abcdef", 5, u"abcde"},
        {u"abc", 0, u""},
        {pairAt3, 5, pairAt3},
        {pairAt3, 4, u"abc"},
        {u"\U0001F3B5", 1, u""},
        {u"ab\xD800x", 3, u"ab\xD800"},
        {u"ab\xDC00\xDC00", 3, u"ab\xDC00"}, // no pairs
    };
    for (const auto& c : cuts) {
        EXPECT_EQ(cutText(c.text, c.capacity), c.kept) << c.capacity;
    }
    // A view that fits is kept whole, even when its text goes on with the pair's second half.
    EXPECT_EQ(cutText(std::u16string_view(pairAt3).substr(0, 4), 4), u"abc\xD83C");
    const std::pair<std::u16string, std::u16string> shown[] = {
        {a1022 + u"a", a1022 + u"a"},
        {a1022 + u"ab", a1022 + u"\u2026"},
        {a1021 + u"\U0001F3B5", a1021 + u"\U0001F3B5"},
        {a1021 + u"\U0001F3B5tail", a1021 + u"\u2026"},
    };
    for (const auto& [text, kept] : shown) {
        EXPECT_EQ(shownText(text), kept) << text.size();
    }
}

TEST(Text, DecimalTextAsTheStandardLibraryWritesNumbers) {
    std::mt19937_64 random(5);
    for (std::uint64_t n : {std::uint64_t{0}, std::uint64_t{10}, ~std::uint64_t{0}, random()}) {
        for (int shift = 0; shift < 64; shift += 7) {
            const std::string digits = std::to_string(n >> shift);
            EXPECT_EQ(decimalText(n >> shift), std::u16string(digits.begin(), digits.end()));
        }
    }
}

TEST(Utf, Utf8DecodesEveryByteStringRoundTripsAndLoneSurrogatesAreReplaced) {
    const std::pair<std::string, std::u16string> cases[] = {
        // Valid: the ends of each sequence length.
        {"\x7F", u"\x7F"},
        {"\xC2\x80\xDF\xBF", u"\u0080\u07FF"},
        {"\xE0\xA0\x80\xEF\xBF\xBF", u"\u0800\uFFFF"},
        {"\xED\x9F\xBF\xEE\x80\x80", u"\uD7FF\uE000"},
        {"\xF0\x90\x80\x80\xF4\x8F\xBF\xBF", u"\U00010000\U0010FFFF"},
        {std::string("a\0b", 3), std::u16string(u"a\0b", 3)},
        // Invalid: each byte is kept as U+DC00 + byte.
        {"a\x80z", u"a\xDC80z"},
        {"\xC0\xAF", u"\xDCC0\xDCAF"},                     // overlong 2 bytes
        {"\xE0\x9F\xBF", u"\xDCE0\xDC9F\xDCBF"},           // overlong 3 bytes
        {"\xF0\x8F\xBF\xBF", u"\xDCF0\xDC8F\xDCBF\xDCBF"}, // overlong 4 bytes
        {"\xED\xA0\x80", u"\xDCED\xDCA0\xDC80"},           // an encoded surrogate
        {"\xF4\x90\x80\x80", u"\xDCF4\xDC90\xDC80\xDC80"}, // above U+10FFFF
        {"\xE4\xB8", u"\xDCE4\xDCB8"},                     // cut at the end
        {"\xC3(", u"\xDCC3("},                             // bad continuation byte
        {"\xF8\x88\xFF", u"\xDCF8\xDC88\xDCFF"},
    };
    for (const auto& [bytes, text] : cases) {
        EXPECT_EQ(utf8ToUtf16(bytes), text) << bytes;
        EXPECT_EQ(utf16ToUtf8(text), bytes) << bytes;
    }
    // Lone surrogates outside the range of kept bytes become replacement characters.
    EXPECT_EQ(utf16ToUtf8(u"\xD800|\xDBFFx|\xD800\xD800|\xDC7F|\xDD00|\xDFFF"),
              "\uFFFD|\uFFFDx|\uFFFD\uFFFD|\uFFFD|\uFFFD|\uFFFD");
}

} // namespace
} // namespace zelvane
