// The File commands as flows, each in a fresh working directory.
#include "document/document.h"

#include <gtest/gtest.h>

#include <cctype>
#include <cerrno>
#include <filesystem>
#include <map>
#include <set>
#include <sstream>
#include <sys/stat.h>

#include "document/document_commands.h"
#include "support/scripted_ui.h"
#include "support/temp_dir.h"
#include "sync_seam.h"
#include "text/utf.h"

namespace zelvane {
namespace {

using testing::AllocSeam;
using testing::SyncSeam;

// The roots "Backup" and "Empty", the second holding the folder " Docs" with a.txt and Ω.mp3.
const std::string kExampleBytes("\x09\0Backup\0\x09\0Empty\0\x06\1 Docs\0\5\2a.txt\0\7\2\xFF\xFF"
                                "\xA9\3.\0m\0p\0\x33\0\0\0",
                                49);
const std::string kExample = "Архив-Ω.zelv";

// "@" stands for the example's name.
std::string named(std::string text) {
    for (std::size_t at; (at = text.find('@')) != std::string::npos;) {
        text.replace(at, 1, kExample);
    }
    return text;
}
std::vector<std::string> words(const std::string& text, char separator = ' ') {
    std::vector<std::string> out;
    std::istringstream in(named(text));
    for (std::string word; std::getline(in >> std::ws, word, separator);) {
        out.push_back(word);
    }
    return out;
}

// A transcript line from its code (open, save, ask, caption, io, deep, loaded) or as it is.
std::string line(const std::string& code) {
    std::vector<std::string> w = words(code);
    w.resize(5);
    const auto q = [](const std::string& t) {
        return t == "cancel" ? t : "\"" + (t == "-" ? "" : t) + "\"";
    };
    const std::string filters =
        R"x( | "Zelvane Files (*.zelv)" "*.zelv" "All Files (*.*)" "*.*" | "zelv")x";
    const std::map<std::string, std::string> lines{
        {"open", R"(open dialog "*.zelv")" + filters + " must exist -> " + q(w[1])},
        {"save", "save dialog " + q(w[1]) + filters + " overwrite prompt -> " + q(w[2])},
        {"ask", R"(message "Save changes ?" | "zelvane-test" | Question | YesNo -> )" + w[1]},
        {"caption", "caption " + q(w[1].empty() ? "Zelvane" : w[1] + " - Zelvane")},
        {"io", "message " + q(w[1]) + R"( | "I/O ERROR" | Exclamation | Ok -> Ok)"},
        {"deep", R"(message "DEEP OVERFLOW ERROR!\nMAX DEEP LEVEL IS 255.\n\nFILE WILL BE )"
                 R"(SAVED WITH ERRORS!" | "zelvane-test" | NoIcon | Ok -> Ok)"},
        {"loaded", "message \"" + w[1] + R"( successfuly opened.\n\nRoots:\t)" + w[2] +
                       R"(\nFolders:\t)" + w[3] + R"(\nFiles:\t)" + w[4] +
                       R"(" | "Information" | Information | Ok -> Ok)"}};
    return lines.contains(w[0]) ? lines.at(w[0]) : code;
}

// start: [title] ["+" three unsaved nodes | N a chain of N folders]; "-" an empty file name.
struct Flow {
    std::string start, script, commands;
    bool result;                 // all the commands did their work
    std::string transcript, end; // "nodes | title | path[ | modified]", then "; file size" each
};

const Flow kFlows[] = {
    {"a.zelv +", "cancel", "Open", false, "open cancel", "3 | a.zelv | a.zelv | modified"},
    {"+", "@ No", "Open", true, "open @; ask No; caption @; loaded @ 2 1 2", "5 | @ | @"},
    {"+", "damaged.zelv Yes mine.zelv", "Open", true,
     "open damaged.zelv; ask Yes; save Untitled.zelv mine.zelv; caption mine.zelv; "
     "caption damaged.zelv; loaded damaged.zelv 1 1 0",
     "2 | damaged.zelv | damaged.zelv; mine.zelv 27"},
    {"", "", "cmdline=", false, "", "0 | Untitled.zelv | "},
    // No question, and an unreadable file leaves its name on an empty snapshot.
    {"+", "", "cmdline=no-such-dir/disk.one.zelv", false,
     "caption disk.one.zelv; io no-such-dir/disk.one.zelv",
     "0 | disk.one.zelv | no-such-dir/disk.one.zelv"},
    {"", "", "cmdline=./@", true, "caption @; loaded @ 2 1 2", "5 | @ | ./@"},
    {"", "a.zelv", "Save", true, "save Untitled.zelv a.zelv; caption a.zelv",
     "0 | a.zelv | a.zelv; a.zelv 0"},
    // A failed Save As takes the name but not the caption or the flag.
    {"a.zelv +", "no-such-folder/x.zelv", "SaveAs", false,
     "save a.zelv no-such-folder/x.zelv; io no-such-folder/x.zelv",
     "3 | x.zelv | no-such-folder/x.zelv | modified"},
    {"a.zelv +", "-", "SaveAs", false, "save a.zelv -; io -", "3 |  |  | modified"},
    {"a.zelv +", "Untitled.zelv Untitled.zelv", "SaveAs Save", true,
     "save a.zelv Untitled.zelv; caption Untitled.zelv; save Untitled.zelv Untitled.zelv; "
     "caption Untitled.zelv",
     "3 | Untitled.zelv | Untitled.zelv; Untitled.zelv 27"},
    {"pipe.zelv +", "", "Save", false, "io pipe.zelv", "3 | pipe.zelv | pipe.zelv | modified"},
    {"pipe.zelv +", "", "Load", true, "caption pipe.zelv; loaded pipe.zelv 0 0 0",
     "0 | pipe.zelv | pipe.zelv"},
    {"damaged.zelv +", "", "nomemory Load", false, "caption damaged.zelv; io damaged.zelv",
     "0 | damaged.zelv | damaged.zelv"},
    {"deep.zelv 256", "", "Save", true, "caption deep.zelv",
     "256 | deep.zelv | deep.zelv; deep.zelv 1024"},
    {"deep.zelv 257", "", "Save", true, "caption deep.zelv; deep",
     "257 | deep.zelv | deep.zelv; deep.zelv 1028"},
    {"deep.zelv 300", "", "Save", true, "caption deep.zelv; deep",
     "300 | deep.zelv | deep.zelv; deep.zelv 1200"},
    {"a.zelv", "", "New", true, "caption", "0 | Untitled.zelv | "},
    {"done.zelv +", "Yes", "nosync New", false, "ask Yes; caption done.zelv; io done.zelv",
     "3 | done.zelv | done.zelv | modified"},
    {"", "", "Exit", true, "settings saved; end 0", "0 | Untitled.zelv | "},
    {"done.zelv +", "Yes", "Exit", true, "ask Yes; caption done.zelv; settings saved; end 0",
     "3 | done.zelv | done.zelv; done.zelv 27"},
    {"+", "Yes cancel", "Exit", false, "ask Yes; save Untitled.zelv cancel",
     "3 | Untitled.zelv |  | modified"},
};

class DocumentFlow : public ::testing::TestWithParam<Flow> {};

TEST_P(DocumentFlow, Runs) {
    const Flow& flow = GetParam();
    const std::filesystem::path home = std::filesystem::current_path();
    testing::TempDir dir;
    std::filesystem::current_path(dir.path());
    testing::writeBytes(kExample, kExampleBytes);
    testing::writeBytes("damaged.zelv", std::string("\x09\0R\0\x06\1cut", 8));
    ::mkfifo("pipe.zelv", 0644);
    testing::ScriptedUi ui;
    Document document{ui, u"zelvane-test", [&] { ui.note("settings saved"); }};
    SnapshotTree& tree = document.tree();
    const std::u16string plus[] = {u"Disk", u" Music", u"song.mp3"};
    for (const std::string& word : words(flow.start)) {
        const bool chain = word == "+" || std::isdigit(static_cast<unsigned char>(word[0]));
        for (NodeId n = kTopLevel; chain && tree.size() < (word == "+" ? 3 : std::stoul(word));) {
            n = tree.insertLast(n, word == "+" ? plus[tree.size()] : u"d");
        }
        document.state() =
            chain ? document.state() : DocumentState{utf8ToUtf16(word), utf8ToUtf16(word)};
    }
    document.state().modified = !tree.empty(); // whatever the flow starts with is not saved
    for (const std::string& word : words(flow.script)) {
        word == "Yes" || word == "No"
            ? ui.answer(word == "Yes" ? MessageAnswer::Yes : MessageAnswer::No)
        : word == "cancel" ? ui.cancelFile()
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
    testing::Lines expected;
    for (const std::string& code : words(flow.transcript, ';')) {
        expected.push_back(line(code));
    }
    EXPECT_EQ(ui.transcript(), expected);
    const DocumentState& state = document.state();
    std::string end = std::to_string(tree.size()) + " | " +
                      utf16ToUtf8(state.title + u" | " + state.path) +
                      (state.modified ? " | modified" : "");
    const std::set<std::string> fixtures{kExample + " 49", "damaged.zelv 8", "pipe.zelv pipe"};
    for (const auto& entry : std::filesystem::directory_iterator(dir.path())) {
        const std::string file = entry.path().filename().string() + " " +
                                 (entry.is_fifo() ? "pipe" : std::to_string(entry.file_size()));
        end += fixtures.contains(file) ? "" : "; " + file;
    }
    EXPECT_EQ(end, named(flow.end));
    std::filesystem::current_path(home);
}

INSTANTIATE_TEST_SUITE_P(File, DocumentFlow, ::testing::ValuesIn(kFlows));

// Each row is the path with "|" between its parts.
TEST(SplitPathTest, DirectoryBaseAndExtension) {
    for (const std::u16string split : {u"a/b.c/|file|", u"|archive.tar|.zelv", u"/dir/||",
                                       u"||.hidden", u"|back\\slash|.zelv"}) {
        std::u16string path = split;
        std::erase(path, u'|');
        const PathParts p = splitPath(path);
        EXPECT_EQ(p.dir + u"|" + p.base + u"|" + p.ext, split) << utf16ToUtf8(path);
    }
}

} // namespace
} // namespace zelvane
