#include "text/text.h"

#include "support/test_common.h"

#include "text/utf.h"

namespace zelvane {
namespace {

TEST(Text, FoldingChangesOnlyTheAsciiLettersAndDecimalTextIsTheStandardLibrarys) {
    const std::u16string in = u"azAZ@[`{\u00E9\u00C9\uFF41", upper = u"AZAZ@[`{\u00E9\u00C9\uFF41",
                         lower = u"azaz@[`{\u00E9\u00C9\uFF41";
    for (std::size_t i = 0; i < in.size(); ++i) {
        EXPECT_TRUE(asciiUpper(in[i]) == upper[i] && asciiLower(in[i]) == lower[i]) << i;
    }
    EXPECT_EQ(foldAsciiUpper(in), upper);
    std::mt19937_64 random(5);
    for (std::uint64_t n : {std::uint64_t{0}, std::uint64_t{10}, ~std::uint64_t{0}, random()}) {
        for (int shift = 0; shift < 64; shift += 7) {
            const std::string digits = std::to_string(n >> shift);
            EXPECT_EQ(decimalText(n >> shift), std::u16string(digits.begin(), digits.end()));
        }
    }
}

// Cut to a capacity, or shown in at most 1023 units: neither splits a surrogate pair.
TEST(Text, CutAndShownTextsKeepWholeCharacters) {
    const std::u16string pairAt3 = u"abc\U0001F3B5", a1021(1021, u'a'), a1022(1022, u'a');
    const auto cut = [](std::u16string_view text, std::size_t capacity) {
        return std::u16string(cutText(text, capacity)) + u"|";
    };
    EXPECT_EQ(cut(u"abcdef", 6) + cut(u"abcdef", 5) + cut(u"abc", 0) + cut(pairAt3, 5) +
                  cut(pairAt3, 4) + cut(u"\U0001F3B5", 1) + cut(u"ab\xD800x", 3) +
                  cut(u"ab\xDC00\xDC00", 3), // no pairs to keep together in the last two
              u"abcdef|abcde||" + pairAt3 + u"|abc||ab\xD800|ab\xDC00|");
    // A view that fits is kept whole, even when its text goes on with the pair's second half.
    EXPECT_EQ(cutText(std::u16string_view(pairAt3).substr(0, 4), 4), u"abc\xD83C");
    const auto shown = [](const std::u16string& text) {
        return std::u16string(shownText(text)) + u"|";
    };
    EXPECT_EQ(shown(a1022 + u"a") + shown(a1022 + u"ab") + shown(a1021 + u"\U0001F3B5") +
                  shown(a1021 + u"\U0001F3B5tail"),
              a1022 + u"a|" + a1022 + u"\u2026|" + a1021 + u"\U0001F3B5|" + a1021 + u"\u2026|");
}

// Valid: the ends of each length. Invalid, each byte kept as U+DC00 + byte: overlong in 2, 3
// and 4 bytes, an encoded surrogate, above U+10FFFF, cut at the end, a bad continuation byte.
TEST(Utf, Utf8DecodesEveryByteStringRoundTripsAndLoneSurrogatesAreReplaced) {
    const std::pair<std::string, std::u16string> cases[] = {
        {"\x7F\xC2\x80\xDF\xBF\xE0\xA0\x80\xEF\xBF\xBF\xED\x9F\xBF\xEE\x80\x80\xF0\x90\x80\x80\xF4"
         "\x8F\xBF\xBF",
         u"\x7F\u0080\u07FF\u0800\uFFFF\uD7FF\uE000\U00010000\U0010FFFF"},
        {std::string("a\0b", 3), std::u16string(u"a\0b", 3)},
        {"a\x80z\xC0\xAF\xE0\x9F\xBF\xF0\x8F\xBF\xBF\xED\xA0\x80\xF4\x90\x80\x80\xC3("
         "\xF8\x88\xFF\xE4\xB8",
         u"a\xDC80z\xDCC0\xDCAF\xDCE0\xDC9F\xDCBF\xDCF0\xDC8F\xDCBF\xDCBF\xDCED\xDCA0\xDC80\xDCF4"
         u"\xDC90"
         u"\xDC80\xDC80\xDCC3(\xDCF8\xDC88\xDCFF\xDCE4\xDCB8"}};
    for (const auto& [bytes, text] : cases) {
        EXPECT_EQ(std::pair(utf8ToUtf16(bytes), utf16ToUtf8(text)), std::pair(text, bytes));
    }
    // Lone surrogates outside the range of kept bytes become replacement characters.
    EXPECT_EQ(utf16ToUtf8(u"\xD800|\xDBFFx|\xD800\xD800|\xDC7F|\xDD00|\xDFFF"),
              "\uFFFD|\uFFFDx|\uFFFD\uFFFD|\uFFFD|\uFFFD|\uFFFD");
    // A text held one byte a unit converts as its UTF-16 twin does.
    EXPECT_EQ(utf16ToUtf8(NodeText::narrowForm("a\x7F\x80\xE9\xFF")), "a\x7F\u0080\u00E9\u00FF");
}

} // namespace
} // namespace zelvane
