// Every dialog on its own, offscreen, as the user meets it: its caption, the texts of its
// controls, the order Tab visits them in, what OK, Cancel, Escape and Enter do, and the
// struct it is filled from and leaves its answer in.
#include <QAbstractItemView>
#include <QApplication>
#include <QCheckBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTest>
#include <QTreeView>
#include <gtest/gtest.h>

#include "about/about_dlg_qt.h"
#include "capture/add_folder_location_qt.h"
#include "icons/icon_set_qt.h"
#include "items/item_dialogs_qt.h"
#include "search/search_dialog_qt.h"
#include "search/search_results_window_qt.h"
#include "support/scripted_ui.h"

namespace zelvane {
namespace {

// What a control shows: a button's text, an edit's text in brackets.
QString shown(QWidget* control) {
    if (auto* button = qobject_cast<QAbstractButton*>(control)) {
        return button->text();
    }
    if (auto* edit = qobject_cast<QLineEdit*>(control)) {
        return "[" + edit->text() + "]";
    }
    if (auto* edit = qobject_cast<QPlainTextEdit*>(control)) {
        return "[" + edit->toPlainText() + "]";
    }
    return qobject_cast<QAbstractItemView*>(control) != nullptr ? "list" : control->objectName();
}

// Shows the window and presses Tab from the control that has the focus until the focus
// comes back to it: the controls visited, in order.
QStringList tabOrder(QWidget* window) {
    window->show();
    window->activateWindow();
    EXPECT_TRUE(QTest::qWaitForWindowActive(window));
    QWidget* const first = QApplication::focusWidget();
    QStringList visited;
    for (QWidget* at = first; at != nullptr && visited.size() < 12;) {
        visited << shown(at);
        QTest::keyClick(at, Qt::Key_Tab);
        at = QApplication::focusWidget();
        if (at == first) {
            break;
        }
    }
    return visited;
}

QStringList labels(const QWidget* window) {
    QStringList texts;
    for (const QLabel* label : window->findChildren<QLabel*>()) {
        if (!label->text().isEmpty()) {
            texts << label->text();
        }
    }
    return texts;
}

// A key pressed where the window has its focus.
void pressKey(QWidget* window, Qt::Key key) {
    QTest::keyClick(window->focusWidget() != nullptr ? window->focusWidget() : window, key);
}

TEST(AddTreeDialogWindow, OpensWithTheRememberedFieldsAndOkReadsThemCut) {
    AddTreeDialog data{{u"/data", u"*.jpg", u"Photos"}};
    CAddFolderLocation dlg(data);
    dlg.OnInitDialog();
    EXPECT_EQ(dlg.windowTitle(), "Add Tree");
    EXPECT_EQ(labels(&dlg), QStringList({"Path", "Title (leave empty to use the path)", "Filter"}));
    EXPECT_EQ(tabOrder(&dlg),
              QStringList({"[/data]", "[*.jpg]", "[Photos]", "OK", "Cancel", "..."}));

    // "...": a chosen folder replaces the path, without its trailing slash; a cancelled
    // chooser changes nothing.
    dlg.setFolderChooser([](QWidget*) { return std::optional<std::u16string>(u"/mnt/cd/"); });
    QTest::mouseClick(dlg.browseButton(), Qt::LeftButton);
    EXPECT_EQ(dlg.pathField()->text(), "/mnt/cd");
    dlg.setFolderChooser([](QWidget*) { return std::optional<std::u16string>(); });
    QTest::mouseClick(dlg.browseButton(), Qt::LeftButton);
    EXPECT_EQ(dlg.pathField()->text(), "/mnt/cd");

    // Enter in a field is OK; each field is read up to 249 characters.
    dlg.titleField()->setText(QString(300, 't'));
    dlg.titleField()->setFocus();
    pressKey(&dlg, Qt::Key_Return);
    EXPECT_FALSE(dlg.isVisible());
    EXPECT_TRUE(data.accepted);
    EXPECT_EQ(data.fields, (AddTreeInputs{u"/mnt/cd", u"*.jpg", std::u16string(249, u't')}));
}

TEST(AddTreeDialogWindow, EscapeAndCancelChangeNothing) {
    for (bool escape : {true, false}) {
        AddTreeDialog data{{u"/", u"*", u""}};
        CAddFolderLocation dlg(data);
        dlg.OnInitDialog();
        dlg.show();
        dlg.pathField()->setText("/elsewhere");
        escape ? pressKey(&dlg, Qt::Key_Escape)
               : QTest::mouseClick(dlg.cancelButton(), Qt::LeftButton);
        EXPECT_FALSE(dlg.isVisible()) << escape;
        EXPECT_FALSE(data.accepted) << escape;
        EXPECT_EQ(data.fields.path, u"/") << escape;
    }
}

ItemPropertiesDialog folderProperties(bool parentEnabled) {
    ItemPropertiesDialog data;
    data.kind = kKindFolder;
    data.name = u"Docs";
    data.parentName = u"Disk";
    data.parentEnabled = parentEnabled;
    data.fullPath = u"*root* \\ Disk \\";
    data.renameRequested = data.parentRequested = true; // cleared when the dialog opens
    return data;
}

TEST(ItemPropertiesWindow, ShowsTheNodeReadOnlyWithItsIcon) {
    ItemPropertiesDialog data = folderProperties(true);
    CItemProperties dlg(data, renderKindIcon(kKindFolder, CItemProperties::standardIconSize()));
    EXPECT_EQ(dlg.windowTitle(), "Item Properties");
    EXPECT_EQ(labels(&dlg), QStringList({"Name", "Parent", "Full Path"}));
    EXPECT_EQ(tabOrder(&dlg), QStringList({"[Docs]", "Change...", "Close", "[Disk]",
                                           "[*root* \\ Disk \\]", "Properties..."}));
    EXPECT_FALSE(dlg.iconPicture()->pixmap().isNull());
    EXPECT_TRUE(dlg.nameField()->isReadOnly());
    EXPECT_TRUE(dlg.fullPathField()->isReadOnly());
    EXPECT_FALSE(data.renameRequested || data.parentRequested);

    // Typing changes nothing; Enter in the name field closes the dialog and asks nothing.
    dlg.nameField()->setFocus();
    QTest::keyClicks(dlg.nameField(), "xyz");
    EXPECT_EQ(dlg.nameField()->text(), "Docs");
    pressKey(&dlg, Qt::Key_Return);
    EXPECT_FALSE(dlg.isVisible());
    EXPECT_FALSE(data.renameRequested || data.parentRequested);
}

TEST(ItemPropertiesWindow, EachButtonLeavesItsRequest) {
    struct Case {
        const char* button;
        bool rename, parent;
    };
    for (const Case& c : {Case{"Change...", true, false}, Case{"Properties...", false, true},
                          Case{"Close", false, false}, Case{"Escape", false, false}}) {
        ItemPropertiesDialog data = folderProperties(true);
        CItemProperties dlg(data, QPixmap());
        dlg.show();
        if (QString(c.button) == "Escape") {
            pressKey(&dlg, Qt::Key_Escape);
        } else {
            for (QPushButton* button : dlg.findChildren<QPushButton*>()) {
                if (button->text() == c.button) {
                    QTest::mouseClick(button, Qt::LeftButton);
                }
            }
        }
        EXPECT_FALSE(dlg.isVisible()) << c.button;
        EXPECT_EQ(data.renameRequested, c.rename) << c.button;
        EXPECT_EQ(data.parentRequested, c.parent) << c.button;
    }
}

TEST(ItemPropertiesWindow, ARootHasNoParentToShow) {
    ItemPropertiesDialog data = folderProperties(false);
    CItemProperties dlg(data, QPixmap());
    EXPECT_FALSE(dlg.parentButton()->isEnabled());
    EXPECT_FALSE(tabOrder(&dlg).contains("Properties..."));
    EXPECT_TRUE(dlg.iconPicture()->pixmap().isNull());
}

TEST(RenameItemWindow, RefusesAnEmptyNameAndKeepsTheDialogOpen) {
    testing::ScriptedUi ui;
    RenameItemDialog data{u"old.txt"};
    CRenameItem dlg(data, ui);
    EXPECT_EQ(dlg.windowTitle(), "Rename Item");
    EXPECT_EQ(labels(&dlg), QStringList({"Name"}));
    EXPECT_EQ(tabOrder(&dlg), QStringList({"[old.txt]", "OK", "Cancel"}));
    dlg.nameField()->setFocus();
    EXPECT_EQ(dlg.nameField()->selectedText(), "old.txt");

    // Typing replaces the selected name; an empty name is refused through the port.
    QTest::keyClick(dlg.nameField(), Qt::Key_Delete);
    pressKey(&dlg, Qt::Key_Return);
    EXPECT_TRUE(dlg.isVisible());
    EXPECT_FALSE(data.accepted);
    ASSERT_EQ(ui.transcript().size(), 1u);
    EXPECT_NE(ui.transcript()[0].find("The name must not be empty!"), std::string::npos);
    EXPECT_EQ(QApplication::focusWidget(), dlg.nameField());

    QTest::keyClicks(dlg.nameField(), "new.txt");
    pressKey(&dlg, Qt::Key_Return);
    EXPECT_FALSE(dlg.isVisible());
    EXPECT_TRUE(data.accepted);
    EXPECT_EQ(data.name, u"new.txt");
}

TEST(RenameItemWindow, EscapeAndCancelKeepTheOldName) {
    for (bool escape : {true, false}) {
        testing::ScriptedUi ui;
        RenameItemDialog data{u"old.txt"};
        CRenameItem dlg(data, ui);
        dlg.show();
        dlg.nameField()->setText("typed");
        escape ? pressKey(&dlg, Qt::Key_Escape)
               : QTest::mouseClick(dlg.cancelButton(), Qt::LeftButton);
        EXPECT_FALSE(dlg.isVisible());
        EXPECT_FALSE(data.accepted);
        EXPECT_EQ(data.name, u"old.txt");
    }
}

TEST(SearchWindow, OpensWithTheOptionsAndSearchReadsThemAll) {
    testing::ScriptedUi ui;
    SearchDialog data{{u"*.txt", true, false, true, true, false}};
    CSearch dlg(data, ui);
    EXPECT_EQ(dlg.windowTitle(), "Search");
    EXPECT_EQ(labels(&dlg), QStringList({"Pattern"}));
    EXPECT_EQ(tabOrder(&dlg),
              QStringList({"[*.txt]", "Match case", "Match whole pattern only",
                           "Start searching from current folder (otherwise use global root)",
                           "Search", "Cancel", "Recursive search to achieve subitems",
                           "Search for files only (no roots and folders in Search Results)"}));
    for (auto [id, checked] : {std::pair{IDC_SEARCH_MATCH_CASE, false},
                               {IDC_SEARCH_LOCAL, true},
                               {IDC_SEARCH_WHOLE_PATTERN, true},
                               {IDC_SEARCH_RECURSIVE, true},
                               {IDC_SEARCH_FILES_ONLY, false}}) {
        EXPECT_EQ(dlg.checkBox(id)->isChecked(), checked) << id;
        // Every box's text is shown whole.
        EXPECT_GE(dlg.checkBox(id)->width(), dlg.checkBox(id)->sizeHint().width()) << id;
    }

    // An empty pattern is refused and the dialog stays; then Space toggles a box and Enter
    // searches.
    dlg.patternEdit()->clear();
    dlg.patternEdit()->setFocus();
    pressKey(&dlg, Qt::Key_Return);
    EXPECT_TRUE(dlg.isVisible());
    ASSERT_EQ(ui.transcript().size(), 1u);
    EXPECT_NE(ui.transcript()[0].find("Please, fill pattern!"), std::string::npos);
    dlg.checkBox(IDC_SEARCH_FILES_ONLY)->setFocus();
    pressKey(&dlg, Qt::Key_Space);
    dlg.patternEdit()->setFocus();
    QTest::keyClicks(dlg.patternEdit(), "a?c");
    pressKey(&dlg, Qt::Key_Return);
    EXPECT_FALSE(dlg.isVisible());
    EXPECT_TRUE(data.accepted);
    EXPECT_EQ(data.options, (SearchOptions{u"a?c", true, false, true, true, true}));
}

TEST(SearchWindow, EscapeKeepsTheOptions) {
    testing::ScriptedUi ui;
    SearchDialog data{{u"x", false, false, false, true, false}};
    CSearch dlg(data, ui);
    dlg.show();
    dlg.checkBox(IDC_SEARCH_MATCH_CASE)->setChecked(true);
    pressKey(&dlg, Qt::Key_Escape);
    EXPECT_FALSE(dlg.isVisible());
    EXPECT_FALSE(data.accepted);
    EXPECT_EQ(data.options, (SearchOptions{u"x", false, false, false, true, false}));
}

TEST(SearchResultsWindow, ListsTheRowsAndReportsDoubleClicks) {
    SnapshotTree tree;
    const NodeId disk = tree.insertLast(kTopLevel, u"Disk");
    tree.setKind(disk, kKindDriveRoot);
    for (const char16_t* name : {u"a.txt", u"b.txt", u"c.mp3"}) {
        tree.setKind(tree.insertLast(disk, name), kKindDocument);
    }
    SearchResults results;
    SearchEngine().run(tree, SearchOptions{u".txt"}, results);
    ASSERT_EQ(results.size(), 2u);

    const IconSet icons = IconSet::build(24);
    CSearchResults window;
    window.setIconSet(&icons);
    window.open();
    window.fill(results);
    EXPECT_EQ(window.windowTitle(), "Search Results");
    QAbstractItemModel* model = window.list()->model();
    EXPECT_EQ(model->headerData(0, Qt::Horizontal).toString(), "Item");
    EXPECT_EQ(model->headerData(1, Qt::Horizontal).toString(), "Path");
    ASSERT_EQ(model->rowCount(), 2);
    EXPECT_EQ(model->index(1, 0).data().toString(), "b.txt");
    EXPECT_FALSE(model->index(1, 0).data(Qt::DecorationRole).isNull());
    EXPECT_EQ(window.list()->iconSize(), QSize(24, 24));
    EXPECT_EQ(tabOrder(&window), QStringList({"list"}));

    std::vector<std::optional<std::size_t>> activated;
    window.setActivatedHandler([&](std::optional<std::size_t> row) { activated.push_back(row); });
    const QRect second = window.list()->visualRect(model->index(1, 0));
    // A double-click: its first click selects the row.
    QTest::mouseClick(window.list()->viewport(), Qt::LeftButton, {}, second.center());
    QTest::mouseDClick(window.list()->viewport(), Qt::LeftButton, {}, second.center());
    EXPECT_EQ(activated, (std::vector<std::optional<std::size_t>>{1}));
    pressKey(&window, Qt::Key_Escape);
    EXPECT_FALSE(window.isVisible());
}

class RecordingHandlers : public AboutBoxHandlers {
public:
    void onVisitHomePage() override { calls << "home page"; }
    void onVisitCompany() override { calls << "company"; }
    void onLicense() override { calls << "license"; }
    QStringList calls;
};

TEST(AboutWindow, ShowsTheProductAndEachButtonCallsItsHandler) {
    RecordingHandlers handlers;
    CAboutDlg dlg(handlers);
    EXPECT_EQ(dlg.windowTitle(), "About Zelvane");
    EXPECT_EQ(dlg.productText()->text(), "Zelvane Version 2.0");
    EXPECT_EQ(tabOrder(&dlg), QStringList({"Close", "Visit Zelvane Home Page",
                                           "Visit Halcyra Company Home Page", "License..."}));
    for (int id : {kIdVisitHomePage, kIdVisitCompany, kIdLicense}) {
        QTest::mouseClick(dlg.button(id), Qt::LeftButton);
    }
    EXPECT_EQ(handlers.calls, QStringList({"home page", "company", "license"}));
    EXPECT_TRUE(dlg.isVisible());
    pressKey(&dlg, Qt::Key_Escape);
    EXPECT_FALSE(dlg.isVisible());
    dlg.show();
    dlg.button(kIdClose)->setFocus();
    pressKey(&dlg, Qt::Key_Return);
    EXPECT_FALSE(dlg.isVisible());
    EXPECT_EQ(dlg.result(), QDialog::Accepted);
    EXPECT_EQ(handlers.calls.size(), 3);
}

TEST(LicenseWindow, ShowsTheWholeTextReadOnlyWithAScrollBar) {
    QString text;
    for (int line = 1; line <= 200; ++line) {
        text += QStringLiteral("Licence line %1\n").arg(line);
    }
    CLicenseWnd window(text.toStdU16String());
    EXPECT_EQ(window.windowTitle(), "License");
    EXPECT_EQ(window.okButton()->text(), "OK");
    EXPECT_EQ(window.textView()->toPlainText(), text);
    EXPECT_TRUE(window.textView()->isReadOnly());
    EXPECT_TRUE(tabOrder(&window).contains("OK"));
    EXPECT_GT(window.textView()->verticalScrollBar()->maximum(), 0);
    QTest::mouseClick(window.okButton(), Qt::LeftButton);
    EXPECT_FALSE(window.isVisible());
    window.show();
    pressKey(&window, Qt::Key_Escape);
    EXPECT_FALSE(window.isVisible());
}

} // namespace
} // namespace zelvane
