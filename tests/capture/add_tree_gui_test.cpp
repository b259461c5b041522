// A real capture in the main window, offscreen: the Add Tree dialog confirmed, a large
// generated tree scanned while the event loop runs, Stop clicked through the event loop,
// menu commands chosen during the scan, and closing the window during a scan.
#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMouseEvent>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <cstdio>
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "app/command_ids.h"
#include "app/main_dlg_qt.h"
#include "ui/text_qt.h"
#include "app/recording_commands.h"
#include "app/snapshot_tree_model_qt.h"
#include "app/snapshot_tree_view_qt.h"
#include "capture/add_folder_location_qt.h"
#include "capture/scan_state.h"
#include "capture/temp_tree.h"
#include "capture/tree_order.h"
#include "modal_driver.h"

namespace zelvane {
namespace {

using ::testing::ElementsAre;

// Records every command that reaches the window's handlers; Add Tree and Stop are also
// carried out, the others only recorded.
class CaptureCommands : public RecordingCommands {
public:
    explicit CaptureCommands(CMainDlg& dlg) : dlg_(dlg) {}
    void OnAddTree() override {
        RecordingCommands::OnAddTree();
        dlg_.OnAddTree();
    }
    void OnStopScan() override {
        RecordingCommands::OnStopScan();
        dlg_.OnStopScan();
    }

private:
    CMainDlg& dlg_;
};

struct Shown {
    std::u16string text;
    std::u16string caption;
    MessageIcon icon;
    bool scanning;    // the window was still in its scanning state
    bool treeVisible; // the tree was shown again
};

// Clicks a widget the way the window system does: press and release posted to the event
// queue, delivered by whoever processes events next (here, the scan's pump).
void postClick(QWidget* widget) {
    const QPointF at = QRectF(widget->rect()).center();
    const QPointF global = widget->mapToGlobal(at);
    QCoreApplication::postEvent(widget, new QMouseEvent(QEvent::MouseButtonPress, at, global,
                                                        Qt::LeftButton, Qt::LeftButton, {}));
    QCoreApplication::postEvent(widget, new QMouseEvent(QEvent::MouseButtonRelease, at, global,
                                                        Qt::LeftButton, Qt::NoButton, {}));
}

class AddTreeWindowTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        // 300 folders of 60 files, and one more level below every tenth folder.
        disk_ = new test::TempTree;
        for (int i = 0; i < 300; ++i) {
            const std::string folder = "dir" + std::to_string(i);
            disk_->dir(folder);
            disk_->manyFiles(folder, 60, "file");
            if (i % 10 == 0) {
                disk_->dir(folder + "/inner");
                disk_->manyFiles(folder + "/inner", 20, "deep");
            }
        }
    }
    static void TearDownTestSuite() {
        delete disk_;
        disk_ = nullptr;
    }
    static constexpr std::uint32_t kFolders = 330;
    static constexpr std::uint32_t kFiles = 300 * 60 + 30 * 20;

    AddTreeWindowTest() : dlg(u"zelvane"), commands(dlg) {
        dlg.setMessageBoxFunction([this](QWidget*, std::u16string_view text,
                                         std::u16string_view caption, MessageIcon icon,
                                         MessageButtons buttons) {
            shown.push_back({std::u16string(text), std::u16string(caption), icon, dlg.isScanning(),
                             dlg.treeView()->isVisible()});
            return buttons == MessageButtons::YesNo ? MessageAnswer::No : MessageAnswer::Ok;
        });
        dlg.setFileDialogFunction(
            [](QWidget*, const FileDialogRequest&) { return std::optional<ChosenFile>(); });
        dlg.setPopupFunction([this](QMenu*, const QPoint&) { ++popups; });
        dlg.OnInitDialog();
        dlg.activateWindow();
        QApplication::processEvents();
        dlg.setCommandTarget(&commands);
    }

    // Confirms the real Add Tree dialog with the generated tree's path and title "Big".
    void confirmDialogWithTheTree() {
        test::whenModal<CAddFolderLocation>([](CAddFolderLocation* d) {
            d->pathField()->setText(QString::fromStdString(disk_->path()));
            d->titleField()->setText("Big");
            QTest::mouseClick(d->okButton(), Qt::LeftButton);
        });
    }

    // Runs action once, from the event loop inside the scan, when it has added at least
    // items entries.
    void duringScanAfter(std::uint32_t items, std::function<void()> action) {
        auto* timer = new QTimer(&dlg);
        QObject::connect(timer, &QTimer::timeout, [this, timer, items, action] {
            const ScanState& state = processScanState();
            if (dlg.isScanning() && state.folders + state.files >= items) {
                timer->stop();
                action();
            }
        });
        timer->start(0);
    }

    std::size_t nodesBelow(NodeId node) {
        std::size_t count = 0;
        for (NodeId c = dlg.tree().firstChild(node); c != kNoNode; c = dlg.tree().nextSibling(c)) {
            count += 1 + nodesBelow(c);
        }
        return count;
    }

    bool sortedBelow(NodeId node, const TextOrder& order) {
        const SnapshotTree& t = dlg.tree();
        for (NodeId c = t.firstChild(node); c != kNoNode; c = t.nextSibling(c)) {
            const NodeId next = t.nextSibling(c);
            if ((next != kNoNode && order.compare(t.text(c), t.text(next)) > 0) ||
                !sortedBelow(c, order)) {
                return false;
            }
        }
        return true;
    }

    static test::TempTree* disk_;
    CMainDlg dlg;
    CaptureCommands commands;
    std::vector<Shown> shown;
    int popups = 0;
};

test::TempTree* AddTreeWindowTest::disk_ = nullptr;

TEST_F(AddTreeWindowTest, ACompleteCaptureIsReportedAndMarksTheSnapshotModified) {
    // An earlier root, open and selected: both stay so.
    const NodeId earlier = dlg.tree().insertLast(kTopLevel, u"Earlier");
    const NodeId child = dlg.tree().insertLast(earlier, u"child");
    dlg.tree().select(child);
    ASSERT_TRUE(dlg.treeView()->isExpanded(dlg.treeModel()->indexOf(earlier)));

    // What the progress text shows, looked at from inside every pump.
    QStringList progress;
    auto* watch = new QTimer(&dlg);
    QObject::connect(watch, &QTimer::timeout, [&] {
        if (dlg.isScanning() &&
            (progress.isEmpty() || progress.last() != dlg.progressText()->text())) {
            progress << dlg.progressText()->text();
        }
    });
    watch->start(0);
    confirmDialogWithTheTree();
    dlg.commandAction(ID_TREE_ADDTREE)->trigger();

    EXPECT_THAT(commands.calls, ElementsAre("OnAddTree"));
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].text, u"330 folder(s) & 18600 file(s) successfuly added.\n"
                             u"Total size is 0 byte(s)");
    EXPECT_EQ(shown[0].caption, u"Information");
    EXPECT_EQ(shown[0].icon, MessageIcon::Information);
    EXPECT_FALSE(shown[0].scanning) << "the summary comes after the scanning state";
    EXPECT_TRUE(shown[0].treeVisible);
    EXPECT_TRUE(dlg.document().modified);
    watch->stop();
    // "Scanning...", then the counts as they grow; each shown text is one of the scan's
    // texts (a multiple of 128 entries less one).
    ASSERT_GE(progress.size(), 2) << progress.join(" | ").toStdString();
    EXPECT_EQ(progress[0], "Scanning...");
    unsigned last = 0;
    for (const QString& text : progress.mid(1)) {
        unsigned folders = 0, files = 0;
        ASSERT_EQ(std::sscanf(text.toUtf8().constData(),
                              "Scanning...\n%u folder(s) and %u file(s) found...", &folders,
                              &files),
                  2)
            << text.toStdString();
        EXPECT_EQ((folders + files) % 128, 127u) << text.toStdString();
        EXPECT_GT(folders + files, last);
        last = folders + files;
    }

    const SnapshotTree& t = dlg.tree();
    const NodeId root = t.firstRoot();
    ASSERT_EQ(t.text(root), u"Big");
    EXPECT_TRUE(t.isBold(root));
    EXPECT_EQ(t.nextSibling(root), earlier);
    EXPECT_EQ(nodesBelow(root), std::size_t{kFolders + kFiles});
    EXPECT_EQ(t.selected(), child);
    EXPECT_FALSE(dlg.treeView()->isExpanded(dlg.treeModel()->indexOf(root)))
        << "the new root is not opened";
    EXPECT_TRUE(dlg.treeView()->isExpanded(dlg.treeModel()->indexOf(earlier)));
    EXPECT_EQ(dlg.treeModel()->rowCount(dlg.treeModel()->indexOf(root)), 300);
    EXPECT_FALSE(dlg.progressText()->isVisible());
    EXPECT_FALSE(dlg.stopButton()->isVisible());
    EXPECT_EQ(dlg.rememberedInputs().addTree,
              (AddTreeInputs{toU16(QString::fromStdString(disk_->path())), u"*", u"Big"}));
}

TEST_F(AddTreeWindowTest, StopClickedDuringTheScanEndsItAndMenuCommandsChosenThenNeverRun) {
    QSize resizedTo;
    duringScanAfter(2000, [&] {
        // Menus, the window menu's About, the tree's F2 and right-click: all dropped.
        for (int id : {ID_FILE_NEW, ID_FILE_OPEN, ID_TREE_ADDTREE, ID_ITEM_DELETE}) {
            dlg.commandAction(id)->trigger();
        }
        // A command delivered later through the queue is dropped as well.
        QMetaObject::invokeMethod(dlg.commandAction(ID_VIEW_48X48), "trigger",
                                  Qt::QueuedConnection);
        dlg.OnSysCommand(IDM_ABOUTBOX);
        dlg.OnTreeBeginLabelEdit();
        dlg.OnTreeRightClick(dlg.treeView()->mapToGlobal(QPoint(5, 5)));
        // The window still resizes during the scan; then Stop is clicked.
        dlg.resize(dlg.width() + 40, dlg.height() + 30);
        resizedTo = dlg.size();
        postClick(dlg.stopButton());
    });
    confirmDialogWithTheTree();
    dlg.commandAction(ID_TREE_ADDTREE)->trigger();
    // Whatever is still queued has its turn now.
    QTest::qWait(50);

    EXPECT_THAT(commands.calls, ElementsAre("OnAddTree", "OnStopScan"));
    EXPECT_EQ(popups, 0);
    EXPECT_TRUE(dlg.commandAction(ID_VIEW_16X16)->isChecked());
    EXPECT_FALSE(dlg.commandAction(ID_VIEW_48X48)->isChecked());
    EXPECT_EQ(dlg.size(), resizedTo);
    EXPECT_EQ(dlg.treeView()->size(), dlg.clientArea()->size());

    ASSERT_EQ(shown.size(), 1u);
    const QString summary = toQString(shown[0].text);
    EXPECT_TRUE(summary.endsWith("\n\nNote: Scanning process was interrupted."))
        << summary.toStdString();
    // The summary counts what the tree holds, and that is less than the whole tree.
    const NodeId root = dlg.tree().firstRoot();
    std::uint32_t folders = 0, files = 0;
    walkPreOrder(dlg.tree(), [&](NodeId node, std::size_t level) {
        if (level > 0) {
            (dlg.tree().kind(node) == kKindFolder ? folders : files) += 1;
        }
    });
    EXPECT_TRUE(summary.startsWith(
        QStringLiteral("%1 folder(s) & %2 file(s) successfuly added.").arg(folders).arg(files)))
        << summary.toStdString();
    EXPECT_GE(folders + files, 2000u);
    EXPECT_LT(folders + files, kFolders + kFiles);
    EXPECT_TRUE(dlg.tree().isBold(root));
    EXPECT_TRUE(sortedBelow(kTopLevel, TextOrder()));
    EXPECT_TRUE(dlg.document().modified);
    EXPECT_TRUE(dlg.isVisible());
}

TEST_F(AddTreeWindowTest, ClosingDuringTheScanStopsItThenExitAsksToSave) {
    duringScanAfter(1500, [&] { dlg.close(); });
    confirmDialogWithTheTree();
    dlg.commandAction(ID_TREE_ADDTREE)->trigger();

    // The stopped capture's summary, then Exit's prompt (answered No), then the end.
    ASSERT_EQ(shown.size(), 2u);
    EXPECT_TRUE(toQString(shown[0].text).endsWith("Note: Scanning process was interrupted."));
    EXPECT_EQ(shown[1].text, u"Save changes ?");
    EXPECT_FALSE(shown[1].scanning);
    EXPECT_THAT(commands.calls, ElementsAre("OnAddTree", "OnStopScan"));
    EXPECT_TRUE(dlg.tree().isBold(dlg.tree().firstRoot()));
    EXPECT_FALSE(dlg.takeExitRequest());
    EXPECT_FALSE(dlg.isVisible()) << "Exit ended the window";
    EXPECT_EQ(dlg.result(), 0);
}

TEST_F(AddTreeWindowTest, ACommandStillQueuedWhenTheScanEndsIsDroppedToo) {
    // As if chosen just before the scan's last pump: still in the queue when it ends.
    dlg.setScanningState(true);
    QMetaObject::invokeMethod(dlg.commandAction(ID_FILE_NEW), "trigger", Qt::QueuedConnection);
    QMetaObject::invokeMethod(dlg.commandAction(ID_VIEW_32X32), "trigger", Qt::QueuedConnection);
    dlg.setScanningState(false);
    QTest::qWait(20);
    EXPECT_TRUE(commands.calls.empty());
    EXPECT_TRUE(dlg.commandAction(ID_VIEW_16X16)->isChecked());
    EXPECT_FALSE(dlg.commandAction(ID_VIEW_32X32)->isChecked());
    // The window menu opens during a scan without holding it up.
    dlg.setScanningState(true);
    dlg.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&dlg));
    QTest::keyClick(&dlg, Qt::Key_Space, Qt::AltModifier);
    EXPECT_EQ(popups, 0) << "not the waiting pop-up";
    EXPECT_TRUE(dlg.windowMenu()->isVisible());
    dlg.windowMenu()->hide();
    dlg.setScanningState(false);
    // Once the scan is over, commands run again.
    dlg.commandAction(ID_FILE_NEW)->trigger();
    EXPECT_THAT(commands.calls, ElementsAre("OnFileNew"));
}

} // namespace
} // namespace zelvane
