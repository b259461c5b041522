#include "capture/capture_summary.h"

#include <gtest/gtest.h>

namespace zelvane {
namespace {

TEST(FormatSizeGrouped, GroupsOfThreeFromTheRight) {
    EXPECT_EQ(FormatSizeGrouped(0), "0");
    EXPECT_EQ(FormatSizeGrouped(7), "7");
    EXPECT_EQ(FormatSizeGrouped(999), "999");
    EXPECT_EQ(FormatSizeGrouped(1000), "1 000");
    EXPECT_EQ(FormatSizeGrouped(12345), "12 345");
    EXPECT_EQ(FormatSizeGrouped(123456), "123 456");
    EXPECT_EQ(FormatSizeGrouped(1234567), "1 234 567");
    EXPECT_EQ(FormatSizeGrouped(5368709120ull), "5 368 709 120");
    EXPECT_EQ(FormatSizeGrouped(18446744073709551615ull), "18 446 744 073 709 551 615");
}

TEST(CaptureSummary, ReportsCountsSizeAndTheInterruption) {
    EXPECT_EQ(BuildCaptureSummary(3, 10, 1234567, false),
              u"3 folder(s) & 10 file(s) successfuly added.\nTotal size is 1 234 567 byte(s)");
    EXPECT_EQ(BuildCaptureSummary(3, 10, 1234567, true),
              u"3 folder(s) & 10 file(s) successfuly added.\nTotal size is 1 234 567 byte(s)"
              u"\n\nNote: Scanning process was interrupted.");
    EXPECT_EQ(BuildCaptureSummary(0, 0, 0, false),
              u"0 folder(s) & 0 file(s) successfuly added.\nTotal size is 0 byte(s)");
    // Counts past 2^31 are shown as the positive numbers they are.
    EXPECT_EQ(BuildCaptureSummary(4294967295u, 2147483648u, 0, false),
              u"4294967295 folder(s) & 2147483648 file(s) successfuly added.\nTotal size is 0 "
              u"byte(s)");
}

} // namespace
} // namespace zelvane
