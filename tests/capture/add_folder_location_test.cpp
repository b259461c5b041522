// The Add Tree dialog as a window: its template, tab order and focus, reading and
// remembering its fields on OK, Cancel, and the "..." button with its folder chooser.
#include "capture/add_folder_location_qt.h"

#include <QApplication>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <gtest/gtest.h>

#include "ui/dialog_units.h"
#include "ui/text_qt.h"
#include "modal_driver.h"

namespace zelvane {
namespace {

QRect templateRect(const QWidget& dialog, int x, int y, int w, int h) {
    const QFontMetrics metrics(dialog.font());
    const DialogBaseUnits base =
        dialogBaseUnits(metrics.horizontalAdvance(
                            QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz")),
                        metrics.height());
    const PixelRect r = mapDialogRect(x, y, w, h, base);
    return QRect(r.x, r.y, r.width, r.height);
}

QLabel* labelWithText(QWidget& dialog, const QString& text) {
    for (QLabel* label : dialog.findChildren<QLabel*>()) {
        if (label->text() == text) {
            return label;
        }
    }
    return nullptr;
}

TEST(AddFolderLocation, FollowsTemplate136) {
    AddTreeInputs remembered;
    CAddFolderLocation dialog(remembered);
    EXPECT_EQ(dialog.windowTitle(), "Add Tree");
    EXPECT_EQ(dialog.size(), templateRect(dialog, 0, 0, 210, 90).size());
    EXPECT_EQ(dialog.minimumSize(), dialog.maximumSize()) << "a fixed frame";
    struct Expected {
        int id;
        QString text;
        QRect rect;
    };
    const Expected controls[] = {
        {1001, "", templateRect(dialog, 7, 16, 125, 12)},
        {1006, "", templateRect(dialog, 158, 16, 45, 12)},
        {1002, "", templateRect(dialog, 7, 40, 196, 12)},
        {1, "OK", templateRect(dialog, 99, 69, 50, 14)},
        {2, "Cancel", templateRect(dialog, 153, 69, 50, 14)},
        {1008, "...", templateRect(dialog, 134, 16, 18, 12)},
    };
    for (const Expected& c : controls) {
        auto* widget = dialog.findChild<QWidget*>(QStringLiteral("control_%1").arg(c.id));
        ASSERT_NE(widget, nullptr) << c.id;
        EXPECT_EQ(widget->geometry(), c.rect) << c.id;
        if (auto* button = qobject_cast<QPushButton*>(widget)) {
            EXPECT_EQ(button->text(), c.text);
        }
    }
    EXPECT_TRUE(dialog.okButton()->isDefault());
    for (auto [text, x, y] :
         {std::tuple{"Path", 7, 7}, std::tuple{"Title (leave empty to use the path)", 7, 31},
          std::tuple{"Filter", 158, 7}}) {
        QLabel* label = labelWithText(dialog, text);
        ASSERT_NE(label, nullptr) << text;
        EXPECT_EQ(label->pos(), templateRect(dialog, x, y, 1, 1).topLeft()) << text;
        EXPECT_GE(label->width(), label->sizeHint().width()) << text << " is cut off";
    }
}

TEST(AddFolderLocation, OpensWithTheRememberedInputsAndTheFocusInThePath) {
    AddTreeInputs remembered; // the first run: nothing stored yet
    CAddFolderLocation dialog(remembered);
    dialog.OnInitDialog();
    dialog.show();
    dialog.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&dialog));
    EXPECT_EQ(dialog.pathField()->text(), "/");
    EXPECT_EQ(dialog.filterField()->text(), "*");
    EXPECT_EQ(dialog.titleField()->text(), "");
    EXPECT_EQ(QApplication::focusWidget(), dialog.pathField());
    // The tab order is the template order.
    const QWidget* expected[] = {dialog.filterField(),  dialog.titleField(),   dialog.okButton(),
                                 dialog.cancelButton(), dialog.browseButton(), dialog.pathField()};
    for (const QWidget* next : expected) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        EXPECT_EQ(QApplication::focusWidget(), next);
    }
}

TEST(AddFolderLocation, OkCutsRemembersAndFallsBackCancelRemembersNothing) {
    AddTreeInputs remembered{u"/srv/old", u"txt", u"Old"};
    {
        CAddFolderLocation dialog(remembered);
        test::whenModal<CAddFolderLocation>([](CAddFolderLocation* d) {
            d->pathField()->setText(QString(300, 'p'));
            d->titleField()->clear();
            d->filterField()->setText(" mp3 ");
            // Enter in a field presses the default button, OK.
            QTest::keyClick(d->pathField(), Qt::Key_Return);
        });
        ASSERT_EQ(dialog.DoModal(), QDialog::Accepted);
        EXPECT_EQ(dialog.result().path, std::u16string(249, u'p'));
        EXPECT_EQ(dialog.result().label, std::u16string(249, u'p'));
        EXPECT_EQ(dialog.result().filter, u" mp3 ");
        EXPECT_EQ(remembered, (AddTreeInputs{std::u16string(249, u'p'), u" mp3 ", u""}));
    }
    const AddTreeInputs before = remembered;
    for (bool escape : {false, true}) {
        CAddFolderLocation dialog(remembered);
        test::whenModal<CAddFolderLocation>([escape](CAddFolderLocation* d) {
            d->pathField()->setText("/changed");
            d->titleField()->setText("changed");
            d->filterField()->setText("changed");
            if (escape) {
                QTest::keyClick(d->titleField(), Qt::Key_Escape);
            } else {
                QTest::mouseClick(d->cancelButton(), Qt::LeftButton);
            }
        });
        EXPECT_EQ(dialog.DoModal(), QDialog::Rejected);
        EXPECT_EQ(remembered, before);
    }
    // The runner used by the main window gives the same result.
    test::whenModal<CAddFolderLocation>([](CAddFolderLocation* d) {
        d->titleField()->setText("Backup 2007");
        QTest::mouseClick(d->okButton(), Qt::LeftButton);
    });
    const std::optional<AddTreeDialogResult> result = runAddFolderLocation(nullptr, remembered);
    ASSERT_TRUE(result);
    EXPECT_EQ(result->label, u"Backup 2007");
    EXPECT_EQ(remembered.title, u"Backup 2007");
}

TEST(AddFolderLocation, BrowseFillsOnlyThePathWithoutItsTrailingSlash) {
    AddTreeInputs remembered{u"/typed", u"txt", u"T"};
    CAddFolderLocation dialog(remembered);
    dialog.OnInitDialog();
    dialog.titleField()->setText("my title");
    std::optional<std::u16string> answer = u"/home/user/Photos/";
    QWidget* owner = nullptr;
    dialog.setFolderChooser([&](QWidget* o) {
        owner = o;
        return answer;
    });
    QTest::mouseClick(dialog.browseButton(), Qt::LeftButton);
    EXPECT_EQ(owner, &dialog);
    EXPECT_EQ(dialog.pathField()->text(), "/home/user/Photos");
    answer.emplace(1, u'/');
    dialog.OnBrowse();
    EXPECT_EQ(dialog.pathField()->text(), "/");
    answer = std::nullopt; // cancelled
    dialog.OnBrowse();
    EXPECT_EQ(dialog.pathField()->text(), "/");
    EXPECT_EQ(dialog.titleField()->text(), "my title");
    EXPECT_EQ(dialog.filterField()->text(), "txt");
    EXPECT_EQ(remembered, (AddTreeInputs{u"/typed", u"txt", u"T"})) << "only OK remembers";
}

TEST(AddFolderLocation, TheFolderChooserShowsItsTwoCaptions) {
    QString title, line;
    bool foldersOnly = false;
    test::whenModal<QFileDialog>([&](QFileDialog* chooser) {
        title = chooser->windowTitle();
        line = chooser->labelText(QFileDialog::LookIn);
        foldersOnly = chooser->fileMode() == QFileDialog::Directory &&
                      chooser->testOption(QFileDialog::ShowDirsOnly);
        chooser->reject();
    });
    EXPECT_EQ(showQtFolderChooser(nullptr), std::nullopt);
    EXPECT_EQ(title, "Choose Folder");
    EXPECT_EQ(line, "Selected Folder");
    EXPECT_TRUE(foldersOnly);

    // Accepting gives the folder the chooser is showing.
    const QString home = QDir::homePath();
    test::whenModal<QFileDialog>(
        [](QFileDialog* chooser) { static_cast<QDialog*>(chooser)->accept(); });
    const std::optional<std::u16string> chosen = showQtFolderChooser(nullptr);
    ASSERT_TRUE(chosen);
    EXPECT_EQ(toQString(*chosen), home);
}

} // namespace
} // namespace zelvane
