// The QSettings backend against a private configuration folder (XDG_CONFIG_HOME is set to
// a temporary folder before Qt creates any settings object).
#include "settings/qsettings_backend_qt.h"

#include <QCoreApplication>
#include <QSettings>
#include <cstdlib>
#include <filesystem>
#include <gtest/gtest.h>

#include "support/temp_dir.h"

namespace zelvane {
namespace {

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
    const std::string written = testing::readBytes(confFile());
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
    in.addTree = {std::u16string(u"/mnt/") + char16_t{0xDC80} + char16_t{0xDCFF} + u"raw", u"a, b",
                  u"@title = x; #y \\ \"q\""};
    in.search = {u"  Ω 😀 ", false, true, false, false, false};
    saveSettings(backend, in);
    EXPECT_EQ(loadSettings(backend), in);
}

TEST_F(QSettingsBackendTest, HandEditedValuesAreJudgedOneByOne) {
    testing::writeBytes(confFile(),
                        "[General]\nAddTree_Path=/home/user\nAddTree_Filter=*.jpg, *.png\n"
                        "Search_Pattern=" +
                            std::string(600, 'p') +
                            "\nSearch_IsRecursiveSearch=2\nSearch_IsMatchCase=abc\n"
                            "Search_IsFilesOnly=1\nInstallDir=/opt/z/\n");
    // The filter is a list, not one text: it gets the default.
    const RememberedInputs expected{
        {u"/home/user", u"*", u""}, {u"", false, false, false, false, true}, u"/opt/z/"};
    EXPECT_EQ(loadSettings(backend), expected);
    QSettings check(QSettings::NativeFormat, QSettings::UserScope, "Halcyra", "Zelvane");
    EXPECT_EQ(check.value("Search_Pattern").toString(), QString());
    EXPECT_EQ(check.value("Search_IsMatchCase").toUInt(), 0u);
    EXPECT_EQ(check.value("Search_IsRecursiveSearch").toUInt(), 2u); // read, not rewritten
}

TEST_F(QSettingsBackendTest, DamagedFileGivesDefaultsAndIsRewritten) {
    testing::writeBytes(confFile(),
                        std::string("[General]\nAddTree_Path=/kept?\n\x00\x01\xFF=\n=x\n[[[\n"
                                    "Search_IsFilesOnly=1\n",
                                    55));
    EXPECT_EQ(loadSettings(backend), RememberedInputs{});
    saveSettings(backend, {{u"/after", u"*", u""}, {}, u""});
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
