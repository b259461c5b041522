#include "ui/item_dialogs_qt.h"
#include "ui/dialog_layout_qt.h"

#include <QApplication>
#include <QFontMetrics>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPalette>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStyle>
#include <QTextOption>
#include <algorithm>
#include <limits>

#include "text/text.h"
#include "ui/text_qt.h"

namespace zelvane {

namespace {

// "Item Properties": 260 by 150.
constexpr DialogPlace kPropertiesSize{0, 0, 260, 150};
constexpr DialogPlace kNameLabelPlace{36, 7, 19, 8};
constexpr DialogPlace kNamePlace{36, 16, 164, 12};
constexpr DialogPlace kChangePlace{203, 15, 50, 14};
constexpr DialogPlace kParentLabelPlace{7, 34, 22, 8};
constexpr DialogPlace kParentPlace{7, 44, 192, 12};
constexpr DialogPlace kParentButtonPlace{203, 43, 50, 14};
constexpr DialogPlace kFullPathLabelPlace{7, 61, 28, 8};
constexpr DialogPlace kFullPathPlace{7, 70, 246, 50};
constexpr DialogPlace kIconPlace{7, 10, 21, 20};
constexpr DialogPlace kClosePlace{203, 129, 50, 14};

// "Rename Item": 186 by 60.
constexpr DialogPlace kRenameSize{0, 0, 186, 60};
constexpr DialogPlace kRenameNamePlace{7, 16, 172, 12};
constexpr DialogPlace kRenameOkPlace{76, 39, 50, 14};
constexpr DialogPlace kRenameCancelPlace{129, 39, 50, 14};
constexpr DialogPlace kRenameLabelPlace{7, 7, 19, 8};

// Read-only fields show on the window's colour, as read-only edit boxes do.
void showAsReadOnly(QWidget* field) {
    QPalette palette = field->palette();
    palette.setColor(QPalette::Base, palette.color(QPalette::Window));
    field->setPalette(palette);
}

void setFixedDialogFrame(QDialog* dialog, const QString& title, const DialogPlace& size,
                         const DialogBaseUnits& base) {
    dialog->setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                           Qt::WindowCloseButtonHint);
    dialog->setWindowTitle(title);
    dialog->setModal(true);
    dialog->setFixedSize(templateSize(size.width, size.height, base));
}

} // namespace

// --- Item Properties ---

CItemProperties::CItemProperties(ItemPropertiesDialog& dialog, const QPixmap& icon, QWidget* parent)
    : QDialog(parent), dialog_(dialog) {
    setObjectName(QStringLiteral("CItemProperties"));
    const DialogBaseUnits base = baseUnitsOf(*this);
    setFixedDialogFrame(this, QStringLiteral("Item Properties"), kPropertiesSize, base);

    // Created in the template's tab order: name field, "Change...", "Close", parent
    // field, full path field, "Properties...".
    QLabel* nameLabel = addLabel(this, QStringLiteral("Name"), kNameLabelPlace, base);
    name_ = new QLineEdit(this);
    setControlId(name_, IDC_ITEM_NAME);
    place(name_, kNamePlace, base);
    nameLabel->setBuddy(name_);

    change_ = addButton(this, QStringLiteral("Change..."), IDC_ITEM_CHANGE, kChangePlace, base);
    close_ = addButton(this, QStringLiteral("Close"), IDCANCEL_BUTTON, kClosePlace, base);

    QLabel* parentLabel = addLabel(this, QStringLiteral("Parent"), kParentLabelPlace, base);
    parent_ = new QLineEdit(this);
    setControlId(parent_, IDC_ITEM_PARENT);
    place(parent_, kParentPlace, base);
    parentLabel->setBuddy(parent_);

    QLabel* fullPathLabel = addLabel(this, QStringLiteral("Full Path"), kFullPathLabelPlace, base);
    fullPath_ = new QPlainTextEdit(this);
    setControlId(fullPath_, IDC_ITEM_FULLPATH);
    place(fullPath_, kFullPathPlace, base);
    fullPathLabel->setBuddy(fullPath_);

    parentButton_ = addButton(this, QStringLiteral("Properties..."), IDC_ITEM_PARENT_PROPERTIES,
                              kParentButtonPlace, base);

    // The icon keeps its own size; the picture is not scaled to the control.
    icon_ = new QLabel(this);
    setControlId(icon_, IDC_ITEM_ICON);
    icon_->setAttribute(Qt::WA_TranslucentBackground);
    place(icon_, kIconPlace, base);
    icon_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    if (!icon.isNull()) {
        icon_->setPixmap(icon);
        const QSize real = icon.deviceIndependentSize().toSize();
        icon_->resize(std::max(icon_->width(), real.width()),
                      std::max(icon_->height(), real.height()));
    }

    for (QLineEdit* field : {name_, parent_}) {
        field->setReadOnly(true);
        field->setMaxLength(std::numeric_limits<int>::max());
        showAsReadOnly(field);
    }
    fullPath_->setReadOnly(true);
    fullPath_->setTabChangesFocus(true);
    fullPath_->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    fullPath_->setWordWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    fullPath_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    fullPath_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    showAsReadOnly(fullPath_);

    setTabOrder(name_, change_);
    setTabOrder(change_, close_);
    setTabOrder(close_, parent_);
    setTabOrder(parent_, fullPath_);
    setTabOrder(fullPath_, parentButton_);

    // No default button, not even the focused one: Enter presses a button only while it
    // has the focus (keyPressEvent).
    for (QPushButton* button : {change_, close_, parentButton_}) {
        button->setAutoDefault(false);
        button->setDefault(false);
    }

    connect(change_, &QPushButton::clicked, this, &CItemProperties::OnChange);
    connect(close_, &QPushButton::clicked, this, &QDialog::reject);
    connect(parentButton_, &QPushButton::clicked, this, &CItemProperties::OnParentProperties);

    // Opening: the flags start cleared; the fields show what the command filled in.
    dialog_.renameRequested = false;
    dialog_.parentRequested = false;
    // A name of any length is kept whole in the tree; the fields show its start, as the
    // tree does.
    name_->setText(toQString(shownText(dialog_.name)));
    parent_->setText(toQString(shownText(dialog_.parentName)));
    parentButton_->setEnabled(dialog_.parentEnabled);
    fullPath_->setPlainText(toQString(shownText(dialog_.fullPath)));
}

int CItemProperties::standardIconSize() {
    return QApplication::style()->pixelMetric(QStyle::PM_LargeIconSize);
}

void CItemProperties::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    // All of the name selected, its beginning in view.
    name_->setFocus(Qt::OtherFocusReason);
    const int length = static_cast<int>(name_->text().size());
    name_->setSelection(length, -length);
}

void CItemProperties::keyPressEvent(QKeyEvent* event) {
    const bool enter = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
    if (!enter) {
        QDialog::keyPressEvent(event);
        return;
    }
    if (auto* button = qobject_cast<QPushButton*>(focusWidget())) {
        // The focused button, though none is the default.
        button->click();
    } else if (focusWidget() != fullPath_) {
        // Enter outside the buttons closes the dialog, as there is no default button; in
        // the full path field it is the field's own key and does nothing.
        reject();
    }
}

void CItemProperties::OnChange() {
    dialog_.renameRequested = true;
    reject();
}

void CItemProperties::OnParentProperties() {
    dialog_.parentRequested = true;
    reject();
}

// --- Rename Item ---

CRenameItem::CRenameItem(RenameItemDialog& dialog, UiPort& ui, QWidget* parent)
    : QDialog(parent), dialog_(dialog), ui_(ui) {
    setObjectName(QStringLiteral("CRenameItem"));
    const DialogBaseUnits base = baseUnitsOf(*this);
    setFixedDialogFrame(this, QStringLiteral("Rename Item"), kRenameSize, base);

    name_ = new QLineEdit(this);
    setControlId(name_, IDC_ITEM_NAME);
    place(name_, kRenameNamePlace, base);
    name_->setMaxLength(std::numeric_limits<int>::max());

    ok_ = addButton(this, QStringLiteral("OK"), IDOK_BUTTON, kRenameOkPlace, base);
    ok_->setDefault(true);
    cancel_ = addButton(this, QStringLiteral("Cancel"), IDCANCEL_BUTTON, kRenameCancelPlace, base);
    addLabel(this, QStringLiteral("Name"), kRenameLabelPlace, base)->setBuddy(name_);

    setTabOrder(name_, ok_);
    setTabOrder(ok_, cancel_);

    connect(ok_, &QPushButton::clicked, this, &CRenameItem::accept);
    connect(cancel_, &QPushButton::clicked, this, &QDialog::reject);

    dialog_.accepted = false;
    name_->setText(toQString(dialog_.name));
}

void CRenameItem::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    name_->setFocus(Qt::TabFocusReason);
    name_->selectAll();
}

void CRenameItem::accept() {
    if (confirmNewName(dialog_, toU16(name_->text()), ui_)) {
        QDialog::accept();
        return;
    }
    // Refused: the dialog stays open with the typed text, ready to be corrected.
    name_->setFocus(Qt::OtherFocusReason);
}

} // namespace zelvane
