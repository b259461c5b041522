// Every dialog alone: its texts, the struct it fills from and answers in, its keys and buttons.
#include "app/progress_text_qt.h"
#include "gui_test.h"
#include "support/scripted_ui.h"
#include "ui/about_dlg_qt.h"
#include "ui/add_folder_location_qt.h"
#include "ui/item_dialogs_qt.h"
#include "ui/search_dialog_qt.h"

namespace zelvane {
namespace {

// Keyboard-only use: Tab from the focused control goes round every control the user can
// operate (atEachStop looks at the window at each one), and every edit field is named for
// screen readers by the label whose buddy it is.
void expectTabReachesEveryControlAndLabelsNameTheFields(
    QWidget* window, const std::function<void()>& atEachStop = [] {}) {
    QStringList controls, unnamed;
    const QList<QLabel*> labels = window->findChildren<QLabel*>();
    for (const QWidget* child : window->findChildren<QWidget*>()) {
        const bool field = child->inherits("QLineEdit") || child->inherits("QPlainTextEdit");
        const bool control =
            field || child->inherits("QAbstractButton") ||
            (child->inherits("QAbstractItemView") && !child->inherits("QHeaderView"));
        if (control && child->isVisibleTo(window) && child->isEnabled()) {
            controls << child->objectName();
        }
        if (field && std::none_of(labels.begin(), labels.end(),
                                  [&](const QLabel* label) { return label->buddy() == child; })) {
            unnamed << child->objectName();
        }
    }
    QStringList reached;
    for (QWidget* at = window->focusWidget(); at != nullptr && !reached.contains(at->objectName());
         at = window->focusWidget()) {
        reached << at->objectName();
        atEachStop();
        QTest::keyClick(at, Qt::Key_Tab);
    }
    controls.sort();
    reached.sort();
    EXPECT_EQ(reached, controls) << window->windowTitle().toStdString();
    EXPECT_EQ(unnamed, QStringList()) << window->windowTitle().toStdString();
}

// Escape, and Cancel on a second dialog: each closes it and answers nothing.
template <class Dialog, class Data, class... Ui>
void expectEscapeAndCancelAnswerNothing(Ui&... ui) {
    for (bool escape : {true, false}) {
        Data data;
        Dialog dlg(data, ui...);
        dlg.show();
        escape ? pressKey(&dlg, Qt::Key_Escape)
               : QTest::mouseClick(dlg.cancelButton(), Qt::LeftButton);
        EXPECT_FALSE(dlg.isVisible() || data.accepted) << escape;
    }
}

TEST(AddTreeDialogWindow, OpensWithTheRememberedFieldsAndOkReadsEachIntoItsOwnMember) {
    AddTreeDialog data{{u"/data", u"*.jpg", u"Photos"}};
    CAddFolderLocation dlg(data);
    dlg.OnInitDialog();
    dlg.show();
    EXPECT_EQ(shown(&dlg),
              QStringList({"Add Tree", "/data", "*.jpg", "Photos", "OK", "Cancel", "Path",
                           "Title (leave empty to use the path)", "Filter", "..."}));
    expectTabReachesEveryControlAndLabelsNameTheFields(&dlg);
    // "...": the chosen folder without its trailing slash; a cancelled chooser changes nothing.
    std::optional<std::u16string> chosen = u"/mnt/cd/";
    dlg.setFolderChooser([&](QWidget*) { return chosen; });
    QTest::mouseClick(dlg.browseButton(), Qt::LeftButton);
    chosen.reset();
    QTest::mouseClick(dlg.browseButton(), Qt::LeftButton);
    // Enter in a field is OK; each field is read up to 249 characters.
    dlg.titleField()->setText(QString(300, 't'));
    dlg.titleField()->setFocus();
    pressKey(&dlg, Qt::Key_Return);
    EXPECT_TRUE(data.accepted && !dlg.isVisible());
    EXPECT_EQ(data.fields, (AddTreeInputs{u"/mnt/cd", u"*.jpg", std::u16string(249, u't')}));
    expectEscapeAndCancelAnswerNothing<CAddFolderLocation, AddTreeDialog>();
}

TEST(ItemPropertiesWindow, ShowsTheNodeReadOnlyAndEachButtonLeavesItsRequest) {
    ItemPropertiesDialog data{kKindFolder, u"Docs", u"Disk", true, u"*root* \\ Disk \\"};
    data.renameRequested = data.parentRequested = true; // cleared when the dialog opens
    CItemProperties dlg(data, renderKindIcon(kKindFolder, CItemProperties::standardIconSize()));
    dlg.show();
    EXPECT_EQ(shown(&dlg),
              QStringList({"Item Properties", "Name", "Docs", "Change...", "Close", "Parent",
                           "Disk", "Full Path", "*root* \\ Disk \\", "Properties..."}));
    EXPECT_FALSE(dlg.iconPicture()->pixmap().isNull());
    EXPECT_FALSE(data.renameRequested || data.parentRequested);
    EXPECT_TRUE(dlg.nameField()->isReadOnly() && dlg.fullPathField()->isReadOnly());
    // No button is the default, not even the one that has the focus.
    const QList<QPushButton*> buttons = dlg.findChildren<QPushButton*>();
    expectTabReachesEveryControlAndLabelsNameTheFields(&dlg, [&] {
        EXPECT_TRUE(std::none_of(buttons.begin(), buttons.end(), [](const QPushButton* button) {
            return button->isDefault() || button->autoDefault();
        })) << dlg.focusWidget()->objectName().toStdString();
    });

    // Change... and Properties... leave their request, Close asks nothing; a root has no
    // parent to show. Enter presses the button that has the focus.
    for (int which = 0; which < 3; ++which) {
        ItemPropertiesDialog asked{kKindDocument, u"a", u"", which != 2, u""};
        CItemProperties again(asked, QPixmap());
        again.show();
        EXPECT_EQ(again.parentButton()->isEnabled(), which != 2);
        QPushButton* buttons[] = {again.changeButton(), again.parentButton(), again.closeButton()};
        buttons[which]->setFocus();
        QTest::keyClick(buttons[which], Qt::Key_Return);
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
    EXPECT_EQ(shown(&dlg), QStringList({"Rename Item", "old.txt", "OK", "Cancel", "Name"}));
    expectTabReachesEveryControlAndLabelsNameTheFields(&dlg);

    // Typing replaces the selected name; an empty one is refused, the field keeping the focus.
    QTest::keyClick(dlg.nameField(), Qt::Key_Delete);
    pressKey(&dlg, Qt::Key_Return);
    EXPECT_TRUE(dlg.isVisible() && !data.accepted);
    EXPECT_EQ(dlg.focusWidget(), dlg.nameField());
    QTest::keyClicks(dlg.nameField(), "new.txt");
    pressKey(&dlg, Qt::Key_Return);
    EXPECT_TRUE(data.accepted && !dlg.isVisible());
    EXPECT_EQ(data.name, u"new.txt");
    expectEscapeAndCancelAnswerNothing<CRenameItem, RenameItemDialog>(ui);
}

TEST(SearchWindow, OpensWithTheOptionsAndSearchReadsThemAll) {
    testing::ScriptedUi ui;
    SearchDialog data{{u"*.txt", true, false, true, true, false}};
    CSearch dlg(data, ui);
    dlg.show();
    EXPECT_EQ(
        shown(&dlg),
        QStringList({"Search", "*.txt", "[ ] Match case", "[x] Match whole pattern only",
                     "[x] Start searching from current folder (otherwise use global root)",
                     "Search", "Cancel", "Pattern", "[x] Recursive search to achieve subitems",
                     "[ ] Search for files only (no roots and folders in Search Results)"}));

    expectTabReachesEveryControlAndLabelsNameTheFields(&dlg);
    // Widened for its labels, which show whole: the pattern field and the buttons keep the
    // same margin on the right as on the left.
    const int margin = dlg.patternEdit()->x();
    EXPECT_EQ(dlg.width() - 1 - dlg.patternEdit()->geometry().right(), margin);
    EXPECT_EQ(dlg.width() - 1 - dlg.cancelButton()->geometry().right(), margin);
    const int gap = dlg.cancelButton()->x() - 1 - dlg.searchButton()->geometry().right();
    EXPECT_TRUE(gap > 0 && gap < margin) << gap; // Search moved along with Cancel
    for (int id : {IDC_SEARCH_MATCH_CASE, IDC_SEARCH_WHOLE_PATTERN, IDC_SEARCH_LOCAL,
                   IDC_SEARCH_RECURSIVE, IDC_SEARCH_FILES_ONLY}) {
        const QCheckBox* box = dlg.checkBox(id);
        EXPECT_GE(box->width(), box->sizeHint().width()) << id;
        EXPECT_LE(box->geometry().right() + 1 + margin, dlg.width()) << id;
    }
    // Space toggles a box; Enter searches.
    dlg.patternEdit()->clear();
    QTest::keyClick(dlg.checkBox(IDC_SEARCH_FILES_ONLY), Qt::Key_Space);
    QTest::keyClicks(dlg.patternEdit(), "a?c");
    pressKey(&dlg, Qt::Key_Return);
    EXPECT_TRUE(data.accepted && !dlg.isVisible());
    EXPECT_EQ(data.options, (SearchOptions{u"a?c", true, false, true, true, true}));
    expectEscapeAndCancelAnswerNothing<CSearch, SearchDialog>(ui);
}

TEST(ProgressTextWindow, RepaintsAtMostOnceAFrameAndAlwaysShowsTheLastText) {
    ProgressText progress("Console", nullptr);
    progress.resize(450, 40);
    progress.show();
    struct PaintWatcher : QObject {
        QStringList painted;
        bool eventFilter(QObject* watched, QEvent* event) override {
            if (event->type() == QEvent::Paint) {
                painted << static_cast<ProgressText*>(watched)->text();
            }
            return false;
        }
    } watcher;
    progress.installEventFilter(&watcher);
    for (int i = 0; i < 50; ++i) {
        progress.setText(QString::number(i));
        QApplication::processEvents();
    }
    for (QDeadlineTimer wait(10 * ProgressText::kFrameMs); !wait.hasExpired();) {
        QApplication::processEvents();
    }
    progress.removeEventFilter(&watcher);
    EXPECT_LT(watcher.painted.size(), 50);
    EXPECT_EQ(watcher.painted.value(watcher.painted.size() - 1), "49");
}

struct RecordingHandlers : AboutBoxHandlers {
    void onVisitHomePage() override { calls << "home page"; }
    void onVisitCompany() override { calls << "company"; }
    void onLicense() override { calls << "license"; }
    QStringList calls;
};

TEST(AboutAndLicenseWindows, ShowTheProductAndTheWholeLicenceAndEachButtonActs) {
    RecordingHandlers handlers;
    CAboutDlg dlg(handlers);
    dlg.show();
    EXPECT_EQ(shown(&dlg),
              QStringList({"About Zelvane", "Zelvane Version 2.0", "Visit Zelvane Home Page",
                           "Visit Halcyra Company Home Page", "License...", "Close"}));
    expectTabReachesEveryControlAndLabelsNameTheFields(&dlg);
    for (int id : {kIdVisitHomePage, kIdVisitCompany, kIdLicense}) {
        QTest::mouseClick(dlg.button(id), Qt::LeftButton);
    }
    EXPECT_EQ(handlers.calls, QStringList({"home page", "company", "license"}));
    pressKey(&dlg, Qt::Key_Escape);
    EXPECT_EQ(dlg.result(), QDialog::Rejected);
    dlg.show();
    QTest::keyClick(dlg.button(kIdClose), Qt::Key_Return);
    EXPECT_EQ(dlg.result(), QDialog::Accepted);
    EXPECT_EQ(handlers.calls.size(), 3);

    const QString text = QString("Licence line\n").repeated(200);
    CLicenseWnd window(text.toStdU16String());
    EXPECT_EQ(shown(&window), QStringList({"License", text, "OK"}));
    EXPECT_TRUE(window.textView()->isReadOnly() && window.okButton()->icon().isNull());
    window.show();
    QTest::mouseClick(window.okButton(), Qt::LeftButton);
    EXPECT_FALSE(window.isVisible());
}

} // namespace
} // namespace zelvane
