// The QSettings backend against a private configuration folder (XDG_CONFIG_HOME is set to
// a temporary folder before Qt creates any settings object).
#include "settings/qsettings_backend.h"

#include <QCoreApplication>
#include <QSettings>
#include <cstdlib>
#include <filesystem>
#include <gtest/gtest.h>

#include "support/temp_dir.h"

namespace zelvane {
namespace {

using testing::readBytes;
using testing::writeBytes;

std::filesystem::path configHome;

std::string confFile() {
    return (configHome / "Halcyra" / "Zelvane.conf").string();
}

class QSettingsBackendTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::filesystem::remove_all(configHome / "Halcyra");
        std::filesystem::create_directories(configHome / "Halcyra");
    }
    QSettingsBackend backend;
};

TEST_F(QSettingsBackendTest, FirstRunCreatesTheFileWithEveryDefault) {
    EXPECT_EQ(loadSettings(backend), RememberedInputs{});
    const std::string written = readBytes(confFile());
    for (const char* line :
         {"AddTree_Path=/\n", "AddTree_Filter=*\n", "AddTree_Title=\n", "Search_Pattern=\n",
          "Search_IsLocalSearch=0\n", "Search_IsMatchCase=0\n",
          "Search_IsMatchWholePatternOnly=0\n", "Search_IsRecursiveSearch=1\n",
          "Search_IsFilesOnly=0\n", "InstallDir=\n"}) {
        EXPECT_NE(written.find(line), std::string::npos) << line << " in\n" << written;
    }
}

TEST_F(QSettingsBackendTest, AwkwardTextsSurviveARun) {
    loadSettings(backend);
    RememberedInputs in;
    // A folder name that is not UTF-8 keeps its bytes as U+DC80 + byte.
    in.addTree.path = std::u16string(u"/mnt/") + char16_t{0xDC80} + char16_t{0xDCFF} + u"raw";
    in.addTree.filter = u"a, b";
    in.addTree.title = u"@title = x; #y \\ \"q\"";
    in.search.pattern = u"  Ω 😀 ";
    in.search.isMatchCase = true;
    in.search.isRecursiveSearch = false;
    saveSettings(backend, in);
    EXPECT_EQ(loadSettings(backend), in);
}

TEST_F(QSettingsBackendTest, HandEditedValuesAreJudgedOneByOne) {
    writeBytes(confFile(), "[General]\n"
                           "AddTree_Path=/home/user\n"
                           "AddTree_Filter=*.jpg, *.png\n"
                           "Search_Pattern=" +
                               std::string(600, 'p') +
                               "\n"
                               "Search_IsRecursiveSearch=2\n"
                               "Search_IsMatchCase=abc\n"
                               "Search_IsFilesOnly=1\n"
                               "InstallDir=/opt/z/\n");
    const RememberedInputs in = loadSettings(backend);
    EXPECT_EQ(in.addTree.path, u"/home/user");
    EXPECT_EQ(in.addTree.filter, u"*"); // a list, not one text
    EXPECT_EQ(in.search.pattern, u"");
    EXPECT_FALSE(in.search.isRecursiveSearch);
    EXPECT_FALSE(in.search.isMatchCase);
    EXPECT_TRUE(in.search.isFilesOnly);
    EXPECT_EQ(in.installDir, u"/opt/z/");

    QSettings check(QSettings::NativeFormat, QSettings::UserScope, "Halcyra", "Zelvane");
    EXPECT_EQ(check.value("Search_Pattern").toString(), QString());
    EXPECT_EQ(check.value("Search_IsMatchCase").toUInt(), 0u);
    EXPECT_EQ(check.value("Search_IsRecursiveSearch").toUInt(), 2u); // read, not rewritten
}

TEST_F(QSettingsBackendTest, DamagedFileGivesDefaultsAndIsRewritten) {
    writeBytes(confFile(), std::string("[General]\nAddTree_Path=/kept?\n\x00\x01\xFF=\n=x\n[[[\n"
                                       "Search_IsFilesOnly=1\n",
                                       55));
    EXPECT_EQ(loadSettings(backend), RememberedInputs{});
    RememberedInputs in;
    in.addTree.path = u"/after";
    saveSettings(backend, in);
    QSettings check(QSettings::NativeFormat, QSettings::UserScope, "Halcyra", "Zelvane");
    EXPECT_EQ(check.status(), QSettings::NoError);
    EXPECT_EQ(loadSettings(backend).addTree.path, u"/after");
}

TEST_F(QSettingsBackendTest, UnreadableStoreGivesDefaults) {
    std::filesystem::create_directories(confFile()); // a folder where the file should be
    EXPECT_EQ(loadSettings(backend), RememberedInputs{});
    saveSettings(backend, RememberedInputs{});
    EXPECT_TRUE(std::filesystem::is_directory(confFile()));
}

} // namespace
} // namespace zelvane

int main(int argc, char** argv) {
    // Never the user's own settings: a private folder, set before any QSettings exists.
    zelvane::testing::TempDir home;
    zelvane::configHome = home.path();
    ::setenv("XDG_CONFIG_HOME", home.path().c_str(), 1);
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
