// The Add Tree command through the scripted port: the dialog's reading and remembering of
// its fields, the order of the command's steps and its texts, Cancel, Stop, and a path
// that cannot be read.
#include "capture/add_tree_command.h"

#include <cstdio>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "capture/temp_tree.h"
#include "text/utf.h"
#include "support/scripted_add_tree_port.h"

namespace zelvane {
namespace {

using testing::AddTreeFields;
using testing::ScriptedAddTreePort;

TEST(AddTreeDialogRules, FieldsAreCutTo249CharactersAndNeverSplitACharacter) {
    const std::u16string long300(300, u'p');
    EXPECT_EQ(readAddTreeField(long300), std::u16string(249, u'p'));
    EXPECT_EQ(readAddTreeField(std::u16string(249, u'q')), std::u16string(249, u'q'));
    EXPECT_EQ(readAddTreeField(u""), u"");
    // U+1F600 as its two halves at units 249 and 250: both go, not just the second.
    std::u16string pair = std::u16string(248, u'a') + u"\U0001F600" + u"tail";
    EXPECT_EQ(readAddTreeField(pair), std::u16string(248, u'a'));
    // A pair that ends exactly at 249 stays whole.
    pair = std::u16string(247, u'a') + u"\U0001F600" + u"tail";
    EXPECT_EQ(readAddTreeField(pair), std::u16string(247, u'a') + u"\U0001F600");
}

TEST(AddTreeDialogRules, OkRemembersTheTitleAsTypedAndFallsBackToThePath) {
    AddTreeInputs remembered{u"/old", u"mp3", u"Old title"};
    AddTreeDialogResult result = acceptAddTreeFields(u"/media/Photos", u"", u"*", remembered);
    EXPECT_EQ(result, (AddTreeDialogResult{u"/media/Photos", u"/media/Photos", u"*"}));
    EXPECT_EQ(remembered, (AddTreeInputs{u"/media/Photos", u"*", u""}))
        << "an empty title stays empty for the next time";

    result = acceptAddTreeFields(u"/media/b", u"Backup 2007", u"txt", remembered);
    EXPECT_EQ(result.label, u"Backup 2007");
    EXPECT_EQ(remembered.title, u"Backup 2007");

    // Nothing is trimmed or checked.
    result = acceptAddTreeFields(u"  /x ", u" ", u"", remembered);
    EXPECT_EQ(result, (AddTreeDialogResult{u"  /x ", u" ", u""}));
    result = acceptAddTreeFields(u"", u"", u"", remembered);
    EXPECT_EQ(result, (AddTreeDialogResult{u"", u"", u""}));
    // The remembered path is the cut one.
    acceptAddTreeFields(std::u16string(300, u'd'), u"", u"*", remembered);
    EXPECT_EQ(remembered.path.size(), 249u);
}

TEST(AddTreeDialogRules, TheChosenFolderLosesOneTrailingSlashButTheRootStays) {
    EXPECT_EQ(chosenFolderPath(u"/"), u"/");
    EXPECT_EQ(chosenFolderPath(u"/home/u/"), u"/home/u");
    EXPECT_EQ(chosenFolderPath(u"/home/u"), u"/home/u");
    EXPECT_EQ(chosenFolderPath(u"/home/u//"), u"/home/u/");
    EXPECT_EQ(chosenFolderPath(u"//"), u"/");
    EXPECT_EQ(chosenFolderPath(u""), u"");
}

// A command over its own tree, scan state, document and remembered inputs.
struct AddTreeFixture {
    SnapshotTree tree;
    ScanState scan;
    DocumentState document;
    AddTreeInputs remembered;
    ScriptedAddTreePort port;
    TextOrder order{""};
    AddTreeCommand command{tree, scan, document, remembered, port, port, order};
};

TEST(AddTreeCommand, RunsItsStepsInOrderWithTheSummaryLast) {
    test::TempTree disk;
    disk.dir("a");
    disk.dir("b");
    disk.dir("b/c");
    disk.file("a/big.bin", 1234000);
    disk.file("b/c/small.txt", 567);
    disk.manyFiles("b", 8, "f");
    disk.manyFiles("", 120, "g"); // 3 folders and 130 files: one progress text

    AddTreeFixture f;
    f.port.addTreeOk({utf8ToUtf16(disk.path()), u"", u"*"}).answer(MessageAnswer::Ok);
    const NodeId old = f.tree.insertLast(kTopLevel, u"Old");
    f.tree.select(old);
    const std::optional<CaptureOutcome> outcome = f.command.OnAddTree();
    ASSERT_TRUE(outcome);

    // The counts at the 127th item depend on the order of the directory entries on disk.
    std::vector<std::string> transcript = f.port.transcript();
    ASSERT_EQ(transcript.size(), 7u) << ::testing::PrintToString(transcript);
    unsigned folders = 0, files = 0;
    ASSERT_EQ(std::sscanf(transcript[3].c_str(),
                          R"(progress "Scanning...\n%u folder(s) and %u file(s) found...")",
                          &folders, &files),
              2)
        << transcript[3];
    EXPECT_EQ(folders + files, 127u);
    transcript[3] = "progress counts";

    const std::string path = "\"" + disk.path() + "\"";
    const std::vector<std::string> expected = {
        R"(add tree dialog "/" | "" | "*" -> ok )" + path + R"( | "" | "*")",
        "scanning on",
        R"(progress "Scanning...")",
        "progress counts",
        R"(progress "Sorting...")",
        "scanning off",
        R"x(message "3 folder(s) & 130 file(s) successfuly added.\nTotal size is 1 234 567 byte(s)")x"
        R"( | "Information" | Information | Ok -> Ok)",
    };
    EXPECT_EQ(transcript, expected);
    EXPECT_TRUE(f.document.modified);
    EXPECT_GT(f.port.pumps(), 0u);

    // The root takes the path as its label, bold, after the sort among the roots.
    EXPECT_EQ(f.tree.text(outcome->root), utf8ToUtf16(disk.path()));
    EXPECT_TRUE(f.tree.isBold(outcome->root));
    EXPECT_EQ(f.tree.kind(outcome->root), kKindDriveRoot);
    EXPECT_EQ(f.tree.firstRoot(), outcome->root) << "\"/...\" sorts before \"Old\"";
    EXPECT_EQ(f.tree.selected(), old) << "the selection stays where it was";
    EXPECT_EQ(f.remembered, (AddTreeInputs{utf8ToUtf16(disk.path()), u"*", u""}));
}

TEST(AddTreeCommand, CancelChangesNothing) {
    AddTreeFixture f;
    f.scan = {4, 5, u"mp3", true};
    f.remembered = {u"/srv", u"txt", u"T"};
    f.tree.insertLast(kTopLevel, u"Kept");
    f.port.addTreeCancel();
    EXPECT_FALSE(f.command.OnAddTree());
    EXPECT_EQ(f.port.transcript(),
              std::vector<std::string>{R"(add tree dialog "/srv" | "T" | "txt" -> cancel)"});
    EXPECT_EQ(f.tree.childCount(kTopLevel), 1u);
    EXPECT_EQ(f.scan.folders, 4u);
    EXPECT_EQ(f.scan.files, 5u);
    EXPECT_EQ(f.scan.filter, u"mp3");
    EXPECT_FALSE(f.document.modified);
    EXPECT_EQ(f.remembered, (AddTreeInputs{u"/srv", u"txt", u"T"}));
}

TEST(AddTreeCommand, AStoppedCaptureKeepsItsNodesAndSaysSoInTheSummary) {
    test::TempTree disk;
    for (const char* folder : {"k", "m", "q"}) {
        disk.dir(folder);
        disk.manyFiles(folder, 20, "z");
    }
    AddTreeFixture f;
    f.port.addTreeOk({utf8ToUtf16(disk.path()), u"Stopped", u"*"}).answer(MessageAnswer::Ok);
    f.port.stopAtPump(f.scan, 1);
    const std::optional<CaptureOutcome> outcome = f.command.OnAddTree();
    ASSERT_TRUE(outcome);
    ASSERT_FALSE(f.port.messages().empty());
    EXPECT_EQ(f.port.messages().back().text,
              u"1 folder(s) & 20 file(s) successfuly added.\nTotal size is 0 byte(s)"
              u"\n\nNote: Scanning process was interrupted.");
    EXPECT_EQ(f.tree.childCount(outcome->root), 1u);
    EXPECT_TRUE(f.tree.isBold(outcome->root));
    EXPECT_TRUE(f.document.modified);
    EXPECT_TRUE(f.scan.stopRequested) << "left set until the next capture";
}

TEST(AddTreeCommand, APathThatCannotBeReadGivesAnEmptyRootAndZeros) {
    test::TempTree disk;
    AddTreeFixture f;
    const std::u16string missing = utf8ToUtf16(disk.at("no/such/dir"));
    f.port.addTreeOk({missing, u"Gone", u"txt"}).answer(MessageAnswer::Ok);
    const std::optional<CaptureOutcome> outcome = f.command.OnAddTree();
    ASSERT_TRUE(outcome);
    EXPECT_EQ(f.tree.text(outcome->root), u"Gone");
    EXPECT_FALSE(f.tree.hasChildren(outcome->root));
    EXPECT_EQ(f.tree.kind(outcome->root), kKindDriveRoot);
    EXPECT_EQ(f.port.messages().back().text,
              u"0 folder(s) & 0 file(s) successfuly added.\nTotal size is 0 byte(s)");
    EXPECT_TRUE(f.document.modified);
    EXPECT_EQ(f.remembered.title, u"Gone");
}

TEST(AddTreeCommand, TheNextDialogOffersWhatTheLastOkRemembered) {
    test::TempTree disk;
    disk.file("x.txt");
    AddTreeFixture f;
    const std::u16string path = utf8ToUtf16(disk.path());
    f.port.addTreeOk({path, u"Backup 2007", u"txt"}).answer(MessageAnswer::Ok);
    f.port.addTreeOk({path, u"", u"txt"}).answer(MessageAnswer::Ok);
    f.port.addTreeCancel();
    f.command.OnAddTree();
    f.command.OnAddTree();
    f.command.OnAddTree();
    std::vector<std::string> dialogs;
    for (const std::string& line : f.port.transcript()) {
        if (line.starts_with("add tree dialog")) {
            dialogs.push_back(line.substr(0, line.find(" -> ")));
        }
    }
    const std::string quotedPath = "\"" + disk.path() + "\"";
    EXPECT_EQ(dialogs, (std::vector<std::string>{
                           R"(add tree dialog "/" | "" | "*")",
                           "add tree dialog " + quotedPath + R"( | "Backup 2007" | "txt")",
                           "add tree dialog " + quotedPath + R"( | "" | "txt")",
                       }));
    // Two roots: "/..." (the path as label) and "Backup 2007", in text order.
    ASSERT_EQ(f.tree.childCount(kTopLevel), 2u);
    EXPECT_EQ(f.tree.text(f.tree.firstRoot()), path);
    EXPECT_EQ(f.tree.text(f.tree.nextSibling(f.tree.firstRoot())), u"Backup 2007");
}

} // namespace
} // namespace zelvane
