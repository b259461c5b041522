// The main window's side of the item commands: the routed Item menu commands, and the two
// item dialogs run modally over the window.
#include <string_view>

#include "app/main_dlg_qt.h"
#include "capture/tree_order.h"
#include "icons/icon_set_qt.h"
#include "items/item_commands.h"
#include "items/item_dialogs_qt.h"

namespace zelvane {

namespace {

// The rename dialog's refusals are owned by the dialog itself; everything else still goes
// to the main window.
class OwnedMessages : public UiPort {
public:
    OwnedMessages(UiPort& window, const MessageBoxFunction& messageBox)
        : window_(window), messageBox_(messageBox) {}
    void setOwner(QWidget* owner) { owner_ = owner; }

    MessageAnswer messageBox(std::u16string_view text, std::u16string_view caption,
                             MessageIcon icon, MessageButtons buttons) override {
        return messageBox_(owner_, text, caption, icon, buttons);
    }
    std::optional<ChosenFile> fileDialog(const FileDialogRequest& request) override {
        return window_.fileDialog(request);
    }
    void setCaption(std::u16string_view caption) override { window_.setCaption(caption); }
    void endMainWindow(int result) override { window_.endMainWindow(result); }

private:
    UiPort& window_;
    const MessageBoxFunction& messageBox_;
    QWidget* owner_ = nullptr;
};

} // namespace

ItemCommands& CMainDlg::itemCommands() {
    if (!itemCommands_) {
        itemCommands_ = std::make_unique<ItemCommands>(tree_, document_, *this, *this,
                                                       [this] { SortTree(tree_); });
    }
    return *itemCommands_;
}

void CMainDlg::OnItemRename() {
    itemCommands().OnItemRename();
}

void CMainDlg::OnItemDelete() {
    itemCommands().OnItemDelete();
}

void CMainDlg::OnItemProperties() {
    itemCommands().OnItemProperties();
}

void CMainDlg::showItemProperties(ItemPropertiesDialog& dialog) {
    // The icon at the standard icon size, whatever size the View menu has chosen.
    CItemProperties properties(
        dialog, renderKindIcon(dialog.kind, CItemProperties::standardIconSize()), this);
    properties.exec();
}

void CMainDlg::runRenameItem(RenameItemDialog& dialog) {
    OwnedMessages messages(*this, messageBox_);
    CRenameItem rename(dialog, messages, this);
    messages.setOwner(&rename);
    rename.exec();
}

} // namespace zelvane
