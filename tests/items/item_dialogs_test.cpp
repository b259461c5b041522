// The two item dialogs run by the main window under the offscreen platform. With
// ZELVANE_SCREENSHOT_DIR set, the dialogs are also saved there as pictures.
#include <QApplication>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <gmock/gmock.h>

#include "app/command_ids.h"
#include "app/main_dlg_qt.h"
#include "app/snapshot_tree_model_qt.h"
#include "icons/icon_set_qt.h"
#include "items/item_dialogs_qt.h"
#include "scripted_items_port.h"

namespace zelvane {
namespace {

using ::testing::ElementsAre;

// What a dialog shows: its title, tab stops, labels and the texts of its fields.
std::vector<QString> shown(QDialog* d) {
    std::vector<QString> out{d->windowTitle()};
    QWidget* w = d->focusWidget();
    do {
        if (w->focusPolicy() & Qt::TabFocus) {
            out.push_back(w->objectName() + (w->isEnabled() ? "" : " off"));
        }
        w = w->nextInFocusChain();
    } while (w != d->focusWidget());
    for (QObject* c : d->children()) {
        if (auto* l = qobject_cast<QLabel*>(c); l != nullptr && !l->text().isEmpty()) {
            out.push_back(l->text());
        } else if (auto* b = qobject_cast<QPushButton*>(c)) {
            out.push_back(b->text());
        } else if (auto* e = qobject_cast<QLineEdit*>(c)) {
            out.push_back(e->text().left(20) + (e->isReadOnly() ? " ro" : ""));
        } else if (auto* p = qobject_cast<QPlainTextEdit*>(c)) {
            out.push_back(p->toPlainText().left(30) + (p->isReadOnly() ? " ro" : ""));
        }
    }
    return out;
}

// Runs command with one step per modal dialog, in order, each done when the dialog shows.
std::vector<std::vector<QString>> run(QAction* command,
                                      std::vector<std::function<void(QDialog*)>> steps) {
    std::vector<std::vector<QString>> seen;
    QTimer timer;
    QObject::connect(&timer, &QTimer::timeout, [&] {
        auto* d = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        if (d != nullptr && d->isVisible() && d->property("seen").isNull()) {
            d->setProperty("seen", true);
            seen.push_back(shown(d));
            ASSERT_LT(seen.size(), steps.size() + 1) << "unexpected dialog";
            steps[seen.size() - 1](d);
        }
    });
    timer.start(10);
    command->trigger();
    EXPECT_EQ(seen.size(), steps.size());
    return seen;
}

TEST(ItemWindowTest, PropertiesClimbChangeAndRename) {
    CMainDlg dlg(u"zelvane");
    std::vector<std::string> messages;
    dlg.setMessageBoxFunction([&](QWidget* owner, std::u16string_view text, std::u16string_view,
                                  MessageIcon, MessageButtons buttons) {
        messages.push_back(owner->objectName().toStdString() + ": " + utf16ToUtf8(text));
        return buttons == MessageButtons::Ok ? MessageAnswer::Ok
               : messages.size() > 3         ? MessageAnswer::Yes
                                             : MessageAnswer::No;
    });
    dlg.setSettingsFunctions([] {}, [] {});
    dlg.OnInitDialog();
    SnapshotTree& tree = dlg.tree();
    const NodeId disk = testing::add(tree, kTopLevel, u"Disk", kKindDriveRoot);
    const NodeId docs = testing::add(tree, disk, u" " + std::u16string(40000, u'd'), kKindFolder);
    tree.select(testing::add(tree, docs, u"a.txt", kKindDocument));
    testing::add(tree, disk, u"readme.txt", kKindDocument);
    dlg.RebuildIconList(48); // the properties icon keeps the standard size
    const QSize icon(CItemProperties::standardIconSize(), CItemProperties::standardIconSize());
    const auto click = [icon](int id) {
        return [id, icon](QDialog* d) {
            EXPECT_EQ(d->findChild<QLabel*>("control_1012")->pixmap().size(), icon);
            qobject_cast<QPushButton*>(dialogControl(d, id))->click();
        };
    };
    const auto type = [](const QString& text) {
        return [text](QDialog* d) {
            qobject_cast<QLineEdit*>(dialogControl(d, IDC_ITEM_NAME))->setText(text);
            QTest::keyClick(d->focusWidget(), Qt::Key_Return);
        };
    };
    const QString d20(20, 'd');
    const auto seen = run(dlg.commandAction(ID_ITEM_PROPERTIES),
                          {click(IDC_ITEM_PARENT_PROPERTIES), click(IDC_ITEM_PARENT_PROPERTIES),
                           click(IDC_ITEM_CHANGE), [&](QDialog* d) {
                               EXPECT_EQ(d->parentWidget(), &dlg);
                               type(QString())(d);
                               type(QStringLiteral(" A"))(d);
                               type(QStringLiteral("A disk"))(d);
                           }});
    ASSERT_EQ(seen.size(), 4u);
    EXPECT_THAT(seen[0],
                ElementsAre("Item Properties", "control_1001", "control_1008", "control_2",
                            "control_1002", "control_1006", "control_1009", "Name", "a.txt ro",
                            "Change...", "Close", "Parent", d20 + " ro", "Full Path",
                            "*root* \\ Disk \\ " + d20.left(14) + " ro", "Properties..."));
    EXPECT_EQ(seen[1].at(8), d20 + " ro"); // the whole display name, its space gone
    EXPECT_THAT(seen[2], ::testing::Contains("control_1009 off")); // on the root
    EXPECT_THAT(seen[3], ElementsAre("Rename Item", "control_1001", "control_1", "control_2",
                                     "Disk", "OK", "Cancel", "Name"));
    EXPECT_EQ(tree.text(disk), u"A disk");
    EXPECT_EQ(tree.selected(), disk);
    EXPECT_EQ(dlg.treeModel()->indexOf(disk).data().toString(), QStringLiteral("A disk"));
    EXPECT_TRUE(dlg.document().modified);
    EXPECT_THAT(messages, ElementsAre("CRenameItem: The name must not be empty!",
                                      "CRenameItem: The name must not start with space!"));
}

TEST(ItemDialogsTest, Screenshots) {
    const QString dir = qEnvironmentVariable("ZELVANE_SCREENSHOT_DIR");
    if (dir.isEmpty()) {
        GTEST_SKIP() << "set ZELVANE_SCREENSHOT_DIR to save the pictures";
    }
    ItemPropertiesDialog in{5, u"report.txt", u"Documents", true, u"*root* \\ Backup \\ home \\"};
    CItemProperties properties(in, renderKindIcon(5, CItemProperties::standardIconSize()));
    testing::ScriptedPort port;
    RenameItemDialog name{u"Holiday photos 2026", false};
    CRenameItem rename(name, port);
    QDir().mkpath(dir);
    for (auto [d, file] : {std::pair<QDialog*, QString>{&properties, "item-properties.png"},
                           {&rename, "rename-item.png"}}) {
        d->show();
        QTest::qWait(50);
        EXPECT_TRUE(d->grab().save(QDir(dir).filePath(file)));
    }
}

} // namespace
} // namespace zelvane
