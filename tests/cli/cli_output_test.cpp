// The command line's escapes, rows in each path style, output options and checked writer.
#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <string>
#include <tuple>
#include <unistd.h>
#include <vector>

#include "cli/cli_output.h"
#include "document/snapshot_tree.h"

namespace zelvane::cli {
namespace {

struct EscapeCase {
    std::u16string text;
    std::string display;
    std::string tsv;
    std::string json;
};

TEST(CliOutput, EscapesEachOddCharacterInEachForm) {
    const std::vector<EscapeCase> cases = {
        {u"plain.txt", "plain.txt", "plain.txt", "\"plain.txt\""},
        {u"a\\b", "a\\b", "a\\\\b", "\"a\\\\b\""},
        {u"q\"", "q\"", "q\"", "\"q\\\"\""},
        {u"t\tn\nr\r", "t\\x09n\\x0Ar\\x0D", "t\\tn\\nr\\r", "\"t\\tn\\nr\\r\""},
        {u"\x1B]0;x\a", "\\x1B]0;x\\x07", "\\x1B]0;x\\x07", "\"\\u001B]0;x\\u0007\""},
        {u"\x1F\x20\x7E\x7F", "\\x1F ~\\x7F", "\\x1F ~\\x7F", "\"\\u001F ~\\u007F\""},
        // C1 controls and the edges of the range that is shown as it is.
        {u"\x80\x9F\xA0\xFF", "\\u0080\\u009F\u00A0\u00FF", "\\u0080\\u009F\u00A0\u00FF",
         "\"\\u0080\\u009F\u00A0\u00FF\""},
        // A byte kept from a name that is not UTF-8, and other lone surrogates.
        {u"b\xDCE9", "b\\xE9", "b\\xE9", "\"b\\uDCE9\""},
        {std::u16string(u"\xD800x", 2), "\\uD800x", "\\uD800x", "\"\\uD800x\""},
        {u"\xDC7F\xDC80\xDCFF\xDD00", "\\uDC7F\\x80\\xFF\\uDD00", "\\uDC7F\\x80\\xFF\\uDD00",
         "\"\\uDC7F\\uDC80\\uDCFF\\uDD00\""},
        {u"\xDBFF", "\\uDBFF", "\\uDBFF", "\"\\uDBFF\""},
        {u"\xDFFF\xE000", "\\uDFFF\uE000", "\\uDFFF\uE000", "\"\\uDFFF\uE000\""},
        // Text that turns what follows it around, or breaks the line.
        {u"\x061C\x200D\x200E\x200F", "\\u061C\u200D\\u200E\\u200F", "\\u061C\u200D\\u200E\\u200F",
         "\"\\u061C\u200D\\u200E\\u200F\""},
        {u"\x2027\x2028\x202E\x202F", "\u2027\\u2028\\u202E\u202F", "\u2027\\u2028\\u202E\u202F",
         "\"\u2027\\u2028\\u202E\u202F\""},
        {u"\x2065\x2066\x2069\x206A", "\u2065\\u2066\\u2069\u206A", "\u2065\\u2066\\u2069\u206A",
         "\"\u2065\\u2066\\u2069\u206A\""},
        {u"\u03A9 \u65E5\U0001F600", "\u03A9 \u65E5\U0001F600", "\u03A9 \u65E5\U0001F600",
         "\"\u03A9 \u65E5\U0001F600\""},
        {u"\U00010000\U0010FFFF", "\U00010000\U0010FFFF", "\U00010000\U0010FFFF",
         "\"\U00010000\U0010FFFF\""},
        {u"", "", "", "\"\""},
    };
    for (const EscapeCase& c : cases) {
        // Each view ends where its text goes on, with a low surrogate that must not be read.
        const std::u16string padded = c.text + u"\xDC00";
        const std::u16string_view view(padded.data(), c.text.size());
        std::string display, tsv, json;
        appendDisplay(display, view);
        appendTsvField(tsv, view);
        appendJsonString(json, view);
        EXPECT_EQ(display, c.display) << c.json;
        EXPECT_EQ(tsv, c.tsv) << c.json;
        EXPECT_EQ(json, c.json) << c.display;
    }
}

TEST(CliOutput, RawGivesBackTheFileSystemsBytes) {
    std::string raw;
    appendEscaped(raw, u"b\xDCE9\t\\\u03A9", Escape::Raw);
    EXPECT_EQ(raw, "b\xE9\t\\\xCE\xA9");
    EXPECT_EQ(displayArgument("evil\x1B]0;x\a\xFF.zelv"), "evil\\x1B]0;x\\x07\\xFF.zelv");
}

TEST(CliOutput, KindNames) {
    std::vector<std::string> names;
    for (const int kind : {-1, 0, 4, 6, 9, 11, 12}) {
        names.emplace_back(kindName(kind));
    }
    EXPECT_EQ(names, (std::vector<std::string>{"unknown", "snapshot-document", "cdrom-root",
                                               "folder", "drive-root", "shortcut", "unknown"}));
}

class CliRows : public ::testing::Test {
protected:
    NodeId add(NodeId parent, std::u16string_view text, int kind) {
        const NodeId id = tree.insertLast(parent, text);
        tree.setKind(id, kind);
        return id;
    }
    // path | name | whole path, in one style and escaping.
    std::string parts(NodeId node, PathStyle style, Escape escape = Escape::Display) {
        describeNode("s.zelv", tree, node, row);
        std::string out;
        appendPath(out, row, style, escape);
        out += '|';
        appendName(out, row, style, escape);
        out += '|';
        appendWholePath(out, row, style, escape);
        return out;
    }

    SnapshotTree tree;
    NodeRow row;
};

TEST_F(CliRows, PathsInBothStyles) {
    const NodeId disk = add(kTopLevel, u"Disk", 9);
    const NodeId docs = add(disk, u" Docs", 6);
    const NodeId inner = add(docs, u" in\\ner", 6);
    const NodeId file = add(inner, u" a\tb.txt", 5);
    const NodeId folderRoot = add(kTopLevel, u" odd", 6);
    const NodeId notFolder = add(folderRoot, u" x", 8);

    EXPECT_EQ(parts(disk, PathStyle::Native), "|Disk|Disk");
    EXPECT_EQ(parts(disk, PathStyle::Slash), "|Disk|Disk");
    EXPECT_EQ(parts(docs, PathStyle::Native), " Disk| Docs| Disk\\ Docs");
    EXPECT_EQ(parts(docs, PathStyle::Slash), "Disk|Docs|Disk/Docs");
    EXPECT_EQ(parts(file, PathStyle::Native),
              " Disk\\ Docs\\ in\\ner| a\\x09b.txt| Disk\\ Docs\\ in\\ner\\ a\\x09b.txt");
    EXPECT_EQ(parts(file, PathStyle::Slash), "Disk/Docs/in\\ner| a\\x09b.txt|Disk/Docs/in\\ner/ "
                                             "a\\x09b.txt");
    EXPECT_EQ(parts(file, PathStyle::Slash, Escape::Tsv),
              "Disk/Docs/in\\\\ner| a\\tb.txt|Disk/Docs/in\\\\ner/ a\\tb.txt");
    EXPECT_EQ(parts(file, PathStyle::Native, Escape::Json),
              "\" Disk\\\\ Docs\\\\ in\\\\ner\"|\" a\\tb.txt\"|\" Disk\\\\ Docs\\\\ "
              "in\\\\ner\\\\ a\\tb.txt\"");
    // Only a folder below a root loses its space; a root and a file keep theirs.
    EXPECT_EQ(parts(folderRoot, PathStyle::Slash), "| odd| odd");
    EXPECT_EQ(parts(notFolder, PathStyle::Slash), " odd| x| odd/ x");
    EXPECT_EQ(parts(inner, PathStyle::Slash, Escape::Raw), "Disk/Docs|in\\ner|Disk/Docs/in\\ner");
}

TEST_F(CliRows, TsvAndJsonRows) {
    const NodeId disk = add(kTopLevel, u"Disk", 9);
    const NodeId docs = add(disk, u" Docs", 6);
    const NodeId file = add(docs, u"b\xDCE9\n.mp3", 7);
    const NodeId odd = add(disk, u"x", 12);

    describeNode("a\tb.zelv", tree, file, row);
    std::string tsv;
    appendTsvFields(tsv, row, PathStyle::Native);
    EXPECT_EQ(tsv, "a\\tb.zelv\t Disk\\\\ Docs\tb\\xE9\\n.mp3\t7\tmedia-file");
    tsv.clear();
    appendTsvFields(tsv, row, PathStyle::Slash);
    EXPECT_EQ(tsv, "a\\tb.zelv\tDisk/Docs\tb\\xE9\\n.mp3\t7\tmedia-file");

    std::string json;
    appendJsonObject(json, row);
    EXPECT_EQ(json, "{\"file\":\"a\\tb.zelv\",\"path\":[\"Disk\",\" Docs\"],\"name\":"
                    "\"b\\uDCE9\\n.mp3\",\"kind\":7,\"kindName\":\"media-file\"}");
    json.clear();
    describeNode("f\xFF", tree, disk, row);
    appendJsonObject(json, row);
    EXPECT_EQ(json, "{\"file\":\"f\\uDCFF\",\"path\":[],\"name\":\"Disk\",\"kind\":9,"
                    "\"kindName\":\"drive-root\"}");
    json.clear();
    describeNode("f", tree, odd, row);
    appendJsonFields(json, row);
    EXPECT_EQ(json, "\"file\":\"f\",\"path\":[\"Disk\"],\"name\":\"x\",\"kind\":12,"
                    "\"kindName\":\"unknown\"");
}

struct OptionCase {
    std::vector<std::string_view> args;
    OptionParse result;
    std::size_t next; // where i stands afterwards
    Format format;
    PathStyle style;
    KindStyle kinds;
    bool null;
};

TEST(CliOutputOptions, ParsesEachOptionAndRefusesBadValues) {
    using enum OptionParse;
    const Format text = Format::Text;
    const PathStyle native = PathStyle::Native;
    const KindStyle numbers = KindStyle::Numbers;
    const std::vector<OptionCase> cases = {
        {{"x", "-0"}, Taken, 1, text, native, numbers, true},
        {{"x", "--null"}, Taken, 1, text, native, numbers, true},
        {{"x", "--format", "json"}, Taken, 2, Format::Json, native, numbers, false},
        {{"x", "--format", "tsv"}, Taken, 2, Format::Tsv, native, numbers, false},
        {{"x", "--format", "text"}, Taken, 2, text, native, numbers, false},
        {{"x", "--format", "csv"}, Bad, 2, text, native, numbers, false},
        {{"x", "--format"}, Bad, 1, text, native, numbers, false},
        {{"x", "--path-style", "slash"}, Taken, 2, text, PathStyle::Slash, numbers, false},
        {{"x", "--path-style", "native"}, Taken, 2, text, native, numbers, false},
        {{"x", "--path-style", "/"}, Bad, 2, text, native, numbers, false},
        {{"x", "--path-style"}, Bad, 1, text, native, numbers, false},
        {{"x", "--kinds", "names"}, Taken, 2, text, native, KindStyle::Names, false},
        {{"x", "--kinds", "numbers"}, Taken, 2, text, native, numbers, false},
        {{"x", "--kinds", "Names"}, Bad, 2, text, native, numbers, false},
        {{"x", "--kinds"}, Bad, 1, text, native, numbers, false},
        {{"x", "--whole", "json"}, NotMine, 1, text, native, numbers, false},
        {{"x", "-00"}, NotMine, 1, text, native, numbers, false},
    };
    for (const OptionCase& c : cases) {
        // Other values than the expected ones, so that each option is seen to set its own.
        OutputOptions options{c.format == Format::Tsv ? Format::Json : Format::Tsv,
                              c.style == PathStyle::Slash ? PathStyle::Native : PathStyle::Slash,
                              c.kinds == KindStyle::Names ? KindStyle::Numbers : KindStyle::Names,
                              false};
        const OutputOptions before = options;
        std::size_t i = 1;
        testing::internal::CaptureStderr();
        EXPECT_EQ(parseOutputOption("list", c.args, i, options), c.result) << c.args[1];
        const std::string err = testing::internal::GetCapturedStderr();
        EXPECT_EQ(i, c.next) << c.args[1];
        EXPECT_EQ(err.empty(), c.result != Bad) << c.args[1];
        const bool taken = c.result == Taken;
        EXPECT_EQ(std::tuple(options.format, options.pathStyle, options.kinds, options.null),
                  std::tuple(taken && c.args[1] == "--format" ? c.format : before.format,
                             taken && c.args[1] == "--path-style" ? c.style : before.pathStyle,
                             taken && c.args[1] == "--kinds" ? c.kinds : before.kinds,
                             taken ? c.null : before.null))
            << c.args[1];
        if (taken) {
            EXPECT_EQ(options.kindsShown, c.args[1] == "--kinds") << c.args[1];
        }
        // The same through the commands' wrapper, which refuses what is not an output option.
        i = 1;
        testing::internal::CaptureStderr();
        EXPECT_EQ(takeOutputOption("list", c.args, i, options), taken) << c.args[1];
        EXPECT_EQ(testing::internal::GetCapturedStderr().empty(), taken) << c.args[1];
    }
}

TEST(CliOutputOptions, NullGoesWithTextOnly) {
    testing::internal::CaptureStderr();
    EXPECT_TRUE(checkOutputOptions("search", {Format::Text, PathStyle::Slash, {}, true}));
    EXPECT_TRUE(checkOutputOptions("search", {Format::Json, PathStyle::Slash, {}, false}));
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    for (const Format format : {Format::Tsv, Format::Json}) {
        testing::internal::CaptureStderr();
        EXPECT_FALSE(checkOutputOptions("search", {format, PathStyle::Native, {}, true}));
        EXPECT_NE(testing::internal::GetCapturedStderr(), "");
    }
}

TEST(CliOutputWriter, WritesEverythingAndTellsAFailureOnce) {
    // A file, not a pipe: the test reads only after everything is written.
    FILE* file = std::tmpfile();
    ASSERT_NE(file, nullptr);
    {
        Output out(::fileno(file));
        out.buffer() = std::string(1000, 'a');
        out.flushIfFull(); // under one block: kept
        EXPECT_EQ(out.buffer().size(), 1000u);
        out.buffer() += std::string(70000, 'b');
        out.flushIfFull();
        EXPECT_TRUE(out.buffer().empty());
        out.buffer() += "end";
        EXPECT_TRUE(out.finish());
        EXPECT_FALSE(out.failed());
    }
    std::string got(80000, '\0');
    std::rewind(file);
    got.resize(std::fread(got.data(), 1, got.size(), file));
    std::fclose(file);
    EXPECT_EQ(got, std::string(1000, 'a') + std::string(70000, 'b') + "end");

    const int full = ::open("/dev/full", O_WRONLY | O_CLOEXEC);
    if (full >= 0) {
        Output out(full);
        out.buffer() = "x";
        testing::internal::CaptureStderr();
        EXPECT_FALSE(out.finish());
        out.buffer() = "y";
        EXPECT_FALSE(out.finish());
        const std::string err = testing::internal::GetCapturedStderr();
        EXPECT_EQ(err, "zelvane-cli: cannot write the output: No space left on device\n");
        EXPECT_TRUE(out.failed());
        ::close(full);
    }

    // A reader that went away: no message.
    int fds[2];
    ASSERT_EQ(::pipe(fds), 0);
    ::close(fds[0]);
    const auto previous = std::signal(SIGPIPE, SIG_IGN);
    Output gone(fds[1]);
    gone.buffer() = "x";
    testing::internal::CaptureStderr();
    EXPECT_FALSE(gone.finish());
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    std::signal(SIGPIPE, previous);
    ::close(fds[1]);
}

} // namespace
} // namespace zelvane::cli
