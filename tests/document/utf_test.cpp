#include "text/utf.h"

#include <gtest/gtest.h>

namespace zelvane {
namespace {

TEST(Utf, ValidUtf8RoundTrips) {
    const std::string text = "plain \xC3\xA9t\xC3\xA9 \xE4\xB8\xAD \xF0\x9F\x8E\xB5";
    const std::u16string wide = utf8ToUtf16(text);
    EXPECT_EQ(wide, u"plain \u00E9t\u00E9 \u4E2D \U0001F3B5");
    EXPECT_EQ(utf16ToUtf8(wide), text);
}

TEST(Utf, InvalidBytesArePreservedAsDistinctUnits) {
    // A stray continuation byte, a cut sequence, an overlong slash, an encoded surrogate.
    const std::string names[] = {"a\x80z", "cut\xE4\xB8", "\xC0\xAF", "\xED\xB2\x80", "\xFF\xFE"};
    for (const std::string& name : names) {
        const std::u16string wide = utf8ToUtf16(name);
        EXPECT_EQ(utf16ToUtf8(wide), name);
    }
    EXPECT_EQ(utf8ToUtf16("a\x80z"), u"a\xDC80z");
    // Two different invalid names stay different.
    EXPECT_NE(utf8ToUtf16("\x80"), utf8ToUtf16("\x81"));
}

TEST(Utf, DisplayEscapesWhatATerminalWouldMisread) {
    EXPECT_EQ(utf16ToDisplay(u"a\tb\x1B[2J"), "a\\x09b\\x1B[2J");
    EXPECT_EQ(utf16ToDisplay(utf8ToUtf16("bad\xFF")), "bad\\xFF");
    EXPECT_EQ(utf16ToDisplay(u"\xD800x"), "\\uD800x");
    EXPECT_EQ(utf16ToDisplay(u"C:\\dir"), "C:\\\\dir");
    EXPECT_EQ(utf16ToDisplay(u"\u03A9.mp3"), "\xCE\xA9.mp3");
    // Other lone surrogates are replaced when converted for the file system.
    EXPECT_EQ(utf16ToUtf8(u"\xD800"), "\xEF\xBF\xBD");
}

TEST(Utf, FoldingTouchesOnlyAsciiLetters) {
    EXPECT_EQ(foldAsciiUpper(u"autorun.inf \u00E9\u00FF"), u"AUTORUN.INF \u00E9\u00FF");
    EXPECT_EQ(foldAsciiLower(u"ABC\u00C9z"), u"abc\u00C9z");
}

} // namespace
} // namespace zelvane
