// The main window's part of the About box: the About command and the AboutPort.
#include <QUrl>

#include "about/install_dir.h"
#include "app/main_dlg_qt.h"

namespace zelvane {

void CMainDlg::OnHelpAbout() {
    AboutCommands about(*this, *this,
                        resolveInstallDir(remembered_.installDir, currentExecutablePath()));
    about.onAbout();
}

void CMainDlg::runAboutBox(AboutBoxHandlers& handlers) {
    CAboutDlg box(handlers, this);
    CAboutDlg* const outer = aboutBox_;
    aboutBox_ = &box;
    box.DoModal();
    aboutBox_ = outer;
}

void CMainDlg::openWebPage(std::string_view address) {
    if (openUrl_) {
        openUrl_(webPageUrl(address));
    }
}

void CMainDlg::showLicenseWindow(std::u16string_view text) {
    CLicenseWnd window(text, aboutBox_ != nullptr ? static_cast<QWidget*>(aboutBox_) : this);
    window.exec();
}

} // namespace zelvane
