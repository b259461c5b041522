// The item commands in the main window: the Item menu, F2 and "Change..." reach them, the
// real dialogs open modally over the window, and the tree changes as the user decides.
#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <deque>
#include <functional>
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "app/command_ids.h"
#include "app/main_dlg.h"
#include "app/qt_text.h"
#include "app/snapshot_tree_model.h"
#include "app/snapshot_tree_view.h"
#include "items/item_dialogs.h"

namespace zelvane {
namespace {

using ::testing::ElementsAre;

struct ShownMessage {
    std::u16string text;
    std::u16string caption;
    MessageIcon icon;
    QString owner; // the owner's object name
};

// Acts on the modal dialogs as they open, one step per dialog, in order. A dialog that
// never comes fails the test; one that comes unexpected fails it and is closed.
class ModalSteps {
public:
    using Step = std::function<void(QDialog*)>;

    ModalSteps() {
        QObject::connect(&timer_, &QTimer::timeout, [this] { poll(); });
        timer_.start(10);
    }
    ~ModalSteps() { EXPECT_TRUE(steps_.empty()) << steps_.size() << " dialogs never opened"; }

    void then(Step step) { steps_.push_back(std::move(step)); }
    std::vector<QString> opened; // object names of the dialogs seen, in order

private:
    void poll() {
        auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        if (dialog == nullptr || dialog == last_ || !dialog->isVisible()) {
            return;
        }
        last_ = dialog;
        opened.push_back(dialog->objectName());
        if (steps_.empty()) {
            ADD_FAILURE() << "unexpected dialog " << dialog->objectName().toStdString();
            dialog->reject();
            return;
        }
        Step step = std::move(steps_.front());
        steps_.pop_front();
        step(dialog);
        if (dialog->isVisible() && dialog == QApplication::activeModalWidget()) {
            // The step left it open on purpose: it may be acted on again.
            last_ = nullptr;
            opened.pop_back();
        }
    }

    QTimer timer_;
    std::deque<Step> steps_;
    QPointer<QDialog> last_; // null again once that dialog is gone
};

class ItemWindowTest : public ::testing::Test {
protected:
    ItemWindowTest() : dlg(u"zelvane") {
        dlg.setMessageBoxFunction([this](QWidget* owner, std::u16string_view text,
                                         std::u16string_view caption, MessageIcon icon,
                                         MessageButtons buttons) {
            messages.push_back({std::u16string(text), std::u16string(caption), icon,
                                owner != nullptr ? owner->objectName() : QString()});
            if (buttons == MessageButtons::YesNo) {
                return answers.empty() ? MessageAnswer::No : takeAnswer();
            }
            return MessageAnswer::Ok;
        });
        dlg.setFileDialogFunction(
            [](QWidget*, const FileDialogRequest&) { return std::optional<ChosenFile>(); });
        dlg.setSettingsFunctions([] {}, [] {});
        dlg.OnInitDialog();
        QApplication::processEvents();

        disk = add(kTopLevel, u"Disk", kKindDriveRoot);
        docs = add(disk, u" Docs", kKindFolder);
        fileA = add(docs, u"a.txt", kKindDocument);
        fileB = add(docs, u"b.mp3", kKindMedia);
        readme = add(disk, u"readme.txt", kKindDocument);
        dlg.treeView()->expandAll();
        QApplication::processEvents();
    }

    NodeId add(NodeId parent, std::u16string_view text, int kind) {
        SnapshotTree& t = dlg.tree();
        const NodeId node = t.insertLast(parent, text);
        t.setKind(node, kind);
        if (isContainerKind(kind)) {
            t.setTextAndBold(node, text);
        }
        return node;
    }

    MessageAnswer takeAnswer() {
        const MessageAnswer a = answers.front();
        answers.pop_front();
        return a;
    }

    std::vector<std::u16string> childTexts(NodeId parent) const {
        std::vector<std::u16string> texts;
        const SnapshotTree& t = const_cast<CMainDlg&>(dlg).tree();
        for (NodeId n = t.firstChild(parent); n != kNoNode; n = t.nextSibling(n)) {
            texts.emplace_back(t.text(n));
        }
        return texts;
    }

    static void typeAndOk(QDialog* dialog, const QString& text) {
        auto* rename = qobject_cast<CRenameItem*>(dialog);
        ASSERT_NE(rename, nullptr);
        rename->nameField()->setText(text);
        rename->okButton()->click();
    }

    CMainDlg dlg;
    std::vector<ShownMessage> messages;
    std::deque<MessageAnswer> answers;
    NodeId disk = kNoNode, docs = kNoNode, fileA = kNoNode, fileB = kNoNode, readme = kNoNode;
};

TEST_F(ItemWindowTest, RenameFromTheItemMenuRenamesSortsAndMarksModified) {
    dlg.tree().select(fileB);
    ModalSteps steps;
    QString shownName;
    steps.then([&](QDialog* d) {
        shownName = qobject_cast<CRenameItem*>(d)->nameField()->text();
        EXPECT_EQ(d->parentWidget(), &dlg);
        typeAndOk(d, QStringLiteral("0 first.mp3"));
    });
    dlg.commandAction(ID_ITEM_RENAME)->trigger();
    EXPECT_THAT(steps.opened, ElementsAre("CRenameItem"));
    EXPECT_EQ(shownName, QStringLiteral("b.mp3"));
    EXPECT_THAT(childTexts(docs), ElementsAre(u"0 first.mp3", u"a.txt"));
    EXPECT_EQ(dlg.tree().kind(fileB), kKindMedia);
    EXPECT_EQ(dlg.tree().selected(), fileB);
    EXPECT_TRUE(dlg.document().modified);
    // The model follows: the renamed row shows its new text in its new place.
    const QModelIndex index = dlg.treeModel()->indexOf(fileB);
    EXPECT_EQ(index.row(), 0);
    EXPECT_EQ(index.data().toString(), QStringLiteral("0 first.mp3"));
}

TEST_F(ItemWindowTest, RefusedNamesAreShownOverTheRenameDialog) {
    dlg.tree().select(docs);
    ModalSteps steps;
    steps.then([&](QDialog* d) {
        EXPECT_EQ(qobject_cast<CRenameItem*>(d)->nameField()->text(), QStringLiteral("Docs"));
        typeAndOk(d, QString());
        EXPECT_TRUE(d->isVisible());
        typeAndOk(d, QStringLiteral(" Papers"));
        EXPECT_TRUE(d->isVisible());
        typeAndOk(d, QStringLiteral("Papers"));
    });
    dlg.commandAction(ID_ITEM_RENAME)->trigger();
    ASSERT_EQ(messages.size(), 2u);
    EXPECT_EQ(messages[0].text, u"The name must not be empty!");
    EXPECT_EQ(messages[1].text, u"The name must not start with space!");
    EXPECT_EQ(messages[0].caption, u"Error");
    EXPECT_EQ(messages[0].icon, MessageIcon::Error);
    EXPECT_EQ(messages[0].owner, QStringLiteral("CRenameItem"));
    EXPECT_EQ(messages[1].owner, QStringLiteral("CRenameItem"));
    EXPECT_EQ(dlg.tree().text(docs), u" Papers");
    EXPECT_TRUE(dlg.tree().isBold(docs));
}

TEST_F(ItemWindowTest, F2OpensTheRenameDialogAndCancelChangesNothing) {
    dlg.tree().select(readme);
    dlg.treeView()->setFocus();
    ModalSteps steps;
    steps.then([](QDialog* d) {
        qobject_cast<CRenameItem*>(d)->nameField()->setText(QStringLiteral("x"));
        QTest::keyClick(d, Qt::Key_Escape);
    });
    QTest::keyClick(dlg.treeView(), Qt::Key_F2);
    EXPECT_THAT(steps.opened, ElementsAre("CRenameItem"));
    EXPECT_EQ(dlg.tree().text(readme), u"readme.txt");
    EXPECT_FALSE(dlg.document().modified);
    EXPECT_FALSE(dlg.treeView()->isEditing());
}

TEST_F(ItemWindowTest, PropertiesClimbToTheRootAndShowTheKindIconAtItsStandardSize) {
    dlg.RebuildIconList(48);
    dlg.tree().select(fileA);
    ModalSteps steps;
    std::vector<QString> names, parents, paths;
    std::vector<QSize> iconSizes;
    auto record = [&](QDialog* d) {
        auto* p = qobject_cast<CItemProperties*>(d);
        names.push_back(p->nameField()->text());
        parents.push_back(p->parentField()->text());
        paths.push_back(p->fullPathField()->toPlainText());
        iconSizes.push_back(p->iconPicture()->pixmap().size());
        return p;
    };
    steps.then([&](QDialog* d) { record(d)->parentButton()->click(); });
    steps.then([&](QDialog* d) { record(d)->parentButton()->click(); });
    steps.then([&](QDialog* d) {
        CItemProperties* p = record(d);
        EXPECT_FALSE(p->parentButton()->isEnabled());
        p->closeButton()->click();
    });
    dlg.commandAction(ID_ITEM_PROPERTIES)->trigger();
    EXPECT_THAT(names, ElementsAre("a.txt", "Docs", "Disk"));
    EXPECT_THAT(parents, ElementsAre("Docs", "Disk", "*root*"));
    EXPECT_THAT(paths, ElementsAre("*root* \\ Disk \\ Docs \\", "*root* \\ Disk \\", "*root* \\ "));
    const int size = CItemProperties::standardIconSize();
    EXPECT_THAT(iconSizes, ElementsAre(QSize(size, size), QSize(size, size), QSize(size, size)));
    EXPECT_EQ(dlg.tree().selected(), disk);
    EXPECT_EQ(dlg.treeView()->currentIndex(), dlg.treeModel()->indexOf(disk));
    EXPECT_FALSE(dlg.document().modified);
}

TEST_F(ItemWindowTest, ChangeLeadsToRenameAndTheDialogDoesNotReopen) {
    dlg.tree().select(readme);
    ModalSteps steps;
    steps.then([](QDialog* d) { qobject_cast<CItemProperties*>(d)->changeButton()->click(); });
    steps.then([](QDialog* d) { typeAndOk(d, QStringLiteral("about.txt")); });
    dlg.commandAction(ID_ITEM_PROPERTIES)->trigger();
    QTest::qWait(50); // time for a dialog that should not come
    EXPECT_THAT(steps.opened, ElementsAre("CItemProperties", "CRenameItem"));
    EXPECT_EQ(dlg.tree().text(readme), u"about.txt");
    EXPECT_TRUE(dlg.document().modified);
}

TEST_F(ItemWindowTest, DeleteAsksAndRemovesTheSubtreeOnYes) {
    dlg.tree().select(docs);
    dlg.commandAction(ID_ITEM_DELETE)->trigger(); // No: the default of this test
    EXPECT_EQ(dlg.tree().size(), 5u);
    EXPECT_FALSE(dlg.document().modified);

    answers.push_back(MessageAnswer::Yes);
    dlg.commandAction(ID_ITEM_DELETE)->trigger();
    ASSERT_EQ(messages.size(), 2u);
    EXPECT_EQ(messages[1].text, u"\"Docs\" and all it's content will be deleted.\nYou will not be "
                                u"able to restore it.\n\nContinue ?");
    EXPECT_EQ(messages[1].caption, u"Warning");
    EXPECT_EQ(messages[1].icon, MessageIcon::Exclamation);
    EXPECT_EQ(messages[1].owner, QStringLiteral("CMainDlg"));
    EXPECT_THAT(childTexts(disk), ElementsAre(u"readme.txt"));
    EXPECT_EQ(dlg.treeModel()->rowCount(dlg.treeModel()->indexOf(disk)), 1);
    EXPECT_TRUE(dlg.document().modified);
}

} // namespace
} // namespace zelvane
