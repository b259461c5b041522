// The main window with its real dialogs and message boxes, each answered from its modal run.
#include "support/test_common.h"

#include "about/about_command.h"
#include "app/command_ids.h"
#include "app/main_dlg_qt.h"
#include "app/progress_text_qt.h"
#include "app/snapshot_tree_model_qt.h"
#include "app/snapshot_tree_view_qt.h"
#include "gui_test.h"
#include "support/memory_settings.h"
#include "ui/add_folder_location_qt.h"
#include "ui/search_dialog_qt.h"

#include <QSignalSpy>

namespace zelvane {
namespace {

// New, Open, Save, Delete, Search and Exit by their usual keys.
constexpr const char* kKeys[] = {"Ctrl+N", "Ctrl+O", "Ctrl+S", "Del", "Ctrl+F", "Ctrl+Q"};

// Hands the next pop-up or modal Window to action: a timer looks for it every 10 ms for 5 s.
template <class Window, class Action> void whenShown(Action action) {
    auto* timer = new QTimer;
    QObject::connect(timer, &QTimer::timeout, [=, deadline = QDeadlineTimer(5000)]() mutable {
        QWidget* top = QApplication::activePopupWidget();
        top = top != nullptr ? top : QApplication::activeModalWidget();
        auto* window = qobject_cast<Window*>(top);
        if (window == nullptr && !deadline.hasExpired()) {
            return;
        }
        timer->stop();
        timer->deleteLater();
        EXPECT_NE(window, nullptr) << Window::staticMetaObject.className() << " not shown";
        window != nullptr ? action(window) : void(top != nullptr && top->close());
    });
    timer->start(10);
}

class MainWindowTest : public ::testing::Test {
protected:
    QAction* command(int id) { return dlg.findChild<QAction*>(QString("command_%1").arg(id)); }

    // Answers the next message boxes with these buttons in turn.
    void answer(std::deque<QMessageBox::StandardButton> buttons) {
        if (!buttons.empty()) {
            whenShown<QMessageBox>([this, buttons](QMessageBox* box) mutable {
                boxes << box->windowTitle() + ": " + box->text();
                box->button(buttons.front())->click();
                buttons.pop_front();
                answer(buttons);
            });
        }
    }

    // Tree > Add Tree... over the disk: once the scan has 300 entries, runs duringScan.
    void capture(std::function<void()> duringScan,
                 std::deque<QMessageBox::StandardButton> buttons) {
        boxes.clear();
        whenShown<CAddFolderLocation>([this, buttons](CAddFolderLocation* d) {
            d->pathField()->setText(QString::fromStdString(disk.path()));
            d->titleField()->setText("Big");
            QTest::mouseClick(d->okButton(), Qt::LeftButton);
            answer(buttons);
        });
        auto* timer = new QTimer(&dlg);
        QObject::connect(timer, &QTimer::timeout, [this, timer, duringScan] {
            const ScanState& state = processScanState();
            if (stop->isVisible() && state.folders + state.files >= 300) {
                timer->stop();
                duringScan();
            }
        });
        timer->start(0);
        command(ID_TREE_ADDTREE)->trigger();
        EXPECT_TRUE(boxes.value(0).endsWith("\n\nNote: Scanning process was interrupted."));
    }

    test::TempTree disk;
    MemorySettingsBackend settings;
    CMainDlg dlg{u"zelvane", settings};
    SnapshotTreeView* view = dlg.findChild<SnapshotTreeView*>();
    QPushButton* stop = dlg.findChild<QPushButton*>(QString("control_%1").arg(IDC_STOP));
    QStringList boxes;
};

TEST_F(MainWindowTest, ACaptureHearsOnlyStopAndEndsAtStopOrWhenTheWindowCloses) {
    for (int i = 0; i < 40; ++i) {
        disk.dir("dir" + std::to_string(i));
        disk.manyFiles("dir" + std::to_string(i), 50, "file");
    }
    dlg.OnInitDialog();
    bool scanningShown = false;
    capture(
        [&] {
            scanningShown = !view->isVisible() &&
                            dlg.findChild<ProgressText*>()->text().startsWith("Scanning...");
            // Dropped: File > New, a view size, the window menu's About, F2 and the keys.
            command(ID_FILE_NEW)->trigger();
            command(ID_VIEW_48X48)->trigger();
            dlg.findChild<QMenu*>("window_menu")->actions().constLast()->trigger(); // About
            dlg.OnTreeBeginLabelEdit();
            dlg.activateWindow();
            EXPECT_TRUE(QTest::qWaitForWindowActive(&dlg)); // so that the keys are heard
            for (const char* key : kKeys) {
                QTest::keySequence(&dlg, QKeySequence(key));
            }
            QTest::mouseClick(stop, Qt::LeftButton);
        },
        {QMessageBox::Ok});
    EXPECT_TRUE(scanningShown);
    const SnapshotTree& tree = dlg.document().tree();
    ASSERT_EQ(tree.text(tree.firstRoot()), u"Big");
    EXPECT_LT(tree.size(), 1u + 40 + 40 * 50);
    EXPECT_TRUE(view->iconSize() == QSize(16, 16) && command(ID_VIEW_16X16)->isChecked());
    EXPECT_TRUE(view->isVisible() && !stop->isVisible());

    // Closing the window stops the capture, which finishes, then asks to save.
    capture([&] { dlg.close(); }, {QMessageBox::Ok, QMessageBox::No});
    EXPECT_EQ(boxes.mid(1), QStringList({"zelvane: Save changes ?"}));
    EXPECT_FALSE(dlg.isVisible());
}

// Each key triggers its menu item. Open and Save As (Ctrl+S, untitled) come centred over the
// window, with room for a file type.
TEST_F(MainWindowTest, TheUsualKeysRunTheirCommandsAndTheFileDialogsOpenCentred) {
    dlg.OnInitDialog();
    int fileDialogs = 0;
    QTimer closer;
    closer.callOnTimeout([&] {
        QWidget* top = QApplication::activeModalWidget();
        if (auto* file = qobject_cast<QFileDialog*>(top); file != nullptr && ++fileDialogs) {
            const QPoint off = file->frameGeometry().center() - dlg.frameGeometry().center();
            EXPECT_LE(off.manhattanLength(), 2);
            const auto* list = file->findChild<QTreeView*>("treeView");
            const QString type =
                QMimeDatabase().mimeTypeForName("application/x-executable").comment();
            EXPECT_GT(list->header()->sectionSize(2), list->fontMetrics().horizontalAdvance(type));
        }
        top != nullptr && top->close();
    });
    closer.start(10);
    const int ids[] = {ID_FILE_NEW,    ID_FILE_OPEN,   ID_FILE_SAVE,
                       ID_ITEM_DELETE, ID_TREE_SEARCH, ID_FILE_EXIT};
    for (int i = 0; i < 6; ++i) {
        QSignalSpy heard(command(ids[i]), &QAction::triggered);
        dlg.activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&dlg));
        QTest::keySequence(&dlg, QKeySequence(kKeys[i]));
        EXPECT_EQ(heard.size(), 1) << kKeys[i];
    }
    EXPECT_TRUE(fileDialogs == 2 && !dlg.isVisible());
}

TEST_F(MainWindowTest, ViewAndHelpSitAtTheMenuBarsRightEndAndTheArrowKeysGoRound) {
    dlg.OnInitDialog();
    auto* bar = dlg.findChild<QMenuBar*>();
    QList<QAction*> menus = bar->actions();
    menus.removeIf([](const QAction* action) { return action->menu() == nullptr; });
    ASSERT_EQ(menus.size(), 5);
    dlg.resize(900, 400);
    QApplication::processEvents();
    EXPECT_LE(bar->width() - bar->actionGeometry(menus[4]).right(), 8);
    EXPECT_GT(bar->actionGeometry(menus[3]).left() - bar->actionGeometry(menus[2]).right(), 300);
    auto walk = [](Qt::Key key) {
        QStringList titles;
        for (int step = 0; step < 6; ++step) {
            const auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
            titles << (menu != nullptr ? menu->title() : "");
            QTest::keyClick(QApplication::activePopupWidget(), key);
        }
        return titles;
    };
    bar->setActiveAction(menus[0]);
    EXPECT_EQ(walk(Qt::Key_Right),
              QStringList({"&File", "&Item", "&Tree", "&View", "&Help", "&File"}));
    EXPECT_EQ(walk(Qt::Key_Left),
              QStringList({"&Item", "&File", "&Help", "&View", "&Tree", "&Item"}));
    QApplication::activePopupWidget()->close();
}

// Escape, and under a window manager the close button, leave a Yes/No box open. A page that
// no browser opens shows its address, to be copied as every box's text.
TEST_F(MainWindowTest, AYesNoBoxIsAnsweredOnlyByYesOrNoAndAnUnopenedPageShowsItsAddress) {
    whenShown<QMessageBox>([](QMessageBox* box) {
        QTest::keyClick(box, Qt::Key_Escape);
        if (QGuiApplication::platformName() == "xcb") {
            QProcess::execute("wmctrl", {"-i", "-c", QString::number(box->winId())});
            QTest::qWait(500);
        }
        EXPECT_TRUE(box->isVisible() && box->textInteractionFlags() & Qt::TextSelectableByMouse);
        box->button(QMessageBox::No)->click();
    });
    EXPECT_EQ(dlg.messageBox(u"Sure ?", u"zelvane", MessageIcon::Question, MessageButtons::YesNo),
              MessageAnswer::No);
    dlg.setUrlOpener([](const QUrl& url) { return url != QUrl("https://zelvane.halcyra.com/"); });
    answer({QMessageBox::Ok});
    dlg.openWebPage(kZelvaneHomePage);
    EXPECT_TRUE(boxes.value(0).startsWith("Information: ") &&
                boxes.value(0).endsWith("\n\nhttps://zelvane.halcyra.com/"));
}

// After "0 matches found." and the Search Results window below it, with a user's clicks and
// keys (through X), Alt+T opens the Tree menu.
TEST_F(MainWindowTest, UnderAWindowManagerTheWindowBelowABoxIsActiveAgain) {
    if (QGuiApplication::platformName() != "xcb") {
        GTEST_SKIP() << "needs X and a window manager: zelvane_gui_tests_openbox runs it";
    }
    dlg.setWindowModality(Qt::ApplicationModal); // as DoModal runs it
    dlg.OnInitDialog();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&dlg));
    bool boxShown = false;
    whenShown<CSearch>([&](CSearch* search) {
        EXPECT_TRUE(QTest::qWaitForWindowActive(search));
        QProcess::execute("xdotool", {"type", "nothing"});
        QProcess::execute("xdotool", {"key", "Return"});
        whenShown<QMessageBox>([&](QMessageBox* box) {
            boxShown = QTest::qWaitForWindowActive(box);
            const QPoint at = box->button(QMessageBox::Ok)->mapToGlobal(QPoint(4, 4));
            QProcess::startDetached("xdotool",
                                    {"mousemove", QString::number(at.x()), QString::number(at.y()),
                                     "click", "1", "sleep", "1", "key", "alt+t"});
        });
    });
    QProcess::execute("xdotool", {"key", "alt+t", "s"});
    EXPECT_TRUE(QTest::qWaitFor(
        [&] {
            const auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
            return boxShown && menu != nullptr && menu->title() == "&Tree";
        },
        8000));
}

TEST_F(MainWindowTest, AtItsSmallestTheWindowKeepsItsMenusAndARowAndStopDrawsItsFocus) {
    dlg.OnInitDialog();
    const QModelIndex row = view->snapshotModel()->indexOf(
        add(dlg.document().tree(), kTopLevel, u"Disk", kKindDriveRoot));
    for (int id : {ID_VIEW_16X16, ID_VIEW_48X48}) {
        command(id)->trigger();
        dlg.resize(1, 1);
        QApplication::processEvents();
        EXPECT_FALSE(dlg.findChild<QToolButton*>("qt_menubar_ext_button")->isVisible()) << id;
        EXPECT_GE(view->viewport()->height(), view->visualRect(row).bottom() + 1) << id;
    }
    dlg.setScanningState(true);
    const QImage focused = stop->grab().toImage();
    stop->clearFocus();
    EXPECT_NE(stop->grab().toImage(), focused);
}

} // namespace
} // namespace zelvane
