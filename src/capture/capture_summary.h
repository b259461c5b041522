// The texts that report a capture.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace zelvane {

// The number in decimal, its digits in groups of three from the right separated by single
// spaces: 1234567 gives "1 234 567".
std::string FormatSizeGrouped(std::uint64_t total);

// How the summary spells "successfully": the desktop program's message box keeps the
// spelling its users know, the command-line tool spells it right.
enum class SummarySpelling { MessageBox, Corrected };

// The message shown when a capture ends:
// "3 folder(s) & 10 file(s) successfuly added.\nTotal size is 1 234 567 byte(s)", followed
// by "\n\nNote: Scanning process was interrupted." when it was stopped. A capture that
// listed archives says how many members it added after the size: "\n1 000 archive
// member(s) listed".
std::u16string buildCaptureSummary(std::uint32_t folders, std::uint32_t files, std::uint64_t total,
                                   bool stopped,
                                   SummarySpelling spelling = SummarySpelling::MessageBox,
                                   std::optional<std::uint64_t> members = std::nullopt);

} // namespace zelvane
