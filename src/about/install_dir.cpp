#include "about/install_dir.h"

#include <climits>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "text/utf.h"

#ifndef ZELVANE_BUILD_DIR
#define ZELVANE_BUILD_DIR ""
#endif
#ifndef ZELVANE_SOURCE_DIR
#define ZELVANE_SOURCE_DIR ""
#endif

namespace zelvane {

namespace {

// "/a/b/../c/./d" -> "/a/c/d"; the result is absolute and has no trailing "/" unless it is
// "/" itself.
std::u16string normalize(std::u16string_view path) {
    std::vector<std::u16string_view> parts;
    std::size_t pos = 0;
    while (pos <= path.size()) {
        std::size_t next = path.find(u'/', pos);
        if (next == std::u16string_view::npos) {
            next = path.size();
        }
        const std::u16string_view part = path.substr(pos, next - pos);
        if (part == u"..") {
            if (!parts.empty()) {
                parts.pop_back();
            }
        } else if (!part.empty() && part != u".") {
            parts.push_back(part);
        }
        pos = next + 1;
    }
    std::u16string result;
    for (const auto part : parts) {
        result += u'/';
        result += part;
    }
    return result.empty() ? std::u16string(u"/") : result;
}

std::u16string withSlash(std::u16string dir) {
    if (dir.empty() || dir.back() != u'/') {
        dir += u'/';
    }
    return dir;
}

bool holdsLicense(const std::u16string& dirWithSlash) {
    struct stat info {};
    const std::string path = utf16ToUtf8(dirWithSlash + u"License.txt");
    return ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

// dir is inside (or is) parent; both normalised.
bool isInside(const std::u16string& dir, const std::u16string& parent) {
    if (parent == u"/") {
        return true;
    }
    return dir.size() >= parent.size() && dir.compare(0, parent.size(), parent) == 0 &&
           (dir.size() == parent.size() || dir[parent.size()] == u'/');
}

} // namespace

BuildLocation thisBuild() {
    return {utf8ToUtf16(ZELVANE_BUILD_DIR), utf8ToUtf16(ZELVANE_SOURCE_DIR)};
}

std::u16string defaultInstallDir(std::u16string_view executablePath, const BuildLocation& build) {
    if (executablePath.empty()) {
        return {}; // nothing to go by: License.txt is looked up in the current folder
    }
    const std::u16string executable = normalize(executablePath);
    const std::u16string exeDir = normalize(executable + u"/..");
    const std::u16string dataDir =
        withSlash(normalize(exeDir + u"/" + std::u16string(kDataDirFromBinDir)));
    if (holdsLicense(dataDir)) {
        return dataDir;
    }
    if (!build.buildDir.empty() && !build.sourceDir.empty() &&
        isInside(exeDir, normalize(build.buildDir))) {
        const std::u16string sourceDir = withSlash(normalize(build.sourceDir));
        if (holdsLicense(sourceDir)) {
            return sourceDir;
        }
    }
    return dataDir;
}

std::u16string resolveInstallDir(std::u16string_view setting, std::u16string_view executablePath) {
    if (!setting.empty()) {
        return std::u16string(setting);
    }
    return defaultInstallDir(executablePath);
}

std::u16string currentExecutablePath() {
    char buffer[PATH_MAX];
    const ssize_t length = ::readlink("/proc/self/exe", buffer, sizeof buffer);
    if (length <= 0 || static_cast<std::size_t>(length) >= sizeof buffer) {
        return {};
    }
    return utf8ToUtf16(std::string_view(buffer, static_cast<std::size_t>(length)));
}

} // namespace zelvane
