// Dialog units: window layouts are given in units of the dialog font, a quarter of its
// average character width horizontally and an eighth of its height vertically, and are
// converted to pixels the way the Windows dialog manager does it.
#pragma once

namespace zelvane {

struct DialogBaseUnits {
    int x = 0; // average character width in pixels
    int y = 0; // character height in pixels
};

// The base units of a font, from the width of the 52 letters "A" to "Z" and "a" to "z"
// written in it and its line height: the average width is rounded to the nearest pixel.
DialogBaseUnits dialogBaseUnits(int alphabetWidth, int height);

struct PixelRect {
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
};

// x * base.x / 4 and y * base.y / 8, each rounded to the nearest pixel (halves away from
// zero), for the origin and the size alike.
int dialogUnitsToPixelsX(int units, const DialogBaseUnits& base);
int dialogUnitsToPixelsY(int units, const DialogBaseUnits& base);
PixelRect mapDialogRect(int x, int y, int width, int height, const DialogBaseUnits& base);

} // namespace zelvane
