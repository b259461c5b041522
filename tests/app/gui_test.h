// What the widget tests share: Qt, tree nodes of a kind, icons in grabs.
#pragma once

#include "support/test_common.h"
#include <QTest>
#include <QtWidgets>

#include "document/snapshot_tree.h"
#include "ui/icon_set_qt.h"

namespace zelvane {

inline constexpr QPoint kNotFound{-1, -1};

inline NodeId add(SnapshotTree& tree, NodeId parent, std::u16string text, int kind) {
    const NodeId node = tree.insertLast(parent, std::move(text));
    tree.setKind(node, kind);
    return node;
}

// Where needle lies in haystack, pixel for pixel, its top-left inside area; else kNotFound.
inline QPoint findImage(const QImage& haystack, const QRect& area, const QImage& needle) {
    const QImage big = haystack.convertToFormat(QImage::Format_RGB32);
    const QImage small = needle.convertToFormat(QImage::Format_RGB32);
    for (int y = area.top(); y <= area.bottom(); ++y) {
        for (int x = area.left(); x <= area.right(); ++x) {
            if (big.copy(QRect(QPoint(x, y), small.size())) == small) {
                return {x, y};
            }
        }
    }
    return kNotFound;
}

// Where the set's icon of kind lies in area of grab, drawn on white where its picture is
// transparent; else kNotFound.
inline QPoint findIconOnWhite(const QImage& grab, const QRect& area, const IconSet& icons,
                              int kind) {
    const QPoint at = findImage(grab, area, icons.image(kind).toImage());
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
