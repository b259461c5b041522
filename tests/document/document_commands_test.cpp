#include "document/document_commands.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <sys/stat.h>

#include "document/snapshot_file.h"
#include "support/scripted_ui.h"
#include "support/temp_dir.h"
#include "sync_seam.h"
#include "text/utf.h"

namespace zelvane {
namespace {

using testing::AllocSeam;
using testing::Lines;
using testing::readBytes;
using testing::ScriptedUi;
using testing::SyncSeam;
using testing::TempDir;
using testing::writeBytes;

// The roots "Backup" and "Empty", the second holding the folder " Docs" with a.txt and Ω.mp3.
const std::string kExampleBytes("\x09\0Backup\0\x09\0Empty\0\x06\1 Docs\0\5\2a.txt\0\7\2\xFF\xFF"
                                "\xA9\3.\0m\0p\0\x33\0\0\0",
                                49);
const std::string kQuestion = R"(message "Save changes ?" | "zelvane-test" | Question | YesNo -> )";
const std::string kNoTitle = R"(caption "Zelvane")";
const std::string kDeepWarning = R"(message "DEEP OVERFLOW ERROR!\nMAX DEEP LEVEL IS 255.\n\n)"
                                 R"(FILE WILL BE SAVED WITH ERRORS!" | "zelvane-test" | NoIcon | )"
                                 R"(Ok -> Ok)";

std::string caption(const std::string& title) {
    return "caption \"" + title + " - Zelvane\"";
}
std::string saveDialog(const std::string& initial, const std::string& answer) {
    return "save dialog \"" + initial + "\" -> " + answer;
}
std::string loaded(const std::string& title, int roots, int folders, int files) {
    return "message \"" + title + R"( successfuly opened.\n\nRoots:\t)" + std::to_string(roots) +
           R"(\nFolders:\t)" + std::to_string(folders) + R"(\nFiles:\t)" + std::to_string(files) +
           R"(" | "Information" | Information | Ok -> Ok)";
}

class DocumentCommandsTest : public ::testing::Test {
protected:
    std::string chosen(const std::string& name) const {
        std::string quoted = "\"";
        return quoted.append(dir.file(name)).append("\"");
    }
    std::string openDialog(const std::string& name) const {
        return R"(open dialog "*.zelv" -> )" + chosen(name);
    }
    std::string ioError(const std::string& name) const {
        return "message \"" + dir.file(name) + R"(" | "I/O ERROR" | Exclamation | Ok -> Ok)";
    }
    std::u16string path(const std::string& name) const { return utf8ToUtf16(dir.file(name)); }
    void titled(const std::string& name) {
        state = {path(name), utf8ToUtf16(name), state.modified};
    }
    // A small captured tree (root, folder, file), as Add Tree leaves it.
    void addTree() {
        tree.insertLast(tree.insertLast(tree.insertLast(kTopLevel, u"Disk"), u" Music"),
                        u"song.mp3");
        state.modified = true;
    }
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

TEST_F(DocumentCommandsTest, OpenFromTheDialogOrTheCommandLine) {
    const std::string name = "Архив Ω\t1.zelv", shown = "Архив Ω\\t1.zelv";
    writeBytes(dir.file(name), kExampleBytes);
    ui.cancelFile();
    EXPECT_FALSE(commands.OnFileOpen());
    addTree(); // the question comes after the file is chosen; No loads over the changes

    ui.choose(path(name)).answer(MessageAnswer::No);
    EXPECT_TRUE(commands.OnFileOpen());
    EXPECT_EQ(takeTranscript(), (Lines{R"(open dialog "*.zelv" -> cancel)", openDialog(shown),
                                       kQuestion + "No", caption(shown), loaded(shown, 2, 1, 2)}));
    EXPECT_EQ(stateOf(), "5 nodes | " + name + " | " + dir.file(name));

    // Yes on a never saved snapshot: Save As comes first; cancelled, nothing loads.
    addTree();
    state.title = u"Untitled.zelv";
    ui.choose(path("damaged.zelv")).answer(MessageAnswer::Yes).cancelFile();
    EXPECT_FALSE(commands.OnFileOpen());
    EXPECT_EQ(stateOf(), "8 nodes | Untitled.zelv | " + dir.file(name) + " | modified");
    // A damaged file loads what it holds: a root, then a name cut by the end of the file.
    writeBytes(dir.file("damaged.zelv"), std::string("\x09\0R\0\x06\1cut", 8));
    ui.clearTranscript();
    ui.choose(path("damaged.zelv")).answer(MessageAnswer::Yes).choose(path("mine.zelv"));
    EXPECT_TRUE(commands.OnFileOpen());
    EXPECT_EQ(takeTranscript(),
              (Lines{openDialog("damaged.zelv"), kQuestion + "Yes",
                     saveDialog("Untitled.zelv", chosen("mine.zelv")), caption("mine.zelv"),
                     caption("damaged.zelv"), loaded("damaged.zelv", 1, 1, 0)}));
    EXPECT_EQ(stateOf(), "2 nodes | damaged.zelv | " + dir.file("damaged.zelv"));
    EXPECT_EQ(readBytes(dir.file("mine.zelv")).size(), 49u + 27u);

    // From the command line: an empty argument does nothing; a relative path stays relative;
    // there is no question, whatever the flag says; an unreadable file leaves an empty tree.
    EXPECT_FALSE(commands.OpenFromCommandLine(u""));
    state.modified = true;
    EXPECT_FALSE(commands.OpenFromCommandLine(u"no-such-dir/disk.one.zelv"));
    EXPECT_EQ(ui.transcript(),
              (Lines{caption("disk.one.zelv"), R"(message "no-such-dir/disk.one.zelv" | "I/O )"
                                               R"(ERROR" | Exclamation | Ok -> Ok)"}));
    EXPECT_EQ(stateOf(), "0 nodes | disk.one.zelv | no-such-dir/disk.one.zelv");
}

TEST_F(DocumentCommandsTest, SaveAndSaveAs) {
    // Never saved: Save is Save As. An empty tree is a file of zero bytes.
    ui.choose(path("a.zelv"));
    EXPECT_TRUE(commands.OnFileSave());
    EXPECT_EQ(readBytes(dir.file("a.zelv")), "");
    addTree();
    EXPECT_TRUE(commands.OnFileSave()); // titled now: no dialog
    EXPECT_EQ(readBytes(dir.file("a.zelv")).size(), 27u);
    addTree();
    ui.cancelFile();
    EXPECT_FALSE(commands.OnFileSaveAs());
    EXPECT_EQ(takeTranscript(),
              (Lines{saveDialog("Untitled.zelv", chosen("a.zelv")), caption("a.zelv"),
                     caption("a.zelv"), saveDialog("a.zelv", "cancel")}));
    EXPECT_EQ(stateOf(), "6 nodes | a.zelv | " + dir.file("a.zelv") + " | modified");
    // A target that cannot be created: the name is taken, the caption and the flag are not.
    for (const std::string& target : {std::string("no-such-folder/x.zelv"), std::string()}) {
        titled("a.zelv");
        ui.choose(path(target));
        EXPECT_FALSE(commands.OnFileSaveAs());
        const std::string title = target.empty() ? "" : "x.zelv";
        EXPECT_EQ(takeTranscript(), (Lines{saveDialog("a.zelv", chosen(target)), ioError(target)}));
        EXPECT_EQ(stateOf(), "6 nodes | " + title + " | " + dir.file(target) + " | modified");
    }
    // A snapshot saved as "Untitled.zelv" still counts as never saved.
    ui.choose(path("Untitled.zelv")).choose(path("Untitled.zelv"));
    EXPECT_TRUE(commands.OnFileSaveAs());
    EXPECT_TRUE(commands.OnFileSave());
    EXPECT_EQ(
        ui.transcript(),
        (Lines{saveDialog("", chosen("Untitled.zelv")), caption("Untitled.zelv"),
               saveDialog("Untitled.zelv", chosen("Untitled.zelv")), caption("Untitled.zelv")}));
    EXPECT_FALSE(state.modified);
}

TEST_F(DocumentCommandsTest, DeepTreeWarnsOncePerSave) {
    for (const auto& [levels, warned] : {std::pair{256, false}, std::pair{257, true}}) {
        SCOPED_TRACE(levels);
        tree.removeAll();
        for (NodeId node = kTopLevel; tree.size() < std::size_t(levels);) {
            node = tree.insertLast(node, u"d");
        }
        titled("deep.zelv");
        state.modified = true;
        EXPECT_TRUE(commands.OnFileSave());
        EXPECT_EQ(takeTranscript(), (warned ? Lines{caption("deep.zelv"), kDeepWarning}
                                            : Lines{caption("deep.zelv")}));
        EXPECT_FALSE(state.modified);
        // Each record is kind, depth, 'd', 0; from the 256th level on the depth byte is 255.
        const std::string saved = readBytes(dir.file("deep.zelv"));
        EXPECT_EQ(saved.size(), levels * 4u);
        EXPECT_EQ(saved.substr(4 * 254 + 1, 1) + saved.substr(saved.size() - 3, 1), "\xFE\xFF");
    }
}

TEST_F(DocumentCommandsTest, NewAndExitAskToSaveFirst) {
    titled("old.zelv");
    tree.insertLast(kTopLevel, u"R");
    EXPECT_TRUE(commands.OnFileNew()); // not modified: no question
    EXPECT_TRUE(commands.OnFileExit());
    addTree();
    ui.answer(MessageAnswer::Yes).choose(path("first.zelv"));
    EXPECT_TRUE(commands.OnFileNew());
    EXPECT_EQ(stateOf(), "0 nodes | Untitled.zelv | ");
    EXPECT_EQ(readBytes(dir.file("first.zelv")).size(), 27u);
    addTree();
    ui.answer(MessageAnswer::No);
    EXPECT_TRUE(commands.OnFileExit());
    // Yes with a cancelled Save As, or a write that fails, goes no further.
    ui.answer(MessageAnswer::Yes).cancelFile();
    EXPECT_FALSE(commands.OnFileExit());
    titled("done.zelv");
    ui.answer(MessageAnswer::Yes);
    SyncSeam::failWith = EIO;
    EXPECT_FALSE(commands.OnFileNew());
    SyncSeam::failWith = 0;
    EXPECT_EQ(stateOf(), "3 nodes | done.zelv | " + dir.file("done.zelv") + " | modified");
    ui.answer(MessageAnswer::Yes);
    EXPECT_TRUE(commands.OnFileExit());
    EXPECT_EQ(ui.transcript(),
              (Lines{kNoTitle, "end 0", kQuestion + "Yes",
                     saveDialog("Untitled.zelv", chosen("first.zelv")), caption("first.zelv"),
                     kNoTitle, kQuestion + "No", "end 0", kQuestion + "Yes",
                     saveDialog("Untitled.zelv", "cancel"), kQuestion + "Yes", caption("done.zelv"),
                     ioError("done.zelv"), kQuestion + "Yes", caption("done.zelv"), "end 0"}));
    EXPECT_FALSE(state.modified);
    // The settings are saved just before each end, and only then.
    EXPECT_EQ(settingsSavedAt, (std::vector<std::size_t>{1, 7, 15}));
}

TEST_F(DocumentCommandsTest, FailedLoadsLeaveAnEmptySnapshotAndFailedSavesKeepTheChanges) {
    writeBytes(dir.file("good.zelv"), kExampleBytes);
    ::mkfifo(dir.file("pipe.zelv").c_str(), 0644);
    // Memory runs out while the file is read: the same box as for a file that cannot be
    // read, and the snapshot is empty and unmodified, named after that file.
    addTree();
    titled("good.zelv");
    AllocSeam::largest = 1 << 16;
    EXPECT_FALSE(commands.LoadSnapshot());
    AllocSeam::largest = static_cast<std::size_t>(-1);
    EXPECT_EQ(takeTranscript(), (Lines{caption("good.zelv"), ioError("good.zelv")}));
    EXPECT_EQ(stateOf(), "0 nodes | good.zelv | " + dir.file("good.zelv"));
    // A pipe is never replaced by a snapshot; the changes stay unsaved and the caption as
    // it was. Nobody writes to it, so it loads as an empty snapshot.
    addTree();
    titled("pipe.zelv");
    EXPECT_FALSE(commands.OnFileSave());
    EXPECT_EQ(takeTranscript(), (Lines{ioError("pipe.zelv")}));
    EXPECT_EQ(stateOf(), "3 nodes | pipe.zelv | " + dir.file("pipe.zelv") + " | modified");
    EXPECT_TRUE(commands.LoadSnapshot());
    EXPECT_EQ(takeTranscript(), (Lines{caption("pipe.zelv"), loaded("pipe.zelv", 0, 0, 0)}));
    struct stat st {};
    EXPECT_TRUE(::stat(dir.file("pipe.zelv").c_str(), &st) == 0 && S_ISFIFO(st.st_mode));
}

TEST(DocumentFileDialogs, FiltersAndRequests) {
    auto text = [](const std::vector<FileFilter>& filters) {
        std::u16string out;
        for (const FileFilter& f : filters) {
            out += f.description + u"=" + f.pattern + u";";
        }
        return out;
    };
    // An entry without its pattern is dropped; "||" ends the list.
    EXPECT_EQ(text(parseFileFilter(u"||")) + text(parseFileFilter(u"A|*.a|B|*.b")) +
                  text(parseFileFilter(u"A|*.a|B||")) + text(parseFileFilter(u"A|*.a||B|*.b||")),
              u"A=*.a;B=*.b;A=*.a;A=*.a;");
    const FileDialogRequest open = openDialogRequest(), save = saveAsDialogRequest(u"t.zelv");
    for (const FileDialogRequest& r : {open, save}) {
        EXPECT_EQ(text(r.filters) + r.defaultExtension,
                  u"Zelvane Files (*.zelv)=*.zelv;All Files (*.*)=*.*;zelv");
    }
    EXPECT_TRUE(open.kind == FileDialogRequest::Kind::Open && open.fileMustExist &&
                !open.overwritePrompt);
    EXPECT_TRUE(save.kind == FileDialogRequest::Kind::Save && save.initialName == u"t.zelv" &&
                save.overwritePrompt && !save.fileMustExist);
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
