// Finding pictures in grabbed windows.
#pragma once

#include <QImage>
#include <QPoint>
#include <QRect>
#include <cmath>

namespace zelvane {

inline constexpr QPoint kNotFound{-1, -1};

// A rectangle in a widget's pixels as device pixels of a grab taken at ratio.
inline QRect deviceRect(const QRect& rect, qreal ratio) {
    return {QPoint(static_cast<int>(std::floor(rect.left() * ratio)),
                   static_cast<int>(std::floor(rect.top() * ratio))),
            QSize(static_cast<int>(std::ceil(rect.width() * ratio)),
                  static_cast<int>(std::ceil(rect.height() * ratio)))};
}

// Where needle lies in haystack, pixel for pixel, with its top-left inside area; kNotFound
// if it does not.
inline QPoint findImage(const QImage& haystack, const QRect& area, const QImage& needle) {
    const QImage big = haystack.convertToFormat(QImage::Format_RGB32);
    const QImage small = needle.convertToFormat(QImage::Format_RGB32);
    for (int y = area.top(); y <= area.bottom() && y + small.height() <= big.height(); ++y) {
        for (int x = area.left(); x <= area.right() && x + small.width() <= big.width(); ++x) {
            bool same = true;
            for (int row = 0; row < small.height() && same; ++row) {
                const auto* a = reinterpret_cast<const QRgb*>(big.constScanLine(y + row)) + x;
                const auto* b = reinterpret_cast<const QRgb*>(small.constScanLine(row));
                for (int column = 0; column < small.width() && same; ++column) {
                    same = a[column] == b[column];
                }
            }
            if (same) {
                return {x, y};
            }
        }
    }
    return kNotFound;
}

// The first pixel, row by row, that is wholly transparent.
inline QPoint firstTransparentPixel(const QImage& image) {
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            if (qAlpha(image.pixel(x, y)) == 0) {
                return {x, y};
            }
        }
    }
    return kNotFound;
}

} // namespace zelvane
