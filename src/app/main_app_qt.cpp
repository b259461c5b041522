#include "app/main_app_qt.h"

#include "app/app_name.h"
#include "app/main_dlg_qt.h"
#include "text/utf.h"
#include "ui/qsettings_backend_qt.h"

namespace zelvane {

CMainApp::CMainApp(int& argc, char** argv) : QApplication(argc, argv) {
    // QApplication has removed the options it understood from argc and argv by now.
    for (int i = 1; i < argc; ++i) {
        arguments_.push_back(utf8ToUtf16(argv[i]));
    }
    appName_ = currentApplicationName(argc > 0 ? argv[0] : nullptr);
    settings_ = std::make_unique<QSettingsBackend>();
}

CMainApp::~CMainApp() = default;

bool CMainApp::InitInstance() {
    {
        CMainDlg dialog(appName_, *settings_);
        dialog.setCommandLine(arguments_);
        dialog.DoModal();
    }
    return false;
}

} // namespace zelvane
