#include "app/progress_text_qt.h"

#include <QEvent>
#include <QPainter>

namespace zelvane {

namespace {

// Pieces kept at most; texts other than the scan's bring new ones only now and then.
constexpr qsizetype kMaxPieces = 256;

} // namespace

ProgressText::ProgressText(const QString& text, QWidget* parent) : QLabel(text, parent) {
    setTextFormat(Qt::PlainText);
    setAlignment(Qt::AlignLeft | Qt::AlignTop);
    // It paints its own background (paintEvent): a repaint stays within the label.
    setAttribute(Qt::WA_OpaquePaintEvent);
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
    const QString all = text();
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
    QLabel::changeEvent(event);
}

} // namespace zelvane
