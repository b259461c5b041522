#include "document/document_commands.h"

#include <csignal>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

#include "document/snapshot_file.h"
#include "document/utf.h"
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
const std::string kExampleBytes("\x09\x00"
                                "Backup\x00"
                                "\x06\x01 Docs\x00"
                                "\x05\x02"
                                "a.txt\x00"
                                "\x07\x02\xFF\xFF\xA9\x03.\x00m\x00p\x00"
                                "3\x00\x00\x00",
                                41);

std::u16string u16(const std::string& s) {
    return utf8ToUtf16(s);
}

class DocumentCommandsTest : public ::testing::Test {
protected:
    DocumentCommandsTest()
        : commands(tree, state, port, u"zelvane-test", [this] {
              PortCall call;
              call.name = "save settings";
              port.record(call);
          }) {}

    // Puts a small captured tree in place, as Add Tree would, and marks it modified.
    void addTree(const std::u16string& rootText = u"Disk") {
        const NodeId root = tree.insertLast(kTopLevel, rootText);
        tree.setKind(root, kKindDriveRoot);
        tree.setTextAndBold(root, rootText);
        const NodeId folder = tree.insertLast(root, u" Music");
        tree.setKind(folder, kKindFolder);
        tree.setTextAndBold(folder, u" Music");
        tree.setKind(tree.insertLast(folder, u"song.mp3"), kKindMedia);
        state.modified = true;
    }

    std::u16string path(const std::string& name) const { return u16(dir.file(name)); }

    TempDir dir;
    SnapshotTree tree;
    DocumentState state;
    ScriptedPort port;
    DocumentCommands commands;
};

constexpr const char* kPrompt = R"(message "Save changes ?" | "zelvane-test" | Question | YesNo)";

// --- New ---

TEST_F(DocumentCommandsTest, NewWithoutChangesAsksNothing) {
    state.title = u"old.zelv";
    state.path = u"/somewhere/old.zelv";
    tree.insertLast(kTopLevel, u"R");
    EXPECT_TRUE(commands.OnFileNew());
    EXPECT_THAT(port.transcript(), ElementsAre(R"(caption "Zelvane")"));
    EXPECT_TRUE(tree.empty());
    EXPECT_EQ(state.title, u"Untitled.zelv");
    EXPECT_EQ(state.path, u"");
    EXPECT_FALSE(state.modified);
}

TEST_F(DocumentCommandsTest, NewAnsweredNoDropsTheChanges) {
    addTree();
    port.answer(MessageAnswer::No);
    EXPECT_TRUE(commands.OnFileNew());
    EXPECT_THAT(port.transcript(),
                ElementsAre(std::string(kPrompt) + " -> No", R"(caption "Zelvane")"));
    EXPECT_TRUE(tree.empty());
    EXPECT_FALSE(state.modified);
}

TEST_F(DocumentCommandsTest, NewAnsweredYesSavesThroughSaveAsFirst) {
    addTree();
    const std::u16string target = path("first.zelv");
    port.answer(MessageAnswer::Yes).choose(target);
    EXPECT_TRUE(commands.OnFileNew());
    EXPECT_THAT(port.transcript(),
                ElementsAre(std::string(kPrompt) + " -> Yes",
                            "save dialog \"Untitled.zelv\" -> \"" + utf16ToUtf8(target) + "\"",
                            R"(caption "first.zelv - Zelvane")", R"(caption "Zelvane")"));
    EXPECT_TRUE(tree.empty());
    EXPECT_EQ(state.title, u"Untitled.zelv");
    SnapshotTree back;
    const LoadStats stats = readSnapshotFile(dir.file("first.zelv"), back);
    EXPECT_EQ(stats.roots, 1u);
    EXPECT_EQ(stats.folders, 1u);
    EXPECT_EQ(stats.files, 1u);
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

    EXPECT_THAT(
        port.transcript(),
        ElementsAre(std::string(kPrompt) + " -> Yes", R"(save dialog "Untitled.zelv" -> cancel)",
                    R"(open dialog "*.zelv" -> ")" + dir.file("other.zelv") + "\"",
                    std::string(kPrompt) + " -> Yes", R"(save dialog "Untitled.zelv" -> cancel)",
                    std::string(kPrompt) + " -> Yes", R"(save dialog "Untitled.zelv" -> cancel)"));
    EXPECT_EQ(tree.size(), 3u);
    EXPECT_TRUE(state.modified);
    EXPECT_EQ(state.title, u"Untitled.zelv");
}

// --- Open ---

TEST_F(DocumentCommandsTest, OpenCancelledChangesNothing) {
    addTree();
    state.title = u"keep.zelv";
    state.path = u"/x/keep.zelv";
    port.cancel();
    EXPECT_FALSE(commands.OnFileOpen());
    EXPECT_THAT(port.transcript(), ElementsAre(R"(open dialog "*.zelv" -> cancel)"));
    EXPECT_EQ(tree.size(), 3u);
    EXPECT_TRUE(state.modified);
    EXPECT_EQ(state.title, u"keep.zelv");
    EXPECT_EQ(state.path, u"/x/keep.zelv");
}

TEST_F(DocumentCommandsTest, OpenDialogIsTheSnapshotFileDialog) {
    port.cancel();
    commands.OnFileOpen();
    const FileDialogRequest& request = port.calls().at(0).request;
    EXPECT_EQ(request.kind, FileDialogRequest::Kind::Open);
    ASSERT_EQ(request.filters.size(), 2u);
    EXPECT_EQ(request.filters[0].description, u"Zelvane Files (*.zelv)");
    EXPECT_EQ(request.filters[0].pattern, u"*.zelv");
    EXPECT_EQ(request.filters[1].description, u"All Files (*.*)");
    EXPECT_EQ(request.filters[1].pattern, u"*.*");
    EXPECT_EQ(request.defaultExtension, u"zelv");
    EXPECT_EQ(request.initialName, u"*.zelv");
    EXPECT_TRUE(request.fileMustExist);
    EXPECT_FALSE(request.overwritePrompt);
}

TEST_F(DocumentCommandsTest, OpenOfModifiedSnapshotAsksAfterTheFileIsChosen) {
    writeBytes(dir.file("example.zelv"), kExampleBytes);
    addTree();
    port.choose(path("example.zelv")).answer(MessageAnswer::No).answer(MessageAnswer::Ok);
    EXPECT_TRUE(commands.OnFileOpen());
    EXPECT_THAT(port.transcript(),
                ElementsAre(R"(open dialog "*.zelv" -> ")" + dir.file("example.zelv") + "\"",
                            std::string(kPrompt) + " -> No", R"(caption "example.zelv - Zelvane")",
                            R"(message "example.zelv successfuly opened.\n\nRoots:\t1\nFolders:\t1)"
                            R"(\nFiles:\t2" | "Information" | Information | Ok -> Ok)"));
    const PortCall loaded = port.messages().back();
    EXPECT_EQ(loaded.text,
              u"example.zelv successfuly opened.\n\nRoots:\t1\nFolders:\t1\nFiles:\t2");
    EXPECT_EQ(state.title, u"example.zelv");
    EXPECT_EQ(state.path, path("example.zelv"));
    EXPECT_FALSE(state.modified);
    // The loaded tree replaced the captured one.
    ASSERT_EQ(tree.size(), 4u);
    const NodeId root = tree.firstRoot();
    EXPECT_EQ(tree.text(root), u"Backup");
    EXPECT_TRUE(tree.isBold(root));
    EXPECT_EQ(tree.text(tree.firstChild(root)), u" Docs");
}

TEST_F(DocumentCommandsTest, OpenOfNeverSavedSnapshotWithYesShowsSaveAsAfterOpen) {
    writeBytes(dir.file("example.zelv"), kExampleBytes);
    addTree();
    port.choose(path("example.zelv"))
        .answer(MessageAnswer::Yes)
        .choose(path("mine.zelv"))
        .answer(MessageAnswer::Ok);
    EXPECT_TRUE(commands.OnFileOpen());
    const auto lines = port.transcript();
    ASSERT_EQ(lines.size(), 6u);
    EXPECT_EQ(lines[1], std::string(kPrompt) + " -> Yes");
    EXPECT_EQ(lines[2], "save dialog \"Untitled.zelv\" -> \"" + dir.file("mine.zelv") + "\"");
    EXPECT_EQ(lines[3], R"(caption "mine.zelv - Zelvane")");
    EXPECT_EQ(lines[4], R"(caption "example.zelv - Zelvane")");
    // The captured tree went to its own file before the other one was loaded.
    SnapshotTree saved;
    EXPECT_EQ(readSnapshotFile(dir.file("mine.zelv"), saved).files, 1u);
    EXPECT_EQ(state.title, u"example.zelv");
}

TEST_F(DocumentCommandsTest, OpenOfUnreadableFileLeavesEmptyTitledSnapshot) {
    addTree();
    state.modified = false;
    const std::u16string missing = path("missing.zelv");
    port.choose(missing).answer(MessageAnswer::Ok);
    EXPECT_FALSE(commands.OnFileOpen());
    EXPECT_THAT(port.transcript(),
                ElementsAre(R"(open dialog "*.zelv" -> ")" + dir.file("missing.zelv") + "\"",
                            R"(caption "missing.zelv - Zelvane")",
                            "message \"" + dir.file("missing.zelv") +
                                R"(" | "I/O ERROR" | Exclamation | Ok -> Ok)"));
    EXPECT_TRUE(tree.empty());
    EXPECT_FALSE(state.modified);
    EXPECT_EQ(state.title, u"missing.zelv");
    EXPECT_EQ(state.path, missing);

    // A later Save writes to the path of the file that failed, without a dialog.
    addTree();
    port.clearCalls();
    EXPECT_TRUE(commands.OnFileSave());
    EXPECT_THAT(port.transcript(), ElementsAre(R"(caption "missing.zelv - Zelvane")"));
    EXPECT_FALSE(state.modified);
    EXPECT_FALSE(readBytes(dir.file("missing.zelv")).empty());
}

TEST_F(DocumentCommandsTest, ZeroByteFileLoadsAsEmptySnapshot) {
    writeBytes(dir.file("empty.zelv"), "");
    port.choose(path("empty.zelv")).answer(MessageAnswer::Ok);
    EXPECT_TRUE(commands.OnFileOpen());
    EXPECT_EQ(port.messages().back().text,
              u"empty.zelv successfuly opened.\n\nRoots:\t0\nFolders:\t0\nFiles:\t0");
    EXPECT_TRUE(tree.empty());
}

TEST_F(DocumentCommandsTest, LoadedMessageCarriesNonLatinTitle) {
    const std::u16string name = u"Архив Ω.zelv";
    writeBytes(utf16ToUtf8(path("") + name), kExampleBytes);
    port.choose(path("") + name).answer(MessageAnswer::Ok);
    EXPECT_TRUE(commands.OnFileOpen());
    EXPECT_EQ(port.messages().back().text,
              name + u" successfuly opened.\n\nRoots:\t1\nFolders:\t1\nFiles:\t2");
    EXPECT_EQ(port.lastCaption(), name + u" - Zelvane");
}

// --- Save and Save As ---

TEST_F(DocumentCommandsTest, SaveOfNeverSavedSnapshotOffersUntitled) {
    addTree();
    port.choose(path("a.zelv"));
    EXPECT_TRUE(commands.OnFileSave());
    const PortCall& dialog = port.calls().at(0);
    ASSERT_EQ(dialog.kind, PortCall::Kind::FileDialog);
    EXPECT_EQ(dialog.request.kind, FileDialogRequest::Kind::Save);
    EXPECT_EQ(dialog.request.initialName, u"Untitled.zelv");
    EXPECT_TRUE(dialog.request.overwritePrompt);
    EXPECT_FALSE(dialog.request.fileMustExist);
    EXPECT_EQ(dialog.request.defaultExtension, u"zelv");
    EXPECT_EQ(dialog.request.filters.size(), 2u);
    EXPECT_EQ(state.title, u"a.zelv");
    EXPECT_EQ(state.path, path("a.zelv"));
    EXPECT_FALSE(state.modified);
    EXPECT_EQ(port.lastCaption(), u"a.zelv - Zelvane");

    // Titled now: Save writes straight away, Save As offers the current title.
    state.modified = true;
    port.clearCalls();
    EXPECT_TRUE(commands.OnFileSave());
    EXPECT_THAT(port.transcript(), ElementsAre(R"(caption "a.zelv - Zelvane")"));
    EXPECT_FALSE(state.modified);
    port.clearCalls();
    port.choose(path("b.zelv"));
    EXPECT_TRUE(commands.OnFileSaveAs());
    EXPECT_THAT(port.transcript(),
                ElementsAre("save dialog \"a.zelv\" -> \"" + dir.file("b.zelv") + "\"",
                            R"(caption "b.zelv - Zelvane")"));
    EXPECT_EQ(readBytes(dir.file("a.zelv")), readBytes(dir.file("b.zelv")));
}

TEST_F(DocumentCommandsTest, SnapshotSavedAsUntitledIsStillNeverSaved) {
    addTree();
    port.choose(path("Untitled.zelv")).choose(path("Untitled.zelv"));
    EXPECT_TRUE(commands.OnFileSave());
    EXPECT_TRUE(commands.OnFileSave());
    EXPECT_EQ(port.calls().size(), 4u);
    EXPECT_EQ(port.calls()[2].kind, PortCall::Kind::FileDialog);
    // A title in another letter case is a real title.
    state.title = u"untitled.zelv";
    port.clearCalls();
    EXPECT_TRUE(commands.OnFileSave());
    EXPECT_THAT(port.transcript(), ElementsAre(R"(caption "untitled.zelv - Zelvane")"));
}

TEST_F(DocumentCommandsTest, SaveAsCancelledChangesNothing) {
    addTree();
    state.title = u"t.zelv";
    state.path = u"/nowhere/t.zelv";
    port.cancel();
    EXPECT_FALSE(commands.OnFileSaveAs());
    EXPECT_THAT(port.transcript(), ElementsAre(R"(save dialog "t.zelv" -> cancel)"));
    EXPECT_TRUE(state.modified);
    EXPECT_EQ(state.path, u"/nowhere/t.zelv");
}

TEST_F(DocumentCommandsTest, EmptyTreeIsSavedAsZeroBytes) {
    port.choose(path("none.zelv"));
    EXPECT_TRUE(commands.OnFileSaveAs());
    EXPECT_EQ(readBytes(dir.file("none.zelv")), "");
}

TEST_F(DocumentCommandsTest, FileThatCannotBeCreatedKeepsChangesAndCaption) {
    addTree();
    const std::u16string target = path("no-such-folder/x.zelv");
    port.choose(target).answer(MessageAnswer::Ok);
    EXPECT_FALSE(commands.OnFileSaveAs());
    EXPECT_THAT(port.transcript(),
                ElementsAre("save dialog \"Untitled.zelv\" -> \"" + utf16ToUtf8(target) + "\"",
                            "message \"" + utf16ToUtf8(target) +
                                R"(" | "I/O ERROR" | Exclamation | Ok -> Ok)"));
    EXPECT_TRUE(state.modified);
    EXPECT_EQ(state.title, u"x.zelv");
    EXPECT_EQ(state.path, target);
}

TEST_F(DocumentCommandsTest, DirectoryAsTargetIsAnError) {
    addTree();
    port.choose(path(""), u"").answer(MessageAnswer::Ok);
    EXPECT_FALSE(commands.OnFileSaveAs());
    EXPECT_EQ(port.messages().back().caption, u"I/O ERROR");
    EXPECT_TRUE(state.modified);
}

// Makes every write past limit bytes fail, as a full disk would.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t limit) {
        ::getrlimit(RLIMIT_FSIZE, &old_);
        previous_ = std::signal(SIGXFSZ, SIG_IGN);
        rlimit lower = old_;
        lower.rlim_cur = limit;
        ::setrlimit(RLIMIT_FSIZE, &lower);
    }
    ~FileSizeLimit() {
        ::setrlimit(RLIMIT_FSIZE, &old_);
        std::signal(SIGXFSZ, previous_);
    }

private:
    rlimit old_{};
    void (*previous_)(int) = nullptr;
};

TEST_F(DocumentCommandsTest, FailedWriteIsReportedAndKeepsTheOldFile) {
    writeBytes(dir.file("full.zelv"), kExampleBytes);
    state.title = u"full.zelv";
    state.path = path("full.zelv");
    for (int i = 0; i < 50; ++i) {
        addTree(u"A root with a long enough name " + u16(std::to_string(i)));
    }
    port.answer(MessageAnswer::Ok);
    {
        FileSizeLimit limit(64);
        EXPECT_FALSE(commands.OnFileSave());
    }
    EXPECT_THAT(port.transcript(), ElementsAre(R"(caption "full.zelv - Zelvane")",
                                               "message \"" + dir.file("full.zelv") +
                                                   R"(" | "I/O ERROR" | Exclamation | Ok -> Ok)"));
    EXPECT_TRUE(state.modified);
    EXPECT_EQ(readBytes(dir.file("full.zelv")), kExampleBytes);
    // No temporary file is left behind.
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()),
                            std::filesystem::directory_iterator()),
              1);

    // Exit asked to save into the full disk does not end the program.
    port.clearCalls();
    port.answer(MessageAnswer::Yes).answer(MessageAnswer::Ok);
    {
        FileSizeLimit limit(64);
        EXPECT_FALSE(commands.OnFileExit());
    }
    const auto lines = port.transcript();
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0], std::string(kPrompt) + " -> Yes");
    EXPECT_NE(lines[2].find("I/O ERROR"), std::string::npos);
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
        ElementsAre("save dialog \"Untitled.zelv\" -> \"" + dir.file("deep.zelv") + "\"",
                    R"(caption "deep.zelv - Zelvane")",
                    R"(message "DEEP OVERFLOW ERROR!\nMAX DEEP LEVEL IS 255.\n\n)"
                    R"(FILE WILL BE SAVED WITH ERRORS!" | "zelvane-test" | NoIcon | Ok -> Ok)"));
    EXPECT_FALSE(state.modified);
    EXPECT_EQ(readBytes(dir.file("deep.zelv")).size(), 300u * 4);
}

// --- Exit ---

TEST_F(DocumentCommandsTest, ExitSavesSettingsThenEndsTheRun) {
    EXPECT_TRUE(commands.OnFileExit());
    EXPECT_THAT(port.transcript(), ElementsAre("save settings", "end 0"));

    addTree();
    port.clearCalls();
    port.answer(MessageAnswer::No);
    EXPECT_TRUE(commands.OnFileExit());
    EXPECT_THAT(port.transcript(),
                ElementsAre(std::string(kPrompt) + " -> No", "save settings", "end 0"));

    port.clearCalls();
    state.title = u"done.zelv";
    state.path = path("done.zelv");
    port.answer(MessageAnswer::Yes);
    EXPECT_TRUE(commands.OnFileExit());
    EXPECT_THAT(port.transcript(),
                ElementsAre(std::string(kPrompt) + " -> Yes", R"(caption "done.zelv - Zelvane")",
                            "save settings", "end 0"));
    EXPECT_FALSE(state.modified);
}

// --- Command line ---

class WorkingDirectory {
public:
    explicit WorkingDirectory(const std::filesystem::path& dir)
        : old_(std::filesystem::current_path()) {
        std::filesystem::current_path(dir);
    }
    ~WorkingDirectory() { std::filesystem::current_path(old_); }

private:
    std::filesystem::path old_;
};

TEST_F(DocumentCommandsTest, CommandLineRelativePathStaysRelative) {
    std::filesystem::create_directory(dir.path() / "sub");
    writeBytes(dir.file("sub/disk.one.zelv"), kExampleBytes);
    WorkingDirectory cwd(dir.path());
    state.modified = true; // no prompt, whatever the flag says
    port.answer(MessageAnswer::Ok);
    EXPECT_TRUE(commands.OpenFromCommandLine(u"sub/disk.one.zelv"));
    EXPECT_THAT(port.transcript(),
                ElementsAre(R"(caption "disk.one.zelv - Zelvane")",
                            R"(message "disk.one.zelv successfuly opened.\n\nRoots:\t1\nFolders:)"
                            R"(\t1\nFiles:\t2" | "Information" | Information | Ok -> Ok)"));
    EXPECT_EQ(state.path, u"sub/disk.one.zelv");
    EXPECT_EQ(state.title, u"disk.one.zelv");
    EXPECT_FALSE(state.modified);
    EXPECT_EQ(tree.size(), 4u);
}

TEST_F(DocumentCommandsTest, CommandLineEdgeCases) {
    EXPECT_FALSE(commands.OpenFromCommandLine(u""));
    EXPECT_TRUE(port.calls().empty());

    // A folder: the title is empty, the load fails with the path.
    port.answer(MessageAnswer::Ok);
    EXPECT_FALSE(commands.OpenFromCommandLine(path("")));
    EXPECT_THAT(port.transcript(), ElementsAre(R"(caption " - Zelvane")",
                                               "message \"" + dir.file("") +
                                                   R"(" | "I/O ERROR" | Exclamation | Ok -> Ok)"));
    EXPECT_EQ(state.title, u"");

    // A name without an extension is opened as it is.
    writeBytes(dir.file("plain"), kExampleBytes);
    port.clearCalls();
    port.answer(MessageAnswer::Ok);
    EXPECT_TRUE(commands.OpenFromCommandLine(path("plain")));
    EXPECT_EQ(state.title, u"plain");
}

TEST(SplitPathTest, PartsGiveThePathBack) {
    struct Case {
        std::u16string path, dir, base, ext;
    };
    const Case cases[] = {
        {u"/home/u/disk.zelv", u"/home/u/", u"disk", u".zelv"},
        {u"disk.zelv", u"", u"disk", u".zelv"},
        {u"a/b.c/file", u"a/b.c/", u"file", u""},
        {u"archive.tar.zelv", u"", u"archive.tar", u".zelv"},
        {u"/dir/", u"/dir/", u"", u""},
        {u".hidden", u"", u"", u".hidden"},
        {u"back\\slash.zelv", u"", u"back\\slash", u".zelv"},
    };
    for (const Case& c : cases) {
        const PathParts parts = splitPath(c.path);
        EXPECT_EQ(parts.dir, c.dir) << utf16ToUtf8(c.path);
        EXPECT_EQ(parts.base, c.base) << utf16ToUtf8(c.path);
        EXPECT_EQ(parts.ext, c.ext) << utf16ToUtf8(c.path);
        EXPECT_EQ(parts.dir + parts.base + parts.ext, c.path);
    }
}

TEST(FileFilterTest, BarSeparatedEntries) {
    const auto filters = parseFileFilter(u"A (*.a)|*.a|B|*.b;*.c||");
    ASSERT_EQ(filters.size(), 2u);
    EXPECT_EQ(filters[1].description, u"B");
    EXPECT_EQ(filters[1].pattern, u"*.b;*.c");
    EXPECT_TRUE(parseFileFilter(u"").empty());
    EXPECT_TRUE(parseFileFilter(u"only a description||").empty());
}

} // namespace
} // namespace zelvane
