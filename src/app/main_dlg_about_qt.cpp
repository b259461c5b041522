// The main window's part of the About box: the About command and the box's windows.
#include <QDesktopServices>
#include <QUrl>

#include "about/about_command.h"
#include "about/install_dir.h"
#include "app/main_dlg_qt.h"
#include "ui/about_dlg_qt.h"

namespace zelvane {

void CMainDlg::OnHelpAbout() {
    if (!commandHeard()) {
        return;
    }
    AboutCommands about(*this, resolveInstallDir(remembered_.installDir, currentExecutablePath()));
    about.onAbout();
}

void CMainDlg::runAboutBox(AboutBoxHandlers& handlers) {
    CAboutDlg box(handlers, this);
    box.DoModal();
}

void CMainDlg::openWebPage(std::string_view address) {
    // The outcome is not reported: without a browser nothing happens.
    static_cast<void>(QDesktopServices::openUrl(webPageUrl(address)));
}

void CMainDlg::showLicenseWindow(std::u16string_view text) {
    // Over the About box, which is the modal window on top.
    CLicenseWnd window(text, topWindow());
    window.exec();
}

} // namespace zelvane
