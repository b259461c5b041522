#include "text/utf.h"

#include <gtest/gtest.h>

namespace zelvane {
namespace {

TEST(Utf, Utf8DecodesEveryByteStringRoundTripsAndLoneSurrogatesAreReplaced) {
    struct Case {
        std::string bytes;
        std::u16string text;
    };
    const Case cases[] = {
        // Valid: the ends of each sequence length.
        {"\x7F", u"\x7F"},
        {"\xC2\x80", u"\u0080"},
        {"\xDF\xBF", u"\u07FF"},
        {"\xE0\xA0\x80", u"\u0800"},
        {"\xEF\xBF\xBF", u"\uFFFF"},
        {"\xED\x9F\xBF", u"\uD7FF"},
        {"\xEE\x80\x80", u"\uE000"},
        {"\xF0\x90\x80\x80", u"\U00010000"},
        {"\xF4\x8F\xBF\xBF", u"\U0010FFFF"},
        {"caf\xC3\xA9 \xE4\xB8\xAD", u"caf\u00E9 \u4E2D"},
        // Invalid: each byte is kept as U+DC00 + byte.
        {"a\x80z", u"a\xDC80z"},
        {"\xC0\xAF", u"\xDCC0\xDCAF"},                     // overlong 2 bytes
        {"\xE0\x9F\xBF", u"\xDCE0\xDC9F\xDCBF"},           // overlong 3 bytes
        {"\xF0\x8F\xBF\xBF", u"\xDCF0\xDC8F\xDCBF\xDCBF"}, // overlong 4 bytes
        {"\xED\xA0\x80", u"\xDCED\xDCA0\xDC80"},           // an encoded surrogate
        {"\xED\xBF\xBF", u"\xDCED\xDCBF\xDCBF"},
        {"\xF4\x90\x80\x80", u"\xDCF4\xDC90\xDC80\xDC80"}, // above U+10FFFF
        {"\xE4\xB8", u"\xDCE4\xDCB8"},                     // cut at the end
        {"\xC3(", u"\xDCC3("},                             // bad continuation byte
        {"\xF8\x88\x80\x80\x80", u"\xDCF8\xDC88\xDC80\xDC80\xDC80"},
        {"\xFF\xFE", u"\xDCFF\xDCFE"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.bytes);
        EXPECT_EQ(utf8ToUtf16(c.bytes), c.text);
        EXPECT_EQ(utf16ToUtf8(c.text), c.bytes);
    }
    EXPECT_EQ(utf8ToUtf16(""), u"");
    EXPECT_EQ(utf8ToUtf16(std::string("a\0b", 3)), std::u16string(u"a\0b", 3));
    // Lone surrogates outside the range of kept bytes become replacement characters.
    EXPECT_EQ(utf16ToUtf8(u"\xD800|\xDBFFx|\xD800\xD800|\xDC7F|\xDD00|\xDFFF"),
              "\uFFFD|\uFFFDx|\uFFFD\uFFFD|\uFFFD|\uFFFD|\uFFFD");
}

} // namespace
} // namespace zelvane
