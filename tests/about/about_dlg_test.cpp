// The About box and the licence window under the offscreen platform, alone and opened from
// the main window's Help menu and window menu, which run the About command.
#include <QAction>
#include <QApplication>
#include <QDir>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QUrl>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <tuple>

#include "about/about_dlg_qt.h"
#include "about/install_dir.h"
#include "about/license_text.h"
#include "app/command_ids.h"
#include "app/main_dlg_qt.h"
#include "ui/text_qt.h"
#include "support/temp_dir.h"

namespace zelvane {
namespace {

using ::testing::ElementsAre;

// Acts on the modal window that comes up next, from within its own event loop. Call it
// before the step that opens the window; a window of another kind fails and is closed.
template <class Window, class Action> void onNextModal(Action action) {
    QTimer::singleShot(0, qApp, [action] {
        QWidget* modal = QApplication::activeModalWidget();
        if (auto* window = qobject_cast<Window*>(modal)) {
            action(window);
        } else {
            ADD_FAILURE() << "another modal window came up";
            QApplication::closeAllWindows();
        }
    });
}

struct CountingHandlers : AboutBoxHandlers {
    int calls = 0;
    void onVisitHomePage() override { ++calls; }
    void onVisitCompany() override { ++calls; }
    void onLicense() override { ++calls; }
};

TEST(AboutBox, ControlsFocusTabOrderAndKeys) {
    CountingHandlers handlers;
    CAboutDlg dlg(handlers);
    EXPECT_EQ(dlg.windowTitle(), "About Zelvane");
    EXPECT_EQ(dlg.productText()->text(), "Zelvane Version 2.0");
    EXPECT_EQ(dlg.productText()->textFormat(), Qt::PlainText);
    for (const auto& [id, text] : {std::pair{1008, "Visit Zelvane Home Page"},
                                   {1010, "Visit Halcyra Company Home Page"},
                                   {1011, "License..."},
                                   {1, "Close"}}) {
        ASSERT_NE(dlg.button(id), nullptr) << id;
        EXPECT_EQ(dlg.button(id)->text(), text);
    }
    EXPECT_TRUE(dlg.button(1)->isDefault());
    EXPECT_EQ(dlg.minimumSize(), dlg.maximumSize()); // not resizable

    // Escape and Enter close the box without pressing a button; each time the focus starts
    // on "Close", and the tab order is the template's.
    for (const Qt::Key key : {Qt::Key_Escape, Qt::Key_Return}) {
        std::vector<QWidget*> order;
        onNextModal<CAboutDlg>([&order, key](CAboutDlg* box) {
            for (QWidget* w = box->focusWidget(); w && order.size() < 5;
                 w = w->nextInFocusChain()) {
                if (w->focusPolicy() & Qt::TabFocus) {
                    order.push_back(w);
                }
            }
            QTest::keyClick(box, key);
        });
        dlg.DoModal();
        EXPECT_FALSE(dlg.isVisible()) << key;
        EXPECT_THAT(order, ElementsAre(dlg.button(1), dlg.button(1008), dlg.button(1010),
                                       dlg.button(1011), dlg.button(1)));
    }
    EXPECT_EQ(handlers.calls, 0);
}

// From the main window: the box over it, the web pages, the missing licence's message
// owned by the box, the licence window over the box; the window menu opens the same box.
TEST(MainWindowAbout, HelpMenuAndWindowMenuRunTheBox) {
    using Message =
        std::tuple<std::u16string, std::u16string, MessageIcon, MessageButtons, QWidget*>;
    std::vector<Message> messages;
    std::vector<QString> urls;
    QTemporaryDir dir;
    CMainDlg dlg(u"zelvane");
    dlg.setMessageBoxFunction([&](QWidget* owner, std::u16string_view text,
                                  std::u16string_view caption, MessageIcon icon,
                                  MessageButtons buttons) {
        messages.emplace_back(text, caption, icon, buttons, owner);
        return MessageAnswer::Ok;
    });
    dlg.setOpenUrlFunction([&](const QUrl& url) { urls.push_back(url.toString()); });
    dlg.rememberedInputs().installDir = toU16(dir.path() + "/");
    dlg.OnInitDialog();

    const QByteArray license = "MIT License\r\n" + QByteArray("(c) Halcyra\r\n").repeated(300);
    const QString expected = "MIT License\n" + QString("(c) Halcyra\n").repeated(300);
    std::vector<QWidget*> owners;
    QWidget* aboutBox = nullptr;
    onNextModal<CAboutDlg>([&](CAboutDlg* box) {
        aboutBox = box;
        owners.push_back(box->parentWidget());
        box->button(1008)->click();
        box->button(1010)->click();
        box->button(1011)->click(); // no file yet
        testing::writeBytes(dir.filePath("License.txt").toStdString(), license.toStdString());
        onNextModal<CLicenseWnd>([&](CLicenseWnd* window) {
            owners.push_back(window->parentWidget());
            EXPECT_EQ(window->windowTitle(), "License");
            EXPECT_TRUE(window->textView()->verticalScrollBar()->isVisible());
            QTest::keyClicks(window->textView(), "typed"); // read-only
            EXPECT_EQ(window->textView()->toPlainText(), expected);
            QTest::mouseClick(window->okButton(), Qt::LeftButton);
        });
        box->button(1011)->click();
        box->button(1)->click();
    });
    dlg.commandAction(ID_HELP_ABOUT)->trigger();
    EXPECT_EQ(dlg.aboutBox(), nullptr);
    onNextModal<CAboutDlg>([&](CAboutDlg* box) {
        owners.push_back(box->parentWidget());
        box->reject();
    });
    dlg.windowMenuAction(IDM_ABOUTBOX)->trigger();

    EXPECT_THAT(owners, ElementsAre(&dlg, aboutBox, &dlg));
    EXPECT_THAT(urls, ElementsAre("https://zelvane.halcyra.com/", "https://www.halcyra.com/"));
    EXPECT_THAT(messages, ElementsAre(Message(
                              u"License file not found!\nPlease reinstall the application!",
                              u"Error", MessageIcon::Exclamation, MessageButtons::Ok, aboutBox)));
}

// Not a check: saves pictures of the About box and the licence window for the
// documentation when ZELVANE_SCREENSHOT_DIR names a folder.
TEST(Screenshots, AboutBoxAndLicenseWindow) {
    const QString dir = qEnvironmentVariable("ZELVANE_SCREENSHOT_DIR");
    if (dir.isEmpty()) {
        GTEST_SKIP() << "set ZELVANE_SCREENSHOT_DIR to save the pictures";
    }
    QDir().mkpath(dir);
    CountingHandlers handlers;
    CAboutDlg box(handlers);
    box.show();
    QApplication::processEvents();
    EXPECT_TRUE(box.grab().save(dir + "/about.png"));
    // The program's own licence, as a program run from the build tree finds it.
    CLicenseWnd window(
        loadLicenseText(resolveInstallDir(u"", currentExecutablePath())).value_or(u"(missing)"));
    window.resize(window.size().boundedTo(QSize(700, 520)));
    window.show();
    QApplication::processEvents();
    EXPECT_TRUE(window.grab().save(dir + "/about-license.png"));
}

} // namespace
} // namespace zelvane
