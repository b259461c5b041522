// The icon set: twelve opaque images on white at each View size, all different from
// each other even at 16 pixels, and nothing for kinds without a picture.
#include <QImage>
#include <QSvgRenderer>
#include <gtest/gtest.h>

#include "icons/icon_set_qt.h"
#include "icons/view_sizes.h"

namespace zelvane {
namespace {

TEST(IconSet, TwelveOpaqueImagesOnWhiteAtEverySize) {
    for (const ViewSize& view : viewSizes()) {
        SCOPED_TRACE(view.pixels);
        const IconSet set = IconSet::build(view.pixels);
        EXPECT_EQ(set.size(), view.pixels);
        ASSERT_EQ(set.count(), 12);
        for (int kind = 0; kind < 12; ++kind) {
            const QImage image = set.image(kind).toImage();
            ASSERT_EQ(image.size(), QSize(view.pixels, view.pixels)) << kind;
            EXPECT_FALSE(image.hasAlphaChannel()) << kind;
            EXPECT_FALSE(set.icon(kind).isNull()) << kind;
            // Every picture leaves its top-left corner transparent: it shows white.
            EXPECT_EQ(image.pixel(0, 0), qRgb(255, 255, 255)) << kind;
            // And draws something: not every pixel is white.
            bool drawn = false;
            for (int y = 0; y < image.height() && !drawn; ++y) {
                for (int x = 0; x < image.width() && !drawn; ++x) {
                    drawn = image.pixel(x, y) != qRgb(255, 255, 255);
                }
            }
            EXPECT_TRUE(drawn) << kind;
        }
    }
}

TEST(IconSet, KindsAreDistinctAtSixteenPixels) {
    const IconSet set = IconSet::build(16);
    for (int a = 0; a < 12; ++a) {
        for (int b = a + 1; b < 12; ++b) {
            const QImage ia = set.image(a).toImage();
            const QImage ib = set.image(b).toImage();
            int differing = 0;
            for (int y = 0; y < 16; ++y) {
                for (int x = 0; x < 16; ++x) {
                    differing += ia.pixel(x, y) != ib.pixel(x, y);
                }
            }
            // More than a few pixels: the pictures are told apart at a glance.
            EXPECT_GT(differing, 12) << a << " vs " << b;
        }
    }
}

TEST(IconSet, KindsOutsideTheTableHaveNoImage) {
    const IconSet set = IconSet::build(24);
    for (int kind : {-1, 12, 13, 255, 1 << 20}) {
        EXPECT_TRUE(set.image(kind).isNull()) << kind;
        EXPECT_TRUE(set.icon(kind).isNull()) << kind;
        EXPECT_TRUE(kindIconResource(kind).isEmpty()) << kind;
        EXPECT_TRUE(renderKindIcon(kind, 16).isNull()) << kind;
    }
    EXPECT_TRUE(IconSet().image(0).isNull());
}

TEST(IconSet, PicturesAreValidResourcesAndTheFirstIsTheApplicationIcon) {
    for (int kind = 0; kind < 12; ++kind) {
        QSvgRenderer renderer(kindIconResource(kind));
        EXPECT_TRUE(renderer.isValid()) << kind;
        EXPECT_EQ(renderer.defaultSize(), QSize(48, 48)) << kind;
    }
    const QIcon app = applicationIcon();
    ASSERT_FALSE(app.isNull());
    EXPECT_TRUE(app.availableSizes().contains(QSize(16, 16)));
    EXPECT_TRUE(app.availableSizes().contains(QSize(48, 48)));
    // With transparency, unlike the tree's images.
    EXPECT_TRUE(renderKindIcon(0, 32).toImage().hasAlphaChannel());
    EXPECT_EQ(app.pixmap(32).toImage().convertToFormat(QImage::Format_ARGB32).pixel(0, 0) >> 24,
              0u);
}

} // namespace
} // namespace zelvane
