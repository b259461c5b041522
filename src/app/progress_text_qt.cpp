#include "app/progress_text_qt.h"

#include <QEvent>
#include <QPainter>
#include <QTimerEvent>

namespace zelvane {

namespace {

// Pieces kept at most; texts other than the scan's bring new ones only now and then.
constexpr qsizetype kMaxPieces = 256;

} // namespace

ProgressText::ProgressText(const QString& text, QWidget* parent) : QWidget(parent), text_(text) {
    // It paints its own background (paintEvent): a repaint stays within the control.
    setAttribute(Qt::WA_OpaquePaintEvent);
    setAccessibleName(text_);
}

void ProgressText::setText(const QString& text) {
    if (text == text_) {
        return;
    }
    text_ = text;
    setAccessibleName(text_);
    if (nextFrame_.isActive()) {
        return; // the waiting repaint draws this text
    }
    const qint64 since = sincePaint_.isValid() ? sincePaint_.elapsed() : kFrameMs;
    if (since >= kFrameMs) {
        sincePaint_.start();
        update();
    } else {
        nextFrame_.start(static_cast<int>(kFrameMs - since), this);
    }
}

void ProgressText::timerEvent(QTimerEvent* event) {
    if (event->timerId() != nextFrame_.timerId()) {
        QWidget::timerEvent(event);
        return;
    }
    nextFrame_.stop();
    sincePaint_.start();
    update();
}

const QStaticText& ProgressText::piece(const QString& text) {
    auto it = pieces_.find(text);
    if (it == pieces_.end()) {
        if (pieces_.size() >= kMaxPieces) {
            pieces_.clear();
        }
        QStaticText laidOut(text);
        laidOut.setTextFormat(Qt::PlainText);
        laidOut.prepare(QTransform(), font());
        it = pieces_.insert(text, laidOut);
    }
    return *it;
}

void ProgressText::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), palette().brush(backgroundRole()));
    painter.setFont(font());
    painter.setPen(palette().color(foregroundRole()));
    const QRect area = contentsRect();
    const int lineSpacing = fontMetrics().lineSpacing();
    const QString& all = text_;
    int y = area.top();
    for (const QStringView line : QStringView(all).split(QLatin1Char('\n'))) {
        qreal x = area.left();
        for (qsizetype start = 0; start < line.size();) {
            qsizetype end = start + 1;
            if (!line[start].isDigit()) {
                while (end < line.size() && !line[end].isDigit()) {
                    ++end;
                }
            }
            const QStaticText& laidOut = piece(line.mid(start, end - start).toString());
            painter.drawStaticText(QPointF(x, y), laidOut);
            x += laidOut.size().width();
            start = end;
        }
        y += lineSpacing;
    }
}

void ProgressText::changeEvent(QEvent* event) {
    if (event->type() == QEvent::FontChange) {
        pieces_.clear();
    }
    QWidget::changeEvent(event);
}

} // namespace zelvane
