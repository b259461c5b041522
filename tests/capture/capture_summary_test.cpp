#include "capture/capture_summary.h"

#include <gtest/gtest.h>

namespace zelvane {
namespace {

TEST(CaptureSummary, SizesAreGroupedInThreesAfterTheCountsAndTheStoppedNote) {
    const struct {
        std::uint64_t size;
        const char* text;
    } cases[] = {{999, "999"},           {1000, "1 000"},
                 {12345, "12 345"},      {999999, "999 999"},
                 {1000000, "1 000 000"}, {18446744073709551615ull, "18 446 744 073 709 551 615"}};
    for (const auto& c : cases) {
        EXPECT_EQ(FormatSizeGrouped(c.size), c.text);
    }
    EXPECT_EQ(BuildCaptureSummary(3, 10, 1234567, false),
              u"3 folder(s) & 10 file(s) successfuly added.\nTotal size is 1 234 567 byte(s)");
    EXPECT_EQ(BuildCaptureSummary(4294967295u, 0, 0, true),
              u"4294967295 folder(s) & 0 file(s) successfuly added.\nTotal size is 0 byte(s)"
              u"\n\nNote: Scanning process was interrupted.");
}

} // namespace
} // namespace zelvane
