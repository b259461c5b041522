#include "ui/dialog_layout_qt.h"

#include <QFontMetrics>

namespace zelvane {

DialogBaseUnits baseUnitsOf(const QWidget& widget) {
    const QFontMetrics metrics(widget.font());
    return dialogBaseUnits(metrics.horizontalAdvance(QStringLiteral(
                               "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz")),
                           metrics.height());
}

} // namespace zelvane
