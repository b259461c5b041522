// The About command's licence paths and web pages, through a recording double of UiPort and
// AboutPort, and the installation folder rule.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <unistd.h>
#include <vector>

#include "about/about_command.h"
#include "about/install_dir.h"
#include "about/license_text.h"
#include "document/utf.h"
#include "support/scripted_port.h"
#include "support/temp_dir.h"

namespace zelvane {
namespace {

namespace fs = std::filesystem;
using ::testing::ElementsAre;

// The scripted UiPort with the About box's own port: the About box takes the buttons it
// presses from the script ("about box", a std::vector<int> of control identifiers); web
// pages and the licence window are recorded.
class ScriptedAboutPort : public testing::ScriptedPort, public AboutPort {
public:
    std::vector<std::u16string> licenseTexts;

    ScriptedAboutPort& aboutBoxPresses(std::vector<int> ids) {
        custom("about box", std::move(ids));
        return *this;
    }

    void runAboutBox(AboutBoxHandlers& handlers) override {
        const std::any presses = takeCustom("about box");
        if (const auto* ids = std::any_cast<std::vector<int>>(&presses)) {
            for (int id : *ids) {
                if (id == kIdVisitHomePage) {
                    handlers.onVisitHomePage();
                } else if (id == kIdVisitCompany) {
                    handlers.onVisitCompany();
                } else if (id == kIdLicense) {
                    handlers.onLicense();
                }
            }
        }
        record(call("about box closed", u""));
    }
    void openWebPage(std::string_view address) override {
        record(call("web", utf8ToUtf16(address)));
    }
    void showLicenseWindow(std::u16string_view text) override {
        record(call("license window", u""));
        licenseTexts.emplace_back(text);
    }

private:
    static testing::PortCall call(std::string name, std::u16string_view text) {
        testing::PortCall call;
        call.kind = testing::PortCall::Kind::Custom;
        call.name = std::move(name);
        call.text = text;
        return call;
    }
};

const std::string kNotFound = "message \"License file not found!\\nPlease reinstall the "
                              "application!\" | \"Error\" | Exclamation | Ok -> Ok";

// A temporary folder, and the same as an InstallDir (with its trailing "/").
class TempDir : public testing::TempDir {
public:
    std::u16string dir() const { return utf8ToUtf16(path().string() + "/"); }
    void write(const fs::path& name, std::string_view bytes) const {
        fs::create_directories((path() / name).parent_path());
        testing::writeBytes((path() / name).string(), std::string(bytes));
    }
};

// Runs "License..." once with installDir, answering a message box if one comes.
struct LicenseRun {
    std::vector<std::string> calls;
    std::u16string text; // the licence window's text, when it opened
};

LicenseRun pressLicense(std::u16string installDir, bool expectMessage = false) {
    ScriptedAboutPort ports;
    if (expectMessage) {
        ports.answer(MessageAnswer::Ok);
    }
    AboutCommands commands(ports, ports, std::move(installDir));
    commands.onLicense();
    LicenseRun run{ports.transcript(), {}};
    if (!ports.licenseTexts.empty()) {
        run.text = ports.licenseTexts.front();
    }
    return run;
}

LicenseRun pressLicenseMissing(std::u16string installDir) {
    return pressLicense(std::move(installDir), true);
}

// --- The licence paths ---

TEST(AboutLicense, FoundFileIsShownInTheLicenseWindow) {
    TempDir dir;
    dir.write("License.txt", "MIT License\n\nCopyright (c) Halcyra\n");
    const LicenseRun run = pressLicense(dir.dir());
    EXPECT_THAT(run.calls, ElementsAre("license window"));
    EXPECT_EQ(run.text, u"MIT License\n\nCopyright (c) Halcyra\n");
}

TEST(AboutLicense, MissingFileGivesTheErrorAndNoWindow) {
    TempDir dir;
    EXPECT_THAT(pressLicenseMissing(dir.dir()).calls, ElementsAre(kNotFound));
}

TEST(AboutLicense, FolderWithoutTrailingSlashIsGluedOnAndNotFound) {
    TempDir dir;
    dir.write("License.txt", "text");
    // "/tmp/zelvane-about-XXXXXXLicense.txt" does not exist.
    EXPECT_THAT(pressLicenseMissing(utf8ToUtf16(dir.path().string())).calls,
                ElementsAre(kNotFound));
}

TEST(AboutLicense, EmptyInstallDirLooksInTheCurrentFolder) {
    TempDir dir;
    dir.write("License.txt", "here");
    const fs::path before = fs::current_path();
    fs::current_path(dir.path());
    const LicenseRun found = pressLicense(u"");
    fs::remove(dir.path() / "License.txt");
    const LicenseRun missing = pressLicenseMissing(u"");
    fs::current_path(before);
    EXPECT_THAT(found.calls, ElementsAre("license window"));
    EXPECT_EQ(found.text, u"here");
    EXPECT_THAT(missing.calls, ElementsAre(kNotFound));
}

TEST(AboutLicense, FolderOrFifoNamedLicenseTxtCountsAsMissing) {
    TempDir dir;
    fs::create_directories(dir.path() / "a" / "License.txt");
    EXPECT_THAT(pressLicenseMissing(dir.dir() + u"a/").calls, ElementsAre(kNotFound));
    fs::create_directories(dir.path() / "b");
    ASSERT_EQ(::mkfifo((dir.path() / "b" / "License.txt").c_str(), 0600), 0);
    EXPECT_THAT(pressLicenseMissing(dir.dir() + u"b/").calls, ElementsAre(kNotFound)); // no hang
}

TEST(AboutLicense, EmptyFileShowsAnEmptyWindow) {
    TempDir dir;
    dir.write("License.txt", "");
    const LicenseRun run = pressLicense(dir.dir());
    EXPECT_THAT(run.calls, ElementsAre("license window"));
    EXPECT_EQ(run.text, u"");
}

TEST(AboutLicense, SixteenKilobytesAreShownWholeOneMoreByteIsCut) {
    TempDir dir;
    std::string bytes(kLicenseTextMax, 'a');
    bytes.back() = 'Z';
    dir.write("exact/License.txt", bytes);
    dir.write("over/License.txt", bytes + "!");
    const LicenseRun exact = pressLicense(dir.dir() + u"exact/");
    const LicenseRun over = pressLicense(dir.dir() + u"over/");
    EXPECT_EQ(exact.text.size(), 16384u);
    EXPECT_EQ(exact.text.back(), u'Z');
    EXPECT_EQ(over.text, exact.text);
}

TEST(AboutLicense, CrLfBecomesLfAndTheLimitCountsTheResult) {
    TempDir dir;
    dir.write("small/License.txt", "one\r\ntwo\r\n\r\nlone\rcr\r");
    EXPECT_EQ(pressLicense(dir.dir() + u"small/").text, u"one\ntwo\n\nlone\rcr\r");

    // 16384 bytes of text once the pairs are folded: shown whole although the file is larger.
    std::string lines;
    while (lines.size() + 8 <= kLicenseTextMax) {
        lines += "abcdefg\n";
    }
    std::string crlf;
    for (char c : lines) {
        crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
    }
    ASSERT_EQ(lines.size(), kLicenseTextMax);
    dir.write("big/License.txt", crlf + "more\r\n");
    EXPECT_EQ(utf16ToUtf8(pressLicense(dir.dir() + u"big/").text), lines);
}

TEST(AboutLicense, CrLfPairAcrossTheLimitStillFolds) {
    TempDir dir;
    const std::string head(kLicenseTextMax - 1, 'x');
    dir.write("pair/License.txt", head + "\r\ntail");
    dir.write("lone/License.txt", head + "\rtail");
    EXPECT_EQ(utf16ToUtf8(pressLicense(dir.dir() + u"pair/").text), head + "\n");
    EXPECT_EQ(utf16ToUtf8(pressLicense(dir.dir() + u"lone/").text), head + "\r");
}

TEST(AboutLicense, MultiByteCharacterCutByTheLimitShowsAsReplacement) {
    TempDir dir;
    // "é" is C3 A9 in UTF-8; its first byte is the 16384th.
    dir.write("License.txt", std::string(kLicenseTextMax - 1, 'e') + "\xC3\xA9");
    ::setenv("LC_ALL", "C.UTF-8", 1);
    const LicenseRun run = pressLicense(dir.dir());
    ::unsetenv("LC_ALL");
    ASSERT_EQ(run.text.size(), kLicenseTextMax);
    EXPECT_EQ(run.text.back(), u'\uFFFD');
    EXPECT_EQ(run.text[kLicenseTextMax - 2], u'e');
}

TEST(AboutLicense, EveryPressReadsTheFileAgain) {
    TempDir dir;
    ScriptedAboutPort ports;
    ports.answer(MessageAnswer::Ok).answer(MessageAnswer::Ok);
    AboutCommands commands(ports, ports, dir.dir());
    commands.onLicense();
    dir.write("License.txt", "new");
    commands.onLicense();
    fs::remove(dir.path() / "License.txt");
    commands.onLicense();
    EXPECT_THAT(ports.transcript(), ElementsAre(kNotFound, "license window", kNotFound));
    EXPECT_THAT(ports.licenseTexts, ElementsAre(u"new"));
}

// --- Decoding ---

TEST(AboutLicenseText, DecodesInTheGivenEncoding) {
    EXPECT_EQ(decodeLicenseText("caf\xC3\xA9", "UTF-8"), u"café");
    EXPECT_EQ(decodeLicenseText("caf\xE9", "ISO-8859-1"), u"café");
    EXPECT_EQ(decodeLicenseText("\x80", "CP1252"), u"€");
    EXPECT_EQ(decodeLicenseText("caf\xE9!", "UTF-8"), u"caf\uFFFD!");
    EXPECT_EQ(decodeLicenseText("\xE6\x97", "UTF-8"), u"\uFFFD"); // a cut 3-byte character
    EXPECT_EQ(decodeLicenseText("caf\xC3\xA9", "no-such-encoding"), u"café");
    EXPECT_EQ(decodeLicenseText("", "UTF-8"), u"");
}

TEST(AboutLicenseText, TextEndsAtAZeroByte) {
    EXPECT_EQ(decodeLicenseText(std::string_view("before\0after", 12), "UTF-8"), u"before");
}

TEST(AboutLicenseText, LocaleEncodingFollowsTheEnvironment) {
    ::setenv("LC_ALL", "C", 1);
    EXPECT_EQ(localeEncoding(), "UTF-8"); // plain ASCII is read as UTF-8
    ::setenv("LC_ALL", "C.UTF-8", 1);
    EXPECT_EQ(localeEncoding(), "UTF-8");
    ::setenv("LC_ALL", "xx_NOWHERE.KOI9", 1); // not installed: the same as no locale
    EXPECT_EQ(localeEncoding(), "UTF-8");
    ::unsetenv("LC_ALL");
}

// --- The About command and its buttons ---

TEST(AboutCommand, OpensTheBoxWhoseButtonsOpenTheTwoPages) {
    TempDir dir;
    dir.write("License.txt", "L");
    ScriptedAboutPort ports;
    ports.aboutBoxPresses({kIdVisitHomePage, kIdVisitCompany, kIdLicense, kIdVisitHomePage});
    AboutCommands commands(ports, ports, dir.dir());
    commands.onAbout();
    EXPECT_THAT(ports.transcript(),
                ElementsAre("about box -> scripted", "web \"https://zelvane.halcyra.com/\"",
                            "web \"https://www.halcyra.com/\"", "license window",
                            "web \"https://zelvane.halcyra.com/\"", "about box closed"));
    EXPECT_THAT(ports.licenseTexts, ElementsAre(u"L"));
}

// --- The installation folder ---

TEST(AboutInstallDir, InstalledProgramUsesTheDataFolderBesideBin) {
    TempDir prefix;
    prefix.write("share/zelvane/License.txt", "L");
    const std::string exe = prefix.path().string() + "/bin/zelvane";
    EXPECT_EQ(defaultInstallDir(utf8ToUtf16(exe), {}), prefix.dir() + u"share/zelvane/");
    EXPECT_EQ(defaultInstallDir(utf8ToUtf16(prefix.path().string() + "/./bin/../bin/zelvane"), {}),
              prefix.dir() + u"share/zelvane/");
}

TEST(AboutInstallDir, BuildTreeUsesTheSourceFolder) {
    TempDir root;
    root.write("src/License.txt", "L");
    const BuildLocation build{utf8ToUtf16(root.path().string() + "/build"),
                              utf8ToUtf16(root.path().string() + "/src")};
    const std::u16string exe = build.buildDir + u"/src/app/zelvane";
    EXPECT_EQ(defaultInstallDir(exe, build), build.sourceDir + u"/");

    // The same program copied out of the build tree has only its own data folder.
    const std::u16string elsewhere = root.dir() + u"opt/bin/zelvane";
    EXPECT_EQ(defaultInstallDir(elsewhere, build), root.dir() + u"opt/share/zelvane/");

    // A build folder that is only a prefix of the executable's folder name does not count.
    const std::u16string sibling = build.buildDir + u"-other/bin/zelvane";
    EXPECT_EQ(defaultInstallDir(sibling, build), build.buildDir + u"-other/share/zelvane/");
}

TEST(AboutInstallDir, InstallInsideTheBuildTreeTakesItsOwnData) {
    TempDir root;
    root.write("src/License.txt", "source");
    root.write("build/stage/share/zelvane/License.txt", "installed");
    const BuildLocation build{utf8ToUtf16(root.path().string() + "/build"),
                              utf8ToUtf16(root.path().string() + "/src")};
    EXPECT_EQ(defaultInstallDir(build.buildDir + u"/stage/bin/zelvane", build),
              build.buildDir + u"/stage/share/zelvane/");
}

TEST(AboutInstallDir, WithoutAnyLicenseTheDataFolderIsStillNamed) {
    TempDir root;
    const BuildLocation build{utf8ToUtf16(root.path().string() + "/build"),
                              utf8ToUtf16(root.path().string() + "/src")};
    EXPECT_EQ(defaultInstallDir(build.buildDir + u"/bin/zelvane", build),
              build.buildDir + u"/share/zelvane/");
    EXPECT_EQ(defaultInstallDir(u"/zelvane", {}), u"/share/zelvane/");
    EXPECT_EQ(defaultInstallDir(u"", build), u"");
}

TEST(AboutInstallDir, UserSettingWinsAsItStands) {
    EXPECT_EQ(resolveInstallDir(u"/opt/z", u"/usr/bin/zelvane"), u"/opt/z");
    EXPECT_EQ(resolveInstallDir(u"", u""), u"");
}

TEST(AboutInstallDir, ThisBuildFindsTheRepositoryLicense) {
    // The test runs from the build tree, so the default is the source folder, which holds
    // the program's License.txt.
    const std::u16string dir = resolveInstallDir(u"", currentExecutablePath());
    ASSERT_FALSE(dir.empty());
    const std::optional<std::u16string> text = loadLicenseText(dir);
    ASSERT_TRUE(text.has_value());
    EXPECT_NE(text->find(u"MIT License"), std::u16string::npos);
    EXPECT_NE(text->find(u"Halcyra"), std::u16string::npos);
}

} // namespace
} // namespace zelvane
