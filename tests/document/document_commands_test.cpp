#include "document/document_commands.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>

#include "document/snapshot_file.h"
#include "support/scripted_ui.h"
#include "support/temp_dir.h"
#include "sync_seam.h"
#include "text/utf.h"

namespace zelvane {
namespace {

using testing::Lines;
using testing::readBytes;
using testing::ScriptedUi;
using testing::SyncSeam;
using testing::TempDir;
using testing::writeBytes;

// The snapshot of one root "Backup" holding the folder " Docs" with a.txt and Ω.mp3.
const std::string kExampleBytes("\x09\0Backup\0\x06\1 Docs\0\5\2a.txt\0\7\2\xFF\xFF\xA9\3.\0m\0p\0"
                                "3\0\0\0",
                                41);

std::string prompt(const std::string& answer) {
    return R"(message "Save changes ?" | "zelvane-test" | Question | YesNo -> )" + answer;
}
std::string caption(const std::string& title) {
    return "caption \"" + title + " - Zelvane\"";
}
std::string openDialog(const std::string& chosen) {
    return R"(open dialog "*.zelv" -> )" + chosen;
}
std::string saveDialog(const std::string& initial, const std::string& chosen) {
    return "save dialog \"" + initial + "\" -> " + chosen;
}
std::string quoted(const std::string& text) {
    return "\"" + text + "\"";
}
std::string ioError(const std::string& path) {
    return "message \"" + path + R"(" | "I/O ERROR" | Exclamation | Ok -> Ok)";
}
std::string loaded(const std::string& title, int roots, int folders, int files) {
    return "message \"" + title + R"( successfuly opened.\n\nRoots:\t)" + std::to_string(roots) +
           R"(\nFolders:\t)" + std::to_string(folders) + R"(\nFiles:\t)" + std::to_string(files) +
           R"(" | "Information" | Information | Ok -> Ok)";
}
const std::string kNoTitle = R"(caption "Zelvane")";
const std::string kDeepWarning = R"(message "DEEP OVERFLOW ERROR!\nMAX DEEP LEVEL IS 255.\n\n)"
                                 R"(FILE WILL BE SAVED WITH ERRORS!" | "zelvane-test" | NoIcon | )"
                                 R"(Ok -> Ok)";

class DocumentCommandsTest : public ::testing::Test {
protected:
    // Puts a small captured tree in place (root, folder, file), as Add Tree would.
    void addTree() {
        const NodeId root = tree.insertLast(kTopLevel, u"Disk");
        tree.setKind(root, kKindDriveRoot);
        const NodeId folder = tree.insertLast(root, u" Music");
        tree.setKind(folder, kKindFolder);
        tree.setKind(tree.insertLast(folder, u"song.mp3"), kKindMedia);
        state.modified = true;
    }
    void titled(const std::string& name) {
        state.title = utf8ToUtf16(name);
        state.path = path(name);
    }
    std::u16string path(const std::string& name) const { return utf8ToUtf16(dir.file(name)); }
    Lines takeTranscript() {
        Lines lines = ui.transcript();
        ui.clearTranscript();
        return lines;
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
    ScriptedUi ui;
    std::vector<std::size_t> settingsSavedAt; // transcript length at each settings save
    DocumentCommands commands{tree, state, ui, u"zelvane-test",
                              [this] { settingsSavedAt.push_back(ui.transcript().size()); }};
};

TEST_F(DocumentCommandsTest, New) {
    titled("old.zelv");
    tree.insertLast(kTopLevel, u"R");
    EXPECT_TRUE(commands.OnFileNew()); // not modified: no question
    EXPECT_EQ(takeTranscript(), (Lines{kNoTitle}));
    EXPECT_EQ(stateOf(), "0 nodes | Untitled.zelv | ");

    addTree();
    ui.answer(MessageAnswer::No);
    EXPECT_TRUE(commands.OnFileNew());
    EXPECT_EQ(takeTranscript(), (Lines{prompt("No"), kNoTitle}));
    EXPECT_EQ(stateOf(), "0 nodes | Untitled.zelv | ");

    addTree();
    ui.answer(MessageAnswer::Yes).cancelFile();
    EXPECT_FALSE(commands.OnFileNew());
    EXPECT_EQ(takeTranscript(), (Lines{prompt("Yes"), saveDialog("Untitled.zelv", "cancel")}));
    EXPECT_EQ(stateOf(), "3 nodes | Untitled.zelv |  | modified");

    ui.answer(MessageAnswer::Yes).choose(path("first.zelv"));
    EXPECT_TRUE(commands.OnFileNew());
    EXPECT_EQ(ui.transcript(),
              (Lines{prompt("Yes"), saveDialog("Untitled.zelv", quoted(dir.file("first.zelv"))),
                     caption("first.zelv"), kNoTitle}));
    EXPECT_EQ(stateOf(), "0 nodes | Untitled.zelv | ");
    SnapshotTree saved;
    EXPECT_EQ(readSnapshotFile(dir.file("first.zelv"), saved).records, 3u);
}

TEST_F(DocumentCommandsTest, Open) {
    const std::string name = "Архив Ω\t1.zelv"; // not Latin, with a tab
    const std::string shown = "Архив Ω\\t1.zelv";
    writeBytes(dir.file(name), kExampleBytes);
    ui.cancelFile();
    EXPECT_FALSE(commands.OnFileOpen());
    EXPECT_EQ(takeTranscript(), (Lines{openDialog("cancel")}));

    // The question comes after the file is chosen; No loads it over the changes.
    addTree();
    ui.choose(path(name)).answer(MessageAnswer::No);
    EXPECT_TRUE(commands.OnFileOpen());
    EXPECT_EQ(takeTranscript(), (Lines{openDialog(quoted(dir.path().string() + "/" + shown)),
                                       prompt("No"), caption(shown), loaded(shown, 1, 1, 2)}));
    EXPECT_EQ(stateOf(), "4 nodes | " + name + " | " + dir.file(name));

    // Yes on a never saved snapshot: Save As comes before the load; cancelled, nothing loads.
    addTree();
    state.title = u"Untitled.zelv";
    ui.choose(path("damaged.zelv")).answer(MessageAnswer::Yes).cancelFile();
    EXPECT_FALSE(commands.OnFileOpen());
    EXPECT_EQ(stateOf(), "7 nodes | Untitled.zelv | " + dir.file(name) + " | modified");
    // A damaged file loads what it holds: a root, then a name cut by the end of the file.
    writeBytes(dir.file("damaged.zelv"), std::string("\x09\0R\0\x06\1cut", 8));
    ui.clearTranscript();
    ui.choose(path("damaged.zelv")).answer(MessageAnswer::Yes).choose(path("mine.zelv"));
    EXPECT_TRUE(commands.OnFileOpen());
    EXPECT_EQ(ui.transcript(), (Lines{openDialog(quoted(dir.file("damaged.zelv"))), prompt("Yes"),
                                      saveDialog("Untitled.zelv", quoted(dir.file("mine.zelv"))),
                                      caption("mine.zelv"), caption("damaged.zelv"),
                                      loaded("damaged.zelv", 1, 1, 0)}));
    EXPECT_EQ(stateOf(), "2 nodes | damaged.zelv | " + dir.file("damaged.zelv"));
    SnapshotTree saved;
    EXPECT_EQ(readSnapshotFile(dir.file("mine.zelv"), saved).roots, 2u);
}

TEST_F(DocumentCommandsTest, OpenOfUnreadableFileLeavesEmptyTitledSnapshot) {
    addTree();
    state.modified = false;
    ui.choose(path("missing.zelv"));
    EXPECT_FALSE(commands.OnFileOpen());
    EXPECT_EQ(takeTranscript(),
              (Lines{openDialog(quoted(dir.file("missing.zelv"))), caption("missing.zelv"),
                     ioError(dir.file("missing.zelv"))}));
    EXPECT_EQ(stateOf(), "0 nodes | missing.zelv | " + dir.file("missing.zelv"));
}

TEST_F(DocumentCommandsTest, Save) {
    // Never saved: Save is Save As. An empty tree is a file of zero bytes.
    ui.choose(path("a.zelv"));
    EXPECT_TRUE(commands.OnFileSave());
    EXPECT_EQ(readBytes(dir.file("a.zelv")), "");
    addTree();
    EXPECT_TRUE(commands.OnFileSave()); // titled now: no dialog
    EXPECT_EQ(ui.transcript(), (Lines{saveDialog("Untitled.zelv", quoted(dir.file("a.zelv"))),
                                      caption("a.zelv"), caption("a.zelv")}));
    EXPECT_EQ(stateOf(), "3 nodes | a.zelv | " + dir.file("a.zelv"));
    EXPECT_EQ(readBytes(dir.file("a.zelv")).size(), 27u);
}

TEST_F(DocumentCommandsTest, FailedWriteKeepsTheOldFileAndTheChanges) {
    writeBytes(dir.file("full.zelv"), kExampleBytes);
    titled("full.zelv");
    addTree();
    SyncSeam::failWith = EIO;
    const bool saved = commands.OnFileSave();
    SyncSeam::failWith = 0;
    EXPECT_FALSE(saved);
    EXPECT_EQ(ui.transcript(), (Lines{caption("full.zelv"), ioError(dir.file("full.zelv"))}));
    EXPECT_EQ(stateOf(), "3 nodes | full.zelv | " + dir.file("full.zelv") + " | modified");
    EXPECT_EQ(readBytes(dir.file("full.zelv")), kExampleBytes);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 1);
}

TEST_F(DocumentCommandsTest, DeepTreeWarnsOncePerSave) {
    const std::pair<int, bool> cases[] = {{256, false}, {257, true}, {400, true}};
    for (const auto& [levels, warned] : cases) {
        SCOPED_TRACE(levels);
        tree.removeAll();
        NodeId node = kTopLevel;
        for (int level = 0; level < levels; ++level) {
            node = tree.insertLast(node, u"d");
        }
        titled("deep.zelv");
        state.modified = true;
        EXPECT_TRUE(commands.OnFileSave());
        Lines expected{caption("deep.zelv")};
        if (warned) {
            expected.push_back(kDeepWarning);
        }
        EXPECT_EQ(takeTranscript(), expected);
        EXPECT_FALSE(state.modified);
        EXPECT_EQ(readBytes(dir.file("deep.zelv")).size(), levels * 4u);
    }
}

TEST_F(DocumentCommandsTest, SaveAs) {
    addTree();
    titled("keep.zelv");
    ui.cancelFile();
    EXPECT_FALSE(commands.OnFileSaveAs());
    EXPECT_EQ(takeTranscript(), (Lines{saveDialog("keep.zelv", "cancel")}));
    EXPECT_EQ(stateOf(), "3 nodes | keep.zelv | " + dir.file("keep.zelv") + " | modified");

    // A target that cannot be created: the name is taken, the caption and the flag are not.
    for (const std::string& target : {dir.file("no-such-folder/x.zelv"), dir.file("")}) {
        ui.choose(utf8ToUtf16(target));
        EXPECT_FALSE(commands.OnFileSaveAs());
        const std::string title = target.substr(target.rfind('/') + 1);
        EXPECT_EQ(takeTranscript(),
                  (Lines{saveDialog("keep.zelv", quoted(target)), ioError(target)}));
        EXPECT_EQ(stateOf(), "3 nodes | " + title + " | " + target + " | modified");
        titled("keep.zelv");
    }

    // A snapshot saved as "Untitled.zelv" still counts as never saved.
    ui.choose(path("Untitled.zelv")).choose(path("Untitled.zelv"));
    EXPECT_TRUE(commands.OnFileSaveAs());
    EXPECT_TRUE(commands.OnFileSave());
    const std::string again = saveDialog("keep.zelv", quoted(dir.file("Untitled.zelv")));
    EXPECT_EQ(ui.transcript(),
              (Lines{again, caption("Untitled.zelv"),
                     saveDialog("Untitled.zelv", quoted(dir.file("Untitled.zelv"))),
                     caption("Untitled.zelv")}));
    EXPECT_FALSE(state.modified);
}

TEST_F(DocumentCommandsTest, Exit) {
    EXPECT_TRUE(commands.OnFileExit());
    EXPECT_EQ(takeTranscript(), (Lines{"end 0"}));

    addTree();
    ui.answer(MessageAnswer::No);
    EXPECT_TRUE(commands.OnFileExit());
    EXPECT_EQ(takeTranscript(), (Lines{prompt("No"), "end 0"}));

    // Yes with a cancelled Save As, or a write that fails, does not end the program.
    ui.answer(MessageAnswer::Yes).cancelFile();
    EXPECT_FALSE(commands.OnFileExit());
    titled("done.zelv");
    ui.answer(MessageAnswer::Yes);
    SyncSeam::failWith = EIO;
    EXPECT_FALSE(commands.OnFileExit());
    SyncSeam::failWith = 0;
    EXPECT_EQ(takeTranscript(),
              (Lines{prompt("Yes"), saveDialog("Untitled.zelv", "cancel"), prompt("Yes"),
                     caption("done.zelv"), ioError(dir.file("done.zelv"))}));
    EXPECT_TRUE(state.modified);

    ui.answer(MessageAnswer::Yes);
    EXPECT_TRUE(commands.OnFileExit());
    EXPECT_EQ(ui.transcript(), (Lines{prompt("Yes"), caption("done.zelv"), "end 0"}));
    EXPECT_FALSE(state.modified);
    // The settings are saved just before each end, and only then.
    EXPECT_EQ(settingsSavedAt, (std::vector<std::size_t>{0, 1, 2}));
}

TEST_F(DocumentCommandsTest, CommandLine) {
    EXPECT_FALSE(commands.OpenFromCommandLine(u""));
    EXPECT_EQ(ui.transcript(), Lines{});

    // A relative path stays relative; there is no question, whatever the flag says.
    std::filesystem::create_directory(dir.path() / "sub");
    writeBytes(dir.file("sub/disk.one.zelv"), kExampleBytes);
    const std::filesystem::path old = std::filesystem::current_path();
    std::filesystem::current_path(dir.path());
    state.modified = true;
    const bool opened = commands.OpenFromCommandLine(u"sub/disk.one.zelv");
    std::filesystem::current_path(old);
    EXPECT_TRUE(opened);
    EXPECT_EQ(takeTranscript(),
              (Lines{caption("disk.one.zelv"), loaded("disk.one.zelv", 1, 1, 2)}));
    EXPECT_EQ(stateOf(), "4 nodes | disk.one.zelv | sub/disk.one.zelv");

    // A folder: the title is empty, the load fails with the path.
    EXPECT_FALSE(commands.OpenFromCommandLine(path("")));
    EXPECT_EQ(ui.transcript(), (Lines{R"(caption " - Zelvane")", ioError(dir.file(""))}));
    EXPECT_EQ(stateOf(), "0 nodes |  | " + dir.file(""));
}

TEST(DocumentFileDialogs, FiltersAndRequests) {
    const std::pair<std::u16string, std::u16string> cases[] = {
        {u"", u""},
        {u"||", u""},
        {u"A (*.a)|*.a||", u"A (*.a)=*.a;"},
        {u"A|*.a|B|*.b", u"A=*.a;B=*.b;"},
        {u"A|*.a|B||", u"A=*.a;"}, // an entry without its pattern is dropped
        {u"A|*.a||B|*.b||", u"A=*.a;"},
    };
    auto text = [](const std::vector<FileFilter>& filters) {
        std::u16string out;
        for (const FileFilter& f : filters) {
            out += f.description + u"=" + f.pattern + u";";
        }
        return out;
    };
    for (const auto& [filter, parsed] : cases) {
        EXPECT_EQ(text(parseFileFilter(filter)), parsed);
    }
    const FileDialogRequest open = openDialogRequest(), save = saveAsDialogRequest(u"t.zelv");
    for (const FileDialogRequest& r : {open, save}) {
        EXPECT_EQ(text(r.filters), u"Zelvane Files (*.zelv)=*.zelv;All Files (*.*)=*.*;");
        EXPECT_EQ(r.defaultExtension, u"zelv");
    }
    EXPECT_EQ(open.kind, FileDialogRequest::Kind::Open);
    EXPECT_EQ(save.kind, FileDialogRequest::Kind::Save);
    EXPECT_EQ(save.initialName, u"t.zelv");
    EXPECT_TRUE(open.fileMustExist && !open.overwritePrompt);
    EXPECT_TRUE(save.overwritePrompt && !save.fileMustExist);
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
