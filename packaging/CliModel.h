// The command line as the generated man page and completion see it: each
// command with its usage, description and options, read from the very CLI11
// definitions `vellora` parses with, so neither can drift from the command.
#pragma once

#include <string>
#include <vector>

namespace vpackaging {

struct CliOption {
    std::vector<std::string> names;  // "-q", "--quiet"; a positional's one name ("INPUT")
    bool positional = false;
    bool takes_value = false;
    std::string value_name;          // "ae|premiere", "FILE", "N"; empty for a flag
    std::vector<std::string> choices;  // the values it takes, where it names them
    std::string help;                // as the command's --help words it (with the module's ranges)
    std::string group;
};

struct CliCommand {
    std::string name;
    std::string usage;                       // "vellora render [OPTIONS] INPUT OUTPUT"
    std::string summary;                     // the description's first line
    std::vector<std::string> paragraphs;     // the rest, paragraph by paragraph, each on one line
    std::vector<CliOption> options;          // positionals first, then in definition order
};

struct CliModel {
    std::string description;  // the command's own, one line per paragraph
    std::vector<CliOption> global_options;
    std::vector<CliCommand> commands;
};

// Builds the `vellora` command line and reads it, with the popups' choices as
// the default module (vhost::DefaultModulePath) declares them; throws HostError.
CliModel ReadCli();

// The values a value name offers: "ae|premiere" offers ae and premiere; others none.
std::vector<std::string> Choices(const std::string& value_name);
// Whether a value is a path: FILE, PATH, DIR, and positional files.
bool TakesPath(const CliOption& option);

}  // namespace vpackaging
