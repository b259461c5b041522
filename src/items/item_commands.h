// The commands of the Item menu: Properties, Rename and Delete of the selected node.
//
// Each takes the tree's selected node first and asks the user to select one when there is
// none. They talk to the user only through the UiPort and the ItemsPort.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>

#include "ui/ui_port.h"
#include "document/document_state.h"
#include "document/snapshot_tree.h"
#include "items/items_port.h"

namespace zelvane {

inline constexpr std::u16string_view kSelectItemText = u"Select an item and try again.";
inline constexpr std::u16string_view kSelectItemToRenameText =
    u"Select an item you want to rename and try again.";
inline constexpr std::u16string_view kSelectItemToDeleteText =
    u"Select an item you want to delete and try again.";
inline constexpr std::u16string_view kItemInformationCaption = u"Information";
inline constexpr std::u16string_view kItemErrorCaption = u"Error";
inline constexpr std::u16string_view kItemWarningCaption = u"Warning";
inline constexpr std::u16string_view kNameEmptyText = u"The name must not be empty!";
inline constexpr std::u16string_view kNameStartsWithSpaceText =
    u"The name must not start with space!";
inline constexpr std::u16string_view kRootParentName = u"*root*";
inline constexpr std::u16string_view kFullPathStart = u"*root* \\ ";
inline constexpr std::u16string_view kFullPathSeparator = u" \\";
// The longest name the rename dialog accepts, in UTF-16 code units.
inline constexpr std::size_t kMaxNewNameLength = 510;

// The stored text without one leading space: what the item dialogs show, so that a
// folder's leading space is never seen. Only one space goes.
std::u16string_view displayName(std::u16string_view storedText);

// The chain of containers above node, from the top of the tree down to its parent:
// "*root* \ ", then each container's stored text followed by " \". The node's own name
// is not part of it. Built whole, however long.
std::u16string fullPathText(const SnapshotTree& tree, NodeId node);

// The Delete command's four-line warning for a node of this kind and stored text: the
// container wording with the display name for a folder (6) or a CD-ROM root (4), the plain
// wording with the stored text unchanged for every other kind. The name is quoted whole.
std::u16string deleteWarningText(int kind, std::u16string_view storedText);

// The new stored text of a renamed node: the accepted name, after one space when the old
// stored text began with one (a folder keeps its leading space).
std::u16string renamedText(std::u16string_view oldText, std::u16string_view acceptedName);

class ItemCommands {
public:
    // sortTree sorts the whole snapshot in text order. Rename and Delete set the
    // document's modified flag.
    ItemCommands(SnapshotTree& tree, DocumentState& document, UiPort& ui, ItemsPort& dialogs,
                 std::function<void()> sortTree);

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
    ItemsPort& dialogs_;
    std::function<void()> sortTree_;
};

} // namespace zelvane
