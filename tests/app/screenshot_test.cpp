// Not a check: saves pictures of the main window for the documentation when
// ZELVANE_SCREENSHOT_DIR names a folder. ZELVANE_SCREENSHOT_SNAPSHOT may name a captured
// snapshot to show; without it a small tree with every node kind is shown.
#include <QApplication>
#include <QDir>
#include <QTest>
#include <gtest/gtest.h>

#include "app/command_ids.h"
#include "app/main_dlg_qt.h"
#include "ui/text_qt.h"
#include "app/snapshot_tree_model_qt.h"
#include "app/snapshot_tree_view_qt.h"
#include "document/document_commands.h"

namespace zelvane {
namespace {

void buildEveryKind(SnapshotTree& tree) {
    const NodeId disk = tree.insertLast(kTopLevel, u"Backup disk");
    tree.setKind(disk, kKindDriveRoot);
    tree.setTextAndBold(disk, u"Backup disk");
    const NodeId folder = tree.insertLast(disk, u" Projects");
    tree.setKind(folder, kKindFolder);
    tree.setTextAndBold(folder, u" Projects");
    const std::pair<const char16_t*, int> files[] = {
        {u"AUTORUN.INF", kKindAutorun},  {u"catalogue.zelv", kKindSnapshotDocument},
        {u"holiday.mp3", kKindMedia},    {u"installer.exe", kKindProgram},
        {u"kernel32.dll", kKindSystem},  {u"notes.txt", kKindDocument},
        {u"photos.zip", kKindArchive},   {u"README", kKindOther},
        {u"Website.url", kKindShortcut},
    };
    for (auto [name, kind] : files) {
        tree.setKind(tree.insertLast(folder, name), kind);
    }
    const NodeId cd = tree.insertLast(kTopLevel, u"Install CD");
    tree.setKind(cd, kKindCdRomRoot);
    tree.setTextAndBold(cd, u"Install CD");
}

TEST(Screenshots, MainWindowAtSixteenAndFortyEightPixels) {
    const QString dir = qEnvironmentVariable("ZELVANE_SCREENSHOT_DIR");
    if (dir.isEmpty()) {
        GTEST_SKIP() << "set ZELVANE_SCREENSHOT_DIR to save the pictures";
    }
    QDir().mkpath(dir);
    const QString snapshot = qEnvironmentVariable("ZELVANE_SCREENSHOT_SNAPSHOT");
    CMainDlg dlg(u"zelvane");
    dlg.setMessageBoxFunction([](QWidget*, std::u16string_view, std::u16string_view, MessageIcon,
                                 MessageButtons) { return MessageAnswer::Ok; });
    if (!snapshot.isEmpty()) {
        dlg.setCommandLine({toU16(snapshot)});
    }
    dlg.OnInitDialog();
    if (snapshot.isEmpty()) {
        buildEveryKind(dlg.tree());
    }
    dlg.resize(560, 520);
    SnapshotTree& tree = dlg.tree();
    SnapshotTreeView* view = dlg.treeView();
    // Open the first root and its first folders, and select a file deep inside.
    NodeId pick = kNoNode;
    if (NodeId root = tree.firstRoot(); root != kNoNode) {
        view->expand(dlg.treeModel()->indexOf(root));
        int opened = 0;
        for (NodeId c = tree.firstChild(root); c != kNoNode && opened < 2;
             c = tree.nextSibling(c)) {
            if (tree.hasChildren(c)) {
                view->expand(dlg.treeModel()->indexOf(c));
                ++opened;
                pick = tree.firstChild(c);
                if (tree.nextSibling(pick) != kNoNode) {
                    pick = tree.nextSibling(pick);
                }
            }
        }
    }
    if (pick != kNoNode) {
        tree.select(pick);
    }
    for (auto [id, name] : {std::pair{ID_VIEW_16X16, "main-window-16.png"},
                            std::pair{ID_VIEW_48X48, "main-window-48.png"}}) {
        dlg.commandAction(id)->trigger();
        view->scrollTo(view->currentIndex());
        QApplication::processEvents();
        QTest::qWait(50);
        const QPixmap shot = dlg.grab();
        ASSERT_TRUE(shot.save(dir + "/" + name)) << name;
        if (qEnvironmentVariableIsSet("ZELVANE_SCREENSHOT_ZOOM")) {
            shot.copy(0, 0, 200, 150).scaled(800, 600).save(dir + "/zoom-" + name);
        }
    }
}

} // namespace
} // namespace zelvane
