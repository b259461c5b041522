// The toolkit-free parts of the main window: its menu table, the routing of every
// command, the window menu's About item, dialog units and the command-line rule.
#include <cstring>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <set>
#include <string>
#include <vector>

#include "app/command_ids.h"
#include "app/command_line.h"
#include "app/command_routing.h"
#include "ui/dialog_units.h"
#include "app/main_menu.h"
#include "icons/view_sizes.h"
#include "recording_commands.h"

namespace zelvane {
namespace {

std::u16string u16(const char* text) {
    return std::u16string(text, text + std::strlen(text));
}

TEST(MainMenu, BarHasTheMenusItemsAndIdentifiersInOrder) {
    struct Row {
        const char* menu;
        bool right;
        std::vector<std::pair<int, const char*>> items; // id 0: separator
    };
    const std::vector<Row> expected{
        {"&File",
         false,
         {{269, "&New"},
          {130, "&Open..."},
          {131, "&Save"},
          {132, "Save &As..."},
          {0, ""},
          {133, "E&xit"}}},
        {"&Item", false, {{278, "&Rename"}, {279, "&Delete"}, {0, ""}, {32774, "Properties..."}}},
        {"&Tree", false, {{135, "&Add Tree..."}, {0, ""}, {271, "&Search..."}}},
        {"&View",
         true,
         {{284, "&16 x 16"}, {280, "&24 x 24"}, {285, "&32 x 32"}, {286, "&48 x 48"}}},
        {"&Help", true, {{134, "&About..."}}},
    };
    const auto menus = mainMenuTemplate();
    ASSERT_EQ(menus.size(), expected.size());
    for (std::size_t m = 0; m < menus.size(); ++m) {
        SCOPED_TRACE(expected[m].menu);
        EXPECT_EQ(menus[m].text, u16(expected[m].menu));
        EXPECT_EQ(menus[m].rightJustify, expected[m].right);
        ASSERT_EQ(menus[m].items.size(), expected[m].items.size());
        for (std::size_t i = 0; i < menus[m].items.size(); ++i) {
            EXPECT_EQ(menus[m].items[i].id, expected[m].items[i].first);
            EXPECT_EQ(menus[m].items[i].text, u16(expected[m].items[i].second));
            // Only "&16 x 16" starts checked.
            EXPECT_EQ(menus[m].items[i].checked, menus[m].items[i].id == ID_VIEW_16X16);
        }
    }
    EXPECT_EQ(menus[kItemMenuIndex].text, u"&Item");
}

TEST(CommandRouting, EveryMenuItemAndTheStopButtonReachTheirHandler) {
    const std::vector<std::pair<int, const char*>> expected{
        {269, "OnFileNew"},    {130, "OnFileOpen"},         {131, "OnFileSave"},
        {132, "OnFileSaveAs"}, {133, "OnFileExit"},         {278, "OnItemRename"},
        {279, "OnItemDelete"}, {32774, "OnItemProperties"}, {135, "OnAddTree"},
        {271, "OnSearch"},     {284, "OnView16x16"},        {280, "OnView24x24"},
        {285, "OnView32x32"},  {286, "OnView48x48"},        {134, "OnHelpAbout"},
        {1014, "OnStopScan"},
    };
    for (const auto& [id, handler] : expected) {
        RecordingCommands commands;
        EXPECT_TRUE(routeCommand(commands, id)) << id;
        EXPECT_THAT(commands.calls, ::testing::ElementsAre(handler)) << id;
    }
    EXPECT_EQ(commandRoutes().size(), expected.size());

    // Every item of the menu table has a route, and no identifier has two.
    std::set<int> seen;
    for (const CommandRoute& route : commandRoutes()) {
        EXPECT_TRUE(seen.insert(route.id).second) << route.id;
    }
    for (const MenuTemplate& menu : mainMenuTemplate()) {
        for (const MenuItemTemplate& item : menu.items) {
            if (!item.isSeparator()) {
                EXPECT_NE(findCommandRoute(item.id), nullptr) << item.id;
            }
        }
    }
}

TEST(CommandRouting, UnknownIdentifiersDoNothing) {
    RecordingCommands commands;
    for (int id : {0, 1, 16, 1000, 1013, 32775, -269}) {
        EXPECT_FALSE(routeCommand(commands, id)) << id;
    }
    EXPECT_TRUE(commands.calls.empty());
}

TEST(CommandRouting, WindowMenuAboutIsRecognisedAfterMasking) {
    EXPECT_TRUE(isAboutSysCommand(IDM_ABOUTBOX));
    EXPECT_TRUE(isAboutSysCommand(IDM_ABOUTBOX | 0x000F));
    EXPECT_FALSE(isAboutSysCommand(32));
    EXPECT_FALSE(isAboutSysCommand(SC_CLOSE));
    EXPECT_FALSE(isAboutSysCommand(SC_MINIMIZE));
}

TEST(ViewSizes, CommandsInCheckOrderWithTheirSizes) {
    const auto sizes = viewSizes();
    ASSERT_EQ(sizes.size(), 4u);
    const int ids[] = {284, 280, 285, 286};
    const int pixels[] = {16, 24, 32, 48};
    for (std::size_t i = 0; i < 4; ++i) {
        EXPECT_EQ(sizes[i].commandId, ids[i]);
        EXPECT_EQ(sizes[i].pixels, pixels[i]);
        EXPECT_EQ(viewCommandSize(ids[i]), pixels[i]);
    }
    EXPECT_FALSE(viewCommandSize(ID_FILE_NEW).has_value());
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
