#include "capture/classification.h"

#include <gtest/gtest.h>

#include "document/snapshot_tree.h"
#include "text/utf.h"

namespace zelvane {
namespace {

TEST(Classification, KindOfAFileNameAsTheScannerSplitsIt) {
    const struct {
        std::u16string_view name;
        int kind;
    } cases[] = {
        {u"autorun.inf", kKindAutorun},
        {u"AutoRun.INF", kKindAutorun},
        {u"x.autorun.inf", kKindDocument}, // the base is "x.autorun"
        {u"autorun.inf.txt", kKindDocument},
        {u"autorunx.inf", kKindDocument},
        {u"autorun", kKindOther},
        {u"autorun.ini", kKindDocument},
        {u".inf", kKindDocument},
        {u"a.zelv", kKindSnapshotDocument},
        {u"A.ZeLv", kKindSnapshotDocument},
        {u"x.lnk", kKindShortcut},
        {u"x.URL", kKindShortcut},
        {u"a.dll", kKindSystem},
        {u"a.Fnt", kKindSystem},
        {u"a.exe", kKindProgram},
        {u"a.pif", kKindProgram},
        {u"a.rar", kKindArchive},
        {u"archive.tar.GZ", kKindArchive},
        {u"a.7z", kKindArchive},
        {u"a.bz2", kKindArchive},
        {u"a.doc", kKindDocument},
        {u"x.c", kKindDocument},
        {u"x.cc", kKindOther},
        {u"x.htm", kKindDocument},
        {u"x.htmlx", kKindOther},
        {u"app.Manifest", kKindDocument}, // the longest extension of the table
        {u"app.manifests", kKindOther},
        {u"a.mp2", kKindMedia},
        {u"a.JPEG", kKindMedia},
        {u"a.ani", kKindMedia},
        {u"README", kKindOther},
        {u"", kKindOther},
        {u"trailing.", kKindOther},
        {u".hidden", kKindOther},
        {u"x.\u0131nf", kKindOther}, // dotless i is no i: only a to z fold
        {u"x.\u00e9xe", kKindOther},
        {u"averyveryverylongbasename.exe", kKindProgram},
        {u"x.abcdefghijklmnop", kKindOther},
    };
    for (const auto& c : cases) {
        const NameParts parts = splitExtension(c.name);
        EXPECT_EQ(classifyFile(parts.base, parts.extension), c.kind) << utf16ToUtf8(c.name);
    }
}

TEST(Classification, SplitsAtTheLastDot) {
    const struct {
        std::u16string_view name, base, extension;
    } cases[] = {
        {u"a.b.c", u"a.b", u".c"},
        {u"noext", u"noext", u""},
        {u".hidden", u"", u".hidden"},
        {u"end.", u"end", u"."},
        {u"", u"", u""},
        {u"\u00e9t\u00e9.txt", u"\u00e9t\u00e9", u".txt"},
    };
    for (const auto& c : cases) {
        const NameParts parts = splitExtension(c.name);
        EXPECT_EQ(parts.base, c.base) << utf16ToUtf8(c.name);
        EXPECT_EQ(parts.extension, c.extension) << utf16ToUtf8(c.name);
    }
}

TEST(Classification, FilterIsStarOrTheExactExtension) {
    const struct {
        std::u16string_view filter, extension;
        bool passes;
    } cases[] = {
        {u"*", u"", true},          {u"*", u".txt", true}, {u"txt", u".txt", true},
        {u"txt", u".TXT", false},   {u"txt", u"", false},  {u"tx", u".txt", false},
        {u"*.txt", u".txt", false}, {u"", u"", false},     {u"", u".", true},
        {u".txt", u".txt", false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(passesFilter(c.filter, c.extension), c.passes)
            << utf16ToUtf8(c.filter) << " / " << utf16ToUtf8(c.extension);
    }
}

} // namespace
} // namespace zelvane
