// The main window's progress text (control 1013): a label of fixed size that a scan rewrites
// thousands of times a second. A new text lays nothing out and repaints this label alone,
// over its own background; the repaint draws the text from pieces laid out once (each run
// of characters other than digits, and each digit), so that new counts are not shaped again.
#pragma once

#include <QHash>
#include <QLabel>
#include <QStaticText>

namespace zelvane {

class ProgressText : public QLabel {
    Q_OBJECT
public:
    // Placed and sized by the window, which then fixes its size (setFixedSize).
    ProgressText(const QString& text, QWidget* parent);

protected:
    void paintEvent(QPaintEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    const QStaticText& piece(const QString& text);

    QHash<QString, QStaticText> pieces_;
};

} // namespace zelvane
