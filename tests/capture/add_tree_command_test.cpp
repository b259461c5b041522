#include "capture/add_tree_command.h"

#include <cerrno>
#include <new>
#include <stdexcept>
#include <string>
#include <tuple>
#include <vector>

#include <gtest/gtest.h>

#include "support/scripted_ui.h"
#include "support/temp_tree.h"
#include "text/utf.h"

namespace zelvane {
namespace {

using testing::Lines;
using Texts = std::vector<std::u16string>;

struct AddTree {
    SnapshotTree tree;
    ScanState scan;
    DocumentState document;
    AddTreeInputs remembered{u"/old", u"mp3", u"Old title"};
    testing::ScriptedUi ui;
    TextOrder order{""};
    AddTreeCommand command{tree, scan, document, remembered, ui, ui, order};

    Texts texts(NodeId parent) const {
        Texts out;
        for (NodeId c = tree.firstChild(parent); c != kNoNode; c = tree.nextSibling(c)) {
            out.emplace_back(tree.text(c));
        }
        return out;
    }
};

const std::string kAsked = R"(add tree "/old" | "Old title" | "mp3" -> )";

TEST(AddTreeCommand, CancelChangesNothing) {
    AddTree t;
    t.ui.cancelAddTree();
    EXPECT_EQ(t.command.OnAddTree(), std::nullopt);
    EXPECT_EQ(t.ui.transcript(), (Lines{kAsked + "cancel"}));
    EXPECT_TRUE(t.tree.empty() && !t.document.modified);
    EXPECT_EQ(t.remembered, (AddTreeInputs{u"/old", u"mp3", u"Old title"}));
}

TEST(AddTreeCommand, CapturesSortsAndReportsTheTreeUnderTheTitleOrThePath) {
    test::TempTree disk;
    disk.dir("sub");
    disk.file("sub/inner.txt", 1000);
    disk.file("B.txt", 5);
    disk.file("a.txt", 999000);
    disk.file("skip.bak", 7);
    const std::u16string path = utf8ToUtf16(disk.path());
    for (const std::u16string title : {u"", u"\tMy disk"}) {
        AddTree t;
        t.tree.insertLast(kTopLevel, u"zzz");
        t.scan.folders = 55; // left from an earlier capture
        t.ui.addTree({path, title, u"txt"});
        const std::optional<CaptureOutcome> outcome = t.command.OnAddTree();
        ASSERT_TRUE(outcome.has_value());
        EXPECT_EQ(t.ui.transcript(),
                  (Lines{kAsked + "ok " + testing::inQuotes(path) + " | " +
                             testing::inQuotes(title) + " | \"txt\"",
                         "scanning on", "phase scanning", R"(progress "Scanning...")",
                         "phase sorting", R"(progress "Sorting...")", "scanning off",
                         "message \"1 folder(s) & 3 file(s) successfuly added.\\nTotal size is "
                         "1 000 005 byte(s)\" | \"Information\" | Information | Ok -> Ok"}));
        EXPECT_EQ(t.remembered, (AddTreeInputs{path, u"txt", title}));
        EXPECT_TRUE(t.document.modified && t.tree.isBold(outcome->root));
        EXPECT_EQ(std::tuple(outcome->stopped, outcome->error, t.tree.kind(outcome->root)),
                  std::tuple(false, 0, kKindDriveRoot));
        EXPECT_EQ(t.texts(kTopLevel), (Texts{title.empty() ? path : title, u"zzz"}));
        EXPECT_EQ(t.texts(outcome->root), (Texts{u" sub", u"a.txt", u"B.txt"}));
    }
}

TEST(AddTreeCommand, StopAtAPumpEndsWithTheStoppedNote) {
    test::TempTree disk;
    disk.manyFiles("", 20, "f");
    AddTree t;
    t.ui.addTree({utf8ToUtf16(disk.path()), u"t", u"*"});
    t.ui.stopAtPump(t.scan, 1);
    EXPECT_TRUE(t.command.OnAddTree().value().stopped);
    EXPECT_EQ(t.ui.transcript().back(),
              "message \"0 folder(s) & 20 file(s) successfuly added.\\nTotal size is 0 byte(s)"
              "\\n\\nNote: Scanning process was interrupted.\" | \"Information\" | Information | "
              "Ok -> Ok");
}

// Memory running out in the scan or before the sort: the capture goes again and the
// "I/O ERROR" box names its path; the snapshot, its order and the modified flag stay.
TEST(AddTreeCommand, OutOfMemoryTakesTheCaptureAwayAndNamesItsPath) {
    test::TempTree disk;
    disk.dir("sub");
    disk.manyFiles("sub", 30, "f");
    const std::u16string path = utf8ToUtf16(disk.path());
    for (const bool inSort : {false, true}) {
        AddTree t;
        t.tree.insertLast(kTopLevel, u"b");
        t.tree.insertLast(kTopLevel, u"a");
        SortTree(t.tree, t.order);
        t.document.modified = inSort;
        t.ui.addTree({path, u"", u"*"});
        t.ui.onPump = [&](std::size_t pump) {
            if (!inSort && pump == 2) {
                throw std::bad_alloc();
            }
        };
        t.ui.onPhase = [&](ScanPhase phase) {
            if (inSort && phase == ScanPhase::Sorting) {
                throw std::length_error("text arena");
            }
        };
        const std::optional<CaptureOutcome> outcome = t.command.OnAddTree();
        ASSERT_TRUE(outcome.has_value());
        EXPECT_EQ(std::tuple(outcome->error, outcome->root), std::tuple(ENOMEM, kNoNode));
        Lines expected{kAsked + "ok " + testing::inQuotes(path) + R"( | "" | "*")", "scanning on",
                       "phase scanning", R"(progress "Scanning...")"};
        if (inSort) {
            expected.push_back("phase sorting");
        }
        expected.push_back("scanning off");
        expected.push_back("message " + testing::inQuotes(path) +
                           R"( | "I/O ERROR" | Exclamation | Ok -> Ok)");
        EXPECT_EQ(t.ui.transcript(), expected);
        EXPECT_EQ(t.texts(kTopLevel), (Texts{u"a", u"b"}));
        EXPECT_TRUE(t.tree.size() == 2 && t.tree.inOrder());
        EXPECT_EQ(t.document.modified, inSort);
    }
}

TEST(AddTreeCommand, DialogFieldsAreCutAndAChosenFolderLosesItsTrailingSlash) {
    AddTreeDialog dialog;
    const std::u16string pair = std::u16string(248, u'a') + u"\U0001F600";
    acceptAddTreeDialog(dialog, std::u16string(300, u'p'), pair, u" * ");
    EXPECT_TRUE(dialog.accepted);
    EXPECT_EQ(dialog.fields,
              (AddTreeInputs{std::u16string(249, u'p'), u" * ", std::u16string(248, u'a')}));
    const struct {
        std::u16string_view chosen, field;
    } cases[] = {{u"/", u"/"}, {u"//", u"/"}, {u"/a/", u"/a"}, {u"/a//", u"/a/"}, {u"", u""}};
    for (const auto& c : cases) {
        EXPECT_EQ(chosenFolderPath(std::u16string(c.chosen)), c.field);
    }
}

} // namespace
} // namespace zelvane
