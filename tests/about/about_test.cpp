// The About box's buttons, the licence text and the installation folder rule.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>
#include <unistd.h>

#include "about/about_command.h"
#include "about/install_dir.h"
#include "about/license_text.h"
#include "support/scripted_ui.h"
#include "support/temp_dir.h"
#include "text/utf.h"

namespace zelvane {
namespace {

namespace fs = std::filesystem;

void write(const fs::path& file, const std::string& bytes) {
    fs::create_directories(file.parent_path());
    testing::writeBytes(file.string(), bytes);
}

// Each button does its part and the box stays open; the licence is read afresh on every
// press, so a file that appears while the program runs is seen.
TEST(AboutCommands, ButtonsOpenThePagesAndTheLicence) {
    using testing::AboutButton;
    testing::TempDir dir;
    testing::ScriptedUi ui;
    AboutCommands about(ui, utf8ToUtf16(dir.path().string() + "/"));
    ui.about({AboutButton::License, AboutButton::HomePage, AboutButton::Company});
    about.onAbout();
    testing::writeBytes(dir.file("License.txt"), "MIT\tLicense \xC3\xA9\r\n");
    ::setenv("LC_ALL", "C.UTF-8", 1);
    ui.about({AboutButton::License});
    about.onAbout();
    ::unsetenv("LC_ALL");
    EXPECT_EQ(ui.transcript(),
              (testing::Lines{"about box", "about -> license",
                              "message \"License file not found!\\nPlease reinstall the "
                              "application!\" | \"Error\" | Exclamation | Ok -> Ok",
                              "about -> home page", "web page \"https://zelvane.halcyra.com/\"",
                              "about -> company", "web page \"https://www.halcyra.com/\"",
                              "about -> close", "about box", "about -> license",
                              "license window \"MIT\\tLicense \u00e9\\n\"", "about -> close"}));
}

TEST(AboutLicense, FileIsReadAsTextUpToItsFirst16384Bytes) {
    const std::size_t max = 16384;
    const std::string x(max - 1, 'x'), full = x + "Z";
    enum Kind { File, None, Folder, Fifo };
    struct Case {
        const char* what;
        Kind kind;
        std::string bytes;
        std::optional<std::string> shown; // nullopt: "not found"
    } const cases[] = {
        {"found", File, "MIT License\n\n(c) Halcyra\n", "MIT License\n\n(c) Halcyra\n"},
        {"missing", None, "", std::nullopt},
        {"a folder", Folder, "", std::nullopt},
        {"a FIFO, without hanging", Fifo, "", std::nullopt},
        {"empty", File, "", ""},
        {"16384 bytes", File, full, full},
        {"16385 bytes", File, full + "!", full},
        {"CR LF", File, "one\r\ntwo\r\n\r\nlone\rcr\r", "one\ntwo\n\nlone\rcr\r"},
        {"CR LF across the limit", File, x + "\r\ntail", x + "\n"}, // folded text counts
        {"lone CR at the limit", File, x + "\rtail", x + "\r"},
        // "é" is C3 A9; its first byte is the 16384th.
        {"cut multi-byte", File, x + "\xC3\xA9", x + "\xEF\xBF\xBD"},
    };
    testing::TempDir dir;
    ::setenv("LC_ALL", "C.UTF-8", 1);
    int n = 0;
    for (const Case& c : cases) {
        const fs::path folder = dir.path() / std::to_string(n++);
        fs::create_directories(folder);
        if (c.kind == File) {
            write(folder / "License.txt", c.bytes);
        } else if (c.kind == Folder) {
            fs::create_directories(folder / "License.txt");
        } else if (c.kind == Fifo) {
            ASSERT_EQ(::mkfifo((folder / "License.txt").c_str(), 0600), 0);
        }
        const std::optional<std::u16string> text =
            loadLicenseText(utf8ToUtf16(folder.string() + "/"));
        ASSERT_EQ(text.has_value(), c.shown.has_value()) << c.what;
        if (text) {
            EXPECT_TRUE(utf16ToUtf8(*text) == *c.shown) << c.what;
        }
    }
    ::unsetenv("LC_ALL");
    // InstallDir is glued directly before the name.
    EXPECT_EQ(licenseFileName(u"/opt/z"), u"/opt/zLicense.txt");
    EXPECT_EQ(licenseFileName(u""), u"License.txt");
}

TEST(AboutLicenseText, DecodesInTheGivenOrTheLocalesEncoding) {
    EXPECT_EQ(decodeLicenseText("caf\xC3\xA9", "UTF-8"), u"café");
    EXPECT_EQ(decodeLicenseText("caf\xE9", "ISO-8859-1"), u"café");
    EXPECT_EQ(decodeLicenseText("\x80", "CP1252"), u"€");
    EXPECT_EQ(decodeLicenseText("\xE6\x97", "UTF-8"), u"\uFFFD"); // a cut 3-byte character
    EXPECT_EQ(decodeLicenseText("caf\xC3\xA9", "no-such-encoding"), u"café");
    EXPECT_EQ(decodeLicenseText(std::string_view("before\0after", 12), "UTF-8"), u"before");
    // The locale's encoding: ASCII is read as UTF-8, and so is a locale not installed.
    for (const char* locale : {"C", "C.UTF-8", "xx_NOWHERE.KOI9"}) {
        ::setenv("LC_ALL", locale, 1);
        EXPECT_EQ(localeEncoding(), "UTF-8") << locale;
    }
    ::unsetenv("LC_ALL");
}

TEST(AboutInstallDir, DataFolderBesideBinElseTheBuildTreesSource) {
    testing::TempDir root;
    const std::string r = root.path().string();
    write(r + "/pre/share/zelvane/License.txt", "L");
    write(r + "/src/License.txt", "L");
    write(r + "/build/stage/share/zelvane/License.txt", "L");
    const BuildLocation build{utf8ToUtf16(r + "/build"), utf8ToUtf16(r + "/src")};
    const struct {
        std::string exe;
        BuildLocation build;
        std::string expected;
    } cases[] = {
        {r + "/pre/bin/zelvane", {}, r + "/pre/share/zelvane/"},
        {r + "/pre/./bin/../bin/zelvane", {}, r + "/pre/share/zelvane/"},
        {r + "/build/src/app/zelvane", build, r + "/src/"},
        {r + "/build/stage/bin/zelvane", build, r + "/build/stage/share/zelvane/"},
        {r + "/opt/bin/zelvane", build, r + "/opt/share/zelvane/"},
        {r + "/build-other/bin/zelvane", build, r + "/build-other/share/zelvane/"},
        {r + "/build/bin/zelvane", {build.buildDir, u"/nowhere"}, r + "/build/share/zelvane/"},
        {"/zelvane", {}, "/share/zelvane/"},
        {"", build, ""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(utf16ToUtf8(defaultInstallDir(utf8ToUtf16(c.exe), c.build)), c.expected) << c.exe;
    }
    EXPECT_EQ(resolveInstallDir(u"/opt/z", u"/usr/bin/zelvane"), u"/opt/z");
    // This test runs from the build tree, whose source folder holds the program's licence.
    EXPECT_NE(loadLicenseText(resolveInstallDir(u"", currentExecutablePath()))
                  .value_or(u"")
                  .find(u"MIT License"),
              std::u16string::npos);
}

} // namespace
} // namespace zelvane
