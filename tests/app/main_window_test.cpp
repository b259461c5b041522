// The main window with its real dialogs, boxes and menus, each answered from inside its own
// modal run, its tree model under Qt's model tester all along; and the QSettings store.
#include <QAbstractItemModelTester>
#include <QApplication>
#include <QDeadlineTimer>
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
#include "document/snapshot_file.h"
#include "icons/icon_set_qt.h"
#include "icons/view_sizes.h"
#include "items/item_dialogs_qt.h"
#include "settings/qsettings_backend_qt.h"
#include "ui/text_qt.h"

namespace zelvane {
namespace {

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
        if (window != nullptr) {
            action(window);
        } else if (top != nullptr) {
            top->close();
        }
    });
    timer->start(10);
}

// Qt's model tester reports through the log: each report fails the test.
void failOnModelReport(QtMsgType, const QMessageLogContext& context, const QString& message) {
    if (QByteArrayView(context.category) == "qt.modeltest") {
        ADD_FAILURE() << message.toStdString();
    }
}

class MainWindowTest : public ::testing::Test {
protected:
    MainWindowTest() { previous = qInstallMessageHandler(failOnModelReport); }
    ~MainWindowTest() override { qInstallMessageHandler(previous); }

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

    // Tree > Add Tree... over the disk, titled "Big": once the scan has 300 entries, runs
    // duringScan; the boxes that follow get these buttons.
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

    test::TempTree disk;
    QtMessageHandler previous;
    MemorySettingsBackend settings;
    CMainDlg dlg{u"zelvane", settings};
    QAbstractItemModelTester tester{dlg.treeModel(),
                                    QAbstractItemModelTester::FailureReportingMode::Warning};
    QStringList boxes;
};

TEST_F(MainWindowTest, ACaptureEndsAtStopOrWhenTheWindowClosesAndDropsCommandsMeanwhile) {
    for (int i = 0; i < 40; ++i) {
        disk.dir("dir" + std::to_string(i));
        disk.manyFiles("dir" + std::to_string(i), 50, "file");
    }
    dlg.OnInitDialog();
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
    const SnapshotTree& tree = dlg.tree();
    ASSERT_EQ(tree.text(tree.firstRoot()), u"Big");
    EXPECT_LT(tree.size(), 1u + 40 + 40 * 50);
    EXPECT_TRUE(dlg.iconSet().size() == 16 && !dlg.commandAction(ID_VIEW_48X48)->isChecked());
    EXPECT_TRUE(dlg.treeView()->isVisible() && !dlg.stopButton()->isVisible());

    // Closing the window stops the capture, which finishes, then asks to save.
    capture([&] { dlg.close(); }, {QMessageBox::Ok, QMessageBox::No});
    EXPECT_EQ(boxes.mid(1), QStringList({"Save changes ?"}));
    EXPECT_TRUE(!dlg.isVisible() && dlg.result() == 0);
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
    EXPECT_EQ(boxes.size(), 1);
    // The tree alone, at 16 pixels; the progress text and Stop wait for a scan.
    EXPECT_EQ(dlg.treeView()->iconSize(), QSize(16, 16));
    EXPECT_TRUE(dlg.treeView()->isVisible() && !dlg.stopButton()->isVisible());
    EXPECT_FALSE(dlg.progressText()->isVisible());

    const NodeId notes = dlg.tree().firstChild(dlg.tree().firstRoot());
    dlg.treeView()->expandAll();
    QApplication::processEvents();
    // Each size draws the icons at its size from twelve distinct images and checks its item.
    for (const ViewSize& size : viewSizes()) {
        dlg.commandAction(size.commandId)->trigger();
        EXPECT_EQ(dlg.treeView()->iconRect(notes).width(), size.pixels);
        for (const ViewSize& other : viewSizes()) {
            EXPECT_EQ(dlg.commandAction(other.commandId)->isChecked(), &other == &size);
        }
        for (int kind = 1; kind < kIconSetImageCount; ++kind) {
            EXPECT_NE(dlg.iconSet().image(kind).toImage(), dlg.iconSet().image(kind - 1).toImage())
                << kind;
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

TEST(QSettingsBackendStore, RoundTripsEveryValueAndReadsANonNumberAsMissing) {
    RememberedInputs in;
    in.addTree = {u"/mnt/Ω data", u"*.jpg", u"Holiday; \"2024\" = #1"};
    in.search = {u"  日本 ", true, false, false, false, true};
    QSettingsBackend store;
    saveSettings(store, in);
    QSettings("Halcyra", "Zelvane").setValue("Search_IsMatchCase", "yes"); // read as the default
    store.open(kSettingsSubkey);
    EXPECT_EQ(store.readNumber(u"Search_IsMatchCase"), std::nullopt);
    store.close();
    EXPECT_EQ(loadSettings(store), in);
    EXPECT_TRUE(QFile::exists(qEnvironmentVariable("XDG_CONFIG_HOME") + "/Halcyra/Zelvane.conf"));
}

} // namespace
} // namespace zelvane
