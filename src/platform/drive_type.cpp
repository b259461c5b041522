#include "platform/drive_type.h"

#include <sys/statfs.h>

namespace zelvane::platform {

namespace {

// Magic numbers of struct statfs f_type (linux/magic.h).
constexpr unsigned long kIso9660Magic = 0x9660;
constexpr unsigned long kUdfMagic = 0x15013346;

// The folder that holds path: its last name and the slashes before it taken away. "/"
// stays "/"; a single relative name gives ".", the working folder, which stays ".".
std::string parentOf(const std::string& path) {
    std::size_t end = path.find_last_not_of('/');
    if (end == std::string::npos) {
        return "/";
    }
    const std::size_t slash = path.rfind('/', end);
    if (slash == std::string::npos) {
        return ".";
    }
    end = path.find_last_not_of('/', slash);
    return end == std::string::npos ? "/" : path.substr(0, end + 1);
}

} // namespace

DriveType driveTypeOf(const std::string& path, StatFs query) {
    if (query == nullptr) {
        query = &::statfs;
    }
    std::string probe = path.empty() ? "/" : path;
    struct statfs info;
    while (query(probe.c_str(), &info) != 0) {
        std::string parent = parentOf(probe);
        if (parent == probe) {
            return DriveType::Other;
        }
        probe = std::move(parent);
    }
    const auto type = static_cast<unsigned long>(info.f_type);
    return type == kIso9660Magic || type == kUdfMagic ? DriveType::CdRom : DriveType::Other;
}

} // namespace zelvane::platform
