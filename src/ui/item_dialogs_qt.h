// The Qt windows of the item commands: "Item Properties" (CItemProperties) and "Rename
// Item" (CRenameItem). Each is built on its template's layout in dialog units, with every
// control named "control_<identifier>", is given its inputs as a struct, runs modally and
// leaves what the user did in that struct.
#pragma once

#include <QDialog>
#include <QPixmap>

#include "document/ui_port.h"
#include "items/item_commands.h"
#include "ui/dialog_layout_qt.h"

class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;

namespace zelvane {

// Control identifiers of the two templates.
inline constexpr int IDC_ITEM_NAME = 1001;
inline constexpr int IDC_ITEM_PARENT = 1002;
inline constexpr int IDC_ITEM_FULLPATH = 1006;
inline constexpr int IDC_ITEM_CHANGE = 1008;
inline constexpr int IDC_ITEM_PARENT_PROPERTIES = 1009;
inline constexpr int IDC_ITEM_ICON = 1012;
inline constexpr int IDOK_BUTTON = 1;
inline constexpr int IDCANCEL_BUTTON = 2;

class CItemProperties : public QDialog {
    Q_OBJECT
public:
    // icon: the node kind's picture at the standard icon size (null for a kind without
    // one). The flags of dialog are cleared here and set by the buttons.
    CItemProperties(ItemPropertiesDialog& dialog, const QPixmap& icon, QWidget* parent = nullptr);

    QLineEdit* nameField() const { return name_; }
    QPlainTextEdit* fullPathField() const { return fullPath_; }
    QLabel* iconPicture() const { return icon_; }
    QPushButton* changeButton() const { return change_; }
    QPushButton* parentButton() const { return parentButton_; }
    QPushButton* closeButton() const { return close_; }

    // The standard icon size of this platform's style, whatever size the View menu has.
    static int standardIconSize();

protected:
    void showEvent(QShowEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void OnChange();
    void OnParentProperties();

    ItemPropertiesDialog& dialog_;
    QLineEdit* name_ = nullptr;
    QLineEdit* parent_ = nullptr;
    QPlainTextEdit* fullPath_ = nullptr;
    QLabel* icon_ = nullptr;
    QPushButton* change_ = nullptr;
    QPushButton* parentButton_ = nullptr;
    QPushButton* close_ = nullptr;
};

class CRenameItem : public QDialog {
    Q_OBJECT
public:
    // The refusals of OK are shown through ui.
    CRenameItem(RenameItemDialog& dialog, UiPort& ui, QWidget* parent = nullptr);

    QLineEdit* nameField() const { return name_; }
    QPushButton* okButton() const { return ok_; }
    QPushButton* cancelButton() const { return cancel_; }

    // OK: accepted and closed, or refused with the dialog left open.
    void accept() override;

protected:
    void showEvent(QShowEvent* event) override;

private:
    RenameItemDialog& dialog_;
    UiPort& ui_;
    QLineEdit* name_ = nullptr;
    QPushButton* ok_ = nullptr;
    QPushButton* cancel_ = nullptr;
};

} // namespace zelvane
