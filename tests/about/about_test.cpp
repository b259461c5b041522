// The About box's buttons, the licence text and the installation folder rule.
#include "support/test_common.h"

#include "about/about_command.h"
#include "about/install_dir.h"
#include "about/license_text.h"
#include "support/scripted_ui.h"
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
    testing::TempTree dir;
    testing::ScriptedUi ui;
    AboutCommands about(ui, utf8ToUtf16(dir.path() + "/"));
    ui.about({AboutButton::License, AboutButton::HomePage, AboutButton::Company});
    about.onAbout();
    testing::writeBytes(dir.at("License.txt"), "MIT\tLicense \xC3\xA9\r\n");
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
    const std::string x(16383, 'x'), full = x + "Z";
    // What License.txt holds (nullopt: no file; "<folder>", "<fifo>": not a regular file)
    // and the text shown (nullopt: "not found").
    const std::pair<std::optional<std::string>, std::optional<std::string>> cases[] = {
        {std::nullopt, std::nullopt},
        {"<folder>", std::nullopt},
        {"<fifo>", std::nullopt}, // without hanging
        {"", ""},
        {full, full},
        {full + "!", full},
        {"one\r\ntwo\r\n\r\nlone\rcr\r", "one\ntwo\n\nlone\rcr\r"},
        {x + "\r\ntail", x + "\n"}, // the folded text counts
        {x + "\rtail", x + "\r"},
        {x + "\xC3\xA9", x + "\xEF\xBF\xBD"}, // "é" cut after its first byte
    };
    testing::TempTree dir;
    ::setenv("LC_ALL", "C.UTF-8", 1);
    // Every file opened is closed again, whether it is read or refused.
    const auto openFiles = [] {
        return std::distance(fs::directory_iterator("/proc/self/fd"), {});
    };
    const auto filesBefore = openFiles();
    int n = 0;
    for (const auto& [bytes, shown] : cases) {
        const fs::path folder = fs::path(dir.path()) / std::to_string(n++),
                       file = folder / "License.txt";
        fs::create_directories(folder);
        if (bytes == "<folder>") {
            fs::create_directories(file);
        } else if (bytes == "<fifo>") {
            ASSERT_EQ(::mkfifo(file.c_str(), 0600), 0);
        } else if (bytes) {
            write(file, *bytes);
        }
        const std::optional<std::u16string> text =
            loadLicenseText(utf8ToUtf16(folder.string() + "/"));
        EXPECT_TRUE((text ? std::optional(utf16ToUtf8(*text)) : std::nullopt) == shown) << n;
    }
    EXPECT_EQ(openFiles(), filesBefore);
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
    testing::TempTree root;
    const std::string r = root.path();
    write(r + "/pre/share/zelvane/License.txt", "L");
    write(r + "/src/License.txt", "L");
    fs::create_directories(r + "/dir/share/zelvane/License.txt"); // not a file
    write(r + "/build/stage/share/zelvane/License.txt", "L");
    const BuildLocation build{utf8ToUtf16(r + "/build"), utf8ToUtf16(r + "/src")};
    const struct {
        std::string exe;
        BuildLocation build;
        std::string expected;
    } cases[] = {
        {r + "/pre/bin/zelvane", {}, r + "/pre/share/zelvane/"},
        {r + "/pre/./bin/../bin/zelvane", {}, r + "/pre/share/zelvane/"},
        {r + "/build/zelvane", build, r + "/src/"}, // the build folder itself
        {r + "/dir/bin/zelvane", {utf8ToUtf16(r + "/dir/"), build.sourceDir}, r + "/src/"},
        {r + "/x/bin/zelvane", {u"/", build.sourceDir}, r + "/src/"},
        {r + "/build/stage/bin/zelvane", build, r + "/build/stage/share/zelvane/"},
        {r + "/build-other/bin/zelvane", build, r + "/build-other/share/zelvane/"},
        {r + "/build/bin/zelvane", {build.buildDir, u"/nowhere"}, r + "/build/share/zelvane/"},
        {"/zelvane", {}, "/share/zelvane/"},
        {"rel/bin/zelvane", {}, "/rel/share/zelvane/"},
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
