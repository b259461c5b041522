// The kind of drive a path lies on, as far as the root node's kind cares.
#pragma once

#include <string>

struct statfs;

namespace zelvane::platform {

enum class DriveType { CdRom, Other };

// The file-system query, replaceable in tests.
using StatFs = int (*)(const char* path, struct statfs* info);

// Asks the file system that holds path (as the user typed it; an empty path stands for
// "/"): ISO 9660 and UDF, the file systems of optical discs, give CdRom; every other file
// system gives Other. A path that cannot be asked (it does not exist, or cannot be reached)
// takes the answer of its nearest folder that can, so that a missing folder on a disc is on
// that disc; a relative path climbs to the working folder, an absolute one to "/".
DriveType driveTypeOf(const std::string& path, StatFs query = nullptr);

} // namespace zelvane::platform
