// zelvane-cli: capture, list, search and check snapshots from a shell.
#include <iostream>
#include <new>
#include <string>
#include <unistd.h>

#include "cli/cli_common.h"
#include "cli/cli_output.h"

namespace {

using namespace zelvane::cli;

int printOverview(int status) {
    std::string text = "Usage: zelvane-cli COMMAND [OPTIONS] [ARGS...]\n\nCommands:\n";
    for (const CommandSpec* command : commandSpecs()) {
        text.append("  ").append(command->name);
        text.append(command->name.size() < 11 ? 11 - command->name.size() : 1, ' ');
        text.append(command->summary).append("\n");
    }
    text += "\n'zelvane-cli COMMAND --help' describes one command; 'man zelvane-cli' all of "
            "them.\n";
    return printText(text) == kExitOk ? status : kExitFailure;
}

int run(int argc, char** argv) {
    if (argc < 2) {
        return printOverview(kExitFailure);
    }
    const std::string_view name = argv[1];
    const Args args(argv + 2, argv + argc);
    if (name == "--help" || name == "-h") {
        return printOverview(kExitOk);
    }
    if (name == "help") { // help, or help COMMAND
        return args.empty() ? printOverview(kExitOk) : runCommand(args[0], Args{"--help"});
    }
    if (name == "--version" || name == "-V") {
        return printVersion();
    }
    return runCommand(name, args);
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
        return kExitFailure;
    }
}
