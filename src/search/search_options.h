// The search options: what the user last confirmed in the Search dialog. One set lives for
// the whole process, held with the remembered inputs of the settings store (which loads it
// at start and saves it at exit under the Search_* values); the Search dialog replaces it
// as a set.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace zelvane {

// The options of the last confirmed search.
struct SearchOptions {
    std::u16string pattern;
    bool isLocalSearch = false; // start from the current folder instead of the global root
    bool isMatchCase = false;
    bool isMatchWholePatternOnly = false;
    bool isRecursiveSearch = true;
    bool isFilesOnly = false;

    bool operator==(const SearchOptions&) const = default;
};

// The Search dialog keeps at most this many characters of what is typed or pasted.
inline constexpr std::size_t kMaxSearchPatternLength = 510;

} // namespace zelvane
