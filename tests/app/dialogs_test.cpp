// Every dialog alone: what Tab reaches, what Enter does, and what it answers in its struct.
#include "gui_test.h"
#include "support/scripted_ui.h"
#include "ui/add_folder_location_qt.h"
#include "ui/item_dialogs_qt.h"
#include "ui/search_dialog_qt.h"

namespace zelvane {
namespace {

// Tab from the focused control goes round every enabled control.
void expectTabReachesEveryControl(QWidget* window) {
    QStringList controls;
    for (const QWidget* child : window->findChildren<QWidget*>()) {
        const bool field = child->inherits("QLineEdit") || child->inherits("QPlainTextEdit");
        if ((field || child->inherits("QAbstractButton")) && child->isVisibleTo(window) &&
            child->isEnabled()) {
            controls << child->objectName();
        }
    }
    QStringList reached;
    for (QWidget* at = window->focusWidget(); at != nullptr && !reached.contains(at->objectName());
         at = window->focusWidget()) {
        reached << at->objectName();
        QTest::keyClick(at, Qt::Key_Tab);
    }
    controls.sort();
    reached.sort();
    EXPECT_EQ(reached, controls) << window->windowTitle().toStdString();
}

TEST(AddTreeDialogWindow, EnterInAFieldIsOkAndReadsEachFieldIntoItsOwnMember) {
    AddTreeDialog data{{u"/data", u"*.jpg", u"Photos"}};
    CAddFolderLocation dlg(data);
    dlg.OnInitDialog();
    dlg.show();
    expectTabReachesEveryControl(&dlg);
    // "...": the chosen folder without its trailing slash.
    dlg.setFolderChooser([&](QWidget*) { return std::u16string(u"/mnt/cd/"); });
    QTest::mouseClick(dlg.browseButton(), Qt::LeftButton);
    dlg.titleField()->setText(QString(300, 't')); // read up to 249 characters
    dlg.titleField()->setFocus();
    QTest::keyClick(dlg.titleField(), Qt::Key_Return);
    EXPECT_TRUE(data.accepted && !dlg.isVisible());
    EXPECT_EQ(data.fields, (AddTreeInputs{u"/mnt/cd", u"*.jpg", std::u16string(249, u't')}));
}

TEST(ItemPropertiesWindow, NoButtonIsTheDefaultAndEnterPressesTheFocusedOne) {
    // Change... and Parent leave their request, Close none.
    for (int which = 0; which < 3; ++which) {
        ItemPropertiesDialog asked{kKindFolder, u"a\u202Egpj.exe", u"Disk", true,
                                   u"*root* \\ Disk \\"};
        CItemProperties again(asked, renderKindIcon(kKindFolder, 32));
        again.show();
        EXPECT_EQ(again.nameField()->text(), "a\\u202Egpj.exe"); // the override seen
        expectTabReachesEveryControl(&again);
        for (const QPushButton* button : again.findChildren<QPushButton*>()) {
            EXPECT_FALSE(button->isDefault() || button->autoDefault()) << which;
        }
        QPushButton* pressed[] = {again.changeButton(), again.parentButton(), again.closeButton()};
        pressed[which]->setFocus();
        QTest::keyClick(pressed[which], Qt::Key_Return);
        EXPECT_FALSE(again.isVisible()) << which;
        EXPECT_TRUE(asked.renameRequested == (which == 0) && asked.parentRequested == (which == 1))
            << which;
    }
}

TEST(RenameItemWindow, SelectsTheNameRefusesAnEmptyOneAndReadsTheTypedOne) {
    testing::ScriptedUi ui;
    RenameItemDialog data{u"old.txt"};
    CRenameItem dlg(data, ui);
    dlg.show();
    EXPECT_EQ(dlg.nameField()->selectedText(), "old.txt");
    expectTabReachesEveryControl(&dlg);
    QTest::keyClick(dlg.nameField(), Qt::Key_Delete);
    QTest::keyClick(dlg.nameField(), Qt::Key_Return);
    EXPECT_TRUE(dlg.isVisible() && !data.accepted);
    EXPECT_EQ(dlg.focusWidget(), dlg.nameField());
    QTest::keyClicks(dlg.nameField(), "new.txt");
    QTest::keyClick(dlg.nameField(), Qt::Key_Return);
    EXPECT_TRUE(data.accepted && !dlg.isVisible());
    EXPECT_EQ(data.name, u"new.txt");
}

TEST(SearchWindow, SpaceTogglesABoxAndEnterSearches) {
    testing::ScriptedUi ui;
    SearchDialog data{{u"*.txt", true, false, true, true, false}};
    CSearch dlg(data, ui);
    dlg.show();
    expectTabReachesEveryControl(&dlg);
    dlg.patternEdit()->clear();
    QTest::keyClick(dlg.checkBox(IDC_SEARCH_FILES_ONLY), Qt::Key_Space);
    QTest::keyClicks(dlg.patternEdit(), "a?c");
    QTest::keyClick(dlg.patternEdit(), Qt::Key_Return);
    EXPECT_TRUE(data.accepted && !dlg.isVisible());
    EXPECT_EQ(data.options, (SearchOptions{u"a?c", true, false, true, true, true}));
}

} // namespace
} // namespace zelvane
