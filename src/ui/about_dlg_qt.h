// The About box (template "About Zelvane", 164 by 148 dialog units) and the licence window.
#pragma once

#include <QDialog>
#include <functional>
#include <string_view>

#include "about/about_command.h"

class QPlainTextEdit;
class QPushButton;
class QUrl;
class QWidget;

namespace zelvane {

class CAboutDlg : public QDialog {
    Q_OBJECT
public:
    // The buttons call handlers; the box keeps no data of its own.
    explicit CAboutDlg(AboutBoxHandlers& handlers, QWidget* parent = nullptr);

    // Runs the box modally. The focus starts on "Close".
    int DoModal();

    // The push button with a control identifier (1008, 1010, 1011, or 1 for "Close").
    QPushButton* button(int id) const;

private:
    AboutBoxHandlers& handlers_;
    QPushButton* homePage_ = nullptr;
    QPushButton* company_ = nullptr;
    QPushButton* license_ = nullptr;
    QPushButton* close_ = nullptr;
};

// The licence window: modal over owner, captioned "License", the whole text read-only with
// a scroll bar, and an OK button.
class CLicenseWnd : public QDialog {
    Q_OBJECT
public:
    CLicenseWnd(std::u16string_view text, QWidget* parent = nullptr);
    QPlainTextEdit* textView() const { return text_; }
    QPushButton* okButton() const { return ok_; }

private:
    QPlainTextEdit* text_ = nullptr;
    QPushButton* ok_ = nullptr;
};

// The address of one of the web-page constants as a URL.
QUrl webPageUrl(std::string_view address);

} // namespace zelvane
