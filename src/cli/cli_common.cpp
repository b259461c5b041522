#include "cli/cli_common.h"

#include "cli/cli_output.h"

#include <cstring>
#include <iostream>

namespace zelvane::cli {

void reportFileError(std::string_view file, int error) {
    std::cerr << "zelvane-cli: " << displayArgument(file) << ": " << std::strerror(error) << '\n';
}

int usageError(std::string_view command, std::string_view message) {
    std::cerr << "zelvane-cli " << command << ": " << message << "\n"
              << "Try 'zelvane-cli " << command << " --help'.\n";
    return kExitFailure;
}

bool isHelp(const Args& args) {
    for (std::string_view a : args) {
        if (a == "--help" || a == "-h") {
            return true;
        }
    }
    return false;
}

void printHelp(const Command& command) {
    std::cout << command.usage;
}

bool loadOrReport(const std::string& path, SnapshotTree& tree, LoadStats& stats) {
    stats = readSnapshotFile(path, tree);
    if (!stats.opened) {
        reportFileError(path, stats.error);
        return false;
    }
    return true;
}

} // namespace zelvane::cli
