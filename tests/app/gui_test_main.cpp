#include "support/test_common.h"
#include <QApplication>
#include <QTemporaryDir>

// Offscreen; settings and runtime folders in a private temporary folder, set before Qt reads them.
int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    const QTemporaryDir home;
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    setenv("XDG_CONFIG_HOME", (home.path() + "/config").toLocal8Bit().constData(), 1);
    setenv("XDG_RUNTIME_DIR", home.path().toLocal8Bit().constData(), 1);
    QApplication app(argc, argv);
    return home.isValid() ? RUN_ALL_TESTS() : 2;
}
