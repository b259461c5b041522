// Where the program's installed data (License.txt) lies, found from the executable.
//
// No installer writes the installation folder into the user's settings here, so when the
// InstallDir setting is empty the program works it out itself:
//   - an installed program, PREFIX/bin/zelvane, has its data in PREFIX/share/zelvane/;
//   - a program run from its build tree takes License.txt from the source folder.
// An InstallDir the user has set is used as it stands.
#pragma once

#include <string>
#include <string_view>

namespace zelvane {

// The data folder relative to the executable's folder, as the install rules lay it out.
inline constexpr std::u16string_view kDataDirFromBinDir = u"../share/zelvane/";

// The build this program comes from: its build folder and its source folder (absolute,
// without a trailing "/"). Empty fields when unknown.
struct BuildLocation {
    std::u16string buildDir;
    std::u16string sourceDir;
};

// The folders of the build that compiled this file.
BuildLocation thisBuild();

// The default InstallDir for the executable at executablePath (absolute), ending in "/":
//   1. the data folder beside its bin folder, when it holds License.txt;
//   2. else, when the executable lies inside build.buildDir and the source folder holds
//      License.txt, the source folder;
//   3. else the data folder all the same (the About box then reports the licence missing).
// "." and ".." are folded away lexically; a relative path counts from "/". An empty path
// gives an empty folder, so License.txt is looked up in the current folder.
std::u16string defaultInstallDir(std::u16string_view executablePath,
                                 const BuildLocation& build = thisBuild());

// The folder the About box uses: the InstallDir setting when it is not empty, else the
// default for this executable.
std::u16string resolveInstallDir(std::u16string_view setting, std::u16string_view executablePath);

// The absolute path of the running executable, or empty when it cannot be found.
std::u16string currentExecutablePath();

} // namespace zelvane
