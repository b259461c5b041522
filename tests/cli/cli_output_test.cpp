// The command line's escapes in each form (C1 controls, kept bytes of names that are not
// UTF-8, lone surrogates, text that turns the line around), and its checked writer.
#include "support/test_common.h"

#include "cli/cli_output.h"

namespace zelvane::cli {
namespace {

TEST(CliOutput, EscapesEachOddCharacterInEachForm) {
    // text, then as shown, in TSV ("=": as shown) and in JSON, unquoted ("=": as in TSV)
    const std::tuple<std::u16string, std::string, std::string, std::string> cases[] = {
        {u"plain.txt", "plain.txt", "=", "="},
        {u"q\"", "q\"", "=", "q\\\""},
        {u"t\tn\nr\r", "t\\x09n\\x0Ar\\x0D", "t\\tn\\nr\\r", "="},
        {u"\x1B]0;x\a", "\\x1B]0;x\\x07", "=", "\\u001B]0;x\\u0007"},
        {u"\x1F\x20\x7E\x7F", "\\x1F ~\\x7F", "=", "\\u001F ~\\u007F"},
        {u"\x80\x9F\xA0\xFF", "\\u0080\\u009F\u00A0\u00FF", "=", "="},
        {u"b\xDCE9", "b\\xE9", "=", "b\\uDCE9"},
        {std::u16string(u"\xD800x", 2), "\\uD800x", "=", "="},
        {u"\xDC7F\xDC80\xDCFF\xDD00", "\\uDC7F\\x80\\xFF\\uDD00", "=",
         "\\uDC7F\\uDC80\\uDCFF\\uDD00"},
        {u"\xDBFF", "\\uDBFF", "=", "="},
        {u"\xDFFF\xE000", "\\uDFFF\uE000", "=", "="},
        {u"\x061C\x200D\x200E\x200F", "\\u061C\u200D\\u200E\\u200F", "=", "="},
        {u"\x2027\x2028\x202E\x202F", "\u2027\\u2028\\u202E\u202F", "=", "="},
        {u"\x2065\x2066\x2069\x206A", "\u2065\\u2066\\u2069\u206A", "=", "="},
        {u"\u03A9 \u65E5\U0001F600\U00010000\U0010FFFF",
         "\u03A9 \u65E5\U0001F600\U00010000\U0010FFFF", "=", "="},
        {u"", "", "=", "="},
    };
    for (auto [text, display, tsv, json] : cases) {
        tsv = tsv == "=" ? display : tsv;
        json = '"' + (json == "=" ? tsv : json) + '"';
        // Each view ends where its text goes on, with a low surrogate that must not be read.
        const std::u16string padded = text + u"\xDC00";
        const std::u16string_view view(padded.data(), text.size());
        std::string out;
        for (const Escape form : {Escape::Display, Escape::Tsv, Escape::Json}) {
            appendEscaped(out, view, form);
            out += '|';
        }
        EXPECT_EQ(out, display + '|' + tsv + '|' + json + '|');
    }
}

TEST(CliOutputWriter, WritesWholeBlocksAndTellsAFailureOnce) {
    const int full = ::open("/dev/full", O_WRONLY | O_CLOEXEC);
    ASSERT_GE(full, 0);
    Output out(full);
    out.buffer() = std::string(1000, 'a');
    ::testing::internal::CaptureStderr();
    out.flushIfFull(); // under one block: kept, nothing written yet
    EXPECT_EQ(std::pair(out.buffer().size(), out.failed()), std::pair(std::size_t{1000}, false));
    out.buffer() += std::string(70000, 'b');
    out.flushIfFull();
    EXPECT_EQ(std::pair(out.buffer().size(), out.failed()), std::pair(std::size_t{0}, true));
    out.buffer().assign(1, 'y'); // not = "y": GCC 12 at -O3 warns of an overlapping copy
    EXPECT_FALSE(out.finish());
    EXPECT_EQ(::testing::internal::GetCapturedStderr(),
              "zelvane-cli: cannot write the output: No space left on device\n");
    ::close(full);
}

} // namespace
} // namespace zelvane::cli
