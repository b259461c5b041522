// The commands of the Item menu: Properties, Rename and Delete of the selected node.
//
// Each takes the tree's selected node first and asks the user to select one when there is
// none. They talk to the user only through the UiPort.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "document/document_state.h"
#include "document/node_text.h"
#include "document/snapshot_tree.h"
#include "document/tree_order.h"
#include "document/ui_port.h"
#include "text/text.h"

namespace zelvane {

inline constexpr std::u16string_view kSelectItemText = u"Select an item and try again.";
inline constexpr std::u16string_view kSelectItemToRenameText =
    u"Select an item you want to rename and try again.";
inline constexpr std::u16string_view kSelectItemToDeleteText =
    u"Select an item you want to delete and try again.";
inline constexpr std::u16string_view kNameEmptyText = u"The name must not be empty!";
inline constexpr std::u16string_view kNameStartsWithSpaceText =
    u"The name must not start with space!";
inline constexpr std::u16string_view kRootParentName = u"*root*";
inline constexpr std::u16string_view kFullPathStart = u"*root* \\ ";
inline constexpr std::u16string_view kFullPathSeparator = u" \\";
// The longest name the rename dialog accepts, in UTF-16 code units.
inline constexpr std::size_t kMaxNewNameLength = 510;

// The chain of containers above node, from the top of the tree down to its parent:
// "*root* \ ", then each container's stored text followed by " \". The node's own name
// is not part of it. Built whole, however long.
std::u16string fullPathText(const SnapshotTree& tree, NodeId node);

// The Delete command's four-line warning for a node of this kind and stored text: the
// container wording with the display name for a folder (6) or a CD-ROM root (4), the plain
// wording with the stored text unchanged for every other kind. The name is quoted whole.
std::u16string deleteWarningText(int kind, std::u16string_view storedText);

// "Item Properties". Everything it shows is read-only; it never changes the snapshot.
struct ItemPropertiesDialog {
    // --- What the dialog shows ---
    // The node's kind: its icon (icon 254 + kind) at the standard icon size. A kind of 12
    // or more, possible in a loaded file, shows no icon.
    int kind = 0;
    std::u16string name;        // control 1001: the node's display name
    std::u16string parentName;  // control 1002: the parent's display name, or "*root*"
    bool parentEnabled = false; // control 1009 "Properties...": disabled for a root
    std::u16string fullPath;    // control 1006: the containers from the top down

    // --- What the user did (both stay false for "Close", Escape and the close box) ---
    bool renameRequested = false; // "Change..."
    bool parentRequested = false; // "Properties..."
};

// "Rename Item".
struct RenameItemDialog {
    // In: the name shown when the dialog opens. Out: the accepted name (at most 510
    // characters), valid when accepted is set.
    std::u16string name;
    bool accepted = false; // OK with a name that was accepted; false for Cancel
};

// The rename dialog's OK. An empty text gets "The name must not be empty!" and one that
// begins with a space "The name must not start with space!" (caption "Error", error icon);
// both return false and the dialog stays open. Any other text is accepted: dialog.name
// becomes its first 510 characters (cutText), dialog.accepted is set, and the result is
// true.
bool confirmNewName(RenameItemDialog& dialog, std::u16string_view typed, UiPort& ui);

class ItemCommands {
public:
    // A rename puts the tree back in this order (sortTreeAfterRename); Rename and Delete
    // set the document's modified flag. order must outlive the commands.
    ItemCommands(SnapshotTree& tree, DocumentState& document, UiPort& ui, const TextOrder& order);

    // Item > Properties... (32774): the properties of the selected node; "Change..." goes
    // on to Rename, "Properties..." selects the parent and shows its properties.
    void OnItemProperties();
    // Item > Rename (278), F2 and a slow click in the tree, and "Change...". True when the
    // node was renamed.
    bool OnItemRename();
    // Item > Delete (279). True when the node went.
    bool OnItemDelete();

    // What the properties dialog shows for node.
    ItemPropertiesDialog propertiesOf(NodeId node) const;

private:
    SnapshotTree& tree_;
    DocumentState& document_;
    UiPort& ui_;
    const TextOrder& order_;
};

} // namespace zelvane
