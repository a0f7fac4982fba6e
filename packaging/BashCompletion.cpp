#include "packaging/BashCompletion.h"

#include <sstream>

namespace vpackaging {

namespace {

// Names and choices are plain words; anything else would need quoting in the script.
std::string Words(const std::vector<std::string>& words) {
    std::string out;
    for (const std::string& w : words) {
        if (w.find_first_not_of("abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789-_.:+") !=
            std::string::npos) {
            continue;
        }
        out += (out.empty() ? "" : " ") + w;
    }
    return out;
}

std::string Alternatives(const std::vector<std::string>& names) {
    std::string out;
    for (const std::string& n : names) out += (out.empty() ? "" : "|") + n;
    return out;
}

// The case arms that complete the value after an option, and the option words.
void CommandBody(std::ostringstream& out, const std::vector<CliOption>& options, const std::string& indent) {
    std::vector<std::string> names;
    std::vector<std::string> path_options, choice_arms, other_options;
    for (const CliOption& o : options) {
        if (o.positional) continue;
        names.insert(names.end(), o.names.begin(), o.names.end());
        if (!o.takes_value) continue;
        const std::vector<std::string>& choices = o.choices;
        if (!choices.empty()) {
            choice_arms.push_back(Alternatives(o.names) + ") COMPREPLY=($(compgen -W '" + Words(choices) +
                                  "' -- \"$cur\")); return ;;");
        } else if (TakesPath(o)) {
            path_options.push_back(Alternatives(o.names));
        } else {
            other_options.push_back(Alternatives(o.names));
        }
    }
    out << indent << "case $prev in\n";
    for (const std::string& arm : choice_arms) out << indent << "  " << arm << "\n";
    if (!path_options.empty()) {
        out << indent << "  " << Alternatives(path_options) << ") COMPREPLY=($(compgen -f -- \"$cur\")); return ;;\n";
    }
    if (!other_options.empty()) out << indent << "  " << Alternatives(other_options) << ") return ;;\n";
    out << indent << "esac\n";
    out << indent << "if [[ $cur == -* ]]; then\n"
        << indent << "  COMPREPLY=($(compgen -W '" << Words(names) << "' -- \"$cur\"))\n"
        << indent << "else\n"
        << indent << "  COMPREPLY=($(compgen -f -- \"$cur\"))\n"
        << indent << "fi\n";
}

}  // namespace

std::string BashCompletion(const CliModel& cli) {
    std::ostringstream out;
    std::vector<std::string> commands, global;
    for (const CliCommand& c : cli.commands) commands.push_back(c.name);
    for (const CliOption& o : cli.global_options) global.insert(global.end(), o.names.begin(), o.names.end());
    out << "# bash completion for vellora: made by the build from the command's own options.\n"
        << "_vellora() {\n"
        << "  local cur=${COMP_WORDS[COMP_CWORD]} prev=${COMP_WORDS[COMP_CWORD-1]} command= i\n"
        << "  for ((i = 1; i < COMP_CWORD; i++)); do\n"
        << "    case ${COMP_WORDS[i]} in -*) ;; *) command=${COMP_WORDS[i]}; break ;; esac\n"
        << "  done\n"
        << "  case $command in\n"
        << "    '')\n"
        << "      COMPREPLY=($(compgen -W '" << Words(commands) << " " << Words(global) << "' -- \"$cur\")) ;;\n";
    for (const CliCommand& c : cli.commands) {
        out << "    " << Words({c.name}) << ")\n";
        CommandBody(out, c.options, "      ");
        out << "      ;;\n";
    }
    out << "  esac\n"
        << "}\n"
        << "complete -o filenames -F _vellora vellora\n";
    return out.str();
}

}  // namespace vpackaging
