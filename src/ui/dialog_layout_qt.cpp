#include "ui/dialog_layout_qt.h"

#include <QFontMetrics>
#include <QGuiApplication>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <algorithm>

namespace zelvane {

DialogBaseUnits baseUnitsOf(const QWidget& widget) {
    const QFontMetrics metrics(widget.font());
    return dialogBaseUnits(metrics.horizontalAdvance(QStringLiteral(
                               "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz")),
                           metrics.height());
}

void place(QWidget* widget, const DialogPlace& where, const DialogBaseUnits& base) {
    const PixelRect r = mapDialogRect(where.x, where.y, where.width, where.height, base);
    widget->setGeometry(r.x, r.y, r.width, r.height);
}

QSize templateSize(int width, int height, const DialogBaseUnits& base) {
    const PixelRect r = mapDialogRect(0, 0, width, height, base);
    return QSize(r.width, r.height);
}

QRect keptOnScreen(const QWidget& window, QRect frame) {
    const QScreen* screen =
        window.screen() != nullptr ? window.screen() : QGuiApplication::primaryScreen();
    if (screen == nullptr) {
        return frame;
    }
    const QRect area = screen->availableGeometry();
    frame.setSize(frame.size().boundedTo(area.size()));
    frame.moveLeft(
        std::clamp(frame.left(), area.left(), area.left() + area.width() - frame.width()));
    frame.moveTop(std::clamp(frame.top(), area.top(), area.top() + area.height() - frame.height()));
    return frame;
}

void setFramePlace(QWidget& window, const QRect& frame) {
    const QRect outer = window.frameGeometry();
    const QRect inner = window.geometry();
    window.setGeometry(keptOnScreen(window, frame)
                           .adjusted(inner.left() - outer.left(), inner.top() - outer.top(),
                                     inner.right() - outer.right(),
                                     inner.bottom() - outer.bottom()));
}

void setControlId(QWidget* widget, int id) {
    widget->setObjectName(QStringLiteral("control_%1").arg(id));
}

QWidget* dialogControl(const QWidget* dialog, int id) {
    return dialog->findChild<QWidget*>(QStringLiteral("control_%1").arg(id),
                                       Qt::FindDirectChildrenOnly);
}

QLabel* addLabel(QWidget* dialog, const QString& text, const DialogPlace& where,
                 const DialogBaseUnits& base) {
    auto* label = new QLabel(text, dialog);
    label->setTextFormat(Qt::PlainText);
    place(label, where, base);
    const int needed = label->fontMetrics().horizontalAdvance(text) + 2;
    if (label->width() < needed) {
        label->resize(needed, label->height());
    }
    return label;
}

QPushButton* addButton(QWidget* dialog, const QString& text, int id, const DialogPlace& where,
                       const DialogBaseUnits& base) {
    auto* button = new QPushButton(text, dialog);
    setControlId(button, id);
    place(button, where, base);
    return button;
}

int widenForControls(QWidget* dialog, int templateWidth, int margin,
                     std::initializer_list<QWidget*> stretched,
                     std::initializer_list<QWidget*> moved) {
    int width = templateWidth;
    for (const QWidget* child : dialog->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
        if (!child->isWindow()) {
            width = std::max(width, child->geometry().right() + 1 + margin);
        }
    }
    const int extra = width - templateWidth;
    if (extra > 0) {
        for (QWidget* control : stretched) {
            control->resize(std::max(control->width(), width - margin - control->x()),
                            control->height());
        }
        for (QWidget* control : moved) {
            control->move(control->x() + extra, control->y());
        }
    }
    return width;
}

} // namespace zelvane
