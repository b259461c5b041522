#include "cli/cli_common.h"

#include "cli/cli_output.h"
#include "version.h"

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

bool unknownOption(std::string_view command, std::string_view option) {
    usageError(command, "unknown option '" + displayArgument(option) + "'");
    return false;
}

std::optional<std::string_view> optionValue(std::string_view command, const Args& args,
                                            std::size_t& i) {
    if (i + 1 >= args.size()) {
        usageError(command, std::string(args[i]) + " needs a value");
        return std::nullopt;
    }
    return args[++i];
}

namespace {

bool hasFlag(const Args& args, std::string_view a, std::string_view b) {
    for (std::string_view arg : args) {
        if (arg == "--") {
            return false;
        }
        if (arg == a || arg == b) {
            return true;
        }
    }
    return false;
}

int printText(std::string_view text) {
    Output out;
    out.buffer() += text;
    return out.finish() ? kExitOk : kExitFailure;
}

} // namespace

bool isHelp(const Args& args) {
    return hasFlag(args, "--help", "-h");
}

bool isVersion(const Args& args) {
    return hasFlag(args, "--version", "--version");
}

int printHelp(const Command& command) {
    return printText(command.usage);
}

int printVersion() {
    return printText(std::string("zelvane-cli ") + kVersion + "\n");
}

std::string inputPath(std::string_view argument) {
    return argument == "-" ? std::string("/dev/stdin") : std::string(argument);
}

bool loadOrReport(std::string_view file, SnapshotTree& tree, LoadStats& stats) {
    stats = readSnapshotFile(inputPath(file), tree);
    if (!stats.opened || stats.error != 0) {
        reportFileError(file, stats.error);
        return false;
    }
    return true;
}

} // namespace zelvane::cli
