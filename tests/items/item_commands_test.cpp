#include "items/item_commands.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "capture/tree_order.h"
#include "scripted_items_port.h"

namespace zelvane {
namespace {

using ::testing::ElementsAre;
using namespace zelvane::testing;
using Turns = RenameTurns;
constexpr auto kParent = PropertiesAction::Parent;
constexpr auto kChange = PropertiesAction::Change;
constexpr auto kClose = PropertiesAction::Close;

// Drive (9) { " Folder" (6) { " Sub" (6) { deep.txt }, file.doc }, readme.txt },
// " Spaced" (4) { " Inner" (6) }; the files are kind 5. In text order.
class ItemCommandsTest : public ::testing::Test {
protected:
    ItemCommandsTest()
        : commands(tree, document, port, port, [this] {
              events.push_back(document.modified ? "sort when modified" : "sort");
              SortTree(tree, order);
          }) {
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
    ScriptedItemsPort port;
    DocumentState document;
    std::vector<std::string> events; // the sorts
    ItemCommands commands;
    NodeId drive, folder, sub, deep, file, readme, cd, inner;
};

// The climb from a file to its root; under a root whose text begins with a space (the
// display name loses it, the path keeps it) "Change..." then Cancel; "Change..." renaming
// a file. A dialog never reopens after "Change...".
TEST_F(ItemCommandsTest, PropertiesFlow) {
    tree.select(deep);
    port.custom("properties", kParent).custom("properties", kParent);
    port.custom("properties", kParent).custom("properties", kClose);
    commands.OnItemProperties();
    EXPECT_EQ(tree.selected(), drive);
    tree.select(inner);
    port.custom("properties", kChange).custom("rename", Turns{std::nullopt});
    commands.OnItemProperties();
    EXPECT_TRUE(events.empty());
    EXPECT_FALSE(document.modified);
    tree.select(file);
    port.custom("properties", kChange).custom("rename", Turns{u"a.exe"});
    commands.OnItemProperties();
    EXPECT_THAT(
        port.transcript(),
        ElementsAre(
            "properties \"kind 5 | deep.txt | Sub | *root* \\ Drive \\ Folder \\ Sub \\\" "
            "-> scripted",
            "properties \"kind 6 | Sub | Folder | *root* \\ Drive \\ Folder \\\" -> scripted",
            "properties \"kind 6 | Folder | Drive | *root* \\ Drive \\\" -> scripted",
            "properties \"kind 9 | Drive | *root* | *root* \\  | no parent\" -> scripted",
            "properties \"kind 6 | Inner | Spaced | *root* \\  Spaced \\\" -> scripted",
            "rename \"Inner\" -> scripted",
            "properties \"kind 5 | file.doc | Folder | *root* \\ Drive \\ Folder \\\" -> scripted",
            "rename \"file.doc\" -> scripted"));
    EXPECT_EQ(dump(tree, folder), " Sub/6*{deep.txt/5},a.exe/5");
    EXPECT_EQ(dump(tree, cd), " Inner/6*");
    EXPECT_EQ(tree.selected(), file);
    EXPECT_TRUE(document.modified);
}

TEST(ItemTextsTest, DisplayNameAndDeleteWarning) {
    EXPECT_EQ(displayName(u"  two"), u" two"); // only one space goes
    EXPECT_EQ(displayName(u" "), u"");
    EXPECT_EQ(displayName(u""), u"");
    const std::u16string all = u" and all it's content will be deleted.\nYou will not be able "
                               u"to restore it.\n\nContinue ?";
    const std::u16string plain = u" will be deleted.\nYou will not be able to restore it.\n\n"
                                 u"Continue ?";
    const std::u16string q(900, u'q');
    EXPECT_EQ(deleteWarningText(kKindCdRomRoot, u" Spaced"), u"\"Spaced\"" + all);
    EXPECT_EQ(deleteWarningText(kKindFolder, u" " + q), u"\"" + q + u"\"" + all);
    // A drive root gets the plain wording; other kinds keep a leading space.
    EXPECT_EQ(deleteWarningText(kKindDriveRoot, u"Drive"), u"\"Drive\"" + plain);
    EXPECT_EQ(deleteWarningText(kKindDocument, u" odd.txt"), u"\" odd.txt\"" + plain);
    EXPECT_EQ(deleteWarningText(40, u"x"), u"\"x\"" + plain);
}

TEST_F(ItemCommandsTest, LongTextsAreWholeAndTheNewNameCutAt510) {
    // Far beyond the 16383 characters a fixed buffer would hold.
    NodeId node = sub;
    for (int i = 0; i < 400; ++i) {
        node = add(tree, node, u" " + std::u16string(100, u'n'), kKindFolder);
    }
    const std::u16string path = fullPathText(tree, node);
    EXPECT_EQ(path.size(), 31u + 399u * 103u);
    EXPECT_EQ(path.substr(path.size() - 4), u"nn \\");
    tree.select(node);
    port.custom("rename", Turns{std::u16string(600, u'y')});
    EXPECT_TRUE(commands.OnItemRename());
    EXPECT_EQ(port.calls().at(0).text, std::u16string(100, u'n'));
    EXPECT_EQ(tree.text(node), u" " + std::u16string(510, u'y'));
    // A surrogate pair at units 509 and 510 goes whole; one that ends at 510 is kept.
    const std::u16string smile = u"\U0001F600";
    RenameItemDialog dialog;
    EXPECT_TRUE(confirmNewName(dialog, std::u16string(509, u'a') + smile + u"t", port));
    EXPECT_EQ(dialog.name, std::u16string(509, u'a'));
    EXPECT_TRUE(confirmNewName(dialog, std::u16string(508, u'a') + smile + u"t", port));
    EXPECT_EQ(dialog.name, std::u16string(508, u'a') + smile);
}

// Refused then cancelled (no sort, no flag), then folder, file and root renamed: the
// folder's space restored, kind and bold kept, trailing spaces kept, the whole tree sorted.
TEST_F(ItemCommandsTest, RenameFlow) {
    const NodeId last = add(tree, kTopLevel, u"AAA", kKindDriveRoot); // out of order
    const std::string before = dump(tree);
    tree.select(last);
    port.custom("rename", Turns{u"", std::nullopt}).answer(MessageAnswer::Ok);
    EXPECT_FALSE(commands.OnItemRename());
    EXPECT_EQ(dump(tree), before);
    EXPECT_TRUE(events.empty());
    EXPECT_FALSE(document.modified);
    for (const auto& [node, turns] : std::vector<std::pair<NodeId, Turns>>{
             {readme, {u"notes.exe"}},
             {folder, {u"Alpha"}},
             {file, {u"", u"   ", u" lead", u"a\\b:c  "}},
             {drive, {u"zz"}},
         }) {
        document.modified = false;
        tree.select(node);
        port.custom("rename", turns);
        for (std::size_t i = 1; i < turns.size(); ++i) {
            port.answer(MessageAnswer::Ok);
        }
        EXPECT_TRUE(commands.OnItemRename());
        EXPECT_TRUE(document.modified);
        EXPECT_EQ(tree.selected(), node);
    }
    const std::string empty =
        "message \"The name must not be empty!\" | \"Error\" | Error | Ok -> Ok";
    const std::string space =
        "message \"The name must not start with space!\" | \"Error\" | Error | Ok -> Ok";
    EXPECT_THAT(port.transcript(),
                ElementsAre("rename \"AAA\" -> scripted", empty,
                            "rename \"readme.txt\" -> scripted", "rename \"Folder\" -> scripted",
                            "rename \"file.doc\" -> scripted", empty, space, space,
                            "rename \"Drive\" -> scripted"));
    EXPECT_EQ(dump(tree), " Spaced/4*{ Inner/6*},AAA/9*,zz/9*{ Alpha/6*{ Sub/6*{deep.txt/5},"
                          "a\\b:c  /5},notes.exe/5}");
    // The flag is set after each sort.
    EXPECT_THAT(events, ElementsAre("sort", "sort", "sort", "sort"));
}

// No changes nothing; Yes deletes the subtree with no sort; down to the last root, then
// nothing is selected.
TEST_F(ItemCommandsTest, DeleteFlow) {
    const NodeId last = add(tree, kTopLevel, u"AAA", kKindDriveRoot); // out of order
    const std::string before = dump(tree);
    tree.select(folder);
    port.answer(MessageAnswer::No).answer(MessageAnswer::Yes);
    EXPECT_FALSE(commands.OnItemDelete());
    EXPECT_EQ(dump(tree), before);
    EXPECT_EQ(tree.selected(), folder);
    EXPECT_FALSE(document.modified);
    EXPECT_TRUE(commands.OnItemDelete());
    const std::string warning = "message \"\"Folder\" and all it's content will be deleted.\\nYou "
                                "will not be able to restore it.\\n\\nContinue ?\" | \"Warning\" | "
                                "Exclamation | YesNo -> ";
    EXPECT_THAT(port.transcript(), ElementsAre(warning + "No", warning + "Yes"));
    EXPECT_EQ(dump(tree), "Drive/9*{readme.txt/5}, Spaced/4*{ Inner/6*},AAA/9*");
    EXPECT_TRUE(document.modified);
    for (const NodeId root : {drive, cd, last}) {
        tree.select(root);
        port.answer(MessageAnswer::Yes);
        EXPECT_TRUE(commands.OnItemDelete());
    }
    EXPECT_TRUE(tree.empty());
    EXPECT_EQ(tree.selected(), kNoNode);
    EXPECT_TRUE(events.empty());
    // Nothing left to select: every command asks for a selection and stops.
    port.clearCalls();
    port.answer(MessageAnswer::Ok).answer(MessageAnswer::Ok).answer(MessageAnswer::Ok);
    commands.OnItemProperties();
    EXPECT_FALSE(commands.OnItemRename());
    EXPECT_FALSE(commands.OnItemDelete());
    EXPECT_THAT(
        port.transcript(),
        ElementsAre(
            "message \"Select an item and try again.\" | \"Information\" | Information | Ok -> Ok",
            "message \"Select an item you want to rename and try again.\" | \"Information\" | "
            "Information | Ok -> Ok",
            "message \"Select an item you want to delete and try again.\" | \"Information\" | "
            "Information | Ok -> Ok"));
}

} // namespace
} // namespace zelvane
