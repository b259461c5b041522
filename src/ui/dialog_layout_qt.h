// Laying out Qt windows in dialog units, as their templates give them: the base units of a
// widget's own font, control places, controls named after their identifiers, and the
// labels and buttons every dialog makes the same way.
#pragma once

#include <QString>
#include <QWidget>
#include <initializer_list>

#include "ui/dialog_units.h"

class QLabel;
class QPushButton;

namespace zelvane {

DialogBaseUnits baseUnitsOf(const QWidget& widget);

// A control's place in its template, in dialog units.
struct DialogPlace {
    int x, y, width, height;
};

void place(QWidget* widget, const DialogPlace& where, const DialogBaseUnits& base);
// The template's client size, width by height dialog units, in pixels.
QSize templateSize(int width, int height, const DialogBaseUnits& base);

// A window's outer place (its frame included, as far as the window manager has framed it
// yet), moved, and made smaller where it is larger, so that it lies inside the available
// area of the window's screen: no window opens past it.
QRect keptOnScreen(const QWidget& window, QRect frame);
// Gives a window that outer place, kept on the screen.
void setFramePlace(QWidget& window, const QRect& frame);

// Names a control after its identifier ("control_1001"), which dialogControl finds.
void setControlId(QWidget* widget, int id);
// The child of dialog named after a control identifier, or nullptr.
QWidget* dialogControl(const QWidget* dialog, int id);

// A plain-text label at its place, widened when its text would not fit in the font in use
// (nothing stands right of a label in the templates).
QLabel* addLabel(QWidget* dialog, const QString& text, const DialogPlace& where,
                 const DialogBaseUnits& base);
// A push button with its identifier at its place.
QPushButton* addButton(QWidget* dialog, const QString& text, int id, const DialogPlace& where,
                       const DialogBaseUnits& base);

// Widens a dialog laid out from a template of templateWidth pixels when a control reaches
// past the template's right margin (margin pixels, the same as its left one): the dialog
// becomes as wide as its widest control needs, the full-width controls (stretched) grow with
// it and the controls aligned on the right margin (moved) move along, so that both margins
// stay equal. Returns the dialog's width.
int widenForControls(QWidget* dialog, int templateWidth, int margin,
                     std::initializer_list<QWidget*> stretched,
                     std::initializer_list<QWidget*> moved);

} // namespace zelvane
