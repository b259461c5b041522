// The About command's licence paths and web pages, through a recording double of UiPort and
// AboutPort, and the installation folder rule.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>
#include <vector>

#include "about/about_command.h"
#include "about/install_dir.h"
#include "about/license_text.h"
#include "document/utf.h"

namespace zelvane {
namespace {

namespace fs = std::filesystem;
using ::testing::ElementsAre;

// Records every call of both ports as one line, in order.
class RecordingPorts : public UiPort, public AboutPort {
public:
    std::vector<std::string> calls;
    std::vector<std::u16string> licenseTexts;
    // What the About box does while it runs: presses these buttons in order.
    std::vector<int> pressInAboutBox;

    MessageAnswer messageBox(std::u16string_view text, std::u16string_view caption,
                             MessageIcon icon, MessageButtons buttons) override {
        calls.push_back("message \"" + utf16ToUtf8(text) + "\" \"" + utf16ToUtf8(caption) +
                        "\" icon=" + std::to_string(static_cast<int>(icon)) +
                        " buttons=" + std::to_string(static_cast<int>(buttons)));
        return MessageAnswer::Ok;
    }
    std::optional<ChosenFile> fileDialog(const FileDialogRequest&) override {
        calls.push_back("file dialog");
        return std::nullopt;
    }
    void setCaption(std::u16string_view caption) override {
        calls.push_back("caption " + utf16ToUtf8(caption));
    }
    void endMainWindow(int result) override { calls.push_back("end " + std::to_string(result)); }

    void runAboutBox(AboutBoxHandlers& handlers) override {
        calls.push_back("about box");
        for (int id : pressInAboutBox) {
            if (id == kIdVisitHomePage) {
                handlers.onVisitHomePage();
            } else if (id == kIdVisitCompany) {
                handlers.onVisitCompany();
            } else if (id == kIdLicense) {
                handlers.onLicense();
            }
        }
        calls.push_back("about box closed");
    }
    void openWebPage(std::string_view address) override {
        calls.push_back("web " + std::string(address));
    }
    void showLicenseWindow(std::u16string_view text) override {
        calls.push_back("license window");
        licenseTexts.emplace_back(text);
    }
};

const std::string kNotFound = "message \"License file not found!\nPlease reinstall the "
                              "application!\" \"Error\" icon=" +
                              std::to_string(static_cast<int>(MessageIcon::Exclamation)) +
                              " buttons=" + std::to_string(static_cast<int>(MessageButtons::Ok));

class TempDir {
public:
    TempDir() {
        std::string pattern = (fs::temp_directory_path() / "zelvane-about-XXXXXX").string();
        path_ = ::mkdtemp(pattern.data());
    }
    ~TempDir() {
        std::error_code ignored;
        fs::remove_all(path_, ignored);
    }
    const fs::path& path() const { return path_; }
    // The folder as an InstallDir: with its trailing "/".
    std::u16string dir() const { return utf8ToUtf16(path_.string() + "/"); }
    void write(const fs::path& name, std::string_view bytes) const {
        fs::create_directories((path_ / name).parent_path());
        std::ofstream out(path_ / name, std::ios::binary);
        out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    }

private:
    fs::path path_;
};

// Runs "License..." once with installDir and returns the calls.
struct LicenseRun {
    std::vector<std::string> calls;
    std::u16string text; // the licence window's text, when it opened
};

LicenseRun pressLicense(std::u16string installDir) {
    RecordingPorts ports;
    AboutCommands commands(ports, ports, std::move(installDir));
    commands.onLicense();
    LicenseRun run{ports.calls, {}};
    if (!ports.licenseTexts.empty()) {
        run.text = ports.licenseTexts.front();
    }
    return run;
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
    EXPECT_THAT(pressLicense(dir.dir()).calls, ElementsAre(kNotFound));
}

TEST(AboutLicense, FolderWithoutTrailingSlashIsGluedOnAndNotFound) {
    TempDir dir;
    dir.write("License.txt", "text");
    // "/tmp/zelvane-about-XXXXXXLicense.txt" does not exist.
    EXPECT_THAT(pressLicense(utf8ToUtf16(dir.path().string())).calls, ElementsAre(kNotFound));
}

TEST(AboutLicense, EmptyInstallDirLooksInTheCurrentFolder) {
    TempDir dir;
    dir.write("License.txt", "here");
    const fs::path before = fs::current_path();
    fs::current_path(dir.path());
    const LicenseRun found = pressLicense(u"");
    fs::remove(dir.path() / "License.txt");
    const LicenseRun missing = pressLicense(u"");
    fs::current_path(before);
    EXPECT_THAT(found.calls, ElementsAre("license window"));
    EXPECT_EQ(found.text, u"here");
    EXPECT_THAT(missing.calls, ElementsAre(kNotFound));
}

TEST(AboutLicense, FolderOrFifoNamedLicenseTxtCountsAsMissing) {
    TempDir dir;
    fs::create_directories(dir.path() / "a" / "License.txt");
    EXPECT_THAT(pressLicense(dir.dir() + u"a/").calls, ElementsAre(kNotFound));
    fs::create_directories(dir.path() / "b");
    ASSERT_EQ(::mkfifo((dir.path() / "b" / "License.txt").c_str(), 0600), 0);
    EXPECT_THAT(pressLicense(dir.dir() + u"b/").calls, ElementsAre(kNotFound)); // no hang
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
    RecordingPorts ports;
    AboutCommands commands(ports, ports, dir.dir());
    commands.onLicense();
    dir.write("License.txt", "new");
    commands.onLicense();
    fs::remove(dir.path() / "License.txt");
    commands.onLicense();
    EXPECT_THAT(ports.calls, ElementsAre(kNotFound, "license window", kNotFound));
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
    ::unsetenv("LC_ALL");
}

// --- The About command and its buttons ---

TEST(AboutCommand, OpensTheBoxWhoseButtonsOpenTheTwoPages) {
    TempDir dir;
    dir.write("License.txt", "L");
    RecordingPorts ports;
    ports.pressInAboutBox = {kIdVisitHomePage, kIdVisitCompany, kIdLicense, kIdVisitHomePage};
    AboutCommands commands(ports, ports, dir.dir());
    commands.onAbout();
    EXPECT_THAT(ports.calls, ElementsAre("about box", "web https://zelvane.halcyra.com/",
                                         "web https://www.halcyra.com/", "license window",
                                         "web https://zelvane.halcyra.com/", "about box closed"));
}

TEST(AboutCommand, ClosingAtOnceDoesNothingElse) {
    RecordingPorts ports;
    AboutCommands commands(ports, ports, u"/nonexistent/");
    commands.onAbout();
    commands.onAbout();
    EXPECT_THAT(ports.calls,
                ElementsAre("about box", "about box closed", "about box", "about box closed"));
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
