#include "ui/dialog_layout_qt.h"

#include <QFontMetrics>
#include <QLabel>
#include <QPushButton>
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
