// The options of every zelvane-cli command as tables, read by GNU rules; --help, the manual
// page's check and the shell completions are made from the same tables.
//
// GNU rules: options and operands in any order; "--" ends the options; "-" alone is an
// operand. A long option is --name, --name=VALUE or --name VALUE, and may be shortened to
// any unambiguous beginning. Short options bundle (-qc), and one that takes a value takes
// the rest of its word or the next word, whatever it holds (-e -h searches for "-h").
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace zelvane::cli {

using Args = std::vector<std::string_view>;

// What an option's value or a command's operands are, for the shells' completions.
enum class ValueKind { None, Text, Number, File, Snapshot, Directory, Choice };

struct OptionSpec {
    int id;                     // the command's own number for it; kOptHelp and kOptVersion
    char shortName;             // '\0': none
    std::string_view longName;  // without "--"; "": none
    ValueKind value;            // None: a flag
    std::string_view valueName; // "N", "PATTERN" ... in --help
    std::string_view help;      // '\n' continues it on the next line
    // The values a Choice takes; for any other value, the words the shells complete.
    std::vector<std::string_view> choices = {};
};

inline constexpr int kOptHelp = -1;
inline constexpr int kOptVersion = -2;

struct CommandSpec {
    std::string_view name;
    std::string_view summary;        // the overview's line
    std::string_view usage;          // "Usage: ..." lines and what the command does
    std::vector<OptionSpec> options; // -h and -V are added by commandSpecs()
    ValueKind operands;
    std::string_view epilogue;                         // after the options: output, exit status
    std::vector<std::string_view> operandChoices = {}; // the words a Choice operand takes
};

struct GivenOption {
    int id;
    std::string value;   // empty for a flag
    std::string spelled; // as the user wrote it (--fmt, -n), for messages
};

struct CommandLine {
    std::vector<GivenOption> options;
    std::vector<std::string_view> operands;
    bool has(int id) const;
    // The last value given for id, or nullopt.
    std::optional<std::string_view> last(int id) const;
};

// Reads args for spec; on misuse reports it ("zelvane-cli CMD: ..." and the --help hint)
// and returns nullopt. A Choice's value must be one of its choices.
std::optional<CommandLine> parseCommandLine(const CommandSpec& spec, const Args& args);

// The text of CMD --help: the usage, one line per option (wrapped), the epilogue.
std::string helpText(const CommandSpec& spec);

// "-x, --long VALUE" as --help writes an option.
std::string optionLabel(const OptionSpec& option);

enum class Shell { Bash, Zsh, Fish };
// The completion script of zelvane-cli for shell, from the command tables.
std::string completionScript(Shell shell, const std::vector<const CommandSpec*>& commands);

} // namespace zelvane::cli
