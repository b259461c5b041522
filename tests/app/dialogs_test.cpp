// Every dialog on its own, offscreen, as the user meets it: its caption and texts, the
// order Tab visits its controls in, what OK, Cancel, Escape and Enter do, and the struct it
// is filled from and leaves its answer in.
#include <QAbstractItemView>
#include <QApplication>
#include <QCheckBox>
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

// The caption, then the texts of the labels.
QStringList captionAndLabels(const QWidget* window) {
    QStringList texts{window->windowTitle()};
    for (const QLabel* label : window->findChildren<QLabel*>()) {
        if (!label->text().isEmpty()) {
            texts << label->text();
        }
    }
    return texts;
}

// Shows the window and presses Tab from the focus until it comes back: what each control
// visited shows (a button its text, an edit its text in brackets, a list "list").
QStringList tabOrder(QWidget* window) {
    window->show();
    window->activateWindow();
    EXPECT_TRUE(QTest::qWaitForWindowActive(window));
    QWidget* const first = QApplication::focusWidget();
    QStringList visited;
    for (QWidget* at = first; at != nullptr && visited.size() < 12;) {
        if (auto* button = qobject_cast<QAbstractButton*>(at)) {
            visited << button->text();
        } else if (auto* edit = qobject_cast<QLineEdit*>(at)) {
            visited << "[" + edit->text() + "]";
        } else if (auto* text = qobject_cast<QPlainTextEdit*>(at)) {
            visited << "[" + text->toPlainText() + "]";
        } else {
            visited << (qobject_cast<QAbstractItemView*>(at) ? "list" : at->objectName());
        }
        QTest::keyClick(at, Qt::Key_Tab);
        at = QApplication::focusWidget() == first ? nullptr : QApplication::focusWidget();
    }
    return visited;
}

// A key pressed where the window has its focus.
void pressKey(QWidget* window, Qt::Key key) {
    QTest::keyClick(window->focusWidget() != nullptr ? window->focusWidget() : window, key);
}

TEST(AddTreeDialogWindow, OpensWithTheRememberedFieldsAndOkReadsThemCut) {
    AddTreeDialog data{{u"/data", u"*.jpg", u"Photos"}};
    CAddFolderLocation dlg(data);
    dlg.OnInitDialog();
    EXPECT_EQ(captionAndLabels(&dlg),
              QStringList({"Add Tree", "Path", "Title (leave empty to use the path)", "Filter"}));
    EXPECT_EQ(tabOrder(&dlg),
              QStringList({"[/data]", "[*.jpg]", "[Photos]", "OK", "Cancel", "..."}));

    // "...": the chosen folder without its trailing slash; a cancelled chooser changes nothing.
    dlg.setFolderChooser([](QWidget*) { return std::optional<std::u16string>(u"/mnt/cd/"); });
    QTest::mouseClick(dlg.browseButton(), Qt::LeftButton);
    dlg.setFolderChooser([](QWidget*) { return std::optional<std::u16string>(); });
    QTest::mouseClick(dlg.browseButton(), Qt::LeftButton);
    EXPECT_EQ(dlg.pathField()->text(), "/mnt/cd");

    // Enter in a field is OK; each field is read up to 249 characters.
    dlg.titleField()->setText(QString(300, 't'));
    dlg.titleField()->setFocus();
    pressKey(&dlg, Qt::Key_Return);
    EXPECT_TRUE(data.accepted && !dlg.isVisible());
    EXPECT_EQ(data.fields, (AddTreeInputs{u"/mnt/cd", u"*.jpg", std::u16string(249, u't')}));

    // Escape and Cancel read nothing.
    for (bool escape : {true, false}) {
        AddTreeDialog other{{u"/", u"*", u""}};
        CAddFolderLocation again(other);
        again.show();
        again.pathField()->setText("/elsewhere");
        escape ? pressKey(&again, Qt::Key_Escape)
               : QTest::mouseClick(again.cancelButton(), Qt::LeftButton);
        EXPECT_FALSE(again.isVisible() || other.accepted) << escape;
        EXPECT_EQ(other.fields.path, u"/") << escape;
    }
}

ItemPropertiesDialog folderProperties(bool parentEnabled) {
    ItemPropertiesDialog data{kKindFolder, u"Docs", u"Disk", parentEnabled, u"*root* \\ Disk \\"};
    data.renameRequested = data.parentRequested = true; // cleared when the dialog opens
    return data;
}

TEST(ItemPropertiesWindow, ShowsTheNodeReadOnlyAndEachButtonLeavesItsRequest) {
    ItemPropertiesDialog data = folderProperties(true);
    CItemProperties dlg(data, renderKindIcon(kKindFolder, CItemProperties::standardIconSize()));
    EXPECT_EQ(captionAndLabels(&dlg),
              QStringList({"Item Properties", "Name", "Parent", "Full Path"}));
    EXPECT_EQ(tabOrder(&dlg), QStringList({"[Docs]", "Change...", "Close", "[Disk]",
                                           "[*root* \\ Disk \\]", "Properties..."}));
    EXPECT_FALSE(dlg.iconPicture()->pixmap().isNull());
    EXPECT_FALSE(data.renameRequested || data.parentRequested);
    // Read-only; Enter in the name field closes the dialog and asks nothing.
    EXPECT_TRUE(dlg.nameField()->isReadOnly() && dlg.fullPathField()->isReadOnly());
    dlg.nameField()->setFocus();
    pressKey(&dlg, Qt::Key_Return);
    EXPECT_FALSE(dlg.isVisible() || data.renameRequested || data.parentRequested);

    for (int which = 0; which < 4; ++which) { // Change..., Properties..., Close, Escape
        ItemPropertiesDialog asked = folderProperties(true);
        CItemProperties again(asked, QPixmap());
        again.show();
        QPushButton* buttons[] = {again.changeButton(), again.parentButton(), again.closeButton()};
        which < 3 ? QTest::mouseClick(buttons[which], Qt::LeftButton)
                  : pressKey(&again, Qt::Key_Escape);
        EXPECT_FALSE(again.isVisible()) << which;
        EXPECT_EQ(asked.renameRequested, which == 0) << which;
        EXPECT_EQ(asked.parentRequested, which == 1) << which;
    }

    // A root has no parent to show: its button is off and Tab passes it by.
    ItemPropertiesDialog root = folderProperties(false);
    CItemProperties rootDlg(root, QPixmap());
    EXPECT_FALSE(tabOrder(&rootDlg).contains("Properties..."));
    EXPECT_TRUE(rootDlg.iconPicture()->pixmap().isNull());
}

TEST(RenameItemWindow, RefusesAnEmptyNameThenAcceptsAndEscapeKeepsTheOldName) {
    testing::ScriptedUi ui;
    RenameItemDialog data{u"old.txt"};
    CRenameItem dlg(data, ui);
    EXPECT_EQ(captionAndLabels(&dlg), QStringList({"Rename Item", "Name"}));
    EXPECT_EQ(tabOrder(&dlg), QStringList({"[old.txt]", "OK", "Cancel"}));
    dlg.nameField()->setFocus();
    EXPECT_EQ(dlg.nameField()->selectedText(), "old.txt");

    // Typing replaces the selected name; an empty one is refused through the port.
    QTest::keyClick(dlg.nameField(), Qt::Key_Delete);
    pressKey(&dlg, Qt::Key_Return);
    EXPECT_TRUE(dlg.isVisible() && !data.accepted);
    ASSERT_EQ(ui.transcript().size(), 1u);
    EXPECT_NE(ui.transcript()[0].find("The name must not be empty!"), std::string::npos);
    EXPECT_EQ(QApplication::focusWidget(), dlg.nameField());
    QTest::keyClicks(dlg.nameField(), "new.txt");
    pressKey(&dlg, Qt::Key_Return);
    EXPECT_TRUE(data.accepted && !dlg.isVisible());
    EXPECT_EQ(data.name, u"new.txt");

    for (bool escape : {true, false}) {
        RenameItemDialog other{u"old.txt"};
        CRenameItem again(other, ui);
        again.show();
        again.nameField()->setText("typed");
        escape ? pressKey(&again, Qt::Key_Escape)
               : QTest::mouseClick(again.cancelButton(), Qt::LeftButton);
        EXPECT_FALSE(again.isVisible() || other.accepted) << escape;
        EXPECT_EQ(other.name, u"old.txt") << escape;
    }
}

TEST(SearchWindow, OpensWithTheOptionsSearchReadsThemAllAndEscapeKeepsThem) {
    testing::ScriptedUi ui;
    const SearchOptions before{u"*.txt", true, false, true, true, false};
    SearchDialog data{before};
    CSearch dlg(data, ui);
    EXPECT_EQ(captionAndLabels(&dlg), QStringList({"Search", "Pattern"}));
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
    }
    dlg.checkBox(IDC_SEARCH_MATCH_CASE)->setChecked(true);
    pressKey(&dlg, Qt::Key_Escape);
    EXPECT_FALSE(dlg.isVisible() || data.accepted);
    EXPECT_EQ(data.options, before);

    // An empty pattern is refused and the dialog stays; Space toggles a box, Enter searches.
    CSearch again(data, ui);
    again.show();
    again.patternEdit()->clear();
    again.patternEdit()->setFocus();
    pressKey(&again, Qt::Key_Return);
    EXPECT_TRUE(again.isVisible());
    ASSERT_EQ(ui.transcript().size(), 1u);
    EXPECT_NE(ui.transcript()[0].find("Please, fill pattern!"), std::string::npos);
    again.checkBox(IDC_SEARCH_FILES_ONLY)->setFocus();
    pressKey(&again, Qt::Key_Space);
    again.patternEdit()->setFocus();
    QTest::keyClicks(again.patternEdit(), "a?c");
    pressKey(&again, Qt::Key_Return);
    EXPECT_TRUE(data.accepted && !again.isVisible());
    EXPECT_EQ(data.options, (SearchOptions{u"a?c", true, false, true, true, true}));
}

TEST(SearchResultsWindow, ListsTheRowsAndReportsDoubleClicks) {
    SnapshotTree tree;
    const NodeId disk = tree.insertLast(kTopLevel, u"Disk");
    for (const char16_t* name : {u"a.txt", u"b.txt", u"c.mp3"}) {
        tree.setKind(tree.insertLast(disk, name), kKindDocument);
    }
    SearchResults results;
    SearchEngine().run(tree, SearchOptions{u".txt"}, results);
    const IconSet icons = IconSet::build(24);
    CSearchResults window;
    window.setIconSet(&icons);
    window.open();
    window.fill(results);
    EXPECT_EQ(window.windowTitle(), "Search Results");
    QAbstractItemModel* model = window.list()->model();
    EXPECT_EQ(model->headerData(0, Qt::Horizontal).toString() + " " +
                  model->headerData(1, Qt::Horizontal).toString(),
              "Item Path");
    ASSERT_EQ(model->rowCount(), 2);
    EXPECT_EQ(model->index(1, 0).data().toString() + " " + model->index(1, 1).data().toString(),
              "b.txt  Disk"); // the path as the engine gives it
    EXPECT_FALSE(model->index(1, 0).data(Qt::DecorationRole).isNull());
    EXPECT_EQ(tabOrder(&window), QStringList({"list"}));

    std::vector<std::optional<std::size_t>> activated;
    window.setActivatedHandler([&](std::optional<std::size_t> row) { activated.push_back(row); });
    // A double-click: its first click selects the row.
    const QPoint second = window.list()->visualRect(model->index(1, 0)).center();
    QTest::mouseClick(window.list()->viewport(), Qt::LeftButton, {}, second);
    QTest::mouseDClick(window.list()->viewport(), Qt::LeftButton, {}, second);
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
    EXPECT_EQ(captionAndLabels(&dlg), QStringList({"About Zelvane", "Zelvane Version 2.0"}));
    EXPECT_EQ(tabOrder(&dlg), QStringList({"Close", "Visit Zelvane Home Page",
                                           "Visit Halcyra Company Home Page", "License..."}));
    for (int id : {kIdVisitHomePage, kIdVisitCompany, kIdLicense}) {
        QTest::mouseClick(dlg.button(id), Qt::LeftButton);
    }
    EXPECT_EQ(handlers.calls, QStringList({"home page", "company", "license"}));
    pressKey(&dlg, Qt::Key_Escape);
    EXPECT_EQ(dlg.result(), QDialog::Rejected);
    dlg.show();
    dlg.button(kIdClose)->setFocus();
    pressKey(&dlg, Qt::Key_Return);
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
    EXPECT_EQ(window.textView()->toPlainText(), text);
    EXPECT_TRUE(window.textView()->isReadOnly());
    EXPECT_TRUE(tabOrder(&window).contains("OK"));
    EXPECT_GT(window.textView()->verticalScrollBar()->maximum(), 0);
    QTest::mouseClick(window.okButton(), Qt::LeftButton);
    EXPECT_FALSE(window.isVisible());
}

} // namespace
} // namespace zelvane
