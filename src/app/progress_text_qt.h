// The main window's progress text (control 1013): a text of fixed size that a scan rewrites
// thousands of times a second. A new text is the control's at once (text(), and the name a
// screen reader reads) and lays nothing out; the screen shows it with the next repaint,
// which comes at most once a display frame, so that the newest text is always the one drawn
// and the last one is never left out. The repaint covers this control alone and draws from
// pieces laid out once (each run of characters other than digits, and each digit).
#pragma once

#include <QBasicTimer>
#include <QElapsedTimer>
#include <QHash>
#include <QStaticText>
#include <QWidget>

namespace zelvane {

class ProgressText : public QWidget {
    Q_OBJECT
public:
    // Placed and sized by the window, which then fixes its size (setFixedSize).
    ProgressText(const QString& text, QWidget* parent);

    void setText(const QString& text);
    const QString& text() const { return text_; }

    // The shortest time between two repaints: one frame of a 60 Hz display.
    static constexpr int kFrameMs = 16;

protected:
    void paintEvent(QPaintEvent* event) override;
    void changeEvent(QEvent* event) override;
    void timerEvent(QTimerEvent* event) override;

private:
    const QStaticText& piece(const QString& text);

    QString text_;
    QHash<QString, QStaticText> pieces_;
    QElapsedTimer sincePaint_; // since the last repaint was asked for
    QBasicTimer nextFrame_;    // a repaint waiting for its frame
};

} // namespace zelvane
