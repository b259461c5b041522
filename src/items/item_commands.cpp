#include "items/item_commands.h"

#include <vector>

namespace zelvane {

namespace {

void showInformation(UiPort& ui, std::u16string_view text) {
    ui.messageBox(text, kInformationCaption, MessageIcon::Information, MessageButtons::Ok);
}

} // namespace

std::u16string fullPathText(const SnapshotTree& tree, NodeId node) {
    // Collected bottom-up, written top-down, so a deep chain costs its length once.
    std::vector<NodeId> containers;
    std::size_t length = kFullPathStart.size();
    for (NodeId a = tree.parent(node); a != kNoNode; a = tree.parent(a)) {
        containers.push_back(a);
        length += tree.text(a).size() + kFullPathSeparator.size();
    }
    std::u16string path;
    path.reserve(length);
    path += kFullPathStart;
    for (auto it = containers.rbegin(); it != containers.rend(); ++it) {
        tree.text(*it).appendTo(path);
        path += kFullPathSeparator;
    }
    return path;
}

std::u16string deleteWarningText(int kind, std::u16string_view storedText) {
    const bool container = kind == kKindFolder || kind == kKindCdRomRoot;
    std::u16string text = u"\"";
    text += container ? displayName(storedText) : storedText;
    text += container ? u"\" and all it's content will be deleted." : u"\" will be deleted.";
    text += u"\nYou will not be able to restore it.\n\nContinue ?";
    return text;
}

bool confirmNewName(RenameItemDialog& dialog, std::u16string_view typed, UiPort& ui) {
    if (typed.empty()) {
        ui.messageBox(kNameEmptyText, kErrorCaption, MessageIcon::Error, MessageButtons::Ok);
        return false;
    }
    if (typed.front() == u' ') {
        ui.messageBox(kNameStartsWithSpaceText, kErrorCaption, MessageIcon::Error,
                      MessageButtons::Ok);
        return false;
    }
    dialog.name.assign(cutText(typed, kMaxNewNameLength));
    dialog.accepted = true;
    return true;
}

ItemCommands::ItemCommands(SnapshotTree& tree, DocumentState& document, UiPort& ui,
                           const TextOrder& order)
    : tree_(tree), document_(document), ui_(ui), order_(order) {}

ItemPropertiesDialog ItemCommands::propertiesOf(NodeId node) const {
    ItemPropertiesDialog dialog;
    dialog.kind = tree_.kind(node);
    dialog.name = displayName(tree_.text(node).toU16());
    const NodeId parent = tree_.parent(node);
    if (parent != kNoNode) {
        dialog.parentName = displayName(tree_.text(parent).toU16());
        dialog.parentEnabled = true;
    } else {
        dialog.parentName = kRootParentName;
        dialog.parentEnabled = false;
    }
    dialog.fullPath = fullPathText(tree_, node);
    return dialog;
}

void ItemCommands::OnItemProperties() {
    // Each "Properties..." climbs one level and shows the dialog again, until a root
    // (where the button is disabled) or a plain close ends the chain.
    for (;;) {
        const NodeId node = tree_.selected();
        if (node == kNoNode) {
            showInformation(ui_, kSelectItemText);
            return;
        }
        ItemPropertiesDialog dialog = propertiesOf(node);
        ui_.showItemProperties(dialog);
        if (dialog.renameRequested) {
            // The selected node is still this node.
            OnItemRename();
        }
        if (!dialog.parentRequested) {
            return;
        }
        const NodeId parent = tree_.parent(node);
        if (parent == kNoNode) {
            return;
        }
        tree_.select(parent);
    }
}

bool ItemCommands::OnItemRename() {
    const NodeId node = tree_.selected();
    if (node == kNoNode) {
        showInformation(ui_, kSelectItemToRenameText);
        return false;
    }
    const std::u16string oldText(tree_.text(node));
    RenameItemDialog dialog;
    dialog.name = displayName(oldText);
    ui_.runRenameItem(dialog);
    if (!dialog.accepted) {
        return false;
    }
    const bool wasInOrder = tree_.inOrder();
    tree_.setText(node, renamedText(oldText, dialog.name));
    sortTreeAfterRename(tree_, node, wasInOrder, order_);
    document_.modified = true;
    return true;
}

bool ItemCommands::OnItemDelete() {
    const NodeId node = tree_.selected();
    if (node == kNoNode) {
        showInformation(ui_, kSelectItemToDeleteText);
        return false;
    }
    const std::u16string warning = deleteWarningText(tree_.kind(node), tree_.text(node).toU16());
    if (ui_.messageBox(warning, kWarningCaption, MessageIcon::Exclamation, MessageButtons::YesNo) !=
        MessageAnswer::Yes) {
        return false;
    }
    tree_.remove(node);
    document_.modified = true;
    return true;
}

} // namespace zelvane
