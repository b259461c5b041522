#include "capture/capture_summary.h"
#include "capture/classification.h"

#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "document/snapshot_tree.h"
#include "text/utf.h"

namespace zelvane {
namespace {

TEST(Classification, KindOfAFileNameAsTheScannerSplitsIt) {
    const std::pair<int, std::vector<std::u16string_view>> cases[] = {
        {kKindAutorun, {u"autorun.inf", u"AutoRun.INF"}},
        {kKindDocument,
         {u"x.autorun.inf", u"autorun.inf.txt", u"autorunx.inf", u"autorun.ini", u".inf", u"a.doc",
          u"x.c", u"x.htm", u"app.Manifest"}}, // .MANIFEST: the longest extension
        {kKindSnapshotDocument, {u"a.zelv", u"A.ZeLv"}},
        {kKindShortcut, {u"x.lnk", u"x.URL"}},
        {kKindSystem, {u"a.dll", u"a.Fnt"}},
        {kKindProgram, {u"a.exe", u"a.pif", u"averyveryverylongbasename.exe"}},
        {kKindArchive, {u"a.rar", u"archive.tar.GZ", u"a.7z", u"a.bz2"}},
        {kKindMedia, {u"a.mp2", u"a.JPEG", u"a.ani"}},
        {kKindOther,
         {u"autorun", u"x.cc", u"x.htmlx", u"app.manifests", u"README", u"", u"trailing.",
          u".hidden", u"x.\u0131nf", u"x.\u00e9xe", u"x.\u0145xe",
          u"x.abcdefghijklmnop"}}, // only a-z fold
    };
    for (const auto& [kind, names] : cases) {
        for (const std::u16string_view name : names) {
            const NameParts parts = splitExtension(name);
            EXPECT_EQ(classifyFile(parts.base, parts.extension), kind) << utf16ToUtf8(name);
        }
    }
}

TEST(Classification, FilterIsStarOrTheExactExtension) {
    const struct {
        std::u16string_view filter, extension;
        bool passes;
    } cases[] = {{u"*", u"", true},    {u"txt", u".txt", true}, {u"txt", u".TXT", false},
                 {u"txt", u"", false}, {u"tx", u".txt", false}, {u"*.txt", u".txt", false},
                 {u"", u"", false},    {u"", u".", true},       {u".txt", u".txt", false}};
    for (const auto& c : cases) {
        EXPECT_EQ(passesFilter(c.filter, c.extension), c.passes) << utf16ToUtf8(c.extension);
    }
}

// The summary without the note is the Add Tree command's test.
TEST(CaptureSummary, SizesAreGroupedInThreesAndCountsPrintedUnsigned) {
    for (const auto& [size, text] : {std::pair<std::uint64_t, const char*>{999, "999"},
                                     {1000, "1 000"},
                                     {999999, "999 999"},
                                     {18446744073709551615ull, "18 446 744 073 709 551 615"}}) {
        EXPECT_EQ(FormatSizeGrouped(size), text);
    }
    EXPECT_EQ(buildCaptureSummary(4294967295u, 0, 0, true),
              u"4294967295 folder(s) & 0 file(s) successfuly added.\nTotal size is 0 byte(s)"
              u"\n\nNote: Scanning process was interrupted.");
}

} // namespace
} // namespace zelvane
