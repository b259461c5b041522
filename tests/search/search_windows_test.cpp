// The Search dialog and the Search Results window, offscreen: their controls, the
// whole Search command from the main window (found, no match, refused and cancelled),
// the limits of the results list, and the documentation's pictures.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QTest>
#include <QTimer>
#include <QTreeView>

#include "app/command_ids.h"
#include "app/main_dlg_qt.h"
#include "app/snapshot_tree_view_qt.h"
#include "icons/icon_set_qt.h"
#include "search/search_dialog_qt.h"
#include "search/search_results_window_qt.h"

namespace zelvane {
namespace {

using ::testing::ElementsAre;

TEST(SearchDialog, ControlsTextsIdentifiersAndTabOrder) {
    CSearch dialog(SearchOptions{});
    EXPECT_EQ(dialog.windowTitle(), QStringLiteral("Search"));
    EXPECT_EQ(dialog.patternLabel()->text(), QStringLiteral("Pattern"));
    EXPECT_TRUE(dialog.searchButton()->isDefault());
    // In template order, which is the tab order.
    const std::pair<QWidget*, const char*> controls[] = {
        {dialog.patternEdit(), "1001 "},
        {dialog.checkBox(1002), "1002 Match case"},
        {dialog.checkBox(1003), "1003 Match whole pattern only"},
        {dialog.checkBox(1004), "1004 Start searching from current folder (otherwise use global "
                                "root)"},
        {dialog.searchButton(), "1 Search"},
        {dialog.cancelButton(), "2 Cancel"},
        {dialog.checkBox(1006), "1006 Recursive search to achieve subitems"},
        {dialog.checkBox(1007), "1007 Search for files only (no roots and folders in Search "
                                "Results)"},
    };
    QWidget* tabStop = dialog.patternEdit();
    for (const auto& [widget, expected] : controls) {
        EXPECT_EQ(tabStop, widget) << expected;
        EXPECT_EQ(widget->objectName().mid(8) + " " + widget->property("text").toString(),
                  QString::fromUtf8(expected));
        if (qobject_cast<QCheckBox*>(widget) != nullptr) { // every label is shown whole
            EXPECT_GE(widget->width(), widget->sizeHint().width()) << expected;
            EXPECT_LE(widget->geometry().right(), dialog.width()) << expected;
        }
        do {
            tabStop = tabStop->nextInFocusChain();
        } while ((tabStop->focusPolicy() & Qt::TabFocus) == 0);
    }
}

TEST(SearchDialog, OpensWithTheCurrentOptions) {
    CSearch dialog({u"\u00e9t\u00e9 *", false, true, false, false, true});
    EXPECT_EQ(dialog.patternEdit()->text(), QString::fromUtf8("été *"));
    for (const auto& [id, checked] :
         {std::pair{1002, true}, {1003, false}, {1004, false}, {1006, false}, {1007, true}}) {
        EXPECT_EQ(dialog.checkBox(id)->isChecked(), checked) << id;
    }
}

// The Search command from the main window, with its message boxes recorded as lines.
class SearchFlowTest : public ::testing::Test {
protected:
    void SetUp() override {
        main.setMessageBoxFunction([this](QWidget* owner, std::u16string_view text,
                                          std::u16string_view caption, MessageIcon icon,
                                          MessageButtons buttons) {
            const char* const icons[] = {"None", "Information", "Exclamation", "Question", "Error"};
            auto* results = qobject_cast<CSearchResults*>(owner);
            messages.push_back(
                QStringView(text).toString().toStdString() + " | " +
                QStringView(caption).toString().toStdString() + " | " + icons[int(icon)] +
                (buttons == MessageButtons::Ok ? " OK | " : " | ") +
                owner->objectName().toStdString() + (owner->isVisible() ? "" : " hidden") +
                (results ? " with " + std::to_string(results->list()->model()->rowCount()) + " rows"
                         : ""));
            return MessageAnswer::Ok;
        });
        main.OnInitDialog();
        root = add(kTopLevel, u"Disk", kKindDriveRoot);
        b = add(add(root, u" a", kKindFolder), u" b", kKindFolder);
        deepFile = add(b, u"deep.txt", kKindDocument);
        add(root, u"other.txt", kKindDocument);
    }
    NodeId add(NodeId parent, std::u16string_view text, int kind) {
        const NodeId id = main.tree().insertLast(parent, text);
        main.tree().setKind(id, kind);
        return id;
    }

    // Answers the two windows as they come up modally: the Search dialog is handed to
    // onDialog, then gets pattern and Enter, or with no pattern Search and then Cancel; the
    // results window is handed to onResults and closed.
    void run(
        QString pattern, std::function<void(CSearchResults*)> onResults,
        std::function<void(CSearch*)> onDialog = [](CSearch*) {}) {
        auto* timer = new QTimer(&main);
        bool triedEmpty = false;
        QObject::connect(timer, &QTimer::timeout, timer, [=, this]() mutable {
            QWidget* modal = QApplication::activeModalWidget();
            if (auto* search = qobject_cast<CSearch*>(modal); search && search->isVisible()) {
                onDialog(search);
                search->patternEdit()->setText(pattern);
                if (!pattern.isEmpty()) {
                    QTest::keyClick(search->patternEdit(), Qt::Key_Return);
                } else {
                    QTest::mouseClick(triedEmpty ? search->cancelButton() : search->searchButton(),
                                      Qt::LeftButton);
                    triedEmpty = true;
                }
            } else if (auto* results = qobject_cast<CSearchResults*>(modal);
                       results && results->isVisible()) {
                timer->stop();
                onResults(results);
                results->reject();
            }
        });
        timer->start(10);
        main.OnCommand(ID_TREE_SEARCH);
        delete timer;
    }

    CMainDlg main{u"zelvane"};
    std::vector<std::string> messages;
    NodeId root, b, deepFile;
};

TEST_F(SearchFlowTest, FoundRowsAreListedCountedAndADoubleClickSelectsTheNode) {
    SnapshotTreeView* view = main.treeView();
    ASSERT_FALSE(view->isExpanded(view->model()->index(0, 0)));
    run(QStringLiteral("t"), [&](CSearchResults* window) {
        EXPECT_EQ(window->windowTitle(), QStringLiteral("Search Results"));
        QTreeView* list = window->list();
        EXPECT_EQ(list->objectName(), QStringLiteral("control_1005"));
        QAbstractItemModel* model = list->model();
        QStringList rows = {model->headerData(0, Qt::Horizontal).toString() + "|" +
                            model->headerData(1, Qt::Horizontal).toString()};
        for (int row = 0; row < model->rowCount(); ++row) {
            rows << model->index(row, 0).data().toString() + "|" +
                        model->index(row, 1).data().toString();
            EXPECT_FALSE(model->index(row, 0).data(Qt::DecorationRole).value<QIcon>().isNull());
        }
        EXPECT_EQ(rows, QStringList({"Item|Path", "deep.txt| Disk\\ a\\ b", "other.txt| Disk"}));
        EXPECT_EQ(list->selectionBehavior(), QAbstractItemView::SelectRows);
        EXPECT_FALSE(list->isSortingEnabled());
        EXPECT_EQ(list->iconSize(), QSize(16, 16)); // the main tree's current size

        // Columns fit their widest text; the window is their sum plus 32 pixels wide, at
        // the main window's client top-left; the list fills it and follows every resize.
        const QFontMetrics metrics(list->font());
        const int pathWidth = metrics.horizontalAdvance(QStringLiteral(" Disk\\ a\\ b"));
        EXPECT_GE(list->columnWidth(0),
                  metrics.horizontalAdvance(QStringLiteral("other.txt")) + 16);
        EXPECT_GE(list->columnWidth(1), pathWidth);
        EXPECT_LT(list->columnWidth(1), pathWidth + 40);
        EXPECT_EQ(window->frameGeometry().width(),
                  list->columnWidth(0) + list->columnWidth(1) + 32);
        EXPECT_EQ(window->pos(), main.clientArea()->mapToGlobal(QPoint(0, 0)));
        EXPECT_EQ(list->geometry(), window->rect());
        window->resize(700, 333);
        EXPECT_EQ(list->geometry(), QRect(0, 0, 700, 333));

        const QRect row = list->visualRect(model->index(0, 0));
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, row.center());
        QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, row.center());
        EXPECT_EQ(main.tree().selected(), deepFile);
        EXPECT_TRUE(window->isVisible()); // stays open for the next match
    });
    EXPECT_THAT(
        messages,
        ElementsAre("2 matches found. | Information | Information OK | dialog_273 with 2 rows"));
    // After closing: still selected, its folders open.
    EXPECT_EQ(main.tree().selected(), deepFile);
    EXPECT_TRUE(view->isExpanded(view->model()->index(0, 0)));
    EXPECT_EQ(main.rememberedInputs().search.pattern, u"t");
    EXPECT_EQ(main.iconSet().count(), 12); // the main tree keeps its icons
}

TEST_F(SearchFlowTest, NoMatchEndsAfterTheCountAndCancelStoresNothing) {
    // Only the pattern is changed: 600 spaces, cut to 510 and searched for as they are.
    SearchOptions& stored = main.rememberedInputs().search;
    stored = {u"old", false, true, false, false, true};
    const SearchOptions expected{std::u16string(510, u' '), false, true, false, false, true};
    bool ran = false;
    run(QString(600, QLatin1Char(' ')), [&](CSearchResults*) { ran = true; });
    EXPECT_FALSE(ran);
    EXPECT_THAT(
        messages,
        ElementsAre("0 matches found. | Information | Information OK | dialog_273 with 0 rows"));
    EXPECT_TRUE(main.findChildren<CSearchResults*>().isEmpty());
    EXPECT_EQ(stored, expected); // replaced as a set

    // An empty pattern is refused with the dialog left open; Cancel then keeps the options.
    messages.clear();
    run(QString(), [&](CSearchResults*) { ran = true; });
    EXPECT_THAT(messages,
                ElementsAre("Please, fill pattern! | Error | Exclamation OK | dialog_272"));
    EXPECT_EQ(stored, expected);
}

TEST(SearchResultsWindow, AHundredThousandRowsOpenAtOnceNoWiderThanTheScreen) {
    SnapshotTree tree;
    const NodeId docs = tree.insertLast(tree.insertLast(kTopLevel, u"Disk"), u" Docs");
    for (int i = 0; i < 100000; ++i) {
        tree.insertLast(docs, u"file.txt");
    }
    NodeId parent = docs;
    for (int i = 0; i < 40; ++i) {
        parent = tree.insertLast(parent, u" a rather long folder name");
    }
    tree.insertLast(parent, u"file");
    const SearchResults results = searchTree(tree, {u"file"});
    const IconSet big = IconSet::build(48); // rows as tall as the current View size
    CSearchResults window;
    window.setIconSet(&big);
    window.open();
    window.fill(results);
    QTreeView* list = window.list();
    ASSERT_EQ(list->model()->rowCount(), 100001);
    EXPECT_EQ(list->iconSize(), QSize(48, 48));
    EXPECT_GE(list->visualRect(list->model()->index(0, 0)).height(), 48);
    list->scrollToBottom();
    QApplication::processEvents();
    EXPECT_EQ(list->model()->index(99999, 1).data().toString(), QStringLiteral(" Disk\\ Docs"));
    const int screenWidth = window.screen()->availableGeometry().width();
    EXPECT_GT(list->columnWidth(1), screenWidth);
    EXPECT_EQ(window.frameGeometry().width(), screenWidth);
}

// Saves the two windows' pictures for the documentation when ZELVANE_SCREENSHOT_DIR is set.
TEST_F(SearchFlowTest, Screenshots) {
    const QString dir = qEnvironmentVariable("ZELVANE_SCREENSHOT_DIR");
    if (dir.isEmpty()) {
        GTEST_SKIP() << "ZELVANE_SCREENSHOT_DIR not set";
    }
    for (const char16_t* name : {u"README.TXT", u"readme first.txt", u"old readme.zip"}) {
        add(b, name, kKindDocument);
    }
    main.rememberedInputs().search = {u"readme", false, false, false, true, true};
    auto shoot = [&](QWidget* window, const char* name) {
        QApplication::processEvents();
        EXPECT_TRUE(window->grab().save(QDir(dir).filePath(name)));
    };
    run(
        QStringLiteral("readme"), [&](CSearchResults* w) { shoot(w, "search-results.png"); },
        [&](CSearch* d) { shoot(d, "search-dialog.png"); });
}

} // namespace
} // namespace zelvane
