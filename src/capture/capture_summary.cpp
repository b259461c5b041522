#include "capture/capture_summary.h"

namespace zelvane {

std::string FormatSizeGrouped(std::uint64_t total) {
    const std::string digits = std::to_string(total);
    std::string grouped;
    grouped.reserve(digits.size() + digits.size() / 3);
    for (std::size_t i = 0; i < digits.size(); ++i) {
        const std::size_t remaining = digits.size() - i; // this digit and those after it
        if (i > 0 && remaining % 3 == 0) {
            grouped.push_back(' ');
        }
        grouped.push_back(digits[i]);
    }
    return grouped;
}

std::u16string buildCaptureSummary(std::uint32_t folders, std::uint32_t files, std::uint64_t total,
                                   bool stopped, SummarySpelling spelling,
                                   std::optional<std::uint64_t> members) {
    // The counters are unsigned: printed as such, so that a count past 2^31 is not shown
    // as a negative number.
    std::string text = std::to_string(folders) + " folder(s) & " + std::to_string(files) +
                       " file(s) " +
                       (spelling == SummarySpelling::MessageBox ? "successfuly" : "successfully") +
                       " added.\nTotal size is " + FormatSizeGrouped(total) + " byte(s)";
    if (members) {
        text.append("\n").append(FormatSizeGrouped(*members)).append(" archive member(s) listed");
    }
    if (stopped) {
        text.append("\n\nNote: Scanning process was interrupted.");
    }
    return std::u16string(text.begin(), text.end());
}

} // namespace zelvane
