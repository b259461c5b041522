// The shell completions of zelvane-cli, written from the command tables.
#include <string>

#include "cli/cli_output.h"

#include "cli/cli_common.h"
#include "cli/cli_options.h"

namespace zelvane::cli {

namespace {

std::string joined(const std::vector<std::string_view>& words) {
    std::string text;
    for (std::string_view w : words) {
        text.append(text.empty() ? "" : " ").append(w);
    }
    return text;
}

// The first line of an option's help, with the characters that the shells' quoting or
// zsh's option specs would take as their own replaced.
std::string summaryOf(const OptionSpec& o) {
    std::string text(o.help.substr(0, o.help.find('\n')));
    for (char& c : text) {
        c = c == '\'' ? '`' : c == '[' ? '(' : c == ']' ? ')' : c == ':' ? ';' : c;
    }
    return text;
}

std::vector<std::string> spellings(const OptionSpec& o) {
    std::vector<std::string> names;
    if (o.shortName != '\0') {
        names.push_back(std::string{'-', o.shortName});
    }
    if (!o.longName.empty()) {
        names.push_back("--" + std::string(o.longName));
    }
    return names;
}

// bash: what a value or an operand of a kind completes to.
std::string bashValues(ValueKind kind, const std::vector<std::string_view>& choices) {
    if (!choices.empty()) {
        kind = ValueKind::Choice; // a word of its own, or one of these
    }
    switch (kind) {
    case ValueKind::Choice:
        return "COMPREPLY=($(compgen -W '" + joined(choices) + "' -- \"$cur\"))";
    case ValueKind::Directory:
        return "COMPREPLY=($(compgen -d -- \"$cur\"))";
    case ValueKind::Snapshot:
        return "COMPREPLY=($(compgen -f -X '!*.zelv' -- \"$cur\") $(compgen -d -- \"$cur\"))";
    case ValueKind::File:
        return "COMPREPLY=($(compgen -f -- \"$cur\"))";
    default:
        return "COMPREPLY=()";
    }
}

std::string bash(const std::vector<const CommandSpec*>& commands) {
    std::string names;
    for (const CommandSpec* c : commands) {
        names.append(c->name).append(" ");
    }
    std::string s = "# bash completion for zelvane-cli, made by 'zelvane-cli completion bash'\n"
                    "_zelvane_cli() {\n"
                    "    local cur=${COMP_WORDS[COMP_CWORD]} prev=${COMP_WORDS[COMP_CWORD-1]}\n"
                    "    if [[ $cur == = ]]; then cur=; fi\n"
                    "    if [[ $prev == = ]]; then prev=${COMP_WORDS[COMP_CWORD-2]}; fi\n"
                    "    if [[ $COMP_CWORD -eq 1 ]]; then\n"
                    "        COMPREPLY=($(compgen -W '" +
                    names +
                    "--help --version' -- \"$cur\"))\n"
                    "        return\n"
                    "    fi\n"
                    "    case ${COMP_WORDS[1]} in\n";
    for (const CommandSpec* c : commands) {
        std::string options;
        s.append("    ").append(c->name).append(")\n        case $prev in\n");
        for (const OptionSpec& o : c->options) {
            std::string labels;
            for (const std::string& name : spellings(o)) {
                options.append(options.empty() ? "" : " ").append(name);
                labels.append(labels.empty() ? "" : "|").append(name);
            }
            if (o.value != ValueKind::None) {
                s.append("        ").append(labels).append(") ");
                s.append(bashValues(o.value, o.choices)).append("; return ;;\n");
            }
        }
        s.append("        esac\n        if [[ $cur == -* ]]; then\n");
        s.append("            COMPREPLY=($(compgen -W '" + options + "' -- \"$cur\"))\n");
        s.append("        else\n            ").append(bashValues(c->operands, c->operandChoices));
        s.append("\n        fi\n        ;;\n");
    }
    return s + "    esac\n}\ncomplete -o filenames -F _zelvane_cli zelvane-cli\n";
}

std::string zshAction(ValueKind kind, const std::vector<std::string_view>& choices) {
    if (!choices.empty()) {
        kind = ValueKind::Choice;
    }
    switch (kind) {
    case ValueKind::Choice:
        return std::string("(").append(joined(choices)).append(")");
    case ValueKind::Directory:
        return "_files -/";
    case ValueKind::Snapshot:
        return "_files -g \"*.zelv\"";
    case ValueKind::File:
        return "_files";
    default:
        return " ";
    }
}

std::string zsh(const std::vector<const CommandSpec*>& commands) {
    std::string s = "#compdef zelvane-cli\n"
                    "# zsh completion for zelvane-cli, made by 'zelvane-cli completion zsh'\n"
                    "_zelvane-cli() {\n"
                    "    local -a commands\n"
                    "    commands=(\n";
    for (const CommandSpec* c : commands) {
        s.append("        '").append(c->name).append(":").append(c->summary).append("'\n");
    }
    s += "    )\n"
         "    if (( CURRENT == 2 )); then\n"
         "        _describe -t commands 'zelvane-cli command' commands\n"
         "        return\n"
         "    fi\n"
         "    local command=$words[2]\n"
         "    shift words\n"
         "    (( CURRENT-- ))\n"
         "    case $command in\n";
    for (const CommandSpec* c : commands) {
        s.append("    ").append(c->name).append(")\n        _arguments -s -S \\\n");
        for (const OptionSpec& o : c->options) {
            for (const std::string& name : spellings(o)) {
                const bool isLong = name.size() > 2;
                s.append("            '").append(name);
                if (o.value != ValueKind::None) {
                    s.append(isLong ? "=" : "+");
                }
                s.append("[").append(summaryOf(o)).append("]");
                if (o.value != ValueKind::None) {
                    s.append(":").append(o.valueName).append(":");
                    s.append(zshAction(o.value, o.choices));
                }
                s.append("' \\\n");
            }
        }
        s.append("            '*:operand:")
            .append(zshAction(c->operands, c->operandChoices))
            .append("'\n");
        s.append("        ;;\n");
    }
    return s + "    esac\n}\n_zelvane-cli \"$@\"\n";
}

std::string fish(const std::vector<const CommandSpec*>& commands) {
    std::string names;
    for (const CommandSpec* c : commands) {
        names.append(names.empty() ? "" : " ").append(c->name);
    }
    std::string s = "# fish completion for zelvane-cli, made by 'zelvane-cli completion fish'\n"
                    "complete -c zelvane-cli -f\n";
    for (const CommandSpec* c : commands) {
        s.append("complete -c zelvane-cli -n 'not __fish_seen_subcommand_from " + names + "' -a ");
        s.append(c->name).append(" -d '").append(c->summary).append("'\n");
    }
    for (const CommandSpec* c : commands) {
        const std::string when =
            "complete -c zelvane-cli -n '__fish_seen_subcommand_from " + std::string(c->name) + "'";
        for (const OptionSpec& o : c->options) {
            s += when;
            if (o.shortName != '\0') {
                s.append(" -s ").push_back(o.shortName);
            }
            if (!o.longName.empty()) {
                s.append(" -l ").append(o.longName);
            }
            if (!o.choices.empty()) {
                s.append(" -x -a '").append(joined(o.choices)).append("'");
            } else if (o.value == ValueKind::File || o.value == ValueKind::Snapshot ||
                       o.value == ValueKind::Directory) {
                s.append(" -r -F");
            } else if (o.value != ValueKind::None) {
                s.append(" -x");
            }
            s.append(" -d '").append(summaryOf(o)).append("'\n");
        }
        if (c->operands == ValueKind::Choice) {
            s.append(when).append(" -a '").append(joined(c->operandChoices)).append("'\n");
        }
        if (c->operands == ValueKind::Snapshot || c->operands == ValueKind::File ||
            c->operands == ValueKind::Directory) {
            s.append(when).append(" -F\n");
        }
    }
    return s;
}

} // namespace

std::string completionScript(Shell shell, const std::vector<const CommandSpec*>& commands) {
    switch (shell) {
    case Shell::Bash:
        return bash(commands);
    case Shell::Zsh:
        return zsh(commands);
    case Shell::Fish:
        return fish(commands);
    }
    return {};
}

const CommandSpec& specCompletion() {
    static const CommandSpec spec = withCommonOptions({
        "completion",
        "prints the shell completion script for bash, zsh or fish",
        "Usage: zelvane-cli completion bash|zsh|fish\n"
        "Prints the completion script of zelvane-cli for the shell. The package installs\n"
        "them already; for a shell of your own: source <(zelvane-cli completion bash).\n",
        {},
        ValueKind::Choice,
        "",
        {"bash", "zsh", "fish"},
    });
    return spec;
}

int runCompletion(const CommandLine& line) {
    const std::vector<std::string_view>& shells = specCompletion().operandChoices;
    if (line.operands.size() != 1) {
        return usageError("completion", "name one shell: bash, zsh or fish");
    }
    for (std::size_t i = 0; i < shells.size(); ++i) {
        if (line.operands[0] == shells[i]) {
            return printText(completionScript(static_cast<Shell>(i), commandSpecs()));
        }
    }
    return usageError("completion", "the shell is bash, zsh or fish, not '" +
                                        displayArgument(line.operands[0]) + "'");
}

} // namespace zelvane::cli
