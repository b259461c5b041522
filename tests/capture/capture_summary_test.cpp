#include "capture/capture_summary.h"

#include <gtest/gtest.h>

namespace zelvane {
namespace {

// The summary without the note is the Add Tree command's test.
TEST(CaptureSummary, SizesAreGroupedInThreesAndCountsPrintedUnsigned) {
    const std::pair<std::uint64_t, const char*> sizes[] = {
        {999, "999"},
        {1000, "1 000"},
        {12345, "12 345"},
        {999999, "999 999"},
        {18446744073709551615ull, "18 446 744 073 709 551 615"}};
    for (const auto& [size, text] : sizes) {
        EXPECT_EQ(FormatSizeGrouped(size), text);
    }
    EXPECT_EQ(buildCaptureSummary(4294967295u, 0, 0, true),
              u"4294967295 folder(s) & 0 file(s) successfuly added.\nTotal size is 0 byte(s)"
              u"\n\nNote: Scanning process was interrupted.");
}

} // namespace
} // namespace zelvane
