#include "platform/drive_type.h"

#include <sys/statfs.h>

namespace zelvane::platform {

namespace {
// Magic numbers of struct statfs f_type (linux/magic.h).
constexpr unsigned long kIso9660Magic = 0x9660;
constexpr unsigned long kUdfMagic = 0x15013346;
} // namespace

DriveType driveTypeOf(const std::string& path) {
    struct statfs info;
    if (statfs(path.empty() ? "/" : path.c_str(), &info) != 0) {
        return DriveType::Other;
    }
    const auto type = static_cast<unsigned long>(info.f_type);
    return type == kIso9660Magic || type == kUdfMagic ? DriveType::CdRom : DriveType::Other;
}

} // namespace zelvane::platform
