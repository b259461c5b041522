// zelvane-cli: capture, list, search and check snapshots from a shell.
#include <iostream>

#include "cli/cli_common.h"

namespace zelvane::cli {
int runInfo(const Args& args);
int runList(const Args& args);
int runScan(const Args& args);
int runSearch(const Args& args);
extern const char kInfoUsage[];
extern const char kListUsage[];
extern const char kScanUsage[];
extern const char kSearchUsage[];

const std::vector<Command>& commands() {
    static const std::vector<Command> table = {
        {"info", "counts and defects of a snapshot file", kInfoUsage, runInfo},
        {"list", "prints a snapshot as an indented tree", kListUsage, runList},
        {"scan", "captures a directory tree into a snapshot file", kScanUsage, runScan},
        {"search", "lists the nodes whose names match a pattern", kSearchUsage, runSearch},
    };
    return table;
}
} // namespace zelvane::cli

namespace {

void printOverview() {
    std::cout << "Usage: zelvane-cli COMMAND [ARGS...]\n\nCommands:\n";
    for (const auto& command : zelvane::cli::commands()) {
        std::cout << "  " << command.name;
        for (std::size_t i = command.name.size(); i < 8; ++i) {
            std::cout << ' ';
        }
        std::cout << command.summary << '\n';
    }
    std::cout << "\n'zelvane-cli COMMAND --help' describes one command.\n";
}

} // namespace

int main(int argc, char** argv) {
    std::ios::sync_with_stdio(false);
    if (argc < 2) {
        printOverview();
        return zelvane::cli::kExitFailure;
    }
    const std::string_view name = argv[1];
    if (name == "--help" || name == "-h" || name == "help") {
        printOverview();
        return zelvane::cli::kExitOk;
    }
    zelvane::cli::Args args(argv + 2, argv + argc);
    for (const auto& command : zelvane::cli::commands()) {
        if (command.name == name) {
            if (zelvane::cli::isHelp(args)) {
                zelvane::cli::printHelp(command);
                return zelvane::cli::kExitOk;
            }
            return command.run(args);
        }
    }
    std::cerr << "zelvane-cli: unknown command '" << name << "'. Try 'zelvane-cli --help'.\n";
    return zelvane::cli::kExitFailure;
}
