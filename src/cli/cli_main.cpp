// zelvane-cli: capture, list, search and check snapshots from a shell.
#include <iostream>
#include <new>
#include <string>
#include <unistd.h>

#include "cli/cli_common.h"
#include "cli/cli_output.h"

namespace zelvane::cli {
const std::vector<Command>& commands() {
#define ZELVANE_CLI_COMMAND_ROW(name, Stem, summary) {#name, summary, k##Stem##Usage, run##Stem},
    static const std::vector<Command> table = {ZELVANE_CLI_COMMANDS(ZELVANE_CLI_COMMAND_ROW)};
#undef ZELVANE_CLI_COMMAND_ROW
    return table;
}
} // namespace zelvane::cli

namespace {

int printOverview(int status) {
    zelvane::cli::Output out;
    std::string& text = out.buffer();
    text += "Usage: zelvane-cli COMMAND [ARGS...]\n\nCommands:\n";
    for (const auto& command : zelvane::cli::commands()) {
        text += "  ";
        text += command.name;
        text.append(command.name.size() < 8 ? 8 - command.name.size() : 1, ' ');
        text += command.summary;
        text += '\n';
    }
    text += "\n'zelvane-cli COMMAND --help' describes one command; 'man zelvane-cli' all of "
            "them.\n";
    return out.finish() ? status : zelvane::cli::kExitFailure;
}

int run(int argc, char** argv) {
    if (argc < 2) {
        return printOverview(zelvane::cli::kExitFailure);
    }
    const std::string_view name = argv[1];
    if (name == "--help" || name == "-h" || name == "help") {
        return printOverview(zelvane::cli::kExitOk);
    }
    if (name == "--version") {
        return zelvane::cli::printVersion();
    }
    zelvane::cli::Args args(argv + 2, argv + argc);
    for (const auto& command : zelvane::cli::commands()) {
        if (command.name == name) {
            if (zelvane::cli::isHelp(args)) {
                return zelvane::cli::printHelp(command);
            }
            if (zelvane::cli::isVersion(args)) {
                return zelvane::cli::printVersion();
            }
            return command.run(args);
        }
    }
    std::cerr << "zelvane-cli: unknown command '" << zelvane::cli::displayArgument(name)
              << "'. Try 'zelvane-cli --help'.\n";
    return zelvane::cli::kExitFailure;
}

} // namespace

int main(int argc, char** argv) {
    std::ios::sync_with_stdio(false);
    try {
        return run(argc, argv);
    } catch (const std::bad_alloc&) {
        // Whatever ran out of memory is gone with the stack; one short line needs none.
        static const char kMessage[] = "zelvane-cli: out of memory\n";
        [[maybe_unused]] const auto ignored = ::write(2, kMessage, sizeof kMessage - 1);
        return zelvane::cli::kExitFailure;
    }
}
