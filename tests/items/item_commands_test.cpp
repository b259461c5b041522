// The Item menu's Properties, Rename and Delete through the scripted user interface.
#include "items/item_commands.h"

#include <gtest/gtest.h>

#include "support/scripted_ui.h"
#include "text/utf.h"

namespace zelvane {
namespace {

using testing::Lines;
using testing::PropertiesButton;
using testing::ScriptedUi;

NodeId add(SnapshotTree& tree, NodeId parent, std::u16string_view text, int kind) {
    const NodeId node = tree.insertLast(parent, text);
    tree.setKind(node, kind);
    return node;
}

// The nodes under parent in order, "text/kind", children in braces.
std::string dump(const SnapshotTree& tree, NodeId parent = kTopLevel) {
    std::string out;
    for (NodeId n = tree.firstChild(parent); n != kNoNode; n = tree.nextSibling(n)) {
        out.append(out.empty() ? "" : ",").append(utf16ToUtf8(tree.text(n)));
        out.append("/").append(std::to_string(tree.kind(n)));
        if (tree.hasChildren(n)) {
            out.append("{").append(dump(tree, n)).append("}");
        }
    }
    return out;
}

const std::string kOk = " | \"Information\" | Information | Ok -> Ok";
const std::string kEmpty = "message \"The name must not be empty!\" | \"Error\" | Error | Ok -> Ok";
const std::string kSpace =
    "message \"The name must not start with space!\" | \"Error\" | Error | Ok -> Ok";

// Drive (9) { " Folder" (6) { " Sub" (6) { deep.txt }, file.doc }, readme.txt },
// " Spaced" (4) { " Inner" (6) }; the files are kind 5. In order but for the roots.
class ItemCommandsTest : public ::testing::Test {
protected:
    ItemCommandsTest() {
        drive = add(tree, kTopLevel, u"Drive", kKindDriveRoot);
        folder = add(tree, drive, u" Folder", kKindFolder);
        sub = add(tree, folder, u" Sub", kKindFolder);
        deep = add(tree, sub, u"deep.txt", kKindDocument);
        file = add(tree, folder, u"file.doc", kKindDocument);
        readme = add(tree, drive, u"readme.txt", kKindDocument);
        cd = add(tree, kTopLevel, u" Spaced", kKindCdRomRoot);
        inner = add(tree, cd, u" Inner", kKindFolder);
    }

    SnapshotTree tree;
    const TextOrder order{""}; // the root collation, whatever the machine's locale
    ScriptedUi ui;
    DocumentState document;
    ItemCommands commands{tree, document, ui, order};
    NodeId drive, folder, sub, deep, file, readme, cd, inner;
};

// The climb from a file to its root, where "Properties..." ends the chain; "Change..." goes
// on to Rename once and the dialog does not reopen.
TEST_F(ItemCommandsTest, PropertiesClimbsAndChanges) {
    tree.select(deep);
    for (int i = 0; i < 4; ++i) {
        ui.properties(PropertiesButton::Parent);
    }
    commands.OnItemProperties();
    EXPECT_EQ(tree.selected(), drive);
    tree.select(inner);
    ui.properties(PropertiesButton::Change).cancelRename();
    commands.OnItemProperties();
    tree.select(file);
    ui.properties(PropertiesButton::Change).rename({u"a.exe"});
    commands.OnItemProperties();
    ui.properties(PropertiesButton::Close);
    commands.OnItemProperties();
    EXPECT_EQ(
        ui.transcript(),
        (Lines{"properties \"deep.txt\" | \"Sub\" | \"*root* \\ Drive \\ Folder \\ Sub \\\" | "
               "kind 5 | parent on -> parent",
               "properties \"Sub\" | \"Folder\" | \"*root* \\ Drive \\ Folder \\\" | kind 6 "
               "| parent on -> parent",
               "properties \"Folder\" | \"Drive\" | \"*root* \\ Drive \\\" | kind 6 | parent "
               "on -> parent",
               "properties \"Drive\" | \"*root*\" | \"*root* \\ \" | kind 9 | parent off -> "
               "parent",
               "properties \"Inner\" | \"Spaced\" | \"*root* \\  Spaced \\\" | kind 6 | "
               "parent on -> change",
               "rename \"Inner\" -> cancel",
               "properties \"file.doc\" | \"Folder\" | \"*root* \\ Drive \\ Folder \\\" | "
               "kind 5 | parent on -> change",
               "rename \"file.doc\" -> ok \"a.exe\"",
               "properties \"a.exe\" | \"Folder\" | \"*root* \\ Drive \\ Folder \\\" | "
               "kind 5 | parent on -> close"}));
    EXPECT_EQ(dump(tree, folder), " Sub/6{deep.txt/5},a.exe/5");
    EXPECT_EQ(tree.selected(), file);
    EXPECT_TRUE(document.modified);
}

// Refused names keep the dialog open; an accepted one keeps a folder's leading space and
// trailing spaces, and puts the tree back in order: all of it when it was out of order
// before (as built here), the renamed node alone after that.
TEST_F(ItemCommandsTest, RenameRefusesCutsAndSorts) {
    tree.select(folder);
    ui.rename({u"", u"  ", u" lead"});
    EXPECT_FALSE(commands.OnItemRename());
    EXPECT_EQ(
        ui.transcript(),
        (Lines{"rename \"Folder\" -> ok \"\"", kEmpty, "rename \"Folder\" -> ok \"  \"", kSpace,
               "rename \"Folder\" -> ok \" lead\"", kSpace, "rename \"Folder\" -> cancel"}));
    EXPECT_FALSE(document.modified);

    add(tree, drive, u"0 unsorted", kKindDocument);
    for (const auto& [node, typed] : std::vector<std::pair<NodeId, std::u16string>>{
             {readme, u"a\\b:c  "}, {folder, u"zeta"}, {sub, u"Alpha"}, {file, u"0"}}) {
        document.modified = false;
        tree.select(node);
        ui.rename({typed});
        EXPECT_TRUE(commands.OnItemRename());
        EXPECT_TRUE(document.modified);
        EXPECT_EQ(tree.selected(), node);
        EXPECT_TRUE(tree.inOrder());
    }
    EXPECT_EQ(dump(tree), " Spaced/4{ Inner/6},Drive/9{ zeta/6{ Alpha/6{deep.txt/5},0/5},"
                          "0 unsorted/5,a\\b:c  /5}");

    // The name is cut at 510 units; a surrogate pair that the cut would split goes whole.
    tree.select(sub);
    ui.rename({std::u16string(509, u'a') + u"\U0001F600"});
    EXPECT_TRUE(commands.OnItemRename());
    EXPECT_EQ(tree.text(sub), u" " + std::u16string(509, u'a'));
}

TEST_F(ItemCommandsTest, DeleteWarnsThenRemovesAndMovesTheSelection) {
    const std::string lost = " will be deleted.\\nYou will not be able to restore it.\\n\\n"
                             "Continue ?\" | \"Warning\" | Exclamation | YesNo -> ";
    const std::string all = " and all it's content" + lost;
    const std::string before = dump(tree);
    tree.select(folder);
    ui.answer(MessageAnswer::No);
    EXPECT_FALSE(commands.OnItemDelete());
    EXPECT_EQ(dump(tree), before);
    EXPECT_EQ(tree.selected(), folder);
    EXPECT_FALSE(document.modified);
    ui.answer(MessageAnswer::Yes);
    EXPECT_TRUE(commands.OnItemDelete());
    EXPECT_EQ(dump(tree), "Drive/9{readme.txt/5}, Spaced/4{ Inner/6}");
    EXPECT_EQ(tree.selected(), readme); // the next sibling
    EXPECT_TRUE(document.modified);
    // A file keeps a leading space in the warning; a drive root gets the file wording.
    const NodeId odd = add(tree, drive, u" odd.txt", kKindDocument);
    for (const NodeId node : {readme, odd, cd, drive}) {
        tree.select(node);
        ui.answer(MessageAnswer::Yes);
        EXPECT_TRUE(commands.OnItemDelete());
    }
    EXPECT_TRUE(tree.empty());
    EXPECT_EQ(tree.selected(), kNoNode);
    // Nothing is selected: every command asks for a selection and stops.
    commands.OnItemProperties();
    EXPECT_FALSE(commands.OnItemRename());
    EXPECT_FALSE(commands.OnItemDelete());
    EXPECT_EQ(
        ui.transcript(),
        (Lines{"message \"\"Folder\"" + all + "No", "message \"\"Folder\"" + all + "Yes",
               "message \"\"readme.txt\"" + lost + "Yes", "message \"\" odd.txt\"" + lost + "Yes",
               "message \"\"Spaced\"" + all + "Yes", "message \"\"Drive\"" + lost + "Yes",
               "message \"Select an item and try again.\"" + kOk,
               "message \"Select an item you want to rename and try again.\"" + kOk,
               "message \"Select an item you want to delete and try again.\"" + kOk}));
}

// Far beyond the 16383 characters a fixed buffer would hold; an empty root text too.
TEST(ItemTexts, FullPathsAreWhole) {
    SnapshotTree tree;
    NodeId node = add(tree, kTopLevel, u"", kKindDriveRoot);
    for (int i = 0; i < 400; ++i) {
        node = add(tree, node, u" " + std::u16string(100, u'n'), kKindFolder);
    }
    const std::u16string path = fullPathText(tree, node);
    EXPECT_EQ(path.size(), 9u + 2u + 399u * 103u);
    EXPECT_EQ(path.substr(0, 13), u"*root* \\  \\ n");
}

} // namespace
} // namespace zelvane
