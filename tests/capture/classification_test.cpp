#include "capture/classification.h"

#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "document/snapshot_tree.h"

namespace zelvane {
namespace {

int kindOf(std::u16string_view name) {
    const NameParts parts = splitExtension(name);
    return classifyFile(parts.base, parts.extension);
}

TEST(Classification, SpecialNamesComeBeforeTheGroups) {
    EXPECT_EQ(kindOf(u"autorun.inf"), kKindAutorun);
    EXPECT_EQ(kindOf(u"AutoRun.INF"), kKindAutorun);
    EXPECT_EQ(kindOf(u"AUTORUN.INF"), kKindAutorun);
    EXPECT_EQ(kindOf(u"autorun.exe"), kKindProgram) << "goes on through the other rules";
    EXPECT_EQ(kindOf(u"setup.inf"), kKindDocument);
    EXPECT_EQ(kindOf(u"autorun.inf.bak"), kKindOther);
    EXPECT_EQ(kindOf(u"report.Zelv"), kKindSnapshotDocument);
    EXPECT_EQ(kindOf(u"x.ZELV"), kKindSnapshotDocument);
    EXPECT_EQ(kindOf(u"link.url"), kKindShortcut);
    EXPECT_EQ(kindOf(u"Start.LNK"), kKindShortcut);
}

TEST(Classification, EveryGroupGivesItsKind) {
    const std::vector<std::pair<std::u16string, int>> cases = {
        {u"a.tar.gz", kKindArchive},
        {u"notes.c", kKindDocument},
        {u"READ.ME", kKindDocument},
        {u"photo.jpeg", kKindMedia},
        {u"desktop.ini", kKindDocument},
        {u"README", kKindOther},
        {u".profile", kKindOther},
        {u"kernel32.dll", kKindSystem},
        {u"font.TTF", kKindSystem},
        {u"data.dat", kKindSystem},
        {u"app.exe", kKindProgram},
        {u"screen.scr", kKindProgram},
        {u"x.7z", kKindArchive},
        {u"x.bz2", kKindArchive},
        {u"app.manifest", kKindDocument},
        {u"web.config", kKindDocument},
        {u"scan.tif", kKindMedia},
        {u"scan.TIFF", kKindMedia},
        {u"clip.mpeg", kKindMedia},
        {u"a.", kKindOther},
        {u"a.cc", kKindOther},
        {u"a.manifests", kKindOther},
    };
    for (const auto& [name, kind] : cases) {
        EXPECT_EQ(kindOf(name), kind) << std::string(name.begin(), name.end());
    }
}

TEST(Classification, OnlyAsciiLettersAreFolded) {
    // "ı" (dotless i) and "ï" are not folded to "I": neither ".ını" nor ".ïni" is ".INI".
    EXPECT_EQ(kindOf(u"a.\u0131n\u0131"), kKindOther);
    EXPECT_EQ(kindOf(u"a.\u00efni"), kKindOther);
    EXPECT_EQ(kindOf(u"a.\uff54\uff58\uff54"), kKindOther) << "full-width txt";
    EXPECT_EQ(kindOf(u"\u00e9t\u00e9.txt"), kKindDocument) << "the base name does not matter";
    EXPECT_EQ(kindOf(u"a.TxT"), kKindDocument);
}

TEST(Filter, ComparesTheExtensionWithoutItsDotCaseSensitively) {
    auto passes = [](std::u16string_view filter, std::u16string_view name) {
        return passesFilter(filter, splitExtension(name).extension);
    };
    for (const char16_t* name : {u"a.txt", u"a.TXT", u"a.txt.bak", u"README", u".profile"}) {
        EXPECT_TRUE(passes(u"*", name));
    }
    EXPECT_TRUE(passes(u"txt", u"a.txt"));
    EXPECT_FALSE(passes(u"txt", u"a.TXT"));
    EXPECT_FALSE(passes(u"txt", u"a.txt.bak"));
    EXPECT_TRUE(passes(u"TXT", u"a.TXT"));
    EXPECT_FALSE(passes(u"TXT", u"a.txt"));
    EXPECT_FALSE(passes(u"*.txt", u"a.txt"));
    EXPECT_FALSE(passes(u".txt", u"a.txt"));
    EXPECT_TRUE(passes(u"profile", u".profile"));
    // An empty filter takes only names that end in a dot; a name without a dot passes only
    // the filter "*".
    EXPECT_FALSE(passes(u"", u"a.txt"));
    EXPECT_TRUE(passes(u"", u"a."));
    EXPECT_FALSE(passes(u"", u"README"));
    EXPECT_FALSE(passes(u"README", u"README"));
    EXPECT_FALSE(passes(u"**", u"a.txt"));
}

} // namespace
} // namespace zelvane
