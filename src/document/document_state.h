// TEMPORARY stand-in until the document commands land on main; replaced by theirs.
#pragma once

#include <string>

namespace zelvane {

struct DocumentState {
    std::u16string path;
    std::u16string title = u"Untitled.zelv";
    bool modified = false;
};

} // namespace zelvane
