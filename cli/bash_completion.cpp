#include "cli/bash_completion.h"

#include <sstream>
#include <string_view>
#include <vector>

#include "cli/setting_names.h"

namespace sowfield::cli {
namespace {

// The shared part: helpers that fill COMPREPLY, then the start of _sowfield,
// which finds the subcommand and the word being completed. An option's value
// may follow it as the next word or after '=' (which bash splits off).
constexpr const char *kPreamble = R"(# bash completion for sowfield, written by `sowfield completion` from the
# tool's own options.

# Files, or only those ending in .$2, and folders.
_sowfield_files() {
    compopt -o filenames 2>/dev/null
    if [[ -n ${2-} ]]; then
        mapfile -t COMPREPLY < <(compgen -d -- "$1"; compgen -f -X "!*.$2" -- "$1")
    else
        mapfile -t COMPREPLY < <(compgen -f -- "$1")
    fi
}

# The words of $1 that start with $2.
_sowfield_words() {
    mapfile -t COMPREPLY < <(compgen -W "$1" -- "$2")
}

_sowfield() {
    COMPREPLY=()
    local cur=${COMP_WORDS[COMP_CWORD]} prev=${COMP_WORDS[COMP_CWORD-1]}
    if [[ $cur == = ]]; then
        cur=""
    elif [[ $prev == = ]]; then
        prev=${COMP_WORDS[COMP_CWORD-2]}
    fi
    local command="" i
    for ((i = 1; i < COMP_CWORD; i++)); do
        case ${COMP_WORDS[i]} in
)";

std::string single_quoted(std::string_view text) {
    std::string quoted = "'";
    for (const char c : text) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

std::string joined(const std::vector<std::string> &words, std::string_view separator) {
    std::string text;
    for (const std::string &word : words) text += (text.empty() ? "" : std::string(separator)) + word;
    return text;
}

// The words inside "{a,b,c}" of a type name (a set validator's description).
std::vector<std::string> choices_in(const std::string &type) {
    const size_t open = type.find('{'), close = type.rfind('}');
    std::vector<std::string> choices;
    if (open == std::string::npos || close == std::string::npos || close < open) return choices;
    std::istringstream list(type.substr(open + 1, close - open - 1));
    for (std::string choice; std::getline(list, choice, ',');) choices.push_back(choice);
    return choices;
}

// The setting names --set takes (with their '=') or the buttons --press takes.
std::vector<std::string> setting_words(bool buttons) {
    std::vector<std::string> words;
    for (const SettingName &name : setting_names())
        if (name.button == buttons) words.push_back(std::string(name.field) + (buttons ? "" : "="));
    return words;
}

// The shell code that completes a value of this type, "return" included; an
// empty COMPREPLY where the value is free text.
std::string value_completion(const std::string &type) {
    if (const std::vector<std::string> choices = choices_in(type); !choices.empty())
        return "_sowfield_words " + single_quoted(joined(choices, " ")) + " \"$cur\"; return";
    if (type.find("FILE.json") != std::string::npos) return "_sowfield_files \"$cur\" json; return";
    if (type.find("FILE") != std::string::npos || type.find("PATH") != std::string::npos)
        return "_sowfield_files \"$cur\"; return";
    if (type == "NAME=VALUE")
        return "_sowfield_words " + single_quoted(joined(setting_words(false), " ")) +
               " \"$cur\"; compopt -o nospace 2>/dev/null; return";
    if (type == "LABEL") return "_sowfield_words " + single_quoted(joined(setting_words(true), " ")) + " \"$cur\"; return";
    return "return";
}

// The options of an application as its help shows them: its own and those of
// its option groups, leaving out hidden ones (no group).
std::vector<const CLI::Option *> visible_options(const CLI::App &app) {
    std::vector<const CLI::Option *> options =
        app.get_options([](const CLI::Option *option) { return !option->get_group().empty(); });
    for (const CLI::App *group : app.get_subcommands([](const CLI::App *sub) { return sub->get_name().empty(); }))
        for (const CLI::Option *option : visible_options(*group)) options.push_back(option);
    return options;
}

std::vector<std::string> option_names(const CLI::Option &option) {
    std::vector<std::string> names;
    for (const std::string &name : option.get_snames()) names.push_back("-" + name);
    for (const std::string &name : option.get_lnames()) names.push_back("--" + name);
    return names;
}

// One branch of the case on the subcommand: values of its options, then its
// option names after '-', else `positional` (shell code) for other words.
std::string command_branch(const CLI::App &app, const std::string &pattern, const std::string &positional) {
    std::ostringstream branch;
    std::vector<std::string> names;
    std::ostringstream values;
    for (const CLI::Option *option : visible_options(app)) {
        if (option->get_positional()) continue;
        const std::vector<std::string> own = option_names(*option);
        names.insert(names.end(), own.begin(), own.end());
        if (option->get_items_expected_max() > 0)
            values << "            " << joined(own, "|") << ") " << value_completion(option->get_type_name())
                   << " ;;\n";
    }
    branch << "    " << pattern << ")\n";
    if (!values.str().empty()) branch << "        case $prev in\n" << values.str() << "        esac\n";
    branch << "        if [[ $cur == -* ]]; then\n"
           << "            _sowfield_words " << single_quoted(joined(names, " ")) << " \"$cur\"\n"
           << "        else\n"
           << "            " << positional << "\n"
           << "        fi ;;\n";
    return branch.str();
}

// What a subcommand's words that are not options complete to: its first
// positional's values, nothing when it has none.
std::string positional_completion(const CLI::App &app) {
    for (const CLI::Option *option : visible_options(app))
        if (option->get_positional()) return value_completion(option->get_type_name());
    return "return";
}

}  // namespace

std::string bash_completion(const CLI::App &root) {
    const std::vector<const CLI::App *> commands =
        root.get_subcommands([](const CLI::App *sub) { return !sub->get_name().empty(); });
    std::vector<std::string> command_names;
    for (const CLI::App *command : commands) command_names.push_back(command->get_name());

    std::ostringstream script;
    script << kPreamble << "            " << joined(command_names, "|")
           << ") command=${COMP_WORDS[i]}; break ;;\n        esac\n    done\n    case $command in\n";
    script << command_branch(root, "\"\"", "_sowfield_words " + single_quoted(joined(command_names, " ")) + " \"$cur\"");
    for (const CLI::App *command : commands)
        script << command_branch(*command, command->get_name(), positional_completion(*command));
    script << "    esac\n}\ncomplete -F _sowfield sowfield\n";
    return script.str();
}

}  // namespace sowfield::cli
