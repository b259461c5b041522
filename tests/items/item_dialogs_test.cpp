// The two item dialogs under the offscreen platform: their controls by identifier, the
// template layout, labels and tab order, and what each button and key leaves behind.
// With ZELVANE_SCREENSHOT_DIR set, the dialogs are also saved there as pictures.
#include <QApplication>
#include <QDir>
#include <QFontMetrics>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "app/dialog_units.h"
#include "app/qt_text.h"
#include "icons/icon_set.h"
#include "items/item_dialogs.h"
#include "support/scripted_port.h"

namespace zelvane {
namespace {

using ::testing::ElementsAre;

DialogBaseUnits baseOf(const QWidget& dialog) {
    const QFontMetrics metrics(dialog.font());
    return dialogBaseUnits(metrics.horizontalAdvance(QStringLiteral(
                               "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz")),
                           metrics.height());
}

QRect templateRect(const QWidget& dialog, int x, int y, int width, int height) {
    const PixelRect r = mapDialogRect(x, y, width, height, baseOf(dialog));
    return QRect(r.x, r.y, r.width, r.height);
}

// The tab stops from the first one on, following the focus chain once round.
std::vector<QString> tabOrder(QWidget* first) {
    std::vector<QString> names;
    QWidget* w = first;
    do {
        if (w->focusPolicy() & Qt::TabFocus) {
            names.push_back(w->objectName());
        }
        w = w->nextInFocusChain();
    } while (w != first && names.size() < 20);
    return names;
}

QLabel* labelWithText(const QWidget& dialog, const QString& text) {
    for (QLabel* label : dialog.findChildren<QLabel*>()) {
        if (label->text() == text) {
            return label;
        }
    }
    return nullptr;
}

void saveScreenshot(QDialog& dialog, const char* name) {
    const QString dir = qEnvironmentVariable("ZELVANE_SCREENSHOT_DIR");
    if (dir.isEmpty()) {
        GTEST_SKIP() << "set ZELVANE_SCREENSHOT_DIR to save the pictures";
    }
    QDir().mkpath(dir);
    QApplication::processEvents();
    QTest::qWait(50);
    ASSERT_TRUE(dialog.grab().save(QDir(dir).filePath(QString::fromLatin1(name)))) << name;
}

// A stand-in picture, for the tests that only look at sizes.
QPixmap sampleIcon(int size) {
    QPixmap icon(size, size);
    icon.fill(Qt::red);
    return icon;
}

ItemPropertiesDialog fileProperties() {
    ItemPropertiesDialog in;
    in.kind = 5;
    in.name = u"report.txt";
    in.parentName = u"Documents";
    in.parentEnabled = true;
    in.fullPath = u"*root* \\ Backup disk \\ home \\ Documents \\";
    return in;
}

// --- Item Properties ---

TEST(ItemPropertiesDialogTest, ControlsCarryTheirIdentifiersAndTemplatePlaces) {
    ItemPropertiesDialog in = fileProperties();
    CItemProperties dlg(in, sampleIcon(CItemProperties::standardIconSize()));
    EXPECT_EQ(dlg.windowTitle(), QStringLiteral("Item Properties"));
    EXPECT_EQ(dlg.size(), templateRect(dlg, 0, 0, 260, 150).size());
    EXPECT_EQ(dlg.minimumSize(), dlg.maximumSize()); // a fixed frame

    struct Expected {
        int id;
        QRect rect;
    };
    for (const Expected& e : {
             Expected{IDC_ITEM_NAME, templateRect(dlg, 36, 16, 164, 12)},
             Expected{IDC_ITEM_CHANGE, templateRect(dlg, 203, 15, 50, 14)},
             Expected{IDC_ITEM_PARENT, templateRect(dlg, 7, 44, 192, 12)},
             Expected{IDC_ITEM_PARENT_PROPERTIES, templateRect(dlg, 203, 43, 50, 14)},
             Expected{IDC_ITEM_FULLPATH, templateRect(dlg, 7, 70, 246, 50)},
             Expected{IDCANCEL_BUTTON, templateRect(dlg, 203, 129, 50, 14)},
         }) {
        QWidget* control = dialogControl(&dlg, e.id);
        ASSERT_NE(control, nullptr) << e.id;
        EXPECT_EQ(control->geometry(), e.rect) << e.id;
    }
    EXPECT_EQ(dialogControl(&dlg, IDC_ITEM_NAME), dlg.nameField());
    EXPECT_EQ(dialogControl(&dlg, IDC_ITEM_PARENT), dlg.parentField());
    EXPECT_EQ(dialogControl(&dlg, IDC_ITEM_FULLPATH), dlg.fullPathField());
    EXPECT_EQ(dialogControl(&dlg, IDC_ITEM_ICON), dlg.iconPicture());
    EXPECT_EQ(dialogControl(&dlg, IDCANCEL_BUTTON), dlg.closeButton());
    EXPECT_EQ(dlg.iconPicture()->pos(), templateRect(dlg, 7, 10, 21, 20).topLeft());

    EXPECT_EQ(dlg.changeButton()->text(), QStringLiteral("Change..."));
    EXPECT_EQ(dlg.parentButton()->text(), QStringLiteral("Properties..."));
    EXPECT_EQ(dlg.closeButton()->text(), QStringLiteral("Close"));
    for (const auto& [text, x, y] :
         {std::tuple{"Name", 36, 7}, std::tuple{"Parent", 7, 34}, std::tuple{"Full Path", 7, 61}}) {
        QLabel* label = labelWithText(dlg, QString::fromLatin1(text));
        ASSERT_NE(label, nullptr) << text;
        EXPECT_EQ(label->pos(), templateRect(dlg, x, y, 1, 1).topLeft()) << text;
        EXPECT_GE(label->width(), label->fontMetrics().horizontalAdvance(label->text())) << text;
    }
    for (QPushButton* button : dlg.findChildren<QPushButton*>()) {
        EXPECT_FALSE(button->isDefault()) << button->objectName().toStdString();
    }
}

TEST(ItemPropertiesDialogTest, ShowsWhatItIsGivenReadOnly) {
    ItemPropertiesDialog in = fileProperties();
    in.renameRequested = true; // left over: cleared when the dialog opens
    const int size = CItemProperties::standardIconSize();
    CItemProperties dlg(in, sampleIcon(size));
    EXPECT_FALSE(in.renameRequested);
    EXPECT_EQ(dlg.nameField()->text(), QStringLiteral("report.txt"));
    EXPECT_EQ(dlg.parentField()->text(), QStringLiteral("Documents"));
    EXPECT_EQ(dlg.fullPathField()->toPlainText(),
              QStringLiteral("*root* \\ Backup disk \\ home \\ Documents \\"));
    EXPECT_TRUE(dlg.nameField()->isReadOnly());
    EXPECT_TRUE(dlg.parentField()->isReadOnly());
    EXPECT_TRUE(dlg.fullPathField()->isReadOnly());
    EXPECT_EQ(dlg.fullPathField()->horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);
    EXPECT_EQ(dlg.fullPathField()->lineWrapMode(), QPlainTextEdit::WidgetWidth);
    EXPECT_TRUE(dlg.parentButton()->isEnabled());
    // The icon at its real size: not scaled down to the control.
    ASSERT_FALSE(dlg.iconPicture()->pixmap().isNull());
    EXPECT_EQ(dlg.iconPicture()->pixmap().size(), QSize(size, size));
    EXPECT_GE(dlg.iconPicture()->width(), size);
    EXPECT_EQ(size, 32);
}

TEST(ItemPropertiesDialogTest, LongTextsAreShownWhole) {
    ItemPropertiesDialog in = fileProperties();
    in.name = std::u16string(40000, u'n');
    in.fullPath = u"*root* \\ " + std::u16string(20000, u'p') + u" \\";
    CItemProperties dlg(in, QPixmap());
    EXPECT_EQ(dlg.nameField()->text().size(), 40000);
    EXPECT_EQ(dlg.fullPathField()->toPlainText().size(), 20011);
    EXPECT_TRUE(dlg.iconPicture()->pixmap().isNull());
}

TEST(ItemPropertiesDialogTest, TabOrderIsTheTemplates) {
    ItemPropertiesDialog in = fileProperties();
    CItemProperties dlg(in, QPixmap());
    dlg.show();
    QApplication::processEvents();
    EXPECT_EQ(QApplication::focusWidget(), dlg.nameField());
    EXPECT_THAT(tabOrder(dlg.nameField()),
                ElementsAre("control_1001", "control_1008", "control_2", "control_1002",
                            "control_1006", "control_1009"));
}

struct ButtonCase {
    const char* what;
    std::function<void(CItemProperties&)> act;
    bool rename;
    bool parent;
};

TEST(ItemPropertiesDialogTest, EachButtonAndKeyClosesWithItsRequest) {
    const std::vector<ButtonCase> cases = {
        {"Change...", [](CItemProperties& d) { d.changeButton()->click(); }, true, false},
        {"Properties...", [](CItemProperties& d) { d.parentButton()->click(); }, false, true},
        {"Close", [](CItemProperties& d) { d.closeButton()->click(); }, false, false},
        {"Escape", [](CItemProperties& d) { QTest::keyClick(d.nameField(), Qt::Key_Escape); },
         false, false},
        {"Enter", [](CItemProperties& d) { QTest::keyClick(d.nameField(), Qt::Key_Return); }, false,
         false},
        {"close box", [](CItemProperties& d) { d.close(); }, false, false},
    };
    for (const ButtonCase& c : cases) {
        ItemPropertiesDialog in = fileProperties();
        CItemProperties dlg(in, QPixmap());
        dlg.show();
        QApplication::processEvents();
        c.act(dlg);
        EXPECT_FALSE(dlg.isVisible()) << c.what;
        EXPECT_EQ(in.renameRequested, c.rename) << c.what;
        EXPECT_EQ(in.parentRequested, c.parent) << c.what;
    }
}

TEST(ItemPropertiesDialogTest, EnterInTheFullPathFieldDoesNotClose) {
    ItemPropertiesDialog in = fileProperties();
    CItemProperties dlg(in, QPixmap());
    dlg.show();
    QApplication::processEvents();
    dlg.fullPathField()->setFocus();
    QTest::keyClick(dlg.fullPathField(), Qt::Key_Return);
    EXPECT_TRUE(dlg.isVisible());
    EXPECT_EQ(dlg.fullPathField()->toPlainText(),
              QStringLiteral("*root* \\ Backup disk \\ home \\ Documents \\"));
}

TEST(ItemPropertiesDialogTest, Screenshot) {
    ItemPropertiesDialog in = fileProperties();
    CItemProperties dlg(in, renderKindIcon(in.kind, CItemProperties::standardIconSize()));
    dlg.show();
    saveScreenshot(dlg, "item-properties.png");
}

// --- Rename Item ---

TEST(RenameItemDialogTest, ControlsCarryTheirIdentifiersAndTemplatePlaces) {
    testing::ScriptedPort port;
    RenameItemDialog in{u"old name", false};
    CRenameItem dlg(in, port);
    EXPECT_EQ(dlg.windowTitle(), QStringLiteral("Rename Item"));
    EXPECT_EQ(dlg.size(), templateRect(dlg, 0, 0, 186, 60).size());
    EXPECT_EQ(dialogControl(&dlg, IDC_ITEM_NAME), dlg.nameField());
    EXPECT_EQ(dialogControl(&dlg, IDOK_BUTTON), dlg.okButton());
    EXPECT_EQ(dialogControl(&dlg, IDCANCEL_BUTTON), dlg.cancelButton());
    EXPECT_EQ(dlg.nameField()->geometry(), templateRect(dlg, 7, 16, 172, 12));
    EXPECT_EQ(dlg.okButton()->geometry(), templateRect(dlg, 76, 39, 50, 14));
    EXPECT_EQ(dlg.cancelButton()->geometry(), templateRect(dlg, 129, 39, 50, 14));
    QLabel* label = labelWithText(dlg, QStringLiteral("Name"));
    ASSERT_NE(label, nullptr);
    EXPECT_EQ(label->pos(), templateRect(dlg, 7, 7, 1, 1).topLeft());
    EXPECT_EQ(dlg.okButton()->text(), QStringLiteral("OK"));
    EXPECT_EQ(dlg.cancelButton()->text(), QStringLiteral("Cancel"));
    EXPECT_TRUE(dlg.okButton()->isDefault());
    EXPECT_FALSE(dlg.nameField()->isReadOnly());
    EXPECT_EQ(dlg.nameField()->text(), QStringLiteral("old name"));

    dlg.show();
    QApplication::processEvents();
    EXPECT_EQ(QApplication::focusWidget(), dlg.nameField());
    EXPECT_EQ(dlg.nameField()->selectedText(), QStringLiteral("old name"));
    EXPECT_THAT(tabOrder(dlg.nameField()), ElementsAre("control_1001", "control_1", "control_2"));
}

TEST(RenameItemDialogTest, RefusalsKeepTheDialogOpenWithTheTypedText) {
    testing::ScriptedPort port;
    port.answer(MessageAnswer::Ok).answer(MessageAnswer::Ok);
    RenameItemDialog in{u"old", false};
    CRenameItem dlg(in, port);
    dlg.show();
    QApplication::processEvents();

    dlg.nameField()->clear();
    QTest::keyClick(dlg.nameField(), Qt::Key_Return); // Enter presses the default OK
    EXPECT_TRUE(dlg.isVisible());
    dlg.nameField()->setText(QStringLiteral("  padded"));
    dlg.okButton()->click();
    EXPECT_TRUE(dlg.isVisible());
    EXPECT_EQ(dlg.nameField()->text(), QStringLiteral("  padded"));
    EXPECT_FALSE(in.accepted);
    EXPECT_EQ(in.name, u"old");
    EXPECT_THAT(
        port.transcript(),
        ElementsAre("message \"The name must not be empty!\" | \"Error\" | Error | Ok -> Ok",
                    "message \"The name must not start with space!\" | \"Error\" | Error "
                    "| Ok -> Ok"));

    dlg.nameField()->setText(QStringLiteral("new name  "));
    QTest::keyClick(dlg.nameField(), Qt::Key_Enter);
    EXPECT_FALSE(dlg.isVisible());
    EXPECT_EQ(dlg.result(), QDialog::Accepted);
    EXPECT_TRUE(in.accepted);
    EXPECT_EQ(in.name, u"new name  ");
}

TEST(RenameItemDialogTest, CancelEscapeAndTheCloseBoxAcceptNothing) {
    for (int way = 0; way < 3; ++way) {
        testing::ScriptedPort port;
        RenameItemDialog in{u"old", false};
        CRenameItem dlg(in, port);
        dlg.show();
        QApplication::processEvents();
        dlg.nameField()->setText(QStringLiteral("typed"));
        if (way == 0) {
            dlg.cancelButton()->click();
        } else if (way == 1) {
            QTest::keyClick(dlg.nameField(), Qt::Key_Escape);
        } else {
            dlg.close();
        }
        EXPECT_FALSE(dlg.isVisible()) << way;
        EXPECT_FALSE(in.accepted) << way;
        EXPECT_EQ(in.name, u"old") << way;
        EXPECT_TRUE(port.calls().empty()) << way;
    }
}

TEST(RenameItemDialogTest, LongNamesArePrefilledWholeAndCutWhenAccepted) {
    testing::ScriptedPort port;
    RenameItemDialog in{std::u16string(40000, u'x'), false};
    CRenameItem dlg(in, port);
    EXPECT_EQ(dlg.nameField()->text().size(), 40000);
    dlg.show();
    QApplication::processEvents();
    dlg.okButton()->click();
    EXPECT_TRUE(in.accepted);
    EXPECT_EQ(in.name, std::u16string(510, u'x'));
}

TEST(RenameItemDialogTest, Screenshot) {
    testing::ScriptedPort port;
    RenameItemDialog in{u"Holiday photos 2026", false};
    CRenameItem dlg(in, port);
    dlg.show();
    saveScreenshot(dlg, "rename-item.png");
}

} // namespace
} // namespace zelvane
