// The icon set: one image per node kind (index = kind), all of one square size, drawn
// from the program's own SVG resources onto white, so that transparent parts show white.
// The pictures are rendered at the screen's device pixel ratio, so that they stay as sharp
// as the text on a scaled screen.
#pragma once

#include <QIcon>
#include <QPixmap>
#include <vector>

namespace zelvane {

// The highest device pixel ratio of the application's screens (1 before there is one).
qreal deviceRatio();

class IconSet {
public:
    IconSet() = default;
    // Renders the twelve kind icons at size x size pixels, in kind order, with dpr device
    // pixels to a pixel.
    static IconSet build(int size, qreal dpr = deviceRatio());

    // In device-independent pixels.
    int size() const { return size_; }
    int count() const { return static_cast<int>(images_.size()); }
    // The image of a kind, at the set's device pixel ratio; a null pixmap for a kind
    // outside 0 to 11.
    QPixmap image(int kind) const;
    // The same image as an icon that shows it unchanged in every state: a selected node
    // keeps the picture it has unselected (no tint).
    QIcon icon(int kind) const;

private:
    int size_ = 0;
    std::vector<QPixmap> images_;
    std::vector<QIcon> icons_;
};

// The resource path of kind's SVG picture (kinds 0 to 11).
QString kindIconResource(int kind);
// A kind's picture at size x size pixels with dpr device pixels to a pixel, on a
// transparent background, for windows that want the icon itself (the window icon, the
// item dialogs).
QPixmap renderKindIcon(int kind, int size, qreal dpr = deviceRatio());
// The application's window icon: the kind-0 picture at the usual icon sizes.
QIcon applicationIcon();

} // namespace zelvane
