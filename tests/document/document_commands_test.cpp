// The File commands as flows: a start state, the user's script, the commands, then the
// transcript and end state. Each flow runs in a fresh working directory.
#include "document/document.h"

#include <gtest/gtest.h>

#include <cctype>
#include <cerrno>
#include <filesystem>
#include <iterator>
#include <map>
#include <set>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>

#include "document/document_commands.h"
#include "support/scripted_ui.h"
#include "support/temp_dir.h"
#include "sync_seam.h"
#include "text/utf.h"

namespace zelvane {
namespace {

using testing::AllocSeam;
using testing::Lines;
using testing::ScriptedUi;
using testing::SyncSeam;
using enum MessageAnswer;

// The roots "Backup" and "Empty", the second holding the folder " Docs" with a.txt and Ω.mp3.
const std::string kExampleBytes("\x09\0Backup\0\x09\0Empty\0\x06\1 Docs\0\5\2a.txt\0\7\2\xFF\xFF"
                                "\xA9\3.\0m\0p\0\x33\0\0\0",
                                49);
const std::string kExample = "Архив-Ω.zelv";

using Text = const std::string&;
const auto q = [](Text text) { return "\"" + text + "\""; };
// The file dialogs: the name offered, the filters, the default extension and the checks.
const std::string kFilters =
    R"x( | "Zelvane Files (*.zelv)" "*.zelv" "All Files (*.*)" "*.*" | "zelv")x";
const auto open = [](Text chosen) {
    return R"(open dialog "*.zelv")" + kFilters + " must exist -> " + chosen;
};
const auto save = [](Text offered, Text chosen) {
    return "save dialog " + q(offered) + kFilters + " overwrite prompt -> " + chosen;
};
const auto ask = [](Text answer) {
    return R"(message "Save changes ?" | "zelvane-test" | Question | YesNo -> )" + answer;
};
const auto caption = [](Text title) { return "caption " + q(title + " - Zelvane"); };
const auto ioError = [](Text path) {
    return "message " + q(path) + R"( | "I/O ERROR" | Exclamation | Ok -> Ok)";
};
std::string loaded(Text title, int roots, int folders, int files) {
    return "message \"" + title + R"( successfuly opened.\n\nRoots:\t)" + std::to_string(roots) +
           R"(\nFolders:\t)" + std::to_string(folders) + R"(\nFiles:\t)" + std::to_string(files) +
           R"(" | "Information" | Information | Ok -> Ok)";
}
template <class... Line> Lines says(const Line&... lines) {
    return Lines{std::string(lines)...};
}
const std::string kNoTitle = R"(caption "Zelvane")";
const std::string kDeepWarning = R"(message "DEEP OVERFLOW ERROR!\nMAX DEEP LEVEL IS 255.\n\n)"
                                 R"(FILE WILL BE SAVED WITH ERRORS!" | "zelvane-test" | NoIcon | )"
                                 R"(Ok -> Ok)";

// start: [title] ["+" three unsaved nodes | N a chain of N folders]; script: Yes, No, cancel
// or a file ("-" empty); commands also "Load", "cmdline=ARG", "nosync", "nomemory".
struct Flow {
    const char* name;
    std::string start;
    std::string script;
    std::string commands;
    bool result; // all the commands did their work
    Lines transcript;
    std::string end;          // "<nodes> nodes | title | path", then " | modified" when it is
    std::string written = ""; // new files with their sizes
};

const Flow kFlows[] = {
    {"OpenCancelledChangesNothing", "a.zelv +", "cancel", "Open", false, says(open("cancel")),
     "3 nodes | a.zelv | a.zelv | modified"},
    {"OpenAsksAfterTheFileIsChosenAndNoLoadsOverTheChanges", "+", kExample + " No", "Open", true,
     says(open(q(kExample)), ask("No"), caption(kExample), loaded(kExample, 2, 1, 2)),
     "5 nodes | " + kExample + " | " + kExample},
    {"OpenYesSavesFirstThenLoadsWhatADamagedFileHolds", "+", "damaged.zelv Yes mine.zelv", "Open",
     true,
     says(open(q("damaged.zelv")), ask("Yes"), save("Untitled.zelv", q("mine.zelv")),
          caption("mine.zelv"), caption("damaged.zelv"), loaded("damaged.zelv", 1, 1, 0)),
     "2 nodes | damaged.zelv | damaged.zelv", "mine.zelv 27"},
    {"CommandLineWithAnEmptyArgumentDoesNothing", "", "", "cmdline=", false, says(),
     "0 nodes | Untitled.zelv | "},
    {"CommandLineAsksNothingAndAnUnreadableFileLeavesItsNameOnAnEmptySnapshot", "+", "",
     "cmdline=no-such-dir/disk.one.zelv", false,
     says(caption("disk.one.zelv"), ioError("no-such-dir/disk.one.zelv")),
     "0 nodes | disk.one.zelv | no-such-dir/disk.one.zelv"},
    {"CommandLineOpensTheFileAndARelativePathStaysRelative", "", "", "cmdline=./" + kExample, true,
     says(caption(kExample), loaded(kExample, 2, 1, 2)),
     "5 nodes | " + kExample + " | ./" + kExample},
    {"SaveOnANeverSavedSnapshotIsSaveAsAndAnEmptyTreeIsAnEmptyFile", "", "a.zelv", "Save", true,
     says(save("Untitled.zelv", q("a.zelv")), caption("a.zelv")), "0 nodes | a.zelv | a.zelv",
     "a.zelv 0"},
    {"SaveAsToAFolderThatIsNotThereTakesTheNameButNotTheCaptionOrTheFlag", "a.zelv +",
     "no-such-folder/x.zelv", "SaveAs", false,
     says(save("a.zelv", q("no-such-folder/x.zelv")), ioError("no-such-folder/x.zelv")),
     "3 nodes | x.zelv | no-such-folder/x.zelv | modified"},
    {"SaveAsWithAnEmptyNameFails", "a.zelv +", "-", "SaveAs", false,
     says(save("a.zelv", q("")), ioError("")), "3 nodes |  |  | modified"},
    {"ASnapshotSavedAsUntitledStillOpensSaveAsOnEverySave", "a.zelv +",
     "Untitled.zelv Untitled.zelv", "SaveAs Save", true,
     says(save("a.zelv", q("Untitled.zelv")), caption("Untitled.zelv"),
          save("Untitled.zelv", q("Untitled.zelv")), caption("Untitled.zelv")),
     "3 nodes | Untitled.zelv | Untitled.zelv", "Untitled.zelv 27"},
    {"APipeIsNotReplacedAndTheChangesStayUnsaved", "pipe.zelv +", "", "Save", false,
     says(ioError("pipe.zelv")), "3 nodes | pipe.zelv | pipe.zelv | modified"},
    {"APipeNobodyWritesToLoadsAsAnEmptySnapshot", "pipe.zelv +", "", "Load", true,
     says(caption("pipe.zelv"), loaded("pipe.zelv", 0, 0, 0)), "0 nodes | pipe.zelv | pipe.zelv"},
    {"RunningOutOfMemoryInALoadIsAnUnreadableFile", "damaged.zelv +", "", "nomemory Load", false,
     says(caption("damaged.zelv"), ioError("damaged.zelv")),
     "0 nodes | damaged.zelv | damaged.zelv"},
    {"A256LevelTreeSavesWithoutAWarning", "deep.zelv 256", "", "Save", true,
     says(caption("deep.zelv")), "256 nodes | deep.zelv | deep.zelv", "deep.zelv 1024"},
    {"OneLevelMoreWarnsOncePerSave", "deep.zelv 257", "", "Save", true,
     says(caption("deep.zelv"), kDeepWarning), "257 nodes | deep.zelv | deep.zelv",
     "deep.zelv 1028"},
    {"ADeeperTreeStillWarnsOnce", "deep.zelv 300", "", "Save", true,
     says(caption("deep.zelv"), kDeepWarning), "300 nodes | deep.zelv | deep.zelv",
     "deep.zelv 1200"},
    {"NewOnAnUnmodifiedSnapshotAsksNothing", "a.zelv", "", "New", true, says(kNoTitle),
     "0 nodes | Untitled.zelv | "},
    {"NewYesWithAFailingWriteGoesNoFurther", "done.zelv +", "Yes", "nosync New", false,
     says(ask("Yes"), caption("done.zelv"), ioError("done.zelv")),
     "3 nodes | done.zelv | done.zelv | modified"},
    {"ExitOnAnUnmodifiedSnapshotSavesTheSettingsAndEnds", "", "", "Exit", true,
     says("settings saved", "end 0"), "0 nodes | Untitled.zelv | "},
    {"ExitYesSavesFirst", "done.zelv +", "Yes", "Exit", true,
     says(ask("Yes"), caption("done.zelv"), "settings saved", "end 0"),
     "3 nodes | done.zelv | done.zelv", "done.zelv 27"},
    {"ExitYesWithACancelledSaveAsGoesNoFurther", "+", "Yes cancel", "Exit", false,
     says(ask("Yes"), save("Untitled.zelv", "cancel")), "3 nodes | Untitled.zelv |  | modified"},
};

std::vector<std::string> words(const std::string& text) {
    std::istringstream in(text);
    return {std::istream_iterator<std::string>(in), std::istream_iterator<std::string>()};
}

class DocumentFlow : public ::testing::TestWithParam<Flow> {
protected:
    DocumentFlow() {
        std::filesystem::current_path(dir.path());
        testing::writeBytes(kExample, kExampleBytes);
        testing::writeBytes("damaged.zelv", std::string("\x09\0R\0\x06\1cut", 8));
        ::mkfifo("pipe.zelv", 0644);
    }
    ~DocumentFlow() override { std::filesystem::current_path(home); }

    std::string stateOf() const {
        const DocumentState& state = document.state();
        return std::to_string(document.tree().size()) + " nodes | " +
               utf16ToUtf8(state.title + u" | " + state.path) +
               (state.modified ? " | modified" : "");
    }
    std::string written() const {
        std::set<std::string> files;
        for (const auto& entry : std::filesystem::directory_iterator(dir.path())) {
            const std::string name = entry.path().filename().string();
            if (name != kExample && name != "damaged.zelv" && name != "pipe.zelv") {
                files.insert(name + " " + std::to_string(entry.file_size()));
            }
        }
        std::string out;
        for (const std::string& file : files) {
            out += (out.empty() ? "" : ", ") + file;
        }
        return out;
    }

    const std::filesystem::path home = std::filesystem::current_path();
    testing::TempDir dir;
    ScriptedUi ui;
    Document document{ui, u"zelvane-test", [this] { ui.note("settings saved"); }};
};

TEST_P(DocumentFlow, Runs) {
    const Flow& flow = GetParam();
    SnapshotTree& tree = document.tree();
    for (const std::string& word : words(flow.start)) {
        if (word == "+") {
            tree.insertLast(tree.insertLast(tree.insertLast(kTopLevel, u"Disk"), u" Music"),
                            u"song.mp3");
        } else if (std::isdigit(static_cast<unsigned char>(word[0]))) {
            for (NodeId node = kTopLevel; tree.size() < std::stoul(word);) {
                node = tree.insertLast(node, u"d");
            }
        } else {
            document.state() = {utf8ToUtf16(word), utf8ToUtf16(word)};
        }
    }
    document.state().modified = !tree.empty(); // whatever the flow starts with is not saved
    for (const std::string& word : words(flow.script)) {
        word == "Yes" || word == "No" ? ui.answer(word == "Yes" ? Yes : No)
        : word == "cancel"            ? ui.cancelFile()
                                      : ui.choose(utf8ToUtf16(word == "-" ? "" : word));
    }
    const std::map<std::string, bool (Document::*)()> commands{
        {"New", &Document::OnFileNew},   {"Open", &Document::OnFileOpen},
        {"Save", &Document::OnFileSave}, {"SaveAs", &Document::OnFileSaveAs},
        {"Exit", &Document::OnFileExit}, {"Load", &Document::LoadSnapshot}};
    bool result = true;
    for (const std::string& word : words(flow.commands)) {
        if (word == "nosync" || word == "nomemory") {
            (word == "nosync" ? SyncSeam::failWith = EIO : AllocSeam::largest = 1 << 16);
        } else if (word.starts_with("cmdline=")) {
            result = document.OpenFromCommandLine(utf8ToUtf16(word.substr(8))) && result;
        } else {
            result = (document.*commands.at(word))() && result;
        }
    }
    SyncSeam::failWith = 0;
    AllocSeam::largest = static_cast<std::size_t>(-1);
    EXPECT_EQ(result, flow.result);
    EXPECT_EQ(ui.transcript(), flow.transcript);
    EXPECT_EQ(stateOf(), flow.end);
    EXPECT_EQ(written(), flow.written);
    struct stat pipe {};
    EXPECT_TRUE(::stat("pipe.zelv", &pipe) == 0 && S_ISFIFO(pipe.st_mode));
}

INSTANTIATE_TEST_SUITE_P(File, DocumentFlow, ::testing::ValuesIn(kFlows),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(SplitPathTest, DirectoryBaseAndExtension) {
    for (const auto& [path, expected] :
         {std::pair<std::u16string, std::string>{u"a/b.c/file", "a/b.c/|file|"},
          {u"archive.tar.zelv", "|archive.tar|.zelv"},
          {u"/dir/", "/dir/||"},
          {u".hidden", "||.hidden"},
          {u"back\\slash.zelv", "|back\\slash|.zelv"}}) {
        const PathParts p = splitPath(path);
        EXPECT_EQ(utf16ToUtf8(p.dir + u"|" + p.base + u"|" + p.ext), expected);
    }
}

} // namespace
} // namespace zelvane
