#include "text/text.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>

namespace zelvane {
namespace {

TEST(Text, FoldingChangesOnlyTheAsciiLetters) {
    // The letters at both ends of each range and their neighbours outside it.
    const std::u16string in = u"azAZ@[`{\u00E9\u00C9\uFF41", upper = u"AZAZ@[`{\u00E9\u00C9\uFF41",
                         lower = u"azaz@[`{\u00E9\u00C9\uFF41";
    for (std::size_t i = 0; i < in.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(asciiUpper(in[i]), upper[i]);
        EXPECT_EQ(asciiLower(in[i]), lower[i]);
    }
    EXPECT_EQ(foldAsciiUpper(in), upper);
    EXPECT_EQ(foldAsciiUpper(u""), u"");
}

TEST(Text, CutKeepsWholeCharacters) {
    const std::u16string pairAt3 = u"abc\U0001F3B5"; // the pair takes units 3 and 4
    struct Case {
        std::u16string text;
        std::size_t capacity;
        std::u16string kept;
    };
    const Case cases[] = {
        {u"abcdef", 6, u"abcdef"},
        {u"abcdef", 7, u"abcdef"},
        {u"abcdef", 5, u"abcde"},
        {u"abc", 0, u""},
        {pairAt3, 5, pairAt3},
        {pairAt3, 4, u"abc"}, // the cut would split the pair: it goes whole
        {pairAt3, 3, u"abc"},
        {u"\U0001F3B5", 1, u""},
        {u"ab\xD800x", 3, u"ab\xD800"},      // a lone high surrogate is an ordinary unit
        {u"ab\xDC00\xDC00", 3, u"ab\xDC00"}, // two low surrogates are no pair
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.capacity);
        EXPECT_EQ(cutText(c.text, c.capacity), c.kept);
    }
    // A view that fits is kept whole, even when the text it was taken from goes on with the
    // second half of a pair.
    const std::u16string longer = u"ab\U0001F3B5";
    EXPECT_EQ(cutText(std::u16string_view(longer).substr(0, 3), 3), u"ab\xD83C");
}

TEST(Text, DecimalText) {
    const std::pair<std::uint64_t, std::u16string> cases[] = {
        {0, u"0"},
        {7, u"7"},
        {10, u"10"},
        {4294967296u, u"4294967296"},
        {std::numeric_limits<std::uint64_t>::max(), u"18446744073709551615"},
    };
    for (const auto& [n, digits] : cases) {
        EXPECT_EQ(decimalText(n), digits);
    }
}

TEST(ShownText, KeepsATextOf1023UnitsAndCutsALongerOneWithAnEllipsis) {
    const std::u16string a1023(1023, u'a');
    const std::u16string a1022(1022, u'a');
    const std::u16string a1021(1021, u'a');
    const std::u16string pair = u"\U0001F3B5";
    struct Case {
        std::u16string text;
        std::u16string shown;
    };
    const Case cases[] = {
        {a1023, a1023},
        {a1023 + u"b", a1022 + u"\u2026"},
        {std::u16string(1 << 20, u'x'), std::u16string(1022, u'x') + u"\u2026"},
        // A pair that the cut would split goes whole.
        {a1021 + pair + u"tail", a1021 + u"\u2026"},
        {a1022 + pair, a1022 + u"\u2026"},
        {a1021 + pair, a1021 + pair}, // 1023 units: whole
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text.size());
        EXPECT_EQ(shownText(c.text), c.shown);
    }
}

} // namespace
} // namespace zelvane
