// The main window under the offscreen platform: its menus and their routing, the keys
// and ways of closing it, the right-click hit areas, F2 and the slow click, the fit of
// the tree, the View sizes, the command line and the start-up sequence.
#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "app/command_ids.h"
#include "app/command_routing.h"
#include "app/main_dlg_qt.h"
#include "ui/text_qt.h"
#include "app/snapshot_tree_model_qt.h"
#include "app/snapshot_tree_view_qt.h"
#include "document/snapshot_file.h"
#include "recording_commands.h"

namespace zelvane {
namespace {

using ::testing::ElementsAre;

struct ShownMessage {
    std::u16string text;
    std::u16string caption;
};

// A main window with its standard dialogs and pop-up menus replaced by recorders.
class MainWindowTest : public ::testing::Test {
protected:
    MainWindowTest() : dlg(u"zelvane") {
        dlg.setMessageBoxFunction([this](QWidget*, std::u16string_view text,
                                         std::u16string_view caption, MessageIcon,
                                         MessageButtons buttons) {
            messages.push_back({std::u16string(text), std::u16string(caption)});
            return buttons == MessageButtons::YesNo ? MessageAnswer::No : MessageAnswer::Ok;
        });
        dlg.setFileDialogFunction(
            [](QWidget*, const FileDialogRequest&) { return std::optional<ChosenFile>(); });
        dlg.setPopupFunction([this](QMenu* menu, const QPoint& at) {
            popups.push_back(menu);
            popupPositions.push_back(at);
        });
        dlg.setSettingsFunctions([this] { ++settingsLoaded; }, [this] { ++settingsSaved; });
    }

    void start() {
        dlg.OnInitDialog();
        QApplication::processEvents();
    }

    // Disk (drive) > " Docs" (folder) > a.txt, b.mp3; Disk > readme.txt; CD (CD-ROM root).
    void buildTree() {
        SnapshotTree& t = dlg.tree();
        disk = t.insertLast(kTopLevel, u"Disk");
        t.setKind(disk, kKindDriveRoot);
        docs = t.insertLast(disk, u"Docs");
        t.setKind(docs, kKindFolder);
        fileA = t.insertLast(docs, u"a.txt");
        t.setKind(fileA, kKindDocument);
        const NodeId b = t.insertLast(docs, u"b.mp3");
        t.setKind(b, kKindMedia);
        t.setTextAndBold(docs, u" Docs");
        readme = t.insertLast(disk, u"readme.txt");
        t.setKind(readme, kKindDocument);
        t.setTextAndBold(disk, u"Disk");
        cd = t.insertLast(kTopLevel, u"CD");
        t.setKind(cd, kKindCdRomRoot);
        t.setTextAndBold(cd, u"CD");
    }

    void expandAll() {
        dlg.treeView()->expandAll();
        QApplication::processEvents();
    }

    void rightClickAt(const QPoint& viewportPos) {
        QTest::mouseRelease(dlg.treeView()->viewport(), Qt::RightButton, {}, viewportPos);
    }

    QRect rowRect(NodeId node) const {
        return dlg.treeView()->visualRect(dlg.treeModel()->indexOf(node));
    }

    CMainDlg dlg;
    RecordingCommands recorder;
    std::vector<ShownMessage> messages;
    std::vector<QMenu*> popups;
    std::vector<QPoint> popupPositions;
    int settingsLoaded = 0;
    int settingsSaved = 0;
    NodeId disk = kNoNode, docs = kNoNode, fileA = kNoNode, readme = kNoNode, cd = kNoNode;
};

TEST_F(MainWindowTest, MenuBarShowsTheMenusWithViewAndHelpAtTheRightEnd) {
    start();
    QMenuBar* bar = dlg.menuBar();
    QStringList left;
    for (QAction* a : bar->actions()) {
        left << a->text();
    }
    EXPECT_EQ(left, QStringList({"&File", "&Item", "&Tree"}));
    auto* right = qobject_cast<QMenuBar*>(bar->cornerWidget(Qt::TopRightCorner));
    ASSERT_NE(right, nullptr);
    QStringList rightTexts;
    for (QAction* a : right->actions()) {
        rightTexts << a->text();
    }
    EXPECT_EQ(rightTexts, QStringList({"&View", "&Help"}));
    // The right-hand menus end at the window's right edge.
    EXPECT_GT(right->geometry().left(), bar->actionGeometry(bar->actions().last()).right());
    EXPECT_GE(right->mapTo(&dlg, QPoint(right->width(), 0)).x(), dlg.width() - 8);

    // Every item of the File menu, separator included, with its identifier.
    QMenu* file = bar->actions().first()->menu();
    QStringList items;
    for (QAction* a : file->actions()) {
        items << (a->isSeparator() ? QStringLiteral("-")
                                   : QStringLiteral("%1=%2").arg(a->text()).arg(a->data().toInt()));
    }
    EXPECT_EQ(items, QStringList({"&New=269", "&Open...=130", "&Save=131", "Save &As...=132", "-",
                                  "E&xit=133"}));
    EXPECT_EQ(dlg.itemMenu(), bar->actions().at(1)->menu());
    EXPECT_EQ(dlg.commandAction(ID_ITEM_PROPERTIES)->text(), "Properties...");
    // Only "&16 x 16" is checked, and every item is enabled.
    for (int id : {284, 280, 285, 286}) {
        EXPECT_EQ(dlg.commandAction(id)->isChecked(), id == 284) << id;
    }
    for (const CommandRoute& route : commandRoutes()) {
        if (route.id != IDC_STOP) {
            ASSERT_NE(dlg.commandAction(route.id), nullptr) << route.id;
            EXPECT_TRUE(dlg.commandAction(route.id)->isEnabled()) << route.id;
        }
    }
}

TEST_F(MainWindowTest, EveryMenuItemAndTheStopButtonReachTheirHandler) {
    start();
    dlg.setCommandTarget(&recorder);
    for (const CommandRoute& route : commandRoutes()) {
        recorder.calls.clear();
        if (route.id == IDC_STOP) {
            dlg.SetScanningState(true);
            QTest::mouseClick(dlg.stopButton(), Qt::LeftButton);
            dlg.SetScanningState(false);
        } else {
            dlg.commandAction(route.id)->trigger();
        }
        EXPECT_THAT(recorder.calls, ElementsAre(route.handler)) << route.id;
    }
}

TEST_F(MainWindowTest, DuringAScanOnlyStopIsCarriedOut) {
    start();
    buildTree();
    dlg.setCommandTarget(&recorder);
    dlg.SetScanningState(true);
    EXPECT_FALSE(dlg.treeView()->isVisible());
    EXPECT_TRUE(dlg.progressText()->isVisible());
    EXPECT_TRUE(dlg.stopButton()->isVisible());
    for (const CommandRoute& route : commandRoutes()) {
        if (route.id != IDC_STOP) {
            dlg.commandAction(route.id)->trigger();
        }
    }
    dlg.OnTreeBeginLabelEdit();
    dlg.OnSysCommand(IDM_ABOUTBOX);
    EXPECT_TRUE(recorder.calls.empty());
    QTest::mouseClick(dlg.stopButton(), Qt::LeftButton);
    EXPECT_THAT(recorder.calls, ElementsAre("OnStopScan"));

    // Closing during a scan stops it; Exit is left for when the capture has finished.
    recorder.calls.clear();
    dlg.close();
    EXPECT_TRUE(dlg.isVisible());
    EXPECT_THAT(recorder.calls, ElementsAre("OnStopScan"));
    EXPECT_TRUE(dlg.takeExitRequest());
    EXPECT_FALSE(dlg.takeExitRequest());

    dlg.SetScanningState(false);
    EXPECT_TRUE(dlg.treeView()->isVisible());
    EXPECT_FALSE(dlg.progressText()->isVisible());
    EXPECT_FALSE(dlg.stopButton()->isVisible());
    dlg.commandAction(ID_FILE_SAVE)->trigger();
    EXPECT_THAT(recorder.calls, ElementsAre("OnStopScan", "OnFileSave"));
}

TEST_F(MainWindowTest, EnterDoesNothingAndEscapeRunsExit) {
    start();
    dlg.setCommandTarget(&recorder);
    QTest::keyClick(dlg.treeView(), Qt::Key_Return);
    QTest::keyClick(dlg.treeView(), Qt::Key_Enter);
    QTest::keyClick(&dlg, Qt::Key_Return);
    EXPECT_TRUE(dlg.isVisible());
    EXPECT_TRUE(recorder.calls.empty());
    EXPECT_EQ(settingsSaved, 0);

    dlg.setCommandTarget(nullptr);
    QTest::keyClick(dlg.treeView(), Qt::Key_Escape);
    EXPECT_FALSE(dlg.isVisible());
    EXPECT_EQ(dlg.result(), 0);
    EXPECT_EQ(settingsSaved, 1);
}

TEST_F(MainWindowTest, ClosingAModifiedSnapshotAsksToSaveFirst) {
    start();
    buildTree();
    dlg.document().modified = true;
    int fileDialogs = 0;
    dlg.setFileDialogFunction([&](QWidget*, const FileDialogRequest& request) {
        ++fileDialogs;
        EXPECT_EQ(request.initialName, u"Untitled.zelv");
        return std::optional<ChosenFile>(); // cancelled
    });
    MessageAnswer answer = MessageAnswer::Yes;
    dlg.setMessageBoxFunction([&](QWidget* owner, std::u16string_view text,
                                  std::u16string_view caption, MessageIcon icon,
                                  MessageButtons buttons) {
        EXPECT_EQ(owner, &dlg);
        EXPECT_EQ(icon, MessageIcon::Question);
        EXPECT_EQ(buttons, MessageButtons::YesNo);
        messages.push_back({std::u16string(text), std::u16string(caption)});
        return answer;
    });
    // Yes, then a cancelled Save As: the window stays, with its snapshot.
    QTest::keyClick(dlg.treeView(), Qt::Key_Escape);
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].text, u"Save changes ?");
    EXPECT_EQ(messages[0].caption, u"zelvane");
    EXPECT_EQ(fileDialogs, 1);
    EXPECT_TRUE(dlg.isVisible());
    EXPECT_EQ(settingsSaved, 0);
    EXPECT_EQ(dlg.tree().size(), 6u);

    // No: the changes are dropped, the settings saved, the window ends.
    answer = MessageAnswer::No;
    dlg.close();
    EXPECT_EQ(messages.size(), 2u);
    EXPECT_FALSE(dlg.isVisible());
    EXPECT_EQ(settingsSaved, 1);
    EXPECT_EQ(dlg.result(), 0);
}

TEST_F(MainWindowTest, TheCloseBoxAndTheWindowMenuCloseRunExit) {
    start();
    dlg.close();
    EXPECT_FALSE(dlg.isVisible());
    EXPECT_EQ(settingsSaved, 1);

    dlg.show();
    dlg.OnSysCommand(SC_CLOSE);
    EXPECT_FALSE(dlg.isVisible());
    EXPECT_EQ(settingsSaved, 2);
}

TEST_F(MainWindowTest, ExitEndsTheModalRun) {
    // The run that DoModal starts ends when Exit ends the window.
    QTimer::singleShot(0, &dlg, [this] { dlg.commandAction(ID_FILE_EXIT)->trigger(); });
    EXPECT_EQ(dlg.DoModal(), 0);
    EXPECT_FALSE(dlg.isVisible());
    EXPECT_EQ(settingsLoaded, 1);
    EXPECT_EQ(settingsSaved, 1);
}

TEST_F(MainWindowTest, AltSpaceOpensTheWindowMenuWithAboutLast) {
    start();
    dlg.setCommandTarget(&recorder);
    dlg.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&dlg));
    QTest::keyClick(&dlg, Qt::Key_Space, Qt::AltModifier);
    ASSERT_EQ(popups.size(), 1u);
    EXPECT_EQ(popups[0], dlg.windowMenu());

    QStringList items;
    for (QAction* a : dlg.windowMenu()->actions()) {
        if (a->isVisible()) {
            items << (a->isSeparator() ? QStringLiteral("-") : a->text());
        }
    }
    EXPECT_EQ(items,
              QStringList({"Mi&nimize", "Ma&ximize", "&Close\tAlt+F4", "-", "&About Zelvane..."}));
    EXPECT_EQ(dlg.windowMenuAction(IDM_ABOUTBOX)->data().toInt(), 16);

    dlg.windowMenuAction(IDM_ABOUTBOX)->trigger();
    EXPECT_THAT(recorder.calls, ElementsAre("OnHelpAbout"));
    // The low four bits of a window command do not matter.
    dlg.OnSysCommand(IDM_ABOUTBOX | 0x3);
    EXPECT_THAT(recorder.calls, ElementsAre("OnHelpAbout", "OnHelpAbout"));
}

TEST_F(MainWindowTest, RightClickOnIconOrLabelSelectsAndOpensTheItemMenu) {
    start();
    buildTree();
    expandAll();
    SnapshotTreeView* view = dlg.treeView();

    rightClickAt(view->labelRect(readme).center());
    EXPECT_EQ(dlg.tree().selected(), readme);
    ASSERT_EQ(popups.size(), 1u);
    EXPECT_EQ(popups[0], dlg.itemMenu());
    EXPECT_EQ(popupPositions[0], view->viewport()->mapToGlobal(view->labelRect(readme).center()));

    rightClickAt(view->iconRect(fileA).center());
    EXPECT_EQ(dlg.tree().selected(), fileA);
    EXPECT_EQ(popups.size(), 2u);

    // A right click on a root's label too.
    rightClickAt(view->labelRect(cd).topLeft() + QPoint(2, 2));
    EXPECT_EQ(dlg.tree().selected(), cd);
    EXPECT_EQ(popups.size(), 3u);
}

TEST_F(MainWindowTest, RightClickElsewhereOpensNothingAndKeepsTheSelection) {
    start();
    buildTree();
    expandAll();
    dlg.tree().select(readme);
    SnapshotTreeView* view = dlg.treeView();
    const int indent = view->indentation();

    const QRect docsRow = rowRect(docs);
    const QRect aRow = rowRect(fileA);
    const QRect cdRow = rowRect(cd);
    struct Miss {
        const char* where;
        QPoint point;
        TreeHitPart part;
    };
    const std::vector<Miss> misses{
        {"indentation", QPoint(aRow.left() - indent - indent / 2, aRow.center().y()),
         TreeHitPart::Indent},
        {"expand button", QPoint(docsRow.left() - indent / 2, docsRow.center().y()),
         TreeHitPart::Button},
        {"right of the label", QPoint(view->labelRect(cd).right() + 30, cdRow.center().y()),
         TreeHitPart::RightOfLabel},
        {"below the last node", QPoint(cdRow.center().x(), cdRow.bottom() + 40),
         TreeHitPart::Nowhere},
    };
    for (const Miss& miss : misses) {
        SCOPED_TRACE(miss.where);
        EXPECT_EQ(view->hitTest(miss.point).part, miss.part);
        rightClickAt(miss.point);
        EXPECT_TRUE(popups.empty());
        EXPECT_EQ(dlg.tree().selected(), readme);
        EXPECT_EQ(view->currentIndex(), dlg.treeModel()->indexOf(readme));
    }
    // A right press does not move the selection either.
    QTest::mousePress(view->viewport(), Qt::RightButton, {}, view->labelRect(docs).center());
    EXPECT_EQ(dlg.tree().selected(), readme);
    QTest::mouseRelease(view->viewport(), Qt::RightButton, {}, view->labelRect(docs).center());
    EXPECT_EQ(dlg.tree().selected(), docs);
}

TEST_F(MainWindowTest, HitTestTellsTheRowPartsApartAtEveryIconSize) {
    start();
    buildTree();
    for (int id : {ID_VIEW_48X48, ID_VIEW_24X24}) {
        dlg.commandAction(id)->trigger();
        expandAll();
        SnapshotTreeView* view = dlg.treeView();
        const QRect icon = view->iconRect(readme);
        const QRect label = view->labelRect(readme);
        EXPECT_EQ(icon.width(), id == ID_VIEW_48X48 ? 48 : 24);
        EXPECT_LE(icon.right(), label.left());
        EXPECT_EQ(view->hitTest(icon.center()).part, TreeHitPart::Icon);
        EXPECT_EQ(view->hitTest(icon.center()).node, readme);
        EXPECT_EQ(view->hitTest(label.center()).part, TreeHitPart::Label);
        EXPECT_EQ(view->hitTest(QPoint(label.right() + 1, label.center().y())).part,
                  TreeHitPart::RightOfLabel);
    }
}

TEST_F(MainWindowTest, F2AndASlowSecondClickAskForRenameAndNeverEditInPlace) {
    start();
    buildTree();
    expandAll();
    dlg.setCommandTarget(&recorder);
    SnapshotTreeView* view = dlg.treeView();
    view->setFocus();

    // F2 without a selection does nothing.
    QTest::keyClick(view, Qt::Key_F2);
    EXPECT_TRUE(recorder.calls.empty());

    dlg.tree().select(readme);
    QTest::keyClick(view, Qt::Key_F2);
    EXPECT_THAT(recorder.calls, ElementsAre("OnItemRename"));

    // Typing goes to no edit box.
    QTest::keyClicks(view, "xyz");
    EXPECT_EQ(view->findChild<QLineEdit*>(), nullptr);
    EXPECT_FALSE(view->isEditing());
    EXPECT_EQ(dlg.tree().text(readme), u"readme.txt");

    // A second click on the selected label, after the double-click time.
    recorder.calls.clear();
    const int wait = QApplication::doubleClickInterval() + 150;
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, view->labelRect(fileA).center());
    EXPECT_EQ(dlg.tree().selected(), fileA);
    QTest::qWait(wait);
    EXPECT_TRUE(recorder.calls.empty()); // the first click only selects
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, view->labelRect(fileA).center());
    QTest::qWait(wait);
    EXPECT_THAT(recorder.calls, ElementsAre("OnItemRename"));
    EXPECT_EQ(view->findChild<QLineEdit*>(), nullptr);

    // A double click on the selected label is no slow click.
    recorder.calls.clear();
    QTest::mouseDClick(view->viewport(), Qt::LeftButton, {}, view->labelRect(fileA).center());
    QTest::qWait(wait);
    EXPECT_TRUE(recorder.calls.empty());
}

TEST_F(MainWindowTest, TreeFillsTheClientAreaAfterEveryResize) {
    start();
    const QPoint progressAt = dlg.progressText()->pos();
    const QPoint stopAt = dlg.stopButton()->pos();
    const QSize stopSize = dlg.stopButton()->size();
    auto expectFitted = [this] {
        EXPECT_EQ(dlg.treeView()->geometry(), QRect(QPoint(0, 0), dlg.clientArea()->size()));
        EXPECT_EQ(dlg.clientArea()->geometry().bottom(), dlg.height() - 1);
        EXPECT_EQ(dlg.clientArea()->width(), dlg.width());
    };
    expectFitted();
    for (QSize size : {QSize(700, 500), QSize(300, 200), QSize(1000, 760)}) {
        dlg.resize(size);
        QApplication::processEvents();
        expectFitted();
    }
    dlg.showMaximized();
    QApplication::processEvents();
    expectFitted();
    dlg.showNormal();
    QApplication::processEvents();
    expectFitted();
    EXPECT_EQ(dlg.progressText()->pos(), progressAt);
    EXPECT_EQ(dlg.stopButton()->pos(), stopAt);
    EXPECT_EQ(dlg.stopButton()->size(), stopSize);
}

TEST_F(MainWindowTest, ControlsKeepTheirTemplatePlacesInDialogUnits) {
    start();
    const DialogBaseUnits base = dlg.dialogBaseUnits();
    ASSERT_GT(base.x, 2);
    ASSERT_GT(base.y, 6);
    const PixelRect progress = mapDialogRect(7, 7, 266, 24, base);
    EXPECT_EQ(dlg.progressText()->geometry(),
              QRect(progress.x, progress.y, progress.width, progress.height));
    const PixelRect stop = mapDialogRect(7, 32, 48, 14, base);
    EXPECT_EQ(dlg.stopButton()->geometry(), QRect(stop.x, stop.y, stop.width, stop.height));
    EXPECT_EQ(dlg.progressText()->text(), "Console");
    EXPECT_EQ(dlg.stopButton()->text(), "Stop");
    EXPECT_FALSE(dlg.progressText()->isVisible());
    EXPECT_FALSE(dlg.stopButton()->isVisible());
    EXPECT_EQ(dlg.treeView()->objectName(), "control_1000");
    EXPECT_EQ(dlg.progressText()->objectName(), "control_1013");
    EXPECT_EQ(dlg.stopButton()->objectName(), "control_1014");
}

TEST_F(MainWindowTest, ViewCommandsCheckTheirItemAndRebuildTheIconSet) {
    start();
    buildTree();
    EXPECT_EQ(dlg.iconSet().size(), 16);
    EXPECT_EQ(dlg.iconSet().count(), 12);
    const std::vector<std::pair<int, int>> steps{{ID_VIEW_48X48, 48},
                                                 {ID_VIEW_48X48, 48},
                                                 {ID_VIEW_24X24, 24},
                                                 {ID_VIEW_32X32, 32},
                                                 {ID_VIEW_16X16, 16}};
    for (auto [id, pixels] : steps) {
        dlg.commandAction(id)->trigger();
        for (int other : {284, 280, 285, 286}) {
            EXPECT_EQ(dlg.commandAction(other)->isChecked(), other == id) << id << " " << other;
        }
        EXPECT_EQ(dlg.iconSet().size(), pixels);
        EXPECT_EQ(dlg.iconSet().count(), 12);
        EXPECT_EQ(dlg.treeView()->iconSize(), QSize(pixels, pixels));
        const QVariant icon =
            dlg.treeModel()->data(dlg.treeModel()->indexOf(readme), Qt::DecorationRole);
        EXPECT_EQ(icon.value<QPixmap>().size(), QSize(pixels, pixels));
    }
}

TEST_F(MainWindowTest, KindsWithoutAnIconShowNoneAndBreakNothing) {
    start();
    buildTree();
    const NodeId odd = dlg.tree().insertLast(disk, u"odd");
    dlg.tree().setKind(odd, 12);
    const NodeId odder = dlg.tree().insertLast(disk, u"odder");
    dlg.tree().setKind(odder, 255);
    expandAll();
    EXPECT_FALSE(
        dlg.treeModel()->data(dlg.treeModel()->indexOf(odd), Qt::DecorationRole).isValid());
    EXPECT_EQ(dlg.treeModel()->data(dlg.treeModel()->indexOf(odder)).toString(), "odder");
    EXPECT_FALSE(dlg.grab().isNull());
    // With no icon, the hit on the label still counts.
    rightClickAt(dlg.treeView()->labelRect(odd).center());
    EXPECT_EQ(dlg.tree().selected(), odd);
    EXPECT_EQ(popups.size(), 1u);
}

TEST_F(MainWindowTest, SelectingANodeExpandsItsCollapsedAncestors) {
    start();
    buildTree();
    SnapshotTreeView* view = dlg.treeView();
    SnapshotTreeModel* model = dlg.treeModel();
    ASSERT_FALSE(view->isExpanded(model->indexOf(disk)));
    dlg.tree().select(fileA);
    EXPECT_TRUE(view->isExpanded(model->indexOf(disk)));
    EXPECT_TRUE(view->isExpanded(model->indexOf(docs)));
    EXPECT_FALSE(view->isExpanded(model->indexOf(fileA)));
    EXPECT_EQ(view->currentIndex(), model->indexOf(fileA));
    EXPECT_TRUE(view->selectionModel()->isSelected(model->indexOf(fileA)));

    // A click in the view selects the node in the tree.
    QApplication::processEvents();
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, view->labelRect(readme).center());
    EXPECT_EQ(dlg.tree().selected(), readme);

    // Deleting the selected node moves the selection as the tree says.
    dlg.tree().remove(readme);
    EXPECT_EQ(view->currentIndex(), model->indexOf(docs));
    EXPECT_EQ(dlg.tree().selected(), docs);
    dlg.tree().removeAll();
    EXPECT_FALSE(view->currentIndex().isValid());
    EXPECT_EQ(dlg.tree().selected(), kNoNode);
}

TEST_F(MainWindowTest, NodesShowTheirTextBoldnessAndKindIcon) {
    start();
    buildTree();
    SnapshotTreeModel* model = dlg.treeModel();
    EXPECT_EQ(model->data(model->indexOf(docs)).toString(), " Docs");
    EXPECT_TRUE(model->data(model->indexOf(docs), Qt::FontRole).value<QFont>().bold());
    EXPECT_TRUE(model->data(model->indexOf(disk), Qt::FontRole).value<QFont>().bold());
    EXPECT_FALSE(model->data(model->indexOf(fileA), Qt::FontRole).isValid());
    const QImage expected = dlg.iconSet().image(kKindMedia).toImage();
    const NodeId b = dlg.tree().childAt(docs, 1);
    EXPECT_EQ(model->data(model->indexOf(b), Qt::DecorationRole).value<QPixmap>().toImage(),
              expected);
    // Every node arrives collapsed.
    EXPECT_FALSE(dlg.treeView()->isExpanded(model->indexOf(disk)));
    EXPECT_FALSE(dlg.treeView()->isExpanded(model->indexOf(docs)));
    EXPECT_FALSE(dlg.treeView()->rootIsDecorated() == false);
}

class StartupTest : public MainWindowTest {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        SnapshotTree t;
        const NodeId root = t.insertLast(kTopLevel, u"Backup");
        t.setKind(root, kKindDriveRoot);
        t.setTextAndBold(root, u"Backup");
        const NodeId f = t.insertLast(root, u"notes.txt");
        t.setKind(f, kKindDocument);
        file = dir.filePath("start.zelv");
        ASSERT_TRUE(writeSnapshotFile(t, file.toStdString()).ok);
    }
    QTemporaryDir dir;
    QString file;
};

TEST_F(StartupTest, RunsItsStepsInOrder) {
    std::vector<std::string> steps;
    struct Watch : QObject {
        std::vector<std::string>* steps;
        CMainDlg* dlg;
        bool eventFilter(QObject*, QEvent* e) override {
            if (e->type() == QEvent::Show) {
                steps->push_back("shown");
            } else if (e->type() == QEvent::WindowTitleChange) {
                const bool fitted = dlg->treeView()->size() == dlg->clientArea()->size();
                steps->push_back("caption " + dlg->windowTitle().toStdString() +
                                 (dlg->iconSet().size() == 16 && fitted ? " (icons, fitted)" : ""));
            }
            return false;
        }
    } watch;
    watch.steps = &steps;
    watch.dlg = &dlg;
    dlg.setWindowTitle("before");
    dlg.installEventFilter(&watch);
    dlg.setSettingsFunctions(
        [&] {
            steps.push_back(std::string("settings") + (dlg.isVisible() ? " (visible" : " (hidden") +
                            (dlg.iconSet().count() == 0 ? ", no icons)" : ", icons)"));
            EXPECT_FALSE(dlg.progressText()->isVisible());
            EXPECT_FALSE(dlg.stopButton()->isVisible());
            EXPECT_FALSE(dlg.windowIcon().isNull());
            EXPECT_EQ(dlg.windowMenu()->actions().last()->text(), "&About Zelvane...");
        },
        [] {});
    dlg.setMessageBoxFunction(
        [&](QWidget*, std::u16string_view text, std::u16string_view, MessageIcon, MessageButtons) {
            steps.push_back("message " + toQString(text).section('\n', 0, 0).toStdString());
            return MessageAnswer::Ok;
        });
    dlg.setCommandLine({toU16(file)});
    EXPECT_TRUE(dlg.OnInitDialog());
    EXPECT_THAT(steps, ElementsAre("shown", "settings (visible, no icons)",
                                   "caption Zelvane (icons, fitted)",
                                   "caption start.zelv - Zelvane (icons, fitted)",
                                   "message start.zelv successfuly opened."));
    EXPECT_EQ(dlg.tree().size(), 2u);
    EXPECT_TRUE(dlg.treeView()->hasFocus() || !QApplication::focusWindow());
}

TEST_F(StartupTest, CommandLineOpensOnlyOneNonEmptyArgument) {
    dlg.setCommandLine({toU16(file)});
    start();
    EXPECT_EQ(dlg.tree().size(), 2u);
    EXPECT_EQ(dlg.windowTitle(), "start.zelv - Zelvane");
    EXPECT_EQ(dlg.document().path, toU16(file));

    for (const std::vector<std::u16string>& args :
         {std::vector<std::u16string>{}, {u""}, {toU16(file), toU16(file)}}) {
        CMainDlg other(u"zelvane");
        std::vector<ShownMessage> shown;
        other.setMessageBoxFunction([&](QWidget*, std::u16string_view text, std::u16string_view,
                                        MessageIcon, MessageButtons) {
            shown.push_back({std::u16string(text), {}});
            return MessageAnswer::Ok;
        });
        other.setCommandLine(args);
        other.OnInitDialog();
        EXPECT_TRUE(other.tree().empty()) << args.size();
        EXPECT_EQ(other.windowTitle(), "Zelvane");
        EXPECT_EQ(other.document().title, u"Untitled.zelv");
        EXPECT_TRUE(shown.empty());
    }
}

TEST_F(StartupTest, EveryStartIsAtSixteenPixels) {
    start();
    dlg.commandAction(ID_VIEW_48X48)->trigger();
    CMainDlg again(u"zelvane");
    again.OnInitDialog();
    EXPECT_EQ(again.iconSet().size(), 16);
    EXPECT_TRUE(again.commandAction(ID_VIEW_16X16)->isChecked());
    EXPECT_FALSE(again.commandAction(ID_VIEW_48X48)->isChecked());
}

} // namespace
} // namespace zelvane
