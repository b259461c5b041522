// The main window's part of the About box: the About command and the box's windows.
#include <QDesktopServices>
#include <QUrl>

#include "about/about_command.h"
#include "about/install_dir.h"
#include "app/main_dlg_qt.h"
#include "ui/about_dlg_qt.h"
#include "ui/text_qt.h"

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
    // Where no browser can be started, the user gets the address to copy.
    const QUrl url = webPageUrl(address);
    if (!(urlOpener_ ? urlOpener_(url) : QDesktopServices::openUrl(url))) {
        const QString text =
            QStringLiteral("No web browser could be started.\nThe page's address:\n\n%1");
        messageBox(toU16(text.arg(url.toString())), kInformationCaption, MessageIcon::Information,
                   MessageButtons::Ok);
    }
}

void CMainDlg::showLicenseWindow(std::u16string_view text) {
    // Over the About box, which is the modal window on top.
    CLicenseWnd window(text, topWindow());
    window.exec();
}

} // namespace zelvane
