#include "document/document_commands.h"

#include <csignal>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/resource.h>

#include "document/snapshot_file.h"
#include "text/utf.h"
#include "support/scripted_port.h"
#include "support/temp_dir.h"

namespace zelvane {
namespace {

using ::testing::ElementsAre;
using testing::PortCall;
using testing::readBytes;
using testing::ScriptedPort;
using testing::TempDir;
using testing::writeBytes;

// The snapshot of one root "Backup" holding the folder " Docs" with a.txt and Ω.mp3.
const std::string kExampleBytes("\x09\0Backup\0\x06\1 Docs\0\5\2a.txt\0\7\2\xFF\xFF\xA9\3.\0m\0p\0"
                                "3\0\0\0",
                                41);

class DocumentCommandsTest : public ::testing::Test {
protected:
    DocumentCommandsTest()
        : commands(tree, state, port, u"zelvane-test", [this] {
              PortCall call;
              call.name = "save settings";
              port.record(call);
          }) {}

    // Puts a small captured tree in place (root, folder, file), as Add Tree would.
    void addTree(const std::u16string& rootText = u"Disk") {
        const NodeId root = tree.insertLast(kTopLevel, rootText);
        tree.setKind(root, kKindDriveRoot);
        const NodeId folder = tree.insertLast(root, u" Music");
        tree.setKind(folder, kKindFolder);
        tree.setKind(tree.insertLast(folder, u"song.mp3"), kKindMedia);
        state.modified = true;
    }
    std::u16string path(const std::string& name) const { return utf8ToUtf16(dir.file(name)); }
    auto takeTranscript() {
        auto lines = port.transcript();
        port.clearCalls();
        return lines;
    }

    // Expected transcript lines.
    static std::string prompt(std::string answer) {
        return R"(message "Save changes ?" | "zelvane-test" | Question | YesNo -> )" + answer;
    }
    static std::string caption(const std::string& t) { return "caption \"" + t + " - Zelvane\""; }
    static std::string openDialog(const std::string& chosen) {
        return R"(open dialog "*.zelv" -> ")" + chosen + "\"";
    }
    static std::string saveDialog(const std::string& initial, const std::string& chosen) {
        return "save dialog \"" + initial + "\" -> \"" + chosen + "\"";
    }
    static std::string ioError(const std::string& path) {
        return "message \"" + path + R"(" | "I/O ERROR" | Exclamation | Ok -> Ok)";
    }
    static std::string loaded(const std::string& title, int roots, int folders, int files) {
        return "message \"" + title + R"( successfuly opened.\n\nRoots:\t)" +
               std::to_string(roots) + R"(\nFolders:\t)" + std::to_string(folders) +
               R"(\nFiles:\t)" + std::to_string(files) +
               R"(" | "Information" | Information | Ok -> Ok)";
    }
    // "<nodes> nodes | title | path", then " | modified" when it is.
    std::string stateOf() const {
        return std::to_string(tree.size()) + " nodes | " +
               utf16ToUtf8(state.title + u" | " + state.path) +
               (state.modified ? " | modified" : "");
    }

    TempDir dir;
    SnapshotTree tree;
    DocumentState state;
    ScriptedPort port;
    DocumentCommands commands;
};

TEST_F(DocumentCommandsTest, New) {
    state.title = u"old.zelv";
    state.path = u"/somewhere/old.zelv";
    tree.insertLast(kTopLevel, u"R");
    EXPECT_TRUE(commands.OnFileNew());
    EXPECT_THAT(takeTranscript(), ElementsAre(R"(caption "Zelvane")"));
    EXPECT_EQ(stateOf(), "0 nodes | Untitled.zelv | ");

    addTree();
    port.answer(MessageAnswer::No);
    EXPECT_TRUE(commands.OnFileNew());
    EXPECT_THAT(takeTranscript(), ElementsAre(prompt("No"), R"(caption "Zelvane")"));
    EXPECT_EQ(stateOf(), "0 nodes | Untitled.zelv | ");

    addTree();
    port.answer(MessageAnswer::Yes).choose(path("first.zelv"));
    EXPECT_TRUE(commands.OnFileNew());
    EXPECT_THAT(takeTranscript(),
                ElementsAre(prompt("Yes"), saveDialog("Untitled.zelv", dir.file("first.zelv")),
                            caption("first.zelv"), R"(caption "Zelvane")"));
    EXPECT_EQ(stateOf(), "0 nodes | Untitled.zelv | ");
    EXPECT_FALSE(readBytes(dir.file("first.zelv")).empty());
}

TEST_F(DocumentCommandsTest, YesThenCancelledSaveAsStopsNewOpenAndExit) {
    // Answering Yes and then not saving must never throw the changes away.
    addTree();
    port.answer(MessageAnswer::Yes).cancel();
    EXPECT_FALSE(commands.OnFileNew());
    port.choose(path("other.zelv")).answer(MessageAnswer::Yes).cancel();
    EXPECT_FALSE(commands.OnFileOpen());
    port.answer(MessageAnswer::Yes).cancel();
    EXPECT_FALSE(commands.OnFileExit());

    const std::string cancelled = R"(save dialog "Untitled.zelv" -> cancel)";
    EXPECT_THAT(port.transcript(),
                ElementsAre(prompt("Yes"), cancelled, openDialog(dir.file("other.zelv")),
                            prompt("Yes"), cancelled, prompt("Yes"), cancelled));
    EXPECT_EQ(stateOf(), "3 nodes | Untitled.zelv |  | modified");
}

TEST_F(DocumentCommandsTest, CancelledFileDialogsChangeNothing) {
    addTree();
    state.title = u"keep.zelv";
    state.path = u"/x/keep.zelv";
    port.cancel().cancel();
    EXPECT_FALSE(commands.OnFileOpen());
    EXPECT_FALSE(commands.OnFileSaveAs());
    EXPECT_THAT(port.transcript(), ElementsAre(R"(open dialog "*.zelv" -> cancel)",
                                               R"(save dialog "keep.zelv" -> cancel)"));
    for (const PortCall& dialog : port.calls()) {
        const FileDialogRequest& request = dialog.request;
        const bool open = request.kind == FileDialogRequest::Kind::Open;
        std::u16string filters;
        for (const FileFilter& filter : request.filters) {
            filters += filter.description + u"|" + filter.pattern + u"|";
        }
        EXPECT_EQ(filters, u"Zelvane Files (*.zelv)|*.zelv|All Files (*.*)|*.*|");
        EXPECT_EQ(request.defaultExtension, u"zelv");
        EXPECT_EQ(request.fileMustExist, open);
        EXPECT_EQ(request.overwritePrompt, !open);
    }
    EXPECT_EQ(stateOf(), "3 nodes | keep.zelv | /x/keep.zelv | modified");
}

TEST_F(DocumentCommandsTest, OpenOfModifiedSnapshotAsksAfterTheFileIsChosen) {
    const std::string name = "Архив Ω.zelv"; // the title is not Latin
    writeBytes(dir.file(name), kExampleBytes);
    addTree();
    port.choose(path(name)).answer(MessageAnswer::No).answer(MessageAnswer::Ok);
    EXPECT_TRUE(commands.OnFileOpen());
    EXPECT_THAT(takeTranscript(), ElementsAre(openDialog(dir.file(name)), prompt("No"),
                                              caption(name), loaded(name, 1, 1, 2)));
    EXPECT_EQ(stateOf(), "4 nodes | " + name + " | " + dir.file(name));
    EXPECT_EQ(tree.text(tree.firstRoot()), u"Backup"); // the loaded tree replaced the captured one

    // Yes on a never saved snapshot: Save As comes after the Open dialog, before the load.
    addTree();
    state.title = u"Untitled.zelv";
    port.choose(path(name)).answer(MessageAnswer::Yes);
    port.choose(path("mine.zelv")).answer(MessageAnswer::Ok);
    EXPECT_TRUE(commands.OnFileOpen());
    EXPECT_THAT(port.transcript(),
                ElementsAre(openDialog(dir.file(name)), prompt("Yes"),
                            saveDialog("Untitled.zelv", dir.file("mine.zelv")),
                            caption("mine.zelv"), caption(name), loaded(name, 1, 1, 2)));
    SnapshotTree saved;
    EXPECT_EQ(readSnapshotFile(dir.file("mine.zelv"), saved).roots, 2u);
    EXPECT_EQ(stateOf(), "4 nodes | " + name + " | " + dir.file(name));
}

TEST_F(DocumentCommandsTest, OpenOfUnreadableFileLeavesEmptyTitledSnapshot) {
    addTree();
    state.modified = false;
    port.choose(path("missing.zelv")).answer(MessageAnswer::Ok);
    EXPECT_FALSE(commands.OnFileOpen());
    EXPECT_THAT(takeTranscript(),
                ElementsAre(openDialog(dir.file("missing.zelv")), caption("missing.zelv"),
                            ioError(dir.file("missing.zelv"))));
    EXPECT_EQ(stateOf(), "0 nodes | missing.zelv | " + dir.file("missing.zelv"));

    // A later Save writes to the path of the file that failed, without a dialog.
    addTree();
    EXPECT_TRUE(commands.OnFileSave());
    EXPECT_THAT(port.transcript(), ElementsAre(caption("missing.zelv")));
    EXPECT_FALSE(state.modified);
    EXPECT_FALSE(readBytes(dir.file("missing.zelv")).empty());
}

TEST_F(DocumentCommandsTest, SaveAndSaveAs) {
    const std::string a = dir.file("a.zelv"), b = dir.file("b.zelv");
    port.choose(path("a.zelv"));
    EXPECT_TRUE(commands.OnFileSave());
    EXPECT_EQ(readBytes(a), ""); // an empty tree is zero bytes
    EXPECT_EQ(stateOf(), "0 nodes | a.zelv | " + a);

    // Titled now: Save writes straight away, Save As offers the current title.
    addTree();
    EXPECT_TRUE(commands.OnFileSave());
    EXPECT_FALSE(state.modified);
    port.choose(path("b.zelv"));
    EXPECT_TRUE(commands.OnFileSaveAs());
    EXPECT_THAT(port.transcript(),
                ElementsAre(saveDialog("Untitled.zelv", a), caption("a.zelv"), caption("a.zelv"),
                            saveDialog("a.zelv", b), caption("b.zelv")));
    EXPECT_EQ(readBytes(a), readBytes(b));
}

TEST_F(DocumentCommandsTest, SnapshotSavedAsUntitledIsStillNeverSaved) {
    addTree();
    port.choose(path("Untitled.zelv")).choose(path("Untitled.zelv"));
    EXPECT_TRUE(commands.OnFileSave());
    EXPECT_TRUE(commands.OnFileSave());
    const std::string again = saveDialog("Untitled.zelv", dir.file("Untitled.zelv"));
    EXPECT_THAT(takeTranscript(),
                ElementsAre(again, caption("Untitled.zelv"), again, caption("Untitled.zelv")));
    // A title in another letter case is a real title.
    state.title = u"untitled.zelv";
    EXPECT_TRUE(commands.OnFileSave());
    EXPECT_THAT(port.transcript(), ElementsAre(caption("untitled.zelv")));
}

TEST_F(DocumentCommandsTest, TargetThatCannotBeCreatedKeepsChangesAndCaption) {
    struct Case {
        std::string target, title;
    };
    const Case cases[] = {{dir.file("no-such-folder/x.zelv"), "x.zelv"}, {dir.file(""), ""}};
    addTree();
    for (const Case& c : cases) {
        state.title = u"Untitled.zelv";
        port.choose(utf8ToUtf16(c.target), utf8ToUtf16(c.title)).answer(MessageAnswer::Ok);
        EXPECT_FALSE(commands.OnFileSaveAs());
        EXPECT_THAT(takeTranscript(),
                    ElementsAre(saveDialog("Untitled.zelv", c.target), ioError(c.target)));
        EXPECT_EQ(stateOf(), "3 nodes | " + c.title + " | " + c.target + " | modified");
    }
}

// Runs command with every write past 64 bytes failing, as on a full disk.
template <class Command> bool onFullDisk(Command command) {
    rlimit old{};
    ::getrlimit(RLIMIT_FSIZE, &old);
    rlimit lower = old;
    lower.rlim_cur = 64;
    const auto previous = std::signal(SIGXFSZ, SIG_IGN);
    ::setrlimit(RLIMIT_FSIZE, &lower);
    const bool result = command();
    ::setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, previous);
    return result;
}

TEST_F(DocumentCommandsTest, FailedWriteIsReportedAndKeepsTheOldFile) {
    writeBytes(dir.file("full.zelv"), kExampleBytes);
    state.title = u"full.zelv";
    state.path = path("full.zelv");
    for (int i = 0; i < 50; ++i) {
        addTree(u"A root with a long enough name " + utf8ToUtf16(std::to_string(i)));
    }
    port.answer(MessageAnswer::Ok);
    EXPECT_FALSE(onFullDisk([&] { return commands.OnFileSave(); }));
    EXPECT_THAT(takeTranscript(),
                ElementsAre(caption("full.zelv"), ioError(dir.file("full.zelv"))));
    EXPECT_TRUE(state.modified);
    EXPECT_EQ(readBytes(dir.file("full.zelv")), kExampleBytes);
    // No temporary file is left behind.
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 1);

    // Exit asked to save into the full disk does not end the program.
    port.answer(MessageAnswer::Yes).answer(MessageAnswer::Ok);
    EXPECT_FALSE(onFullDisk([&] { return commands.OnFileExit(); }));
    EXPECT_THAT(port.transcript(),
                ElementsAre(prompt("Yes"), caption("full.zelv"), ioError(dir.file("full.zelv"))));
    EXPECT_TRUE(state.modified);
}

TEST_F(DocumentCommandsTest, DeepSnapshotWarnsOncePerSave) {
    NodeId node = kTopLevel;
    for (int level = 0; level < 300; ++level) {
        node = tree.insertLast(node, u"d");
        tree.setKind(node, kKindFolder);
    }
    state.modified = true;
    port.choose(path("deep.zelv")).answer(MessageAnswer::Ok);
    EXPECT_TRUE(commands.OnFileSaveAs());
    EXPECT_THAT(
        port.transcript(),
        ElementsAre(saveDialog("Untitled.zelv", dir.file("deep.zelv")), caption("deep.zelv"),
                    R"(message "DEEP OVERFLOW ERROR!\nMAX DEEP LEVEL IS 255.\n\n)"
                    R"(FILE WILL BE SAVED WITH ERRORS!" | "zelvane-test" | NoIcon | Ok -> Ok)"));
    EXPECT_FALSE(state.modified);
    EXPECT_EQ(readBytes(dir.file("deep.zelv")).size(), 300u * 4);
}

TEST_F(DocumentCommandsTest, ExitSavesSettingsThenEndsTheRun) {
    EXPECT_TRUE(commands.OnFileExit());
    EXPECT_THAT(takeTranscript(), ElementsAre("save settings", "end 0"));

    addTree();
    port.answer(MessageAnswer::No);
    EXPECT_TRUE(commands.OnFileExit());
    EXPECT_THAT(takeTranscript(), ElementsAre(prompt("No"), "save settings", "end 0"));

    state.title = u"done.zelv";
    state.path = path("done.zelv");
    port.answer(MessageAnswer::Yes);
    EXPECT_TRUE(commands.OnFileExit());
    EXPECT_THAT(port.transcript(),
                ElementsAre(prompt("Yes"), caption("done.zelv"), "save settings", "end 0"));
    EXPECT_FALSE(state.modified);
}

TEST_F(DocumentCommandsTest, CommandLine) {
    EXPECT_FALSE(commands.OpenFromCommandLine(u""));
    EXPECT_TRUE(port.calls().empty());

    // A relative path stays relative; there is no prompt, whatever the flag says.
    std::filesystem::create_directory(dir.path() / "sub");
    writeBytes(dir.file("sub/disk.one.zelv"), kExampleBytes);
    const std::filesystem::path old = std::filesystem::current_path();
    std::filesystem::current_path(dir.path());
    state.modified = true;
    port.answer(MessageAnswer::Ok);
    const bool opened = commands.OpenFromCommandLine(u"sub/disk.one.zelv");
    std::filesystem::current_path(old);
    EXPECT_TRUE(opened);
    EXPECT_THAT(takeTranscript(),
                ElementsAre(caption("disk.one.zelv"), loaded("disk.one.zelv", 1, 1, 2)));
    EXPECT_EQ(stateOf(), "4 nodes | disk.one.zelv | sub/disk.one.zelv");

    // A folder: the title is empty, the load fails with the path.
    port.answer(MessageAnswer::Ok);
    EXPECT_FALSE(commands.OpenFromCommandLine(path("")));
    EXPECT_THAT(takeTranscript(), ElementsAre(R"(caption " - Zelvane")", ioError(dir.file(""))));
    EXPECT_EQ(stateOf(), "0 nodes |  | " + dir.file(""));

    // A file of zero bytes is an empty snapshot.
    writeBytes(dir.file("empty.zelv"), "");
    port.answer(MessageAnswer::Ok);
    EXPECT_TRUE(commands.OpenFromCommandLine(path("empty.zelv")));
    EXPECT_THAT(port.transcript(),
                ElementsAre(caption("empty.zelv"), loaded("empty.zelv", 0, 0, 0)));
}

TEST(SplitPathTest, DirectoryBaseAndExtension) {
    const std::pair<std::u16string, std::string> cases[] = {
        {u"a/b.c/file", "a/b.c/|file|"},
        {u"archive.tar.zelv", "|archive.tar|.zelv"},
        {u"/dir/", "/dir/||"},
        {u".hidden", "||.hidden"},
        {u"back\\slash.zelv", "|back\\slash|.zelv"}};
    for (const auto& [path, expected] : cases) {
        const PathParts p = splitPath(path);
        EXPECT_EQ(utf16ToUtf8(p.dir + u"|" + p.base + u"|" + p.ext), expected);
    }
}

} // namespace
} // namespace zelvane
