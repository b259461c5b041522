#include "ui/add_folder_location_qt.h"
#include "ui/dialog_layout_qt.h"

#include <QDir>
#include <QFileDialog>
#include <QFontMetrics>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <algorithm>
#include <limits>

#include "ui/text_qt.h"

namespace zelvane {

namespace {

// Template 136, in dialog units.
constexpr int kTemplateWidth = 210;
constexpr int kTemplateHeight = 90;

} // namespace

std::optional<std::u16string> showQtFolderChooser(QWidget* owner) {
    QFileDialog chooser(owner, toQString(kChooseFolderCaption));
    // The toolkit's own dialog everywhere, so that both captions show.
    chooser.setOption(QFileDialog::DontUseNativeDialog);
    chooser.setOption(QFileDialog::ShowDirsOnly);
    chooser.setFileMode(QFileDialog::Directory);
    chooser.setLabelText(QFileDialog::LookIn, toQString(kChooseFolderLine));
    chooser.setDirectory(QDir::homePath());
    if (chooser.exec() != QDialog::Accepted) {
        return std::nullopt;
    }
    const QStringList chosen = chooser.selectedFiles();
    if (chosen.isEmpty()) {
        return std::nullopt;
    }
    return toU16(chosen.first());
}

CAddFolderLocation::CAddFolderLocation(AddTreeDialog& dialog, QWidget* parent)
    : QDialog(parent), dialog_(dialog) {
    createControls();
}

void CAddFolderLocation::createControls() {
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowCloseButtonHint);
    setWindowTitle(toQString(kAddTreeCaption));
    setObjectName(QStringLiteral("dialog_%1").arg(IDD_ADD_TREE));
    setModal(true);

    auto edit = [this](int id) {
        auto* field = new QLineEdit(this);
        setControlId(field, id);
        // The fields take any length; OK reads the first 249 characters.
        field->setMaxLength(std::numeric_limits<int>::max());
        return field;
    };
    // In template order, which is the tab order.
    path_ = edit(IDC_ADD_TREE_PATH);
    filter_ = edit(IDC_ADD_TREE_FILTER);
    title_ = edit(IDC_ADD_TREE_TITLE);
    const DialogBaseUnits base = baseUnitsOf(*this);
    ok_ = addButton(this, QStringLiteral("OK"), IDC_OK, {99, 69, 50, 14}, base);
    ok_->setDefault(true);
    cancel_ = addButton(this, QStringLiteral("Cancel"), IDC_CANCEL, {153, 69, 50, 14}, base);
    // Each label names its field (its buddy) for screen readers.
    addLabel(this, QStringLiteral("Path"), {7, 7, 16, 8}, base)->setBuddy(path_);
    addLabel(this, QStringLiteral("Title (leave empty to use the path)"), {7, 31, 112, 8}, base)
        ->setBuddy(title_);
    addLabel(this, QStringLiteral("Filter"), {158, 7, 17, 8}, base)->setBuddy(filter_);
    browse_ = addButton(this, QStringLiteral("..."), IDC_ADD_TREE_BROWSE, {134, 16, 18, 12}, base);
    place(path_, {7, 16, 125, 12}, base);
    place(filter_, {158, 16, 45, 12}, base);
    place(title_, {7, 40, 196, 12}, base);
    setFixedSize(templateSize(kTemplateWidth, kTemplateHeight, base));

    QWidget::setTabOrder(path_, filter_);
    QWidget::setTabOrder(filter_, title_);
    QWidget::setTabOrder(title_, ok_);
    QWidget::setTabOrder(ok_, cancel_);
    QWidget::setTabOrder(cancel_, browse_);

    connect(ok_, &QPushButton::clicked, this, &CAddFolderLocation::OnOK);
    connect(cancel_, &QPushButton::clicked, this, &QDialog::reject);
    connect(browse_, &QPushButton::clicked, this, &CAddFolderLocation::OnBrowse);
}

int CAddFolderLocation::DoModal() {
    OnInitDialog();
    return exec();
}

bool CAddFolderLocation::OnInitDialog() {
    path_->setText(toQString(dialog_.fields.path));
    title_->setText(toQString(dialog_.fields.title));
    filter_->setText(toQString(dialog_.fields.filter));
    path_->setFocus();
    return true;
}

void CAddFolderLocation::OnOK() {
    acceptAddTreeDialog(dialog_, toU16(path_->text()), toU16(title_->text()),
                        toU16(filter_->text()));
    done(QDialog::Accepted);
}

void CAddFolderLocation::OnBrowse() {
    // The chooser opens with no folder selected, not at the path already typed.
    if (const std::optional<std::u16string> folder = chooser_(this)) {
        path_->setText(toQString(chosenFolderPath(*folder)));
    }
}

} // namespace zelvane
