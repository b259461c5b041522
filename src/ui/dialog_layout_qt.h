// Laying out Qt windows in dialog units, with the base units of a widget's own font.
#pragma once

#include <QWidget>

#include "ui/dialog_units.h"

namespace zelvane {

DialogBaseUnits baseUnitsOf(const QWidget& widget);

struct DialogPlace {
    int x, y, width, height;
};

// Puts widget at a place given in dialog units (a DialogPlace, or any struct with x, y,
// width and height).
template <class Place = DialogPlace>
void place(QWidget* widget, const Place& where, const DialogBaseUnits& base) {
    const PixelRect r = mapDialogRect(where.x, where.y, where.width, where.height, base);
    widget->setGeometry(r.x, r.y, r.width, r.height);
}

inline void place(QWidget* widget, const DialogPlace& where, const DialogBaseUnits& base) {
    place<DialogPlace>(widget, where, base);
}

} // namespace zelvane
