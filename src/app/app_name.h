// The application's name: the executable's file name without its extension. It is the
// caption of the message boxes that name none of their own.
#pragma once

#include <string>
#include <string_view>

namespace zelvane {

// The file name after the last "/", without its extension (from its last "."). A leading
// dot does not start an extension, so ".zelvane" stays ".zelvane". Empty for a path that
// ends with "/".
std::u16string applicationNameFromPath(std::u16string_view executablePath);

// The name of the running program: from the executable the process runs, else from argv0
// (its bytes taken as a file name), else "zelvane".
std::u16string currentApplicationName(const char* argv0);

} // namespace zelvane
