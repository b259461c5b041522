#include <gtest/gtest.h>

#include "text/text.h"

namespace zelvane {
namespace {

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
        {u"", u""},
        {u" folder", u" folder"},
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
