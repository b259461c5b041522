// The toolkit-free parts of the main window: the window menu's About item, dialog units
// and the command-line rule.
#include <gtest/gtest.h>
#include <string>
#include <vector>

#include "app/command_ids.h"
#include "app/command_line.h"
#include "ui/dialog_units.h"

namespace zelvane {
namespace {

TEST(WindowMenu, AboutIsRecognisedAfterMasking) {
    EXPECT_TRUE(isAboutSysCommand(IDM_ABOUTBOX));
    EXPECT_TRUE(isAboutSysCommand(IDM_ABOUTBOX | 0x000F));
    EXPECT_FALSE(isAboutSysCommand(32));
    EXPECT_FALSE(isAboutSysCommand(SC_CLOSE));
    EXPECT_FALSE(isAboutSysCommand(SC_MINIMIZE));
}

TEST(DialogUnits, ConvertWithTheFontsAverageWidthAndHeight) {
    // 8-point fonts on Windows: "A".."z" 312 px wide, 13 px high -> base units 6 x 13.
    const DialogBaseUnits base = dialogBaseUnits(312, 13);
    EXPECT_EQ(base.x, 6);
    EXPECT_EQ(base.y, 13);
    // Odd averages round to the nearest pixel: 286 / 26 = 11 half-pixels -> 6.
    EXPECT_EQ(dialogBaseUnits(286, 13).x, 6);
    EXPECT_EQ(dialogBaseUnits(285, 13).x, 5);

    // Template 102 at base units 6 x 13: 280 x 210 units -> 420 x 341 pixels.
    const PixelRect client = mapDialogRect(0, 0, 280, 210, base);
    EXPECT_EQ(client.width, 420);
    EXPECT_EQ(client.height, 341);
    // The Stop button at 7,32 48x14: corners are rounded, not the size on its own.
    const PixelRect stop = mapDialogRect(7, 32, 48, 14, base);
    EXPECT_EQ(stop.x, 11); // 10.5 -> 11
    EXPECT_EQ(stop.y, 52);
    EXPECT_EQ(stop.width, 72);  // 82.5 -> 83, minus 11
    EXPECT_EQ(stop.height, 23); // 75 - 52 (74.75 -> 75)
    EXPECT_EQ(dialogUnitsToPixelsX(-7, base), -11);
    EXPECT_EQ(dialogUnitsToPixelsY(0, DialogBaseUnits{}), 0);
}

TEST(CommandLine, ExactlyOneNonEmptyArgumentOpensASnapshot) {
    using Args = std::vector<std::u16string>;
    EXPECT_EQ(snapshotToOpen(Args{u"backup.zelv"}), u"backup.zelv");
    EXPECT_EQ(snapshotToOpen(Args{u" "}), u" "); // not empty: opened, and may fail
    EXPECT_EQ(snapshotToOpen(Args{u"../a b/c.zelv"}), u"../a b/c.zelv");
    EXPECT_FALSE(snapshotToOpen(Args{}).has_value());
    EXPECT_FALSE(snapshotToOpen(Args{u""}).has_value());
    EXPECT_FALSE(snapshotToOpen(Args{u"a.zelv", u"b.zelv"}).has_value());
    EXPECT_FALSE(snapshotToOpen(Args{u"", u""}).has_value());
}

} // namespace
} // namespace zelvane
