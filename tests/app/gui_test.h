// What the widget tests share: Qt, tree nodes of a kind, window texts, keys, icons in grabs.
#pragma once

#include <QTest>
#include <QtWidgets>
#include <algorithm>
#include <cmath>
#include <functional>
#include <gtest/gtest.h>

#include "document/snapshot_tree.h"
#include "ui/icon_set_qt.h"

namespace zelvane {

inline constexpr QPoint kNotFound{-1, -1};

inline NodeId add(SnapshotTree& tree, NodeId parent, std::u16string text, int kind) {
    const NodeId node = tree.insertLast(parent, std::move(text));
    tree.setKind(node, kind);
    return node;
}

// What the window shows: its caption, then each text of its controls in the order they
// were made, a check box's after its mark.
inline QStringList shown(const QWidget* window) {
    QStringList texts{window->windowTitle()};
    for (const QWidget* child : window->findChildren<QWidget*>()) {
        const auto* box = qobject_cast<const QCheckBox*>(child);
        const QString mark = box == nullptr ? "" : box->isChecked() ? "[x] " : "[ ] ";
        const char* text = child->inherits("QPlainTextEdit") ? "plainText" : "text";
        texts << mark + child->property(text).toString();
    }
    texts.removeAll("");
    return texts;
}

// A key pressed on the window's focused control, or on the window when none has the focus.
inline void pressKey(QWidget* window, Qt::Key key) {
    QTest::keyClick(window->focusWidget() != nullptr ? window->focusWidget() : window, key);
}

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
                same = std::equal(a, a + small.width(), b);
            }
            if (same) {
                return {x, y};
            }
        }
    }
    return kNotFound;
}

// Where the set's icon of kind lies in area of grab, pixel for pixel, drawn on white: white
// shows where the kind's picture, rendered at the grab's ratio, is transparent. kNotFound if
// it is not there so.
inline QPoint findIconOnWhite(const QImage& grab, const QRect& area, const IconSet& icons,
                              int kind) {
    const QImage picture = icons.image(kind).toImage();
    const QPoint at = findImage(grab, area, picture);
    const QImage transparent =
        renderKindIcon(kind, icons.size(), grab.devicePixelRatio()).toImage();
    for (int y = 0; y < transparent.height(); ++y) {
        for (int x = 0; x < transparent.width(); ++x) {
            if (qAlpha(transparent.pixel(x, y)) == 0) {
                const bool white =
                    at != kNotFound && grab.pixelColor(at + QPoint(x, y)) == Qt::white;
                return white ? at : kNotFound;
            }
        }
    }
    ADD_FAILURE() << "the picture of kind " << kind << " has no transparent pixel";
    return kNotFound;
}

} // namespace zelvane
