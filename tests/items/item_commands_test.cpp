#include "items/item_commands.h"

#include "support/test_common.h"

#include "support/scripted_ui.h"
#include "text/utf.h"

namespace zelvane {
namespace {

using namespace zelvane::testing; // Lines, PropertiesButton

// The nodes under parent in order, "text/kind", children in braces.
std::string dump(const SnapshotTree& tree, NodeId parent = kTopLevel) {
    std::string out;
    for (NodeId n = tree.firstChild(parent); n != kNoNode; n = tree.nextSibling(n)) {
        out += (out.empty() ? "" : ",") + utf16ToUtf8(tree.text(n)) + "/" +
               std::to_string(tree.kind(n)) +
               (tree.hasChildren(n) ? "{" + dump(tree, n) + "}" : "");
    }
    return out;
}

std::string box(const std::string& text, const char* kind) {
    return "message \"" + text + "\" | \"" + kind + "\" | " + kind + " | Ok -> Ok";
}

// Drive (9) { " Folder" { " Sub" { deep.txt }, file.doc }, readme.txt }, " Spaced" (4)
// { " Inner" }; folders are kind 6, files 5. In order but for the roots.
struct ItemCommandsTest : ::testing::Test {
    NodeId add(NodeId parent, std::u16string_view text, int kind) {
        const NodeId node = tree.insertLast(parent, text);
        tree.setKind(node, kind);
        return node;
    }
    SnapshotTree tree;
    const TextOrder order{""}; // the root collation, whatever the machine's locale
    testing::ScriptedUi ui;
    DocumentState document;
    ItemCommands commands{tree, document, ui, order};
    NodeId drive = add(kTopLevel, u"Drive", kKindDriveRoot), folder = add(drive, u" Folder", 6),
           sub = add(folder, u" Sub", 6), deep = add(sub, u"deep.txt", 5),
           file = add(folder, u"file.doc", 5), readme = add(drive, u"readme.txt", 5),
           cd = add(kTopLevel, u" Spaced", kKindCdRomRoot), inner = add(cd, u" Inner", 6);
};

// The climb from a file to its root, where "Parent" is off; "Change..." goes on to Rename
// once and the dialog does not reopen.
TEST_F(ItemCommandsTest, PropertiesClimbsAndChanges) {
    tree.select(deep);
    ui.properties(PropertiesButton::Parent).properties(PropertiesButton::Parent);
    ui.properties(PropertiesButton::Parent).properties(PropertiesButton::Parent);
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
    const auto shown = [](const char* name, const char* parent, const char* path, int kind,
                          const char* then) {
        return std::string("properties \"") + name + "\" | \"" + parent + "\" | \"*root* \\ " +
               path + "\" | kind " + std::to_string(kind) + " | parent " + then;
    };
    EXPECT_EQ(ui.transcript(),
              (Lines{shown("deep.txt", "Sub", "Drive \\ Folder \\ Sub \\", 5, "on -> parent"),
                     shown("Sub", "Folder", "Drive \\ Folder \\", 6, "on -> parent"),
                     shown("Folder", "Drive", "Drive \\", 6, "on -> parent"),
                     shown("Drive", "*root*", "", 9, "off -> parent"),
                     shown("Inner", "Spaced", " Spaced \\", 6, "on -> change"),
                     "rename \"Inner\" -> cancel",
                     shown("file.doc", "Folder", "Drive \\ Folder \\", 5, "on -> change"),
                     "rename \"file.doc\" -> ok \"a.exe\"",
                     shown("a.exe", "Folder", "Drive \\ Folder \\", 5, "on -> close")}));
    EXPECT_EQ(dump(tree, folder), " Sub/6{deep.txt/5},a.exe/5");
    EXPECT_TRUE(tree.selected() == file && document.modified);
}

// Refused names keep the dialog open; an accepted one keeps a folder's leading space and
// trailing spaces, and puts the tree back in order: all of it when it was out of order
// before (as built here), the renamed node alone after that.
TEST_F(ItemCommandsTest, RenameRefusesCutsAndSorts) {
    tree.select(folder);
    ui.rename({u"", u"  ", u" lead"});
    EXPECT_FALSE(commands.OnItemRename());
    const std::string space = box("The name must not start with space!", "Error");
    EXPECT_EQ(ui.transcript(),
              (Lines{"rename \"Folder\" -> ok \"\"", box("The name must not be empty!", "Error"),
                     "rename \"Folder\" -> ok \"  \"", space, "rename \"Folder\" -> ok \" lead\"",
                     space, "rename \"Folder\" -> cancel"}));
    EXPECT_FALSE(document.modified);
    add(drive, u"0 unsorted", 5);
    for (const auto& [node, typed] : std::vector<std::pair<NodeId, std::u16string>>{
             {readme, u"a\\b:c  "}, {folder, u"zeta"}, {sub, u"Alpha"}, {file, u"0"}}) {
        document.modified = false;
        tree.select(node);
        ui.rename({typed});
        EXPECT_TRUE(commands.OnItemRename() && document.modified && tree.inOrder() &&
                    tree.selected() == node);
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
    const std::string before = dump(tree);
    tree.select(folder);
    ui.answer(MessageAnswer::No);
    EXPECT_FALSE(commands.OnItemDelete());
    EXPECT_TRUE(dump(tree) == before && tree.selected() == folder && !document.modified);
    ui.answer(MessageAnswer::Yes);
    EXPECT_TRUE(commands.OnItemDelete());
    EXPECT_EQ(dump(tree), "Drive/9{readme.txt/5}, Spaced/4{ Inner/6}");
    EXPECT_TRUE(tree.selected() == readme && document.modified); // the next sibling
    // A file keeps a leading space in the warning; a drive root gets the file wording.
    const NodeId odd = add(drive, u" odd.txt", 5);
    for (const NodeId node : {readme, odd, cd, drive}) {
        tree.select(node);
        ui.answer(MessageAnswer::Yes);
        EXPECT_TRUE(commands.OnItemDelete());
    }
    EXPECT_TRUE(tree.empty() && tree.selected() == kNoNode);
    commands.OnItemProperties(); // nothing selected: each asks for a selection and stops
    EXPECT_FALSE(commands.OnItemRename() || commands.OnItemDelete());
    const auto warned = [](const char* name, bool all, const char* answer) {
        return std::string("message \"\"") + name + "\"" + (all ? " and all it's content" : "") +
               " will be deleted.\\nYou will not be able to restore it.\\n\\nContinue ?\" | "
               "\"Warning\" | Exclamation | YesNo -> " +
               answer;
    };
    EXPECT_EQ(ui.transcript(),
              (Lines{warned("Folder", true, "No"), warned("Folder", true, "Yes"),
                     warned("readme.txt", false, "Yes"), warned(" odd.txt", false, "Yes"),
                     warned("Spaced", true, "Yes"), warned("Drive", false, "Yes"),
                     box("Select an item and try again.", "Information"),
                     box("Select an item you want to rename and try again.", "Information"),
                     box("Select an item you want to delete and try again.", "Information")}));
}

} // namespace
} // namespace zelvane
