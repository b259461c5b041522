// The main window with its real dialogs, message boxes and menus, offscreen, each answered
// from inside its own modal run: start-up, captures through the event loop, the View sizes
// and the right-click menu; below it, its tree model and its QSettings store.
#include <QAbstractItemModelTester>
#include <QApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QSettings>
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
#include "capture/tree_order.h"
#include "document/snapshot_file.h"
#include "icons/icon_set_qt.h"
#include "icons/view_sizes.h"
#include "items/item_dialogs_qt.h"
#include "settings/qsettings_backend_qt.h"
#include "ui/text_qt.h"

namespace zelvane {
namespace {

// Hands the next pop-up or modal widget of type Window to action: a timer looks for it every
// 10 ms, for at most 5 s.
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
        if (window != nullptr) {
            action(window);
        } else if (top != nullptr) {
            top->close();
        }
    });
    timer->start(10);
}

class MainWindowTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        disk_ = new test::TempTree;
        for (int i = 0; i < 40; ++i) {
            disk_->dir("dir" + std::to_string(i));
            disk_->manyFiles("dir" + std::to_string(i), 50, "file");
        }
    }
    static void TearDownTestSuite() { delete disk_; }

    // Answers the next message boxes, which the window owns, with these buttons in turn.
    void answer(std::deque<QMessageBox::StandardButton> buttons) {
        if (!buttons.empty()) {
            whenShown<QMessageBox>([this, buttons](QMessageBox* box) mutable {
                boxes << box->text();
                EXPECT_EQ(box->parentWidget(), &dlg);
                box->button(buttons.front())->click();
                buttons.pop_front();
                answer(buttons);
            });
        }
    }

    // Tree > Add Tree... over 40 folders of 50 files, titled "Big": once the scan has 300
    // entries, runs duringScan; the boxes that follow get these buttons.
    void capture(std::function<void()> duringScan,
                 std::deque<QMessageBox::StandardButton> buttons) {
        dlg.OnInitDialog();
        whenShown<CAddFolderLocation>([this, buttons](CAddFolderLocation* d) {
            d->pathField()->setText(QString::fromStdString(disk_->path()));
            d->titleField()->setText("Big");
            QTest::mouseClick(d->okButton(), Qt::LeftButton);
            answer(buttons);
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
        EXPECT_TRUE(boxes.value(0).endsWith("\n\nNote: Scanning process was interrupted."))
            << boxes.value(0).toStdString();
    }

    inline static test::TempTree* disk_ = nullptr;
    MemorySettingsBackend settings;
    CMainDlg dlg{u"zelvane", settings};
    QStringList boxes;
};

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
    EXPECT_EQ(boxes.mid(1), QStringList({"Save changes ?"}));
    EXPECT_FALSE(dlg.isVisible());
    EXPECT_EQ(dlg.result(), 0);
    // The remembered inputs were loaded at start-up and saved at the end, once each.
    EXPECT_EQ(std::count_if(settings.events.begin(), settings.events.end(),
                            [](const auto& e) { return e.kind == decltype(e.kind)::Open; }),
              2);
}

TEST_F(MainWindowTest, OpensTheCommandLinesSnapshotThenViewSizesAndTheRightClickMenu) {
    QTemporaryDir dir;
    SnapshotTree saved;
    saved.insertLast(saved.insertLast(kTopLevel, u"Disk"), u"notes.txt");
    ASSERT_TRUE(writeSnapshotFile(saved, dir.filePath("start.zelv").toStdString()).ok);
    dlg.setCommandLine({toU16(dir.filePath("start.zelv"))});
    answer({QMessageBox::Ok});
    EXPECT_TRUE(dlg.OnInitDialog());
    EXPECT_EQ(dlg.windowTitle(), "start.zelv - Zelvane");
    EXPECT_EQ(boxes.size(), 1);
    // The tree alone, at 16 pixels; the progress text and Stop wait for a scan.
    EXPECT_EQ(dlg.treeView()->iconSize(), QSize(16, 16));
    EXPECT_TRUE(dlg.treeView()->isVisible() && !dlg.stopButton()->isVisible());
    EXPECT_FALSE(dlg.progressText()->isVisible());

    const NodeId notes = dlg.tree().firstChild(dlg.tree().firstRoot());
    dlg.treeView()->expandAll();
    QApplication::processEvents();
    // Each size draws the tree's icons at its size from twelve distinct images, and only its
    // own item is checked.
    for (const ViewSize& size : viewSizes()) {
        dlg.commandAction(size.commandId)->trigger();
        EXPECT_EQ(dlg.treeView()->iconRect(notes).width(), size.pixels);
        for (const ViewSize& other : viewSizes()) {
            EXPECT_EQ(dlg.commandAction(other.commandId)->isChecked(), &other == &size);
        }
        const IconSet& icons = dlg.iconSet();
        ASSERT_EQ(icons.count(), kIconSetImageCount);
        for (int kind = 1; kind < kIconSetImageCount; ++kind) {
            EXPECT_NE(icons.image(kind).toImage(), icons.image(kind - 1).toImage()) << kind;
        }
    }
    // A right-click selects the node and opens the Item menu, whose Properties... shows it.
    QString propertiesName;
    whenShown<QMenu>([&](QMenu* menu) {
        EXPECT_EQ(menu, dlg.itemMenu());
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
    EXPECT_EQ(propertiesName, "notes.txt");
}

// The model tester reports through qWarning: each report fails the test.
void failOnWarning(QtMsgType type, const QMessageLogContext&, const QString& message) {
    if (type != QtDebugMsg && type != QtInfoMsg) {
        ADD_FAILURE() << message.toStdString();
    }
}

TEST(TreeModel, StaysConsistentThroughEveryKindOfChange) {
    const QtMessageHandler previous = qInstallMessageHandler(failOnWarning);
    SnapshotTree tree;
    SnapshotTreeModel model(tree);
    QAbstractItemModelTester tester(&model,
                                    QAbstractItemModelTester::FailureReportingMode::Warning);
    SnapshotTreeView view;
    view.setSnapshotModel(&model);
    view.show();
    const NodeId disk = tree.insertLast(kTopLevel, u"Disk");
    const NodeId zeta = tree.insertLast(disk, u" zeta");
    const NodeId inner = tree.insertLast(zeta, u"inner.txt");
    const NodeId alpha = tree.insertLast(disk, u" alpha");
    tree.insertLast(alpha, u"b.txt");
    tree.insertLast(kTopLevel, u"Archive");
    view.expandAll();
    tree.select(inner);
    const QPersistentModelIndex innerIndex(model.indexOf(inner));

    // Renamed, then sorted: the persistent index, the open branches and the current node
    // follow their nodes to their new rows.
    tree.setText(inner, u"renamed.txt");
    EXPECT_EQ(innerIndex.data().toString(), "renamed.txt");
    SortTree(tree, TextOrder());
    QApplication::processEvents();
    EXPECT_EQ(model.data(model.index(0, 0)).toString(), "Archive");
    EXPECT_EQ(model.indexOf(alpha).row(), 0);
    EXPECT_EQ(innerIndex, QPersistentModelIndex(model.indexOf(inner)));
    EXPECT_TRUE(view.isExpanded(model.indexOf(zeta)));
    EXPECT_EQ(view.currentIndex(), model.indexOf(inner));

    // Deleted: the selection moves to what the tree selects.
    tree.remove(zeta);
    EXPECT_FALSE(innerIndex.isValid());
    EXPECT_EQ(model.rowCount(model.indexOf(disk)), 1);
    EXPECT_EQ(view.currentIndex(), model.indexOf(tree.selected()));

    // Emptied, then reloaded from its own bytes: the same rows, all collapsed.
    std::string bytes;
    encodeSnapshot(tree, bytes);
    tree.removeAll();
    EXPECT_EQ(model.rowCount(), 0);
    decodeSnapshot(bytes, tree);
    ASSERT_EQ(model.rowCount(), 2);
    EXPECT_EQ(model.rowCount(model.index(1, 0)), 1);
    EXPECT_FALSE(view.isExpanded(model.index(1, 0)));
    qInstallMessageHandler(previous);
}

TEST(QSettingsBackendStore, RoundTripsEveryValueAndReadsANonNumberAsMissing) {
    const QString file = qEnvironmentVariable("XDG_CONFIG_HOME") + "/Halcyra/Zelvane.conf";
    ASSERT_TRUE(file.startsWith(QDir::tempPath())) << file.toStdString();
    QFile::remove(file);
    RememberedInputs in;
    in.addTree = {u"/mnt/Ω data", u"*.jpg", u"Holiday; \"2024\" = #1"};
    in.search = {u"  日本 ", true, true, false, false, true};
    {
        QSettingsBackend writer;
        EXPECT_EQ(loadSettings(writer), RememberedInputs{});
        saveSettings(writer, in);
    }
    EXPECT_TRUE(QFile::exists(file));
    QSettings(file, QSettings::NativeFormat).setValue("Search_IsMatchCase", "yes");
    QSettingsBackend reader;
    reader.open(kSettingsSubkey);
    EXPECT_EQ(reader.readNumber(u"Search_IsMatchCase"), std::nullopt);
    EXPECT_EQ(reader.readNumber(u"Search_IsFilesOnly"), 1);
    reader.close();
    in.search.isMatchCase = false; // the default
    EXPECT_EQ(loadSettings(reader), in);
}

} // namespace
} // namespace zelvane
