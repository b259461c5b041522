// zelvane: the desktop program.
#include "app/main_app_qt.h"

int main(int argc, char** argv) {
    zelvane::CMainApp app(argc, argv);
    app.InitInstance();
    return 0;
}
