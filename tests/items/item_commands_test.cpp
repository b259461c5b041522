#include "items/item_commands.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "capture/tree_order.h"
#include "scripted_items_port.h"

namespace zelvane {
namespace {

using ::testing::ElementsAre;
using testing::PropertiesAction;
using testing::ScriptedItemsPort;

std::vector<std::u16string> childTexts(const SnapshotTree& tree, NodeId parent) {
    std::vector<std::u16string> texts;
    for (NodeId n = tree.firstChild(parent); n != kNoNode; n = tree.nextSibling(n)) {
        texts.emplace_back(tree.text(n));
    }
    return texts;
}

NodeId add(SnapshotTree& tree, NodeId parent, std::u16string_view text, int kind) {
    const NodeId node = tree.insertLast(parent, text);
    tree.setKind(node, kind);
    if (isContainerKind(kind)) {
        tree.setTextAndBold(node, text);
    }
    return node;
}

// A snapshot in text order:
//   Drive (9)
//     " Folder" (6)
//       " Sub" (6)
//         deep.txt (5)
//       file.doc (5)
//     readme.txt (5)
//   " Spaced" (4)
//     " Inner" (6)
class ItemCommandsTest : public ::testing::Test {
protected:
    ItemCommandsTest()
        : commands(tree, document, port, port, [this] {
              // The flag is set after the sort.
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

    std::vector<std::string> transcript() const { return port.transcript(); }

    SnapshotTree tree;
    const TextOrder order{""}; // the root collation, whatever the machine's locale
    ScriptedItemsPort port;
    DocumentState document;
    std::vector<std::string> events; // the sorts
    ItemCommands commands;
    NodeId drive, folder, sub, deep, file, readme, cd, inner;
};

// --- Nothing selected ---

TEST_F(ItemCommandsTest, EveryCommandAsksForASelectionAndStops) {
    port.answer(MessageAnswer::Ok).answer(MessageAnswer::Ok).answer(MessageAnswer::Ok);
    commands.OnItemProperties();
    EXPECT_FALSE(commands.OnItemRename());
    EXPECT_FALSE(commands.OnItemDelete());
    EXPECT_THAT(
        transcript(),
        ElementsAre(
            "message \"Select an item and try again.\" | \"Information\" | Information | Ok -> Ok",
            "message \"Select an item you want to rename and try again.\" | \"Information\" | "
            "Information | Ok -> Ok",
            "message \"Select an item you want to delete and try again.\" | \"Information\" | "
            "Information | Ok -> Ok"));
    EXPECT_EQ(tree.size(), 8u);
    EXPECT_FALSE(document.modified);
    EXPECT_TRUE(events.empty());
}

// --- Properties ---

TEST_F(ItemCommandsTest, PropertiesOfARoot) {
    tree.select(drive);
    port.properties(PropertiesAction::Close);
    commands.OnItemProperties();
    ASSERT_EQ(port.propertiesShown.size(), 1u);
    const ItemPropertiesDialog& shown = port.propertiesShown[0];
    EXPECT_EQ(shown.kind, kKindDriveRoot);
    EXPECT_EQ(shown.name, u"Drive");
    EXPECT_EQ(shown.parentName, u"*root*");
    EXPECT_FALSE(shown.parentEnabled);
    EXPECT_EQ(shown.fullPath, u"*root* \\ ");
    EXPECT_EQ(shown.fullPath.size(), 9u);
    EXPECT_FALSE(document.modified);
}

TEST_F(ItemCommandsTest, PropertiesShowDisplayNamesAndTheContainersAbove) {
    const ItemPropertiesDialog ofFolder = commands.propertiesOf(folder);
    EXPECT_EQ(ofFolder.name, u"Folder");
    EXPECT_EQ(ofFolder.parentName, u"Drive");
    EXPECT_TRUE(ofFolder.parentEnabled);
    EXPECT_EQ(ofFolder.fullPath, u"*root* \\ Drive \\");

    // Folder texts bring their leading space into the path: " \ Folder".
    const ItemPropertiesDialog ofDeep = commands.propertiesOf(deep);
    EXPECT_EQ(ofDeep.name, u"deep.txt");
    EXPECT_EQ(ofDeep.parentName, u"Sub");
    EXPECT_EQ(ofDeep.kind, kKindDocument);
    EXPECT_EQ(ofDeep.fullPath, u"*root* \\ Drive \\ Folder \\ Sub \\");

    // A root whose text begins with a space: its display name loses the space, the path
    // keeps the stored text.
    const ItemPropertiesDialog ofInner = commands.propertiesOf(inner);
    EXPECT_EQ(ofInner.parentName, u"Spaced");
    EXPECT_EQ(ofInner.fullPath, u"*root* \\  Spaced \\");
}

TEST_F(ItemCommandsTest, DisplayNameDropsOnlyOneLeadingSpace) {
    EXPECT_EQ(displayName(u"  two"), u" two");
    EXPECT_EQ(displayName(u" "), u"");
    EXPECT_EQ(displayName(u""), u"");
    EXPECT_EQ(displayName(u"plain "), u"plain ");
    EXPECT_EQ(displayName(u"\tTab"), u"\tTab");
}

TEST_F(ItemCommandsTest, PropertiesClimbsFromAFileToItsRoot) {
    tree.select(deep);
    port.properties(PropertiesAction::Parent)
        .properties(PropertiesAction::Parent)
        .properties(PropertiesAction::Parent)
        .properties(PropertiesAction::Close);
    commands.OnItemProperties();
    EXPECT_THAT(
        transcript(),
        ElementsAre("properties \"deep.txt | Sub | *root* \\ Drive \\ Folder \\ Sub \\\" "
                    "-> scripted",
                    "properties \"Sub | Folder | *root* \\ Drive \\ Folder \\\" -> scripted",
                    "properties \"Folder | Drive | *root* \\ Drive \\\" -> scripted",
                    "properties \"Drive | *root* | *root* \\  | no parent\" -> scripted"));
    EXPECT_EQ(tree.selected(), drive);
    EXPECT_FALSE(document.modified);
    EXPECT_TRUE(events.empty());
}

TEST_F(ItemCommandsTest, ChangeRenamesTheSameNodeAndDoesNotReopen) {
    tree.select(file);
    port.properties(PropertiesAction::Change).renameTo(u"a.exe");
    commands.OnItemProperties();
    EXPECT_THAT(transcript(), ElementsAre("properties \"file.doc | Folder | *root* \\ Drive \\ "
                                          "Folder \\\" -> scripted",
                                          "rename \"file.doc\" -> scripted"));
    EXPECT_EQ(tree.text(file), u"a.exe");
    EXPECT_EQ(tree.kind(file), kKindDocument);
    EXPECT_THAT(childTexts(tree, folder), ElementsAre(u" Sub", u"a.exe"));
    EXPECT_TRUE(document.modified);
    EXPECT_EQ(tree.selected(), file);
}

TEST_F(ItemCommandsTest, ChangeThenCancelChangesNothingAndDoesNotReopen) {
    tree.select(folder);
    port.properties(PropertiesAction::Change).renameCancel();
    commands.OnItemProperties();
    EXPECT_EQ(port.calls().size(), 2u);
    EXPECT_EQ(tree.text(folder), u" Folder");
    EXPECT_FALSE(document.modified);
    EXPECT_TRUE(events.empty());
}

TEST_F(ItemCommandsTest, FullPathOfADeepChainIsWhole) {
    // Far beyond the 16383 characters a fixed buffer would hold.
    NodeId node = drive;
    const std::u16string name(100, u'n');
    for (int i = 0; i < 400; ++i) {
        node = add(tree, node, u" " + name, kKindFolder);
    }
    const std::u16string path = fullPathText(tree, node);
    EXPECT_EQ(path.size(), 9u + 5u + 2u + 399u * (101u + 2u));
    EXPECT_EQ(path.substr(0, 16), u"*root* \\ Drive \\");
    EXPECT_EQ(path.substr(path.size() - 4), u"nn \\");
}

// --- Rename ---

TEST_F(ItemCommandsTest, RenamingAFolderKeepsItsSpaceKindBoldAndChildren) {
    tree.select(folder);
    port.renameTo(u"Alpha");
    EXPECT_TRUE(commands.OnItemRename());
    EXPECT_THAT(port.renameShown, ElementsAre(u"Folder"));
    EXPECT_EQ(tree.text(folder), u" Alpha");
    EXPECT_EQ(tree.kind(folder), kKindFolder);
    EXPECT_TRUE(tree.isBold(folder));
    EXPECT_THAT(childTexts(tree, folder), ElementsAre(u" Sub", u"file.doc"));
    EXPECT_EQ(tree.selected(), folder);
    EXPECT_THAT(events, ElementsAre("sort"));
}

TEST_F(ItemCommandsTest, RenamingAFileOrARootStoresExactlyTheTypedName) {
    tree.select(readme);
    port.renameTo(u"notes.exe");
    EXPECT_TRUE(commands.OnItemRename());
    EXPECT_EQ(tree.text(readme), u"notes.exe");
    EXPECT_EQ(tree.kind(readme), kKindDocument); // a new extension does not change the kind
    EXPECT_FALSE(tree.isBold(readme));

    tree.select(drive);
    port.renameTo(u"Backup");
    EXPECT_TRUE(commands.OnItemRename());
    EXPECT_EQ(tree.text(drive), u"Backup");
    EXPECT_EQ(tree.kind(drive), kKindDriveRoot);
    EXPECT_TRUE(tree.isBold(drive));
}

TEST_F(ItemCommandsTest, TrailingSpacesAndOddCharactersAreKept) {
    tree.select(readme);
    port.renameTo(u"a\\b:c  ");
    EXPECT_TRUE(commands.OnItemRename());
    EXPECT_EQ(tree.text(readme), u"a\\b:c  ");
}

TEST_F(ItemCommandsTest, RefusedNamesKeepTheDialogOpenUntilAGoodOne) {
    tree.select(file);
    port.rename({u"", u"   ", u" lead", u"good.doc"})
        .answer(MessageAnswer::Ok)
        .answer(MessageAnswer::Ok)
        .answer(MessageAnswer::Ok);
    EXPECT_TRUE(commands.OnItemRename());
    EXPECT_THAT(
        transcript(),
        ElementsAre(
            "rename \"file.doc\" -> scripted",
            "message \"The name must not be empty!\" | \"Error\" | Error | Ok -> Ok",
            "message \"The name must not start with space!\" | \"Error\" | Error | Ok -> Ok",
            "message \"The name must not start with space!\" | \"Error\" | Error | Ok -> Ok"));
    EXPECT_EQ(tree.text(file), u"good.doc");
    EXPECT_TRUE(document.modified);
}

TEST_F(ItemCommandsTest, RefusedThenCancelledChangesNothing) {
    tree.select(file);
    port.rename({u"", std::nullopt}).answer(MessageAnswer::Ok);
    EXPECT_FALSE(commands.OnItemRename());
    EXPECT_EQ(tree.text(file), u"file.doc");
    EXPECT_FALSE(document.modified);
    EXPECT_TRUE(events.empty());
}

TEST_F(ItemCommandsTest, RenameSortsTheWholeTreeAgain) {
    tree.select(readme);
    port.renameTo(u"Aardvark");
    commands.OnItemRename();
    // Folders stay ahead of files whatever the new name.
    EXPECT_THAT(childTexts(tree, drive), ElementsAre(u" Folder", u"Aardvark"));

    tree.select(file);
    port.renameTo(u"0.doc");
    commands.OnItemRename();
    EXPECT_THAT(childTexts(tree, folder), ElementsAre(u" Sub", u"0.doc"));

    // Roots are ordered too, and a renamed folder moves among its siblings.
    const NodeId other = add(tree, folder, u" Zeta", kKindFolder);
    tree.select(other);
    port.renameTo(u"alpha");
    commands.OnItemRename();
    EXPECT_THAT(childTexts(tree, folder), ElementsAre(u" alpha", u" Sub", u"0.doc"));

    tree.select(drive);
    port.renameTo(u"zz");
    commands.OnItemRename();
    EXPECT_THAT(childTexts(tree, kTopLevel), ElementsAre(u" Spaced", u"zz"));
}

TEST_F(ItemCommandsTest, CancelLeavesOrderAndFlagAlone) {
    // Out of order, as a loaded file may be: a cancelled rename must not sort it.
    const NodeId last = add(tree, kTopLevel, u"AAA", kKindDriveRoot);
    tree.select(last);
    port.renameCancel();
    EXPECT_FALSE(commands.OnItemRename());
    EXPECT_THAT(childTexts(tree, kTopLevel), ElementsAre(u"Drive", u" Spaced", u"AAA"));
    EXPECT_FALSE(document.modified);
    EXPECT_TRUE(events.empty());
}

TEST_F(ItemCommandsTest, LongNamesAreShownWholeAndAcceptedUpTo510) {
    const std::u16string longName(1500, u'x');
    tree.setText(sub, u" " + longName);
    tree.select(sub);
    port.renameTo(std::u16string(600, u'y'));
    EXPECT_TRUE(commands.OnItemRename());
    EXPECT_EQ(port.renameShown.at(0), longName);
    EXPECT_EQ(tree.text(sub), u" " + std::u16string(510, u'y'));

    tree.select(readme);
    port.renameTo(std::u16string(510, u'z'));
    commands.OnItemRename();
    EXPECT_EQ(tree.text(readme).size(), 510u);
}

TEST_F(ItemCommandsTest, TheCutNeverSplitsACharacter) {
    RenameItemDialog dialog;
    // U+1F600 as a surrogate pair at units 509 and 510: the whole character goes.
    std::u16string typed(509, u'a');
    typed += u"\U0001F600";
    typed += u"tail";
    EXPECT_TRUE(confirmNewName(dialog, typed, port));
    EXPECT_EQ(dialog.name, std::u16string(509, u'a'));
    EXPECT_TRUE(dialog.accepted);

    // A pair that ends at unit 510 is kept whole.
    typed = std::u16string(508, u'a') + u"\U0001F600" + u"tail";
    EXPECT_TRUE(confirmNewName(dialog, typed, port));
    EXPECT_EQ(dialog.name.size(), 510u);
    EXPECT_EQ(dialog.name.substr(508), u"\U0001F600");
}

// --- Delete ---

TEST_F(ItemCommandsTest, DeletingAFolderUsesTheContainerWarning) {
    tree.select(folder);
    port.answer(MessageAnswer::Yes);
    EXPECT_TRUE(commands.OnItemDelete());
    EXPECT_THAT(transcript(),
                ElementsAre("message \"\"Folder\" and all it's content will be deleted.\\nYou "
                            "will not be able to restore it.\\n\\nContinue ?\" | \"Warning\" | "
                            "Exclamation | YesNo -> Yes"));
    EXPECT_THAT(childTexts(tree, drive), ElementsAre(u"readme.txt"));
    EXPECT_EQ(tree.size(), 4u);
    EXPECT_TRUE(document.modified);
    EXPECT_TRUE(events.empty()); // no sorting after a deletion
}

TEST_F(ItemCommandsTest, WarningWordingFollowsTheKind) {
    EXPECT_EQ(deleteWarningText(kKindCdRomRoot, u" Spaced"),
              u"\"Spaced\" and all it's content will be deleted.\nYou will not be able to "
              u"restore it.\n\nContinue ?");
    EXPECT_EQ(deleteWarningText(kKindCdRomRoot, u"Disc 1"),
              u"\"Disc 1\" and all it's content will be deleted.\nYou will not be able to "
              u"restore it.\n\nContinue ?");
    // A drive root gets the plain wording although its whole tree goes.
    EXPECT_EQ(deleteWarningText(kKindDriveRoot, u"Drive"),
              u"\"Drive\" will be deleted.\nYou will not be able to restore it.\n\nContinue ?");
    // Files are quoted with their stored text, a leading space included.
    EXPECT_EQ(deleteWarningText(kKindDocument, u" odd.txt"),
              u"\" odd.txt\" will be deleted.\nYou will not be able to restore it.\n\nContinue ?");
    EXPECT_EQ(deleteWarningText(40, u"x"),
              u"\"x\" will be deleted.\nYou will not be able to restore it.\n\nContinue ?");
    // Long names are quoted whole.
    const std::u16string longName(900, u'q');
    EXPECT_NE(deleteWarningText(kKindFolder, u" " + longName).find(u"\"" + longName + u"\""),
              std::u16string::npos);
}

TEST_F(ItemCommandsTest, DeletingADriveRootTakesItsWholeTree) {
    tree.select(drive);
    port.answer(MessageAnswer::Yes);
    EXPECT_TRUE(commands.OnItemDelete());
    EXPECT_EQ(port.messages().at(0).text,
              u"\"Drive\" will be deleted.\nYou will not be able to restore it.\n\nContinue ?");
    EXPECT_THAT(childTexts(tree, kTopLevel), ElementsAre(u" Spaced"));
    EXPECT_EQ(tree.size(), 2u);
}

TEST_F(ItemCommandsTest, DeletingTheLastRootLeavesAnEmptyModifiedSnapshot) {
    tree.select(drive);
    port.answer(MessageAnswer::Yes).answer(MessageAnswer::Yes);
    EXPECT_TRUE(commands.OnItemDelete());
    tree.select(cd);
    EXPECT_TRUE(commands.OnItemDelete());
    EXPECT_TRUE(tree.empty());
    EXPECT_EQ(tree.firstRoot(), kNoNode);
    EXPECT_EQ(tree.selected(), kNoNode);
    EXPECT_TRUE(document.modified);

    port.answer(MessageAnswer::Ok);
    EXPECT_FALSE(commands.OnItemDelete());
    EXPECT_EQ(port.messages().back().text, u"Select an item you want to delete and try again.");
}

TEST_F(ItemCommandsTest, NoChangesNothing) {
    const NodeId last = add(tree, kTopLevel, u"AAA", kKindDriveRoot); // out of order
    tree.select(file);
    port.answer(MessageAnswer::No);
    EXPECT_FALSE(commands.OnItemDelete());
    EXPECT_EQ(tree.size(), 9u);
    EXPECT_THAT(childTexts(tree, kTopLevel), ElementsAre(u"Drive", u" Spaced", u"AAA"));
    EXPECT_EQ(tree.selected(), file);
    EXPECT_FALSE(document.modified);

    // An already modified snapshot stays modified.
    document.modified = true;
    tree.select(last);
    port.answer(MessageAnswer::No);
    EXPECT_FALSE(commands.OnItemDelete());
    EXPECT_TRUE(document.modified);
    EXPECT_TRUE(events.empty());
}

} // namespace
} // namespace zelvane
