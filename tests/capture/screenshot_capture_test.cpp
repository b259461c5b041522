// Not a check: saves pictures of the Add Tree dialog and of a capture in progress for the
// documentation when ZELVANE_SCREENSHOT_DIR names a folder.
#include <QApplication>
#include <QDir>
#include <QLineEdit>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

#include "app/command_ids.h"
#include "app/main_dlg_qt.h"
#include "capture/add_folder_location_qt.h"
#include "capture/scan_state.h"
#include "capture/temp_tree.h"

namespace zelvane {
namespace {

TEST(Screenshots, AddTreeDialogAndACaptureInProgress) {
    const QString dir = qEnvironmentVariable("ZELVANE_SCREENSHOT_DIR");
    if (dir.isEmpty()) {
        GTEST_SKIP() << "set ZELVANE_SCREENSHOT_DIR to save the pictures";
    }
    QDir().mkpath(dir);
    {
        AddTreeInputs remembered{u"/media/backup/Photos", u"*", u"Photos 2024"};
        CAddFolderLocation dialog(remembered);
        dialog.OnInitDialog();
        dialog.show();
        dialog.activateWindow();
        QTest::qWait(50);
        ASSERT_TRUE(dialog.grab().save(dir + "/add-tree-dialog.png"));
    }

    test::TempTree disk;
    for (int i = 0; i < 200; ++i) {
        const std::string folder = "album " + std::to_string(i);
        disk.dir(folder);
        disk.manyFiles(folder, 50, "IMG_");
    }
    CMainDlg dlg(u"zelvane");
    dlg.setMessageBoxFunction([](QWidget*, std::u16string_view, std::u16string_view, MessageIcon,
                                 MessageButtons) { return MessageAnswer::Ok; });
    dlg.setAddTreeDialogFunction([&](QWidget*, AddTreeInputs& remembered) {
        return std::optional(
            acceptAddTreeFields(u"/media/backup/Photos", u"Photos 2024", u"*", remembered));
    });
    dlg.OnInitDialog();
    dlg.resize(560, 420);
    QApplication::processEvents();
    // The capture reads the generated tree in place of the path shown in the dialog.
    dlg.setAddTreeDialogFunction([&](QWidget*, AddTreeInputs& remembered) {
        AddTreeDialogResult result = acceptAddTreeFields(
            QString::fromStdString(disk.path()).toStdU16String(), u"Photos 2024", u"*", remembered);
        return std::optional(result);
    });
    bool saved = false;
    auto* timer = new QTimer(&dlg);
    QObject::connect(timer, &QTimer::timeout, [&] {
        const ScanState& state = processScanState();
        if (dlg.isScanning() && state.folders + state.files >= 6000) {
            timer->stop();
            saved = dlg.grab().save(dir + "/capture-in-progress.png");
            dlg.OnStopScan();
        }
    });
    timer->start(0);
    dlg.commandAction(ID_TREE_ADDTREE)->trigger();
    EXPECT_TRUE(saved);
}

} // namespace
} // namespace zelvane
