// The document state: which file the open snapshot belongs to and whether it has changes
// that are not in that file.
#pragma once

#include <string>

namespace zelvane {

struct DocumentState {
    // Full path of the snapshot file; empty after New. Relative paths stay relative.
    std::u16string path;
    // The file's name with its extension. The document counts as never saved exactly when
    // the title is "Untitled.zelv".
    std::u16string title = u"Untitled.zelv";
    // Set by Add Tree, Rename and Delete; cleared by New, by loading and by a good save.
    bool modified = false;
};

} // namespace zelvane
