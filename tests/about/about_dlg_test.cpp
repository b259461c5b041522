// The About box and the licence window under the offscreen platform, alone and opened from
// the main window's Help menu and window menu.
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
#include <deque>
#include <functional>
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "about/about_dlg.h"
#include "about/install_dir.h"
#include "about/license_text.h"
#include "app/command_ids.h"
#include "app/dialog_units.h"
#include "app/main_dlg.h"
#include "app/qt_text.h"

namespace zelvane {
namespace {

using ::testing::ElementsAre;

// Acts on modal windows as they come up: each step waits (up to five seconds) until the
// active modal widget matches its test, then runs once, from the event loop. A step left
// over at the deadline fails the test, and every modal window is closed so the test ends.
class ModalDriver {
public:
    using Test = std::function<bool(QWidget*)>;
    using Action = std::function<void(QWidget*)>;

    ModalDriver() {
        timer_.setInterval(10);
        QObject::connect(&timer_, &QTimer::timeout, [this] { poll(); });
        timer_.start();
        deadline_.start();
    }
    ~ModalDriver() { EXPECT_TRUE(steps_.empty()) << steps_.size() << " modal step(s) never ran"; }

    template <class Window> ModalDriver& on(std::function<void(Window*)> action) {
        steps_.push_back({[](QWidget* w) { return qobject_cast<Window*>(w) != nullptr; },
                          [action](QWidget* w) { action(qobject_cast<Window*>(w)); }});
        return *this;
    }

private:
    void poll() {
        QWidget* modal = QApplication::activeModalWidget();
        if (deadline_.elapsed() > 5000) {
            timer_.stop();
            while (QWidget* w = QApplication::activeModalWidget()) {
                w->close();
                if (QApplication::activeModalWidget() == w) {
                    break;
                }
            }
            return;
        }
        if (steps_.empty() || modal == nullptr || modal == busy_ || !steps_.front().test(modal)) {
            return;
        }
        Step step = std::move(steps_.front());
        steps_.pop_front();
        busy_ = modal;
        // From a fresh event-loop turn, so that an action may open a modal window itself.
        QTimer::singleShot(0, modal, [this, action = std::move(step.action), modal] {
            busy_ = nullptr;
            action(modal);
        });
    }

    struct Step {
        Test test;
        Action action;
    };
    std::deque<Step> steps_;
    QTimer timer_;
    QElapsedTimer deadline_;
    QWidget* busy_ = nullptr;
};

class RecordingHandlers : public AboutBoxHandlers {
public:
    std::vector<std::string> calls;
    void onVisitHomePage() override { calls.push_back("home"); }
    void onVisitCompany() override { calls.push_back("company"); }
    void onLicense() override { calls.push_back("license"); }
};

DialogBaseUnits baseUnitsOf(const QWidget& widget) {
    const QFontMetrics metrics(widget.font());
    return dialogBaseUnits(metrics.horizontalAdvance(QStringLiteral(
                               "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz")),
                           metrics.height());
}

QRect templateRect(const QWidget& dlg, int x, int y, int width, int height) {
    const PixelRect r = mapDialogRect(x, y, width, height, baseUnitsOf(dlg));
    return QRect(r.x, r.y, r.width, r.height);
}

// --- The About box alone ---

TEST(AboutBox, ControlsTextsAndPlacesFollowTheTemplate) {
    RecordingHandlers handlers;
    CAboutDlg dlg(handlers);
    EXPECT_EQ(dlg.windowTitle(), "About Zelvane");
    EXPECT_EQ(dlg.productText()->text(), "Zelvane Version 2.0");
    EXPECT_EQ(dlg.productText()->textFormat(), Qt::PlainText);
    EXPECT_TRUE(dlg.productText()->alignment() & Qt::AlignHCenter);

    struct Expected {
        int id;
        const char* text;
        QRect place;
    };
    const Expected expected[] = {
        {1008, "Visit Zelvane Home Page", templateRect(dlg, 27, 79, 108, 12)},
        {1010, "Visit Halcyra Company Home Page", templateRect(dlg, 14, 95, 136, 12)},
        {1011, "License...", templateRect(dlg, 7, 127, 50, 14)},
        {1, "Close", templateRect(dlg, 107, 127, 50, 14)},
    };
    for (const Expected& e : expected) {
        QPushButton* button = dlg.button(e.id);
        ASSERT_NE(button, nullptr) << e.id;
        EXPECT_EQ(button->text(), e.text);
        EXPECT_EQ(button->geometry(), e.place) << e.text;
        EXPECT_EQ(button->objectName(), QStringLiteral("control_%1").arg(e.id));
        EXPECT_TRUE(button->focusPolicy() & Qt::TabFocus);
    }
    EXPECT_EQ(dlg.productText()->geometry(), templateRect(dlg, 7, 7, 150, 33));
    EXPECT_TRUE(dlg.button(1)->isDefault());
    EXPECT_EQ(dlg.button(1234), nullptr);

    // 164 by 148 units, and the user cannot resize it.
    const QRect client = templateRect(dlg, 0, 0, 164, 148);
    EXPECT_EQ(dlg.size(), client.size());
    EXPECT_EQ(dlg.minimumSize(), dlg.maximumSize());
    // Every control lies inside the box.
    for (QWidget* child : dlg.findChildren<QWidget*>()) {
        EXPECT_TRUE(QRect(QPoint(0, 0), dlg.size()).contains(child->geometry()))
            << child->objectName().toStdString();
    }
}

TEST(AboutBox, TabOrderStartsOnCloseWhichHasTheFocus) {
    RecordingHandlers handlers;
    CAboutDlg dlg(handlers);
    std::vector<int> order;
    ModalDriver driver;
    driver.on<CAboutDlg>([&](CAboutDlg* box) {
        EXPECT_EQ(box->focusWidget(), box->button(1));
        QWidget* w = box->button(1);
        for (int i = 0; i < 5; ++i) {
            order.push_back(w->objectName().mid(8).toInt());
            do {
                w = w->nextInFocusChain();
            } while (!(w->focusPolicy() & Qt::TabFocus));
        }
        box->reject();
    });
    dlg.DoModal();
    EXPECT_THAT(order, ElementsAre(1, 1008, 1010, 1011, 1));
}

TEST(AboutBox, ButtonsCallTheirHandlersAndCloseEndsTheBox) {
    RecordingHandlers handlers;
    CAboutDlg dlg(handlers);
    ModalDriver driver;
    driver.on<CAboutDlg>([](CAboutDlg* box) {
        QTest::mouseClick(box->button(1008), Qt::LeftButton);
        QTest::mouseClick(box->button(1010), Qt::LeftButton);
        QTest::mouseClick(box->button(1011), Qt::LeftButton);
        QTest::mouseClick(box->button(1), Qt::LeftButton);
    });
    dlg.DoModal();
    EXPECT_FALSE(dlg.isVisible());
    EXPECT_THAT(handlers.calls, ElementsAre("home", "company", "license"));
}

TEST(AboutBox, EscapeAndEnterCloseTheBox) {
    for (const Qt::Key key : {Qt::Key_Escape, Qt::Key_Return}) {
        RecordingHandlers handlers;
        CAboutDlg dlg(handlers);
        ModalDriver driver;
        driver.on<CAboutDlg>([key](CAboutDlg* box) { QTest::keyClick(box, key); });
        dlg.DoModal();
        EXPECT_FALSE(dlg.isVisible()) << key;
        EXPECT_TRUE(handlers.calls.empty()) << key;
    }
}

// --- The licence window ---

TEST(LicenseWindow, HoldsTheWholeTextReadOnlyWithAScrollBar) {
    std::u16string text;
    for (int line = 0; text.size() + 64 <= kLicenseTextMax; ++line) {
        text += toU16(
            QStringLiteral("line %1 of a long licence text, long enough to scroll\n").arg(line, 4));
    }
    text += u"last";
    CLicenseWnd window(text);
    EXPECT_EQ(window.windowTitle(), "License");
    EXPECT_TRUE(window.textView()->isReadOnly());
    EXPECT_EQ(toU16(window.textView()->toPlainText()), text);
    window.show();
    QApplication::processEvents();
    EXPECT_TRUE(window.textView()->verticalScrollBar()->isVisible());
    EXPECT_GT(window.textView()->verticalScrollBar()->maximum(), 0);
    EXPECT_EQ(window.focusWidget(), window.okButton());
    QTest::keyClicks(window.textView(), "typed");
    EXPECT_EQ(toU16(window.textView()->toPlainText()), text);
    QTest::mouseClick(window.okButton(), Qt::LeftButton);
    EXPECT_FALSE(window.isVisible());
}

// --- Opened from the main window ---

struct ShownMessage {
    std::u16string text;
    std::u16string caption;
    MessageIcon icon;
    MessageButtons buttons;
    QWidget* owner;
};

class MainWindowAboutTest : public ::testing::Test {
protected:
    MainWindowAboutTest() : dlg(u"zelvane") {
        dlg.setMessageBoxFunction([this](QWidget* owner, std::u16string_view text,
                                         std::u16string_view caption, MessageIcon icon,
                                         MessageButtons buttons) {
            messages.push_back(
                {std::u16string(text), std::u16string(caption), icon, buttons, owner});
            return MessageAnswer::Ok;
        });
        dlg.setFileDialogFunction(
            [](QWidget*, const FileDialogRequest&) { return std::optional<ChosenFile>(); });
        dlg.setOpenUrlFunction([this](const QUrl& url) { urls.push_back(url.toString()); });
        dlg.rememberedInputs().installDir = toU16(dir.path() + "/");
    }

    void writeLicense(const QByteArray& bytes) {
        QFile file(dir.filePath("License.txt"));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bytes);
    }

    QTemporaryDir dir;
    CMainDlg dlg;
    std::vector<ShownMessage> messages;
    std::vector<QString> urls;
};

TEST_F(MainWindowAboutTest, HelpMenuAndWindowMenuOpenTheSameBox) {
    dlg.OnInitDialog();
    std::vector<QWidget*> owners;
    ModalDriver driver;
    auto look = [&](CAboutDlg* box) {
        owners.push_back(box->parentWidget());
        EXPECT_EQ(dlg.aboutBox(), box);
        box->reject();
    };
    driver.on<CAboutDlg>(look).on<CAboutDlg>(look);
    dlg.commandAction(ID_HELP_ABOUT)->trigger();
    EXPECT_EQ(dlg.aboutBox(), nullptr);
    dlg.windowMenuAction(IDM_ABOUTBOX)->trigger();
    EXPECT_THAT(owners, ElementsAre(&dlg, &dlg));
    EXPECT_EQ(dlg.aboutBox(), nullptr);
}

TEST_F(MainWindowAboutTest, WebPageButtonsOpenTheTwoAddresses) {
    ModalDriver driver;
    driver.on<CAboutDlg>([](CAboutDlg* box) {
        box->button(1008)->click();
        box->button(1010)->click();
        box->button(1)->click();
    });
    dlg.OnHelpAbout();
    EXPECT_THAT(urls, ElementsAre("https://zelvane.halcyra.com/", "https://www.halcyra.com/"));
    EXPECT_TRUE(messages.empty());
}

TEST_F(MainWindowAboutTest, LicenseButtonShowsTheFileOverTheBox) {
    writeLicense("MIT License\r\n\r\nCopyright (c) Halcyra\r\n");
    QString shown;
    QWidget* owner = nullptr;
    CAboutDlg* aboutBox = nullptr;
    ModalDriver driver;
    driver
        .on<CAboutDlg>([&](CAboutDlg* box) {
            aboutBox = box;
            box->button(1011)->click();
        })
        .on<CLicenseWnd>([&](CLicenseWnd* window) {
            shown = window->textView()->toPlainText();
            owner = window->parentWidget();
            window->okButton()->click();
        })
        .on<CAboutDlg>([](CAboutDlg* box) { box->button(1)->click(); });
    dlg.OnHelpAbout();
    EXPECT_EQ(shown, "MIT License\n\nCopyright (c) Halcyra\n");
    EXPECT_EQ(owner, aboutBox);
    EXPECT_TRUE(messages.empty());
}

TEST_F(MainWindowAboutTest, EmptyFullAndOverlongFilesInTheLicenseWindow) {
    const QByteArray full(16384, 'a');
    for (const auto& [bytes, expected] :
         {std::pair{QByteArray(), QString()}, std::pair{full, QString(full)},
          std::pair{full + "b", QString(full)}}) {
        writeLicense(bytes);
        QString shown = QStringLiteral("(no licence window)");
        QString caption;
        ModalDriver driver;
        driver.on<CAboutDlg>([](CAboutDlg* box) { box->button(1011)->click(); })
            .on<CLicenseWnd>([&](CLicenseWnd* window) {
                shown = window->textView()->toPlainText();
                caption = window->windowTitle();
                window->okButton()->click();
            })
            .on<CAboutDlg>([](CAboutDlg* box) { box->button(1)->click(); });
        dlg.OnHelpAbout();
        EXPECT_EQ(shown, expected) << bytes.size() << " bytes";
        EXPECT_EQ(caption, "License");
    }
    EXPECT_TRUE(messages.empty());
}

TEST_F(MainWindowAboutTest, MissingLicenseGivesTheErrorOwnedByTheBox) {
    CAboutDlg* aboutBox = nullptr;
    ModalDriver driver;
    driver.on<CAboutDlg>([&](CAboutDlg* box) {
        aboutBox = box;
        box->button(1011)->click();
        EXPECT_EQ(QApplication::activeModalWidget(), box); // no licence window came up
        box->button(1)->click();
    });
    dlg.OnHelpAbout();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].text, u"License file not found!\nPlease reinstall the application!");
    EXPECT_EQ(messages[0].caption, u"Error");
    EXPECT_EQ(messages[0].icon, MessageIcon::Exclamation);
    EXPECT_EQ(messages[0].buttons, MessageButtons::Ok);
    EXPECT_EQ(messages[0].owner, aboutBox);
}

// Not a check: saves pictures of the About box and the licence window for the
// documentation when ZELVANE_SCREENSHOT_DIR names a folder.
TEST(Screenshots, AboutBoxAndLicenseWindow) {
    const QString dir = qEnvironmentVariable("ZELVANE_SCREENSHOT_DIR");
    if (dir.isEmpty()) {
        GTEST_SKIP() << "set ZELVANE_SCREENSHOT_DIR to save the pictures";
    }
    QDir().mkpath(dir);
    RecordingHandlers handlers;
    CAboutDlg box(handlers);
    box.show();
    box.button(1)->setFocus();
    QApplication::processEvents();
    EXPECT_TRUE(box.grab().save(dir + "/about.png"));

    // The program's own licence, as a program run from the build tree finds it.
    const std::optional<std::u16string> text =
        loadLicenseText(resolveInstallDir(u"", currentExecutablePath()));
    ASSERT_TRUE(text.has_value());
    CLicenseWnd window(*text);
    window.resize(window.size().boundedTo(QSize(700, 520)));
    window.show();
    QApplication::processEvents();
    EXPECT_TRUE(window.grab().save(dir + "/about-license.png"));
}

} // namespace
} // namespace zelvane
