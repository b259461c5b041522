#include "app/main_app.h"

#include <QFileInfo>

#include "app/main_dlg.h"
#include "app/qt_text.h"
#include "document/utf.h"

namespace zelvane {

CMainApp::CMainApp(int& argc, char** argv) : QApplication(argc, argv) {
    // QApplication has removed the options it understood from argc and argv by now.
    for (int i = 1; i < argc; ++i) {
        arguments_.push_back(utf8ToUtf16(argv[i]));
    }
    const std::string program = argc > 0 && argv[0] != nullptr ? argv[0] : "zelvane";
    appName_ = toU16(QFileInfo(QString::fromLocal8Bit(program.c_str())).completeBaseName());
}

bool CMainApp::InitInstance() {
    {
        CMainDlg dialog(appName_);
        dialog.setCommandLine(arguments_);
        dialog.DoModal();
    }
    return false;
}

} // namespace zelvane
