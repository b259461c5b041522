#include "ui/about_dlg_qt.h"
#include "ui/dialog_layout_qt.h"

#include <QDesktopServices>
#include <QDialogButtonBox>
#include <QFontDatabase>
#include <QFontMetrics>
#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QStyle>
#include <QUrl>
#include <QVBoxLayout>

#include "ui/standard_dialogs_qt.h"
#include "ui/text_qt.h"
#include "version.h"

namespace zelvane {

namespace {

// The template, in dialog units.
constexpr int kTemplateWidth = 164;
constexpr int kTemplateHeight = 148;
constexpr DialogPlace kProductPlace{7, 7, 150, 33};
constexpr DialogPlace kHomePagePlace{27, 79, 108, 12};
constexpr DialogPlace kCompanyPlace{14, 95, 136, 12};
constexpr DialogPlace kLicensePlace{7, 127, 50, 14};
constexpr DialogPlace kClosePlace{107, 127, 50, 14};

} // namespace

CAboutDlg::CAboutDlg(AboutBoxHandlers& handlers, QWidget* parent)
    : QDialog(parent), handlers_(handlers) {
    // A modal frame with a title bar and a close box; not resizable.
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
    setWindowTitle(QStringLiteral("About Zelvane"));
    setObjectName(QStringLiteral("CAboutDlg"));
    setModal(true);

    auto* productText =
        new QLabel(QStringLiteral("Zelvane Version ") + QLatin1String(kVersion), this);
    productText->setObjectName(QStringLiteral("product_text"));
    productText->setTextFormat(Qt::PlainText); // no prefix processing, no markup
    productText->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    productText->setWordWrap(true);

    const DialogBaseUnits base = baseUnitsOf(*this);
    place(productText, kProductPlace, base);
    homePage_ = addButton(this, QStringLiteral("Visit Zelvane Home Page"), kIdVisitHomePage,
                          kHomePagePlace, base);
    company_ = addButton(this, QStringLiteral("Visit Halcyra Company Home Page"), kIdVisitCompany,
                         kCompanyPlace, base);
    license_ = addButton(this, QStringLiteral("License..."), kIdLicense, kLicensePlace, base);
    close_ = addButton(this, QStringLiteral("Close"), kIdClose, kClosePlace, base);
    close_->setDefault(true);
    setFixedSize(templateSize(kTemplateWidth, kTemplateHeight, base));

    // The template's tab order; the focus starts on the first, "Close".
    setTabOrder(close_, homePage_);
    setTabOrder(homePage_, company_);
    setTabOrder(company_, license_);
    close_->setFocus(Qt::OtherFocusReason);

    connect(homePage_, &QPushButton::clicked, this, [this] { handlers_.onVisitHomePage(); });
    connect(company_, &QPushButton::clicked, this, [this] { handlers_.onVisitCompany(); });
    connect(license_, &QPushButton::clicked, this, [this] { handlers_.onLicense(); });
    connect(close_, &QPushButton::clicked, this, &QDialog::accept);
}

int CAboutDlg::DoModal() {
    close_->setFocus(Qt::OtherFocusReason);
    return exec();
}

QPushButton* CAboutDlg::button(int id) const {
    switch (id) {
    case kIdVisitHomePage:
        return homePage_;
    case kIdVisitCompany:
        return company_;
    case kIdLicense:
        return license_;
    case kIdClose:
        return close_;
    default:
        return nullptr;
    }
}

CLicenseWnd::CLicenseWnd(std::u16string_view text, QWidget* parent) : QDialog(parent) {
    setWindowTitle(toQString(kLicenseCaption));
    setObjectName(QStringLiteral("CLicenseWnd"));
    setModal(true);

    auto* icon = new QLabel(this);
    const int iconSize = style()->pixelMetric(QStyle::PM_MessageBoxIconSize, nullptr, this);
    // The information picture of the message boxes.
    icon->setPixmap(messageBoxPicture(MessageIcon::Information, iconSize, devicePixelRatio()));
    icon->setAlignment(Qt::AlignTop);

    // Licence texts are laid out in lines of fixed width, so they are shown in the fixed
    // font, wrapped only where a line is wider than the window.
    text_ = new QPlainTextEdit(this);
    text_->setObjectName(QStringLiteral("license_text"));
    text_->setReadOnly(true);
    text_->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    text_->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    text_->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    text_->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    text_->setPlainText(toQString(text));

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
    ok_ = buttons->button(QDialogButtonBox::Ok);
    ok_->setIcon(QIcon()); // as in the message boxes: the text alone
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);

    auto* row = new QHBoxLayout;
    row->addWidget(icon);
    row->addWidget(text_, 1);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(row, 1);
    layout->addWidget(buttons);

    // Room for 80 columns and 30 lines, within the screen.
    const QFontMetrics metrics(text_->font());
    QSize size(metrics.horizontalAdvance(QLatin1Char('M')) * 82 + iconSize + 64,
               metrics.lineSpacing() * 30 + 80);
    if (const QScreen* screen = parent ? parent->screen() : this->screen()) {
        size = size.boundedTo(screen->availableGeometry().size() * 9 / 10);
    }
    resize(size);
    ok_->setFocus(Qt::OtherFocusReason);
}

QUrl webPageUrl(std::string_view address) {
    return QUrl(QString::fromUtf8(address.data(), static_cast<qsizetype>(address.size())));
}

} // namespace zelvane
