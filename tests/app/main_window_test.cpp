// The main window with its real dialogs, boxes and menus, each answered from inside its own
// modal run, its tree model under Qt's model tester all along.
#include <QAbstractItemModelTester>
#include <deque>

#include "app/command_ids.h"
#include "app/main_dlg_qt.h"
#include "app/progress_text_qt.h"
#include "app/snapshot_tree_model_qt.h"
#include "app/snapshot_tree_view_qt.h"
#include "document/snapshot_file.h"
#include "gui_test.h"
#include "icons/view_sizes.h"
#include "support/memory_settings.h"
#include "support/temp_tree.h"
#include "ui/add_folder_location_qt.h"
#include "ui/item_dialogs_qt.h"
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

// The main window, noting every progress text the scan reports and whether the window
// showed it at once.
class WatchedWindow : public CMainDlg {
public:
    using CMainDlg::CMainDlg;
    void setProgressText(std::u16string_view text) override {
        CMainDlg::setProgressText(text);
        reported << toQString(text);
        shownAtOnce = shownAtOnce && findChild<ProgressText*>()->text() == reported.back();
    }
    QStringList reported;
    bool shownAtOnce = true;
};

class MainWindowTest : public ::testing::Test {
protected:
    MainWindowTest() { previous = qInstallMessageHandler(failOnModelReport); }
    ~MainWindowTest() override { qInstallMessageHandler(previous); }

    QAction* command(int id) { return dlg.findChild<QAction*>(QString("command_%1").arg(id)); }

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
            if (stop->isVisible() && state.folders + state.files >= 300) {
                timer->stop();
                duringScan();
            }
        });
        timer->start(0);
        command(ID_TREE_ADDTREE)->trigger();
        EXPECT_TRUE(boxes.value(0).endsWith("\n\nNote: Scanning process was interrupted."))
            << boxes.value(0).toStdString();
    }

    test::TempTree disk;
    QtMessageHandler previous;
    MemorySettingsBackend settings;
    WatchedWindow dlg{u"zelvane", settings};
    SnapshotTreeView* view = dlg.findChild<SnapshotTreeView*>();
    QPushButton* stop = dlg.findChild<QPushButton*>(QString("control_%1").arg(IDC_STOP));
    QAbstractItemModelTester tester{view->model(),
                                    QAbstractItemModelTester::FailureReportingMode::Warning};
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
            scanningShown = !view->isVisible() && dlg.findChild<ProgressText*>()->isVisible() &&
                            dlg.findChild<ProgressText*>()->text().startsWith("Scanning...");
            // Dropped: File > New would empty the tree, View would change the icons, and
            // the window menu's About and F2 would open a dialog that holds the scan.
            command(ID_FILE_NEW)->trigger();
            command(ID_VIEW_48X48)->trigger();
            for (QAction* item : dlg.findChild<QMenu*>("window_menu")->actions()) {
                if (item->data() == IDM_ABOUTBOX) {
                    item->trigger();
                }
            }
            dlg.OnTreeBeginLabelEdit();
            QTest::mouseClick(stop, Qt::LeftButton);
        },
        {QMessageBox::Ok});
    EXPECT_TRUE(scanningShown);
    // Each text the scan reported was shown at once, from "Scanning..." to "Sorting...".
    EXPECT_TRUE(dlg.shownAtOnce);
    ASSERT_GE(dlg.reported.size(), 4);
    EXPECT_TRUE(dlg.reported.front() == "Scanning..." && dlg.reported.back() == "Sorting...");
    const SnapshotTree& tree = dlg.document().tree();
    ASSERT_EQ(tree.text(tree.firstRoot()), u"Big");
    EXPECT_LT(tree.size(), 1u + 40 + 40 * 50);
    EXPECT_TRUE(view->iconSize() == QSize(16, 16) && !command(ID_VIEW_48X48)->isChecked() &&
                command(ID_VIEW_16X16)->isChecked());
    EXPECT_TRUE(view->isVisible() && !stop->isVisible());

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
    EXPECT_EQ(dlg.windowTitle(), "start.zelv - Zelvane");
    // The tree alone, at 16 pixels; the progress text and Stop wait for a scan.
    EXPECT_EQ(view->iconSize(), QSize(16, 16));
    EXPECT_TRUE(view->isVisible() && !stop->isVisible());
    EXPECT_FALSE(dlg.findChild<ProgressText*>()->isVisible());

    const SnapshotTree& tree = dlg.document().tree();
    const NodeId notes = tree.firstChild(tree.firstRoot());
    view->expandAll();
    QApplication::processEvents();
    // Each size draws the icons at its size and checks its item alone.
    for (const ViewSize& size : viewSizes()) {
        command(size.commandId)->trigger();
        EXPECT_EQ(view->iconRect(notes).width(), size.pixels);
        for (const ViewSize& other : viewSizes()) {
            EXPECT_EQ(command(other.commandId)->isChecked(), &other == &size);
        }
    }
    // A right-click selects the node and opens the Item menu, whose Properties... shows it.
    QString propertiesName;
    whenShown<QMenu>([&](QMenu* menu) {
        EXPECT_EQ(menu->title(), "&Item");
        whenShown<CItemProperties>([&](CItemProperties* properties) {
            propertiesName = properties->nameField()->text();
            properties->reject();
        });
        menu->setActiveAction(command(ID_ITEM_PROPERTIES));
        QTest::keyClick(menu, Qt::Key_Return);
    });
    QTest::mouseClick(view->viewport(), Qt::RightButton, {}, view->labelRect(notes).center());
    EXPECT_EQ(tree.selected(), notes);
    EXPECT_EQ(propertiesName, "notes.txt");
}

TEST_F(MainWindowTest, OneMenuBarWithViewAndHelpAtItsRightEndWhichTheArrowKeysReach) {
    dlg.OnInitDialog();
    auto* bar = dlg.findChild<QMenuBar*>();
    QList<QAction*> menus = bar->actions();
    menus.removeIf([](const QAction* action) { return action->menu() == nullptr; });
    ASSERT_EQ(menus.size(), 5);
    EXPECT_TRUE(bar->findChildren<QMenuBar*>().isEmpty());
    // File, Item and Tree from the left, View and Help against the right end, at any width.
    for (int width : {520, 900}) {
        dlg.resize(width, 400);
        QApplication::processEvents();
        EXPECT_LE(bar->width() - bar->actionGeometry(menus[4]).right(), 8) << width;
        EXPECT_LE(bar->actionGeometry(menus[0]).left(), 8) << width;
        EXPECT_GT(bar->actionGeometry(menus[3]).left() - bar->actionGeometry(menus[2]).right(),
                  width / 3)
            << width;
    }
    // From an open menu Right goes on to the next one, past Tree to View, and round to File;
    // Left goes back round the other way.
    auto walk = [](Qt::Key key) {
        QStringList titles;
        for (int step = 0;; ++step) {
            const auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
            titles << (menu != nullptr ? menu->title() : "");
            if (step == 5) {
                return titles;
            }
            QTest::keyClick(QApplication::activePopupWidget(), key);
        }
    };
    bar->setActiveAction(menus[0]);
    EXPECT_EQ(walk(Qt::Key_Right),
              QStringList({"&File", "&Item", "&Tree", "&View", "&Help", "&File"}));
    EXPECT_EQ(walk(Qt::Key_Left),
              QStringList({"&File", "&Help", "&View", "&Tree", "&Item", "&File"}));
    QApplication::activePopupWidget()->close();
}

TEST_F(MainWindowTest, MessageBoxesShowTheirWholeCaptionAPictureOfTheirOwnAndPlainButtons) {
    UiPort& port = dlg;
    QList<QImage> pictures;
    for (MessageIcon icon : {MessageIcon::Information, MessageIcon::Exclamation,
                             MessageIcon::Question, MessageIcon::Error}) {
        whenShown<QMessageBox>([&](QMessageBox* box) {
            pictures << box->findChild<QLabel*>("qt_msgboxex_icon_label")->pixmap().toImage();
            for (const QAbstractButton* button : box->buttons()) {
                EXPECT_TRUE(button->icon().isNull()) << button->text().toStdString();
            }
            QFont bold = box->font();
            bold.setBold(true);
            EXPECT_GT(box->width(), QFontMetrics(bold).horizontalAdvance("Information") + 64);
            box->buttons().constFirst()->click();
        });
        port.messageBox(u"?", u"Information", icon, MessageButtons::YesNo);
    }
    ASSERT_EQ(pictures.size(), 4);
    for (int i = 0; i < 4; ++i) {
        EXPECT_FALSE(pictures[i].isNull() || pictures.indexOf(pictures[i]) != i) << i;
    }
}

TEST_F(MainWindowTest, OpenAndSaveAsShowTheNameSizeAndDateColumnsWhole) {
    UiPort& port = dlg;
    for (auto kind : {FileDialogRequest::Kind::Open, FileDialogRequest::Kind::Save}) {
        whenShown<QFileDialog>([&](QFileDialog* dialog) {
            const auto* list = dialog->findChild<QTreeView*>("treeView");
            ASSERT_NE(list, nullptr);
            const QHeaderView* header = list->header();
            const QFontMetrics metrics(list->font());
            const QString date =
                QLocale().toString(QDateTime::currentDateTime(), QLocale::ShortFormat);
            EXPECT_GT(header->sectionSize(3), metrics.horizontalAdvance(date));
            EXPECT_GT(header->sectionSize(1), metrics.horizontalAdvance("1,023.88 KiB"));
            // The dialog widens as it is shown, and settles in the events that follow.
            for (QDeadlineTimer wait(2000);
                 header->length() > list->viewport()->width() && !wait.hasExpired();) {
                QApplication::processEvents();
            }
            EXPECT_LE(header->length(), list->viewport()->width());
            dialog->reject();
        });
        EXPECT_EQ(
            port.fileDialog({kind, {{u"Zelvane Files (*.zelv)", u"*.zelv"}}, u"zelv", u"a.zelv"}),
            std::nullopt);
    }
}

} // namespace
} // namespace zelvane
