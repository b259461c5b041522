#include "ui/dialog_units.h"

#include <cstdint>

namespace zelvane {

namespace {

// number * numerator / denominator in 64 bits, rounded to the nearest integer with halves
// away from zero.
int mulDiv(int number, int numerator, int denominator) {
    if (denominator == 0) {
        return 0;
    }
    const std::int64_t product = std::int64_t{number} * numerator;
    const std::int64_t half = denominator / 2;
    const std::int64_t rounded =
        product >= 0 ? (product + half) / denominator : (product - half) / denominator;
    return static_cast<int>(rounded);
}

} // namespace

DialogBaseUnits dialogBaseUnits(int alphabetWidth, int height) {
    // The average of the 52 letters, rounded: (width / 26 + 1) / 2.
    return {(alphabetWidth / 26 + 1) / 2, height};
}

int dialogUnitsToPixelsX(int units, const DialogBaseUnits& base) {
    return mulDiv(units, base.x, 4);
}

int dialogUnitsToPixelsY(int units, const DialogBaseUnits& base) {
    return mulDiv(units, base.y, 8);
}

PixelRect mapDialogRect(int x, int y, int width, int height, const DialogBaseUnits& base) {
    // The corners are converted, as the dialog manager maps a rectangle, so that adjacent
    // controls stay adjacent in pixels.
    const int left = dialogUnitsToPixelsX(x, base);
    const int top = dialogUnitsToPixelsY(y, base);
    const int right = dialogUnitsToPixelsX(x + width, base);
    const int bottom = dialogUnitsToPixelsY(y + height, base);
    return {left, top, right - left, bottom - top};
}

} // namespace zelvane
