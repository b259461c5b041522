// The kind of drive a path lies on, as far as the root node's kind cares.
#pragma once

#include <string>

namespace zelvane::platform {

enum class DriveType { CdRom, Other };

// Asks the file system that holds path (as the user typed it; an empty path stands for
// "/"): ISO 9660 and UDF, the file systems of optical discs, give CdRom; every other file
// system, and a path that does not exist, gives Other.
DriveType driveTypeOf(const std::string& path);

} // namespace zelvane::platform
