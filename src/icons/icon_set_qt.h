// The icon set: one image per node kind (index = kind), all of one square size, drawn
// from the program's own SVG resources onto white, so that transparent parts show white.
#pragma once

#include <QIcon>
#include <QPixmap>
#include <vector>

namespace zelvane {

class IconSet {
public:
    IconSet() = default;
    // Renders the twelve kind icons at size x size pixels, in kind order.
    static IconSet build(int size);

    int size() const { return size_; }
    int count() const { return static_cast<int>(images_.size()); }
    // The image of a kind; a null pixmap for a kind outside 0 to 11.
    QPixmap image(int kind) const;
    QIcon icon(int kind) const;

private:
    int size_ = 0;
    std::vector<QPixmap> images_;
    std::vector<QIcon> icons_;
};

// The resource path of kind's SVG picture (kinds 0 to 11).
QString kindIconResource(int kind);
// A kind's picture at size pixels on a transparent background, for windows that want
// the icon itself (the window icon, the item dialogs).
QPixmap renderKindIcon(int kind, int size);
// The application's window icon: the kind-0 picture at the usual icon sizes.
QIcon applicationIcon();

} // namespace zelvane
