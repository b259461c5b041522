#include "app/app_name.h"

#include <climits>
#include <unistd.h>

#include "text/utf.h"

namespace zelvane {

std::u16string applicationNameFromPath(std::u16string_view executablePath) {
    const std::size_t slash = executablePath.rfind(u'/');
    std::u16string_view name =
        slash == std::u16string_view::npos ? executablePath : executablePath.substr(slash + 1);
    const std::size_t dot = name.rfind(u'.');
    if (dot != std::u16string_view::npos && dot > 0) {
        name = name.substr(0, dot);
    }
    return std::u16string(name);
}

std::u16string currentApplicationName(const char* argv0) {
    char buffer[PATH_MAX + 1];
    const ssize_t n = ::readlink("/proc/self/exe", buffer, PATH_MAX);
    if (n > 0) {
        std::string_view path(buffer, static_cast<std::size_t>(n));
        // The kernel marks an executable that was replaced or removed while it runs.
        constexpr std::string_view kDeleted = " (deleted)";
        if (path.ends_with(kDeleted)) {
            path.remove_suffix(kDeleted.size());
        }
        std::u16string name = applicationNameFromPath(utf8ToUtf16(path));
        if (!name.empty()) {
            return name;
        }
    }
    if (argv0 != nullptr) {
        std::u16string name = applicationNameFromPath(utf8ToUtf16(argv0));
        if (!name.empty()) {
            return name;
        }
    }
    return u"zelvane";
}

} // namespace zelvane
