#include "ui/search_dialog_qt.h"

#include <QCheckBox>
#include <QFontMetrics>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "search/search_command.h"
#include "ui/dialog_layout_qt.h"
#include "ui/text_qt.h"

namespace zelvane {

namespace {

// Template 272, in dialog units.
constexpr int kTemplateWidth = 235;
constexpr int kTemplateHeight = 134;

} // namespace

CSearch::CSearch(SearchDialog& dialog, UiPort& ui, QWidget* parent)
    : QDialog(parent), dialog_(dialog), ui_(ui) {
    setObjectName(QStringLiteral("dialog_%1").arg(kSearchDialogId));
    setWindowTitle(toQString(kSearchCaption));
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowCloseButtonHint);

    const DialogBaseUnits base = baseUnitsOf(*this);
    auto box = [&](int id, const char* text) {
        auto* check = new QCheckBox(QString::fromUtf8(text), this);
        setControlId(check, id);
        return check;
    };

    // In template order, which is also the tab order.
    pattern_ = new QLineEdit(this);
    setControlId(pattern_, IDC_SEARCH_PATTERN);
    place(pattern_, {7, 16, 221, 12}, base);
    matchCase_ = box(IDC_SEARCH_MATCH_CASE, "Match case");
    place(matchCase_, {7, 36, 52, 10}, base);
    wholePattern_ = box(IDC_SEARCH_WHOLE_PATTERN, "Match whole pattern only");
    place(wholePattern_, {7, 49, 97, 10}, base);
    local_ =
        box(IDC_SEARCH_LOCAL, "Start searching from current folder (otherwise use global root)");
    place(local_, {7, 75, 221, 10}, base);
    search_ = addButton(this, QStringLiteral("Search"), IDC_SEARCH_OK, {125, 113, 50, 14}, base);
    search_->setDefault(true);
    cancel_ =
        addButton(this, QStringLiteral("Cancel"), IDC_SEARCH_CANCEL, {178, 113, 50, 14}, base);
    cancel_->setAutoDefault(false);
    auto* label = new QLabel(QStringLiteral("Pattern"), this);
    label->setObjectName(QStringLiteral("label_pattern"));
    label->setBuddy(pattern_);
    place(label, {7, 7, 25, 8}, base);
    recursive_ = box(IDC_SEARCH_RECURSIVE, "Recursive search to achieve subitems");
    place(recursive_, {7, 62, 136, 10}, base);
    filesOnly_ = box(IDC_SEARCH_FILES_ONLY,
                     "Search for files only (no roots and folders in Search Results)");
    place(filesOnly_, {7, 88, 208, 10}, base);

    // Labels wider than their template boxes (the font here is not the one the template
    // was drawn for) are not cut: a check box keeps its height and grows to the right.
    for (QCheckBox* check : {matchCase_, wholePattern_, local_, recursive_, filesOnly_}) {
        check->resize(std::max(check->width(), check->sizeHint().width()), check->height());
    }
    label->resize(std::max(label->width(), label->sizeHint().width()), label->height());

    QWidget::setTabOrder(pattern_, matchCase_);
    QWidget::setTabOrder(matchCase_, wholePattern_);
    QWidget::setTabOrder(wholePattern_, local_);
    QWidget::setTabOrder(local_, search_);
    QWidget::setTabOrder(search_, cancel_);
    QWidget::setTabOrder(cancel_, recursive_);
    QWidget::setTabOrder(recursive_, filesOnly_);

    // Wider labels widen the dialog: the pattern field and the long check box grow with it,
    // the buttons keep their place against its right margin.
    const QSize size = templateSize(kTemplateWidth, kTemplateHeight, base);
    const int width = widenForControls(this, size.width(), dialogUnitsToPixelsX(7, base),
                                       {pattern_, local_}, {search_, cancel_});
    setFixedSize(width, size.height());

    connect(search_, &QPushButton::clicked, this, &CSearch::OnOK);
    connect(cancel_, &QPushButton::clicked, this, &QDialog::reject);

    OnInitDialog(dialog_.options);
}

void CSearch::OnInitDialog(const SearchOptions& current) {
    pattern_->setText(toQString(current.pattern));
    matchCase_->setChecked(current.isMatchCase);
    wholePattern_->setChecked(current.isMatchWholePatternOnly);
    local_->setChecked(current.isLocalSearch);
    recursive_->setChecked(current.isRecursiveSearch);
    filesOnly_->setChecked(current.isFilesOnly);
    // The focus starts on the first control of the tab order.
    pattern_->setFocus(Qt::OtherFocusReason);
}

QCheckBox* CSearch::checkBox(int id) const {
    switch (id) {
    case IDC_SEARCH_MATCH_CASE:
        return matchCase_;
    case IDC_SEARCH_WHOLE_PATTERN:
        return wholePattern_;
    case IDC_SEARCH_LOCAL:
        return local_;
    case IDC_SEARCH_RECURSIVE:
        return recursive_;
    case IDC_SEARCH_FILES_ONLY:
        return filesOnly_;
    default:
        return nullptr;
    }
}

void CSearch::OnOK() {
    SearchDialogInput input;
    input.typed = toU16(pattern_->text());
    input.matchCase = matchCase_->isChecked();
    input.wholePatternOnly = wholePattern_->isChecked();
    input.localSearch = local_->isChecked();
    input.recursive = recursive_->isChecked();
    input.filesOnly = filesOnly_->isChecked();
    if (confirmSearchDialog(dialog_, input, ui_)) {
        accept();
    }
    // Refused: everything stays as the user left it.
}

} // namespace zelvane
