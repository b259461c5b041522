// The Search dialog and the Search Results window, offscreen: their controls, the
// opening and sizing steps, double-clicks into the main tree, and the no-match path.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QTest>
#include <QTimer>
#include <QTreeView>
#include <cstdlib>

#include "app/command_ids.h"
#include "app/dialog_units.h"
#include "app/main_dlg.h"
#include "app/qt_text.h"
#include "app/snapshot_tree_model.h"
#include "app/snapshot_tree_view.h"
#include "icons/icon_set.h"
#include "search/qt_search_port.h"
#include "search/search_dialog.h"
#include "search/search_results_window.h"

namespace zelvane {
namespace {

struct ShownMessage {
    QWidget* owner;
    std::u16string text;
    std::u16string caption;
    MessageIcon icon;
    MessageButtons buttons;
};

// Records message boxes instead of showing them.
struct MessageLog {
    std::vector<ShownMessage> shown;
    // Whether the results window was still visible when each message came.
    std::vector<bool> resultsVisible;
    MessageBoxFunction function() {
        return [this](QWidget* owner, std::u16string_view text, std::u16string_view caption,
                      MessageIcon icon, MessageButtons buttons) {
            shown.push_back({owner, std::u16string(text), std::u16string(caption), icon, buttons});
            resultsVisible.push_back(owner != nullptr && owner->isVisible());
            return MessageAnswer::Ok;
        };
    }
};

DialogBaseUnits baseUnitsOf(const QWidget& widget) {
    const QFontMetrics metrics(widget.font());
    return dialogBaseUnits(metrics.horizontalAdvance(QStringLiteral(
                               "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz")),
                           metrics.height());
}

// ---------------------------------------------------------------- CSearch

TEST(SearchDialog, ControlsStandWhereTheTemplatePutsThem) {
    CSearch dialog(SearchOptions{});
    EXPECT_EQ(dialog.windowTitle(), QStringLiteral("Search"));
    const DialogBaseUnits base = baseUnitsOf(dialog);
    struct Expected {
        QWidget* widget;
        int x, y;
        const char* text;
    };
    const Expected controls[] = {
        {dialog.patternLabel(), 7, 7, "Pattern"},
        {dialog.patternEdit(), 7, 16, ""},
        {dialog.checkBox(1002), 7, 36, "Match case"},
        {dialog.checkBox(1003), 7, 49, "Match whole pattern only"},
        {dialog.checkBox(1006), 7, 62, "Recursive search to achieve subitems"},
        {dialog.checkBox(1004), 7, 75,
         "Start searching from current folder (otherwise use global root)"},
        {dialog.checkBox(1007), 7, 88,
         "Search for files only (no roots and folders in Search Results)"},
        {dialog.searchButton(), 125, 113, "Search"},
        {dialog.cancelButton(), 178, 113, "Cancel"},
    };
    for (const Expected& c : controls) {
        const PixelRect r = mapDialogRect(c.x, c.y, 1, 1, base);
        EXPECT_EQ(c.widget->pos(), QPoint(r.x, r.y)) << c.text;
        EXPECT_EQ(c.widget->property("text").toString(), QString::fromUtf8(c.text));
    }
    EXPECT_EQ(dialog.patternEdit()->width(), mapDialogRect(0, 0, 221, 12, base).width);
    EXPECT_TRUE(dialog.searchButton()->isDefault());
    EXPECT_EQ(dialog.findChild<QWidget*>(QStringLiteral("control_1001")), dialog.patternEdit());

    // Every label is shown whole inside the dialog.
    for (int id : {1002, 1003, 1004, 1006, 1007}) {
        QCheckBox* box = dialog.checkBox(id);
        EXPECT_GE(box->width(), box->sizeHint().width()) << id;
        EXPECT_LE(box->geometry().right(), dialog.width()) << id;
    }

    // Template order is the tab order.
    const std::vector<QWidget*> order = {
        dialog.patternEdit(),  dialog.checkBox(1002), dialog.checkBox(1003), dialog.checkBox(1004),
        dialog.searchButton(), dialog.cancelButton(), dialog.checkBox(1006), dialog.checkBox(1007)};
    auto nextTabStop = [](QWidget* w) {
        do {
            w = w->nextInFocusChain();
        } while ((w->focusPolicy() & Qt::TabFocus) == 0);
        return w;
    };
    for (std::size_t i = 0; i + 1 < order.size(); ++i) {
        EXPECT_EQ(nextTabStop(order[i]), order[i + 1]) << i;
    }
}

TEST(SearchDialog, OpensWithTheCurrentOptions) {
    SearchOptions current;
    current.pattern = u"\u00e9t\u00e9 *";
    current.isMatchCase = true;
    current.isFilesOnly = true;
    current.isRecursiveSearch = false;
    CSearch dialog(current);
    EXPECT_EQ(dialog.patternEdit()->text(), QString::fromUtf8("été *"));
    EXPECT_TRUE(dialog.checkBox(IDC_SEARCH_MATCH_CASE)->isChecked());
    EXPECT_FALSE(dialog.checkBox(IDC_SEARCH_WHOLE_PATTERN)->isChecked());
    EXPECT_FALSE(dialog.checkBox(IDC_SEARCH_LOCAL)->isChecked());
    EXPECT_FALSE(dialog.checkBox(IDC_SEARCH_RECURSIVE)->isChecked());
    EXPECT_TRUE(dialog.checkBox(IDC_SEARCH_FILES_ONLY)->isChecked());

    // First run: an empty pattern with only the recursive box checked.
    CSearch first(SearchOptions{});
    EXPECT_TRUE(first.patternEdit()->text().isEmpty());
    for (int id : {1002, 1003, 1004, 1007}) {
        EXPECT_FALSE(first.checkBox(id)->isChecked()) << id;
    }
    EXPECT_TRUE(first.checkBox(IDC_SEARCH_RECURSIVE)->isChecked());
}

TEST(SearchDialog, AnEmptyPatternIsRefusedAndTheDialogStaysOpen) {
    MessageLog log;
    CSearch dialog(SearchOptions{});
    dialog.setMessageBoxFunction(log.function());
    dialog.show();
    dialog.checkBox(IDC_SEARCH_LOCAL)->setChecked(true);
    QTest::mouseClick(dialog.searchButton(), Qt::LeftButton);
    ASSERT_EQ(log.shown.size(), 1u);
    EXPECT_EQ(log.shown[0].owner, &dialog);
    EXPECT_EQ(log.shown[0].text, u"Please, fill pattern!");
    EXPECT_EQ(log.shown[0].caption, u"Error");
    EXPECT_EQ(log.shown[0].icon, MessageIcon::Exclamation);
    EXPECT_EQ(log.shown[0].buttons, MessageButtons::Ok);
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_FALSE(dialog.confirmed());
    EXPECT_TRUE(dialog.checkBox(IDC_SEARCH_LOCAL)->isChecked());
}

TEST(SearchDialog, EnterInThePatternActsAsSearch) {
    CSearch dialog(SearchOptions{});
    dialog.show();
    dialog.activateWindow();
    dialog.patternEdit()->setFocus();
    QTest::keyClicks(dialog.patternEdit(), QStringLiteral("  "));
    dialog.checkBox(IDC_SEARCH_WHOLE_PATTERN)->setChecked(true);
    QTest::keyClick(dialog.patternEdit(), Qt::Key_Return);
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    ASSERT_TRUE(dialog.confirmed());
    EXPECT_EQ(dialog.confirmed()->pattern, u"  "); // spaces are a pattern
    EXPECT_TRUE(dialog.confirmed()->isMatchWholePatternOnly);
    EXPECT_TRUE(dialog.confirmed()->isRecursiveSearch);
}

TEST(SearchDialog, APastedPatternIsCutTo510Characters) {
    CSearch dialog(SearchOptions{});
    dialog.patternEdit()->setText(QString(510, QLatin1Char('a')) + QString(90, QLatin1Char('b')));
    dialog.OnOK();
    ASSERT_TRUE(dialog.confirmed());
    EXPECT_EQ(dialog.confirmed()->pattern, std::u16string(510, u'a'));
}

// ---------------------------------------------------------------- CSearchResults

class ResultsWindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        root = add(kTopLevel, u"Disk", kKindDriveRoot);
        docs = add(root, u" Docs", kKindFolder);
        add(docs, u"ReadMe.txt", kKindDocument);
        add(docs, u"sound.mp3", kKindMedia);
        add(root, u"readme.md", kKindDocument);
        icons = IconSet::build(16);
    }
    NodeId add(NodeId parent, std::u16string_view text, int kind) {
        const NodeId id = tree.insertLast(parent, text);
        tree.setKind(id, kind);
        return id;
    }
    SearchResults search(std::u16string pattern) {
        SearchOptions o;
        o.pattern = std::move(pattern);
        return searchTree(tree, o);
    }

    SnapshotTree tree;
    NodeId root, docs;
    IconSet icons;
};

TEST_F(ResultsWindowTest, ShowsTheRowsInTheEnginesOrderAndSizesToTheColumns) {
    const SearchResults results = search(u"d");
    CSearchResults window;
    window.setIconSet(&icons);
    window.setOrigin(QPoint(40, 30));
    window.open();
    EXPECT_TRUE(window.isVisible());
    EXPECT_EQ(window.windowTitle(), QStringLiteral("Search Results"));
    EXPECT_EQ(window.pos(), QPoint(40, 30));
    window.fill(results);

    QTreeView* list = window.list();
    EXPECT_EQ(list->objectName(), QStringLiteral("control_1005"));
    QAbstractItemModel* model = list->model();
    EXPECT_EQ(model->headerData(0, Qt::Horizontal).toString(), QStringLiteral("Item"));
    EXPECT_EQ(model->headerData(1, Qt::Horizontal).toString(), QStringLiteral("Path"));
    ASSERT_EQ(model->rowCount(), 5);
    const QStringList items = {QStringLiteral("Disk"), QStringLiteral(" Docs"),
                               QStringLiteral("ReadMe.txt"), QStringLiteral("sound.mp3"),
                               QStringLiteral("readme.md")};
    const QStringList paths = {QString(), QStringLiteral(" Disk"), QStringLiteral(" Disk\\ Docs"),
                               QStringLiteral(" Disk\\ Docs"), QStringLiteral(" Disk")};
    for (int row = 0; row < 5; ++row) {
        EXPECT_EQ(model->index(row, 0).data().toString(), items[row]) << row;
        EXPECT_EQ(model->index(row, 1).data().toString(), paths[row]) << row;
        EXPECT_FALSE(model->index(row, 0).data(Qt::DecorationRole).value<QIcon>().isNull());
    }
    EXPECT_EQ(list->selectionBehavior(), QAbstractItemView::SelectRows);
    EXPECT_EQ(list->selectionMode(), QAbstractItemView::SingleSelection);
    EXPECT_FALSE(list->isSortingEnabled());

    // Columns fit their widest text; the window is their sum plus 32 pixels wide and
    // keeps its place; the list fills it.
    const QFontMetrics metrics(list->font());
    EXPECT_GE(list->columnWidth(0), metrics.horizontalAdvance(QStringLiteral("ReadMe.txt")) + 16);
    EXPECT_GE(list->columnWidth(1), metrics.horizontalAdvance(QStringLiteral(" Disk\\ Docs")));
    EXPECT_LT(list->columnWidth(1), metrics.horizontalAdvance(QStringLiteral(" Disk\\ Docs")) + 40);
    EXPECT_EQ(window.frameGeometry().width(), list->columnWidth(0) + list->columnWidth(1) + 32);
    EXPECT_EQ(window.pos(), QPoint(40, 30));
    EXPECT_EQ(list->geometry(), window.rect());

    // The list follows every resize.
    window.resize(700, 333);
    EXPECT_EQ(list->geometry(), QRect(0, 0, 700, 333));
    window.showMaximized();
    QApplication::processEvents();
    EXPECT_EQ(list->geometry(), window.rect());
}

TEST_F(ResultsWindowTest, VeryLongPathsMakeTheWindowNoWiderThanTheScreen) {
    NodeId parent = docs;
    for (int i = 0; i < 40; ++i) {
        parent = add(parent, u" a rather long folder name", kKindFolder);
    }
    add(parent, u"needle", kKindOther);
    const SearchResults results = search(u"needle");
    CSearchResults window;
    window.open();
    window.fill(results);
    const int screenWidth = window.screen()->availableGeometry().width();
    EXPECT_GT(window.list()->columnWidth(1), screenWidth);
    EXPECT_EQ(window.frameGeometry().width(), screenWidth);
}

TEST_F(ResultsWindowTest, RowsAreTallEnoughForTheIconSize) {
    const IconSet big = IconSet::build(48);
    const SearchResults results = search(u"e");
    CSearchResults window;
    window.setIconSet(&big);
    window.open();
    window.fill(results);
    EXPECT_GE(window.list()->visualRect(window.list()->model()->index(0, 0)).height(), 48);
    EXPECT_EQ(window.list()->iconSize(), QSize(48, 48));
}

TEST_F(ResultsWindowTest, AHundredThousandRowsOpenAtOnce) {
    for (int i = 0; i < 100000; ++i) {
        add(docs, u"file.txt", kKindDocument);
    }
    const SearchResults results = search(u"file");
    CSearchResults window;
    window.setIconSet(&icons);
    window.open();
    window.fill(results);
    EXPECT_EQ(window.list()->model()->rowCount(), 100000);
    window.list()->scrollToBottom();
    QApplication::processEvents();
    EXPECT_EQ(window.list()->model()->index(99999, 1).data().toString(),
              QStringLiteral(" Disk\\ Docs"));
}

TEST_F(ResultsWindowTest, EnterAndEscapeCloseTheWindow) {
    const SearchResults results = search(u"d");
    for (Qt::Key key : {Qt::Key_Return, Qt::Key_Escape}) {
        CSearchResults window;
        window.open();
        window.fill(results);
        window.list()->setFocus();
        QTest::keyClick(window.list(), key);
        EXPECT_FALSE(window.isVisible()) << key;
        EXPECT_EQ(window.result(), key == Qt::Key_Return ? QDialog::Accepted : QDialog::Rejected);
    }
}

TEST_F(ResultsWindowTest, ADoubleClickWithoutASelectedRowDoesNothing) {
    const SearchResults results = search(u"d");
    CSearchResults window;
    window.open();
    window.fill(results);
    std::vector<std::optional<std::size_t>> activated;
    window.setActivatedHandler([&](std::optional<std::size_t> row) { activated.push_back(row); });
    window.list()->clearSelection();
    window.OnListDoubleClick();
    EXPECT_TRUE(activated.empty());
    window.list()->selectionModel()->select(window.list()->model()->index(2, 0),
                                            QItemSelectionModel::Select |
                                                QItemSelectionModel::Rows);
    window.OnListDoubleClick();
    EXPECT_THAT(activated, ::testing::ElementsAre(std::optional<std::size_t>(2)));
}

// ---------------------------------------------------------------- the whole command

class SearchCommandWindowsTest : public ::testing::Test {
protected:
    void SetUp() override {
        main.setMessageBoxFunction(log.function());
        main.OnInitDialog();
        SnapshotTree& tree = main.tree();
        root = tree.insertLast(kTopLevel, u"Disk");
        tree.setKind(root, kKindDriveRoot);
        a = tree.insertLast(root, u" a");
        tree.setKind(a, kKindFolder);
        b = tree.insertLast(a, u" b");
        tree.setKind(b, kKindFolder);
        deepFile = tree.insertLast(b, u"deep.txt");
        tree.setKind(deepFile, kKindDocument);
        other = tree.insertLast(root, u"other.txt");
        tree.setKind(other, kKindDocument);
    }

    // Scripts the two dialogs as they come up modally: fills the Search dialog with
    // pattern and presses Search (or Cancel when pattern is empty), then runs onResults
    // on the results window and closes it.
    void script(QString pattern, std::function<void(CSearchResults*)> onResults) {
        auto* timer = new QTimer(&main);
        timer->setInterval(10);
        QObject::connect(timer, &QTimer::timeout, timer, [this, timer, pattern, onResults] {
            QWidget* modal = QApplication::activeModalWidget();
            if (auto* search = qobject_cast<CSearch*>(modal);
                search != nullptr && search->isVisible()) {
                if (pattern.isEmpty()) {
                    QTest::mouseClick(search->cancelButton(), Qt::LeftButton);
                    return;
                }
                search->patternEdit()->setText(pattern);
                QTest::mouseClick(search->searchButton(), Qt::LeftButton);
            } else if (auto* results = qobject_cast<CSearchResults*>(modal);
                       results != nullptr && results->isVisible() && results != resultsSeen) {
                resultsSeen = results;
                onResults(results);
                results->reject();
                timer->stop();
            }
        });
        timer->start();
    }

    MessageLog log;
    CMainDlg main{u"zelvane"};
    NodeId root, a, b, deepFile, other;
    CSearchResults* resultsSeen = nullptr;
};

TEST_F(SearchCommandWindowsTest, ADoubleClickSelectsTheNodeAndExpandsItsFolders) {
    SnapshotTreeView* view = main.treeView();
    ASSERT_FALSE(view->isExpanded(main.treeModel()->index(0, 0)));
    script(QStringLiteral("deep"), [&](CSearchResults* results) {
        EXPECT_TRUE(results->isVisible());
        EXPECT_EQ(results->pos(), main.clientArea()->mapToGlobal(QPoint(0, 0)));
        EXPECT_EQ(results->list()->iconSize(), QSize(16, 16));
        QTreeView* list = results->list();
        const QRect row = list->visualRect(list->model()->index(0, 0));
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, row.center());
        QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, row.center());
        EXPECT_EQ(main.tree().selected(), deepFile);
        EXPECT_TRUE(results->isVisible()); // stays open for the next match
    });
    main.OnCommand(ID_TREE_SEARCH);
    ASSERT_NE(resultsSeen, nullptr);
    ASSERT_EQ(log.shown.size(), 1u);
    EXPECT_EQ(log.shown[0].text, u"1 matches found.");
    EXPECT_EQ(log.shown[0].caption, u"Information");
    EXPECT_EQ(log.shown[0].icon, MessageIcon::Information);
    EXPECT_TRUE(log.resultsVisible[0]); // owned by the results window
    // After closing: still selected, its folders open.
    EXPECT_EQ(main.tree().selected(), deepFile);
    EXPECT_TRUE(view->isExpanded(view->model()->index(0, 0)));
    EXPECT_EQ(main.rememberedInputs().search.pattern, u"deep");
    // The main tree keeps its icons.
    EXPECT_EQ(main.iconSet().count(), 12);
}

TEST_F(SearchCommandWindowsTest, NoMatchShowsTheCountAndLeavesNoWindow) {
    bool ran = false;
    script(QStringLiteral("nowhere"), [&](CSearchResults*) { ran = true; });
    main.OnCommand(ID_TREE_SEARCH);
    EXPECT_FALSE(ran);
    ASSERT_EQ(log.shown.size(), 1u);
    EXPECT_EQ(log.shown[0].text, u"0 matches found.");
    EXPECT_TRUE(main.findChildren<CSearchResults*>().isEmpty());
    EXPECT_EQ(main.rememberedInputs().search.pattern, u"nowhere");
}

TEST_F(SearchCommandWindowsTest, CancelKeepsTheOptions) {
    main.rememberedInputs().search.pattern = u"kept";
    script(QString(), [](CSearchResults*) {});
    main.OnCommand(ID_TREE_SEARCH);
    EXPECT_TRUE(log.shown.empty());
    EXPECT_EQ(main.rememberedInputs().search.pattern, u"kept");
}

// Saves the pictures of the two windows for the documentation when
// ZELVANE_SCREENSHOT_DIR names a folder.
TEST_F(SearchCommandWindowsTest, Screenshots) {
    const char* dir = std::getenv("ZELVANE_SCREENSHOT_DIR");
    if (dir == nullptr) {
        GTEST_SKIP() << "ZELVANE_SCREENSHOT_DIR not set";
    }
    SnapshotTree& tree = main.tree();
    const NodeId music = tree.insertLast(root, u" Music");
    tree.setKind(music, kKindFolder);
    for (const char16_t* name :
         {u"readme first.txt", u"Setup.exe", u"photos.zip", u"Readme.lnk", u"holiday readme.jpg"}) {
        tree.setKind(tree.insertLast(music, name), name[0] == u'S'   ? kKindProgram
                                                   : name[0] == u'p' ? kKindArchive
                                                   : name[0] == u'R' ? kKindShortcut
                                                   : name[0] == u'h' ? kKindMedia
                                                                     : kKindDocument);
    }
    tree.setKind(tree.insertLast(b, u"README.TXT"), kKindDocument);
    SearchOptions current;
    current.pattern = u"readme";
    current.isFilesOnly = true;
    CSearch dialog(current, &main);
    dialog.show();
    QApplication::processEvents();
    EXPECT_TRUE(
        dialog.grab().save(QDir(QString::fromLocal8Bit(dir)).filePath("search-dialog.png")));

    const SearchResults results = searchTree(tree, current);
    CSearchResults window(&main);
    window.setIconSet(&main.iconSet());
    window.open();
    window.fill(results);
    QApplication::processEvents();
    window.list()->selectionModel()->select(window.list()->model()->index(1, 0),
                                            QItemSelectionModel::Select |
                                                QItemSelectionModel::Rows);
    QApplication::processEvents();
    EXPECT_TRUE(
        window.grab().save(QDir(QString::fromLocal8Bit(dir)).filePath("search-results.png")));
}

} // namespace
} // namespace zelvane
