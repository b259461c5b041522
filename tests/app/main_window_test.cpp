// The main window with its real dialogs, message boxes and menus, offscreen: start-up with
// a snapshot, a capture through the event loop, the View sizes, the right-click menu and
// Exit. Boxes, dialogs and menus are answered from inside their own modal runs.
#include <QAction>
#include <QApplication>
#include <QDeadlineTimer>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <deque>
#include <gtest/gtest.h>

#include "app/command_ids.h"
#include "app/main_dlg_qt.h"
#include "app/snapshot_tree_model_qt.h"
#include "app/snapshot_tree_view_qt.h"
#include "capture/add_folder_location_qt.h"
#include "capture/temp_tree.h"
#include "document/snapshot_file.h"
#include "items/item_dialogs_qt.h"
#include "ui/text_qt.h"

namespace zelvane {
namespace {

// Hands the next pop-up or modal widget of type Window to action, once: a timer polls for
// it every 10 ms, for at most 5 s.
template <class Window, class Action> void whenShown(Action action) {
    auto* timer = new QTimer;
    QObject::connect(timer, &QTimer::timeout, [timer, action, deadline = QDeadlineTimer(5000)]() mutable {
        QWidget* top = QApplication::activePopupWidget() != nullptr
                           ? QApplication::activePopupWidget()
                           : QApplication::activeModalWidget();
        auto* window = qobject_cast<Window*>(top);
        if (window == nullptr && !deadline.hasExpired()) {
            return;
        }
        timer->stop();
        timer->deleteLater();
        if (window != nullptr) {
            action(window);
        } else {
            ADD_FAILURE() << "no " << Window::staticMetaObject.className() << " appeared";
            if (top != nullptr) {
                top->close();
            }
        }
    });
    timer->start(10);
}

// Answers the next message boxes in turn with these buttons, noting their texts.
void answerBoxes(QStringList* texts, std::deque<QMessageBox::StandardButton> buttons) {
    if (!buttons.empty()) {
        whenShown<QMessageBox>([texts, buttons](QMessageBox* box) mutable {
            *texts << box->text();
            box->button(buttons.front())->click();
            buttons.pop_front();
            answerBoxes(texts, buttons);
        });
    }
}

class MainWindowTest : public ::testing::Test {
protected:
    // 40 folders of 50 files each.
    static void SetUpTestSuite() {
        disk_ = new test::TempTree;
        for (int i = 0; i < 40; ++i) {
            disk_->dir("dir" + std::to_string(i));
            disk_->manyFiles("dir" + std::to_string(i), 50, "file");
        }
    }
    static void TearDownTestSuite() { delete disk_; }

    // Tree > Add Tree... over the generated folder, titled "Big": once the scan has 300
    // entries, runs duringScan; the boxes that follow get these buttons.
    void capture(std::function<void()> duringScan,
                 std::deque<QMessageBox::StandardButton> buttons) {
        dlg.OnInitDialog();
        whenShown<CAddFolderLocation>([this, buttons](CAddFolderLocation* d) {
            d->pathField()->setText(QString::fromStdString(disk_->path()));
            d->titleField()->setText("Big");
            QTest::mouseClick(d->okButton(), Qt::LeftButton);
            answerBoxes(&boxes, buttons);
        });
        auto* timer = new QTimer(&dlg);
        QObject::connect(timer, &QTimer::timeout, [this, timer, duringScan] {
            const ScanState& state = processScanState();
            if (dlg.isScanning() && state.folders + state.files >= 300) {
                timer->stop();
                duringScan();
            }
        });
        timer->start(0);
        dlg.commandAction(ID_TREE_ADDTREE)->trigger();
        ASSERT_GE(boxes.size(), 1);
        EXPECT_TRUE(boxes[0].endsWith("\n\nNote: Scanning process was interrupted."))
            << boxes[0].toStdString();
    }

    static test::TempTree* disk_;
    MemorySettingsBackend settings;
    CMainDlg dlg{u"zelvane", settings};
    QStringList boxes;
};

test::TempTree* MainWindowTest::disk_ = nullptr;

TEST_F(MainWindowTest, StartsWithTheSnapshotNamedOnTheCommandLine) {
    QTemporaryDir dir;
    SnapshotTree saved;
    saved.insertLast(saved.insertLast(kTopLevel, u"Backup"), u"notes.txt");
    const QString file = dir.filePath("start.zelv");
    ASSERT_TRUE(writeSnapshotFile(saved, file.toStdString()).ok);
    dlg.setCommandLine({toU16(file)});
    QWidget* owner = nullptr;
    whenShown<QMessageBox>([&](QMessageBox* box) {
        boxes << box->text();
        owner = box->parentWidget();
        box->accept();
    });
    EXPECT_TRUE(dlg.OnInitDialog());
    EXPECT_EQ(dlg.windowTitle(), "start.zelv - Zelvane");
    ASSERT_EQ(boxes.size(), 1);
    EXPECT_TRUE(boxes[0].startsWith("start.zelv successfuly opened.")) << boxes[0].toStdString();
    EXPECT_EQ(owner, &dlg);
    EXPECT_EQ(dlg.treeModel()->rowCount(), 1);
    // Only the tree is shown, at 16 pixels; the progress text and Stop wait for a scan.
    EXPECT_EQ(dlg.treeView()->iconSize(), QSize(16, 16));
    EXPECT_TRUE(dlg.treeView()->isVisible() && !dlg.stopButton()->isVisible());
    EXPECT_FALSE(dlg.progressText()->isVisible());
}

TEST_F(MainWindowTest, StopDuringACaptureEndsItAndCommandsChosenMeanwhileAreDropped) {
    bool scanningShown = false;
    capture(
        [&] {
            scanningShown = !dlg.treeView()->isVisible() && dlg.stopButton()->isVisible() &&
                            dlg.progressText()->text().startsWith("Scanning...");
            // File > New would empty the tree; View would change the icons.
            dlg.commandAction(ID_FILE_NEW)->trigger();
            dlg.commandAction(ID_VIEW_48X48)->trigger();
            QTest::mouseClick(dlg.stopButton(), Qt::LeftButton);
        },
        {QMessageBox::Ok});
    EXPECT_TRUE(scanningShown);
    EXPECT_EQ(boxes.size(), 1);
    const SnapshotTree& tree = dlg.tree();
    ASSERT_EQ(tree.text(tree.firstRoot()), u"Big");
    EXPECT_TRUE(tree.isBold(tree.firstRoot()) && dlg.document().modified);
    EXPECT_LT(tree.size(), 1u + 40 + 40 * 50);
    EXPECT_EQ(dlg.iconSet().size(), 16);
    EXPECT_FALSE(dlg.commandAction(ID_VIEW_48X48)->isChecked());
    EXPECT_TRUE(dlg.treeView()->isVisible() && !dlg.stopButton()->isVisible());
}

TEST_F(MainWindowTest, ClosingDuringACaptureFinishesItThenAsksToSave) {
    capture([&] { dlg.close(); }, {QMessageBox::Ok, QMessageBox::No});
    EXPECT_EQ(boxes.size(), 2);
    EXPECT_EQ(boxes.value(1), "Save changes ?");
    EXPECT_FALSE(dlg.isVisible());
    EXPECT_EQ(dlg.result(), 0);
}

TEST_F(MainWindowTest, ViewSizesAndTheRightClickMenuOfANode) {
    dlg.OnInitDialog();
    const NodeId notes =
        dlg.tree().insertLast(dlg.tree().insertLast(kTopLevel, u"Disk"), u"notes.txt");
    dlg.treeView()->expandAll();
    QApplication::processEvents();
    for (auto [id, pixels] : {std::pair{ID_VIEW_48X48, 48}, {ID_VIEW_24X24, 24}}) {
        dlg.commandAction(id)->trigger();
        EXPECT_EQ(dlg.treeView()->iconRect(notes).width(), pixels);
        EXPECT_EQ(dlg.treeView()->iconSize(), QSize(pixels, pixels));
        EXPECT_TRUE(dlg.commandAction(id)->isChecked());
        EXPECT_FALSE(dlg.commandAction(ID_VIEW_16X16)->isChecked());
    }
    // A right-click selects the node and opens the Item menu; its Properties... shows it.
    QMenu* shownMenu = nullptr;
    QString propertiesName;
    whenShown<QMenu>([&](QMenu* menu) {
        shownMenu = menu;
        whenShown<CItemProperties>([&](CItemProperties* properties) {
            propertiesName = properties->nameField()->text();
            properties->reject();
        });
        menu->setActiveAction(dlg.commandAction(ID_ITEM_PROPERTIES));
        QTest::keyClick(menu, Qt::Key_Return);
    });
    SnapshotTreeView* view = dlg.treeView();
    QTest::mouseClick(view->viewport(), Qt::RightButton, {}, view->labelRect(notes).center());
    EXPECT_EQ(dlg.tree().selected(), notes);
    EXPECT_EQ(shownMenu, dlg.itemMenu());
    EXPECT_EQ(propertiesName, "notes.txt");
}

TEST_F(MainWindowTest, ExitAsksToSaveAModifiedSnapshotAndEndsTheRun) {
    dlg.OnInitDialog();
    dlg.tree().insertLast(kTopLevel, u"Disk");
    dlg.document().modified = true;
    bool openAfterCancelledSave = false;
    QTimer::singleShot(0, &dlg, [&] {
        // Yes, then the Save As dialog cancelled: the window stays.
        answerBoxes(&boxes, {QMessageBox::Yes});
        whenShown<QFileDialog>([](QFileDialog* d) { static_cast<QDialog*>(d)->reject(); });
        dlg.commandAction(ID_FILE_EXIT)->trigger();
        openAfterCancelledSave = dlg.isVisible();
        // No: the changes are dropped and the run ends.
        answerBoxes(&boxes, {QMessageBox::No});
        dlg.commandAction(ID_FILE_EXIT)->trigger();
    });
    EXPECT_EQ(dlg.exec(), 0);
    EXPECT_TRUE(openAfterCancelledSave);
    EXPECT_EQ(boxes, QStringList({"Save changes ?", "Save changes ?"}));
    // The remembered inputs were loaded at start-up and saved at Exit, once each.
    EXPECT_EQ(std::count_if(settings.events.begin(), settings.events.end(),
                            [](const auto& e) { return e.kind == decltype(e.kind)::Open; }),
              2);
}

} // namespace
} // namespace zelvane
