#include "capture/add_tree_command.h"

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
    EXPECT_TRUE(t.tree.empty());
    EXPECT_FALSE(t.document.modified);
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
        t.scan.files = 77;
        t.ui.addTree({path, title, u"txt"});
        const std::optional<CaptureOutcome> outcome = t.command.OnAddTree();
        EXPECT_EQ(t.ui.transcript(),
                  (Lines{kAsked + "ok \"" + disk.path() + "\" | " + testing::inQuotes(title) +
                             " | \"txt\"",
                         "scanning on", R"(progress "Scanning...")", R"(progress "Sorting...")",
                         "scanning off",
                         "message \"1 folder(s) & 3 file(s) successfuly added.\\nTotal size is "
                         "1 000 005 byte(s)\" | \"Information\" | Information | Ok -> Ok"}));
        EXPECT_EQ(t.remembered, (AddTreeInputs{path, u"txt", title}));
        EXPECT_TRUE(t.document.modified);
        ASSERT_TRUE(outcome.has_value());
        EXPECT_EQ(std::tuple(outcome->folders, outcome->files, outcome->total, outcome->stopped),
                  std::tuple(1u, 3u, std::uint64_t{1000005}, false));
        EXPECT_TRUE(t.tree.isBold(outcome->root));
        EXPECT_EQ(t.tree.kind(outcome->root), kKindDriveRoot);
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
    const std::optional<CaptureOutcome> outcome = t.command.OnAddTree();
    EXPECT_TRUE(outcome.has_value() && outcome->stopped);
    EXPECT_EQ(t.ui.transcript().back(),
              "message \"0 folder(s) & 20 file(s) successfuly added.\\nTotal size is 0 byte(s)"
              "\\n\\nNote: Scanning process was interrupted.\" | \"Information\" | Information | "
              "Ok -> Ok");
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
