// The QSettings backend in the private configuration folder that gui_test_main sets up,
// and the icon set at every View size.
#include <QFile>
#include <QSettings>
#include <gtest/gtest.h>

#include "icons/icon_set_qt.h"
#include "icons/view_sizes.h"
#include "settings/qsettings_backend_qt.h"

namespace zelvane {
namespace {

TEST(QSettingsBackendStore, RoundTripsEveryValueThroughTheFile) {
    const QString file = qEnvironmentVariable("XDG_CONFIG_HOME") + "/Halcyra/Zelvane.conf";
    ASSERT_FALSE(qEnvironmentVariable("XDG_CONFIG_HOME").isEmpty());
    QFile::remove(file);
    {
        QSettingsBackend first;
        EXPECT_EQ(loadSettings(first), RememberedInputs{}); // and writes every default
    }
    EXPECT_TRUE(QFile::exists(file));

    RememberedInputs in;
    in.addTree = {u"/mnt/Ω data", u"*.jpg", u"Holiday; \"2024\" = #1"};
    in.search = {u"  日本 ", true, true, false, false, true};
    {
        QSettingsBackend writer;
        saveSettings(writer, in);
    }
    {
        QSettingsBackend reader;
        const RememberedInputs out = loadSettings(reader);
        EXPECT_EQ(out.addTree, in.addTree);
        EXPECT_EQ(out.search, in.search);
    }

    // A hand-edited flag that is not a number reads as missing: it gets its default, which
    // is written back; the other values stay.
    {
        QSettings raw(QSettings::NativeFormat, QSettings::UserScope, "Halcyra", "Zelvane");
        raw.setValue("Search_IsMatchCase", "yes");
    }
    {
        QSettingsBackend backend;
        backend.open(kSettingsSubkey);
        EXPECT_EQ(backend.readNumber(u"Search_IsMatchCase"), std::nullopt);
        EXPECT_EQ(backend.readText(u"Search_IsMatchCase"), u"yes");
        EXPECT_EQ(backend.readNumber(u"Search_IsFilesOnly"), 1);
        backend.close();
        const RememberedInputs out = loadSettings(backend);
        EXPECT_FALSE(out.search.isMatchCase);
        EXPECT_TRUE(out.search.isFilesOnly);
    }
    QSettings check(QSettings::NativeFormat, QSettings::UserScope, "Halcyra", "Zelvane");
    EXPECT_EQ(check.value("Search_IsMatchCase").toString(), "0");
}

TEST(IconSetSizes, TwelveDistinctImagesAtEveryViewSize) {
    for (const ViewSize& view : viewSizes()) {
        const IconSet set = IconSet::build(view.pixels);
        EXPECT_EQ(set.size(), view.pixels);
        ASSERT_EQ(set.count(), 12) << view.pixels;
        for (int kind = 0; kind < 12; ++kind) {
            const QImage image = set.image(kind).toImage();
            EXPECT_EQ(image.size(), QSize(view.pixels, view.pixels)) << kind;
            if (kind > 0) {
                EXPECT_NE(image, set.image(kind - 1).toImage()) << view.pixels << " " << kind;
            }
        }
        EXPECT_TRUE(set.image(12).isNull());
        EXPECT_TRUE(set.image(-1).isNull());
    }
}

} // namespace
} // namespace zelvane
