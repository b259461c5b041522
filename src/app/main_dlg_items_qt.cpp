// The main window's side of the item commands: the Item menu's handlers, and the two
// item dialogs run modally over the window.
#include "app/main_dlg_qt.h"
#include "document/tree_order.h"
#include "items/item_commands.h"
#include "ui/icon_set_qt.h"
#include "ui/item_dialogs_qt.h"

namespace zelvane {

ItemCommands& CMainDlg::itemCommands() {
    if (!itemCommands_) {
        // The environment's collation, read once for the whole run.
        static const TextOrder order;
        itemCommands_ =
            std::make_unique<ItemCommands>(document_.tree(), document_.state(), *this, order);
    }
    return *itemCommands_;
}

void CMainDlg::OnItemRename() {
    if (commandHeard()) {
        itemCommands().OnItemRename();
    }
}

void CMainDlg::OnItemDelete() {
    if (commandHeard()) {
        itemCommands().OnItemDelete();
    }
}

void CMainDlg::OnItemProperties() {
    if (commandHeard()) {
        itemCommands().OnItemProperties();
    }
}

void CMainDlg::showItemProperties(ItemPropertiesDialog& dialog) {
    // The icon at the standard icon size, whatever size the View menu has chosen.
    CItemProperties properties(
        dialog, renderKindIcon(dialog.kind, CItemProperties::standardIconSize()), this);
    properties.exec();
}

void CMainDlg::runRenameItem(RenameItemDialog& dialog) {
    // Its refusals go through messageBox, owned by the rename dialog while it runs.
    CRenameItem rename(dialog, *this, this);
    rename.exec();
}

} // namespace zelvane
