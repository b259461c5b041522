// What the Add Tree dialog remembers between its runs (and the settings store between runs
// of the program).
#pragma once

#include <string>

namespace zelvane {

// The last inputs confirmed in the Add Tree dialog.
struct AddTreeInputs {
    std::u16string path = u"/"; // the root of the file system
    std::u16string filter = u"*";
    std::u16string title; // empty when the user left the title empty

    bool operator==(const AddTreeInputs&) const = default;
};

} // namespace zelvane
