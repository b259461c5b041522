#include "ui/icon_set_qt.h"

#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QSvgRenderer>
#include <algorithm>
#include <array>

#include "icons/view_sizes.h"

// The SVG pictures are compiled into the static library; make sure their registration is
// linked in whichever program uses the icon set.
static void initIconResources() {
    Q_INIT_RESOURCE(zelvane_kind_icons);
}

namespace zelvane {

namespace {

constexpr std::array<const char*, kIconSetImageCount> kIconFiles{
    "kind00_snapshot", "kind01_program",  "kind02_archive", "kind03_autorun",
    "kind04_cdrom",    "kind05_document", "kind06_folder",  "kind07_media",
    "kind08_file",     "kind09_drive",    "kind10_system",  "kind11_shortcut",
};

// The picture of kind on background, size x size pixels with dpr device pixels to a pixel.
QImage renderOnto(int kind, int size, qreal dpr, const QColor& background) {
    dpr = dpr > 0 ? dpr : 1;
    const int pixels = std::max(1, qRound(size * dpr));
    QImage image(pixels, pixels, QImage::Format_ARGB32_Premultiplied);
    image.fill(background);
    QSvgRenderer renderer(kindIconResource(kind));
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    renderer.render(&painter, QRectF(0, 0, pixels, pixels));
    painter.end();
    image.setDevicePixelRatio(static_cast<qreal>(pixels) / size);
    return image;
}

} // namespace

qreal deviceRatio() {
    return qGuiApp != nullptr ? qGuiApp->devicePixelRatio() : 1.0;
}

QString kindIconResource(int kind) {
    initIconResources();
    if (kind < 0 || kind >= kIconSetImageCount) {
        return {};
    }
    return QStringLiteral(":/icons/%1.svg").arg(QLatin1String(kIconFiles[kind]));
}

IconSet IconSet::build(int size, qreal dpr) {
    IconSet set;
    set.size_ = size;
    set.images_.reserve(kIconSetImageCount);
    set.icons_.reserve(kIconSetImageCount);
    for (int kind = 0; kind < kIconSetImageCount; ++kind) {
        // Opaque, like a 24-bit image list without a mask: the background is white.
        const QPixmap pixmap = QPixmap::fromImage(
            renderOnto(kind, size, dpr, Qt::white).convertToFormat(QImage::Format_RGB32));
        set.images_.push_back(pixmap);
        // Every mode has its picture, so that none is derived from the normal one (Qt
        // tints the selected picture with the highlight colour).
        QIcon icon;
        for (QIcon::Mode mode : {QIcon::Normal, QIcon::Active, QIcon::Selected, QIcon::Disabled}) {
            icon.addPixmap(pixmap, mode);
        }
        set.icons_.push_back(icon);
    }
    return set;
}

QPixmap IconSet::image(int kind) const {
    if (kind < 0 || kind >= count()) {
        return {};
    }
    return images_[static_cast<std::size_t>(kind)];
}

QIcon IconSet::icon(int kind) const {
    if (kind < 0 || kind >= count()) {
        return {};
    }
    return icons_[static_cast<std::size_t>(kind)];
}

QPixmap renderKindIcon(int kind, int size, qreal dpr) {
    if (kind < 0 || kind >= kIconSetImageCount) {
        return {};
    }
    return QPixmap::fromImage(renderOnto(kind, size, dpr, Qt::transparent));
}

QIcon applicationIcon() {
    QIcon icon;
    for (int size : {16, 24, 32, 48, 64, 128, 256}) {
        icon.addPixmap(renderKindIcon(0 /* the snapshot document picture */, size, 1.0));
    }
    return icon;
}

} // namespace zelvane
