#include "packaging/CliModel.h"

#include <CLI/CLI.hpp>

#include <map>
#include <memory>
#include <sstream>

#include "cli/Commands.h"
#include "clip/EffectSession.h"
#include "host/PluginModule.h"
#include "params/ParamFacts.h"

namespace vpackaging {

namespace {

// Paragraphs are separated by blank lines; the lines within one are joined.
std::vector<std::string> Paragraphs(const std::string& text) {
    std::vector<std::string> out;
    std::istringstream in(text);
    std::string paragraph;
    for (std::string line; std::getline(in, line);) {
        if (line.empty()) {
            if (!paragraph.empty()) out.push_back(paragraph);
            paragraph.clear();
        } else {
            paragraph += (paragraph.empty() ? "" : " ") + line;
        }
    }
    if (!paragraph.empty()) out.push_back(paragraph);
    return out;
}

std::string Trimmed(std::string s) {
    while (!s.empty() && (s.back() == '\n' || s.back() == ' ')) s.pop_back();
    return s;
}

// The popups' options take the names of the choices the module declares.
std::map<std::string, std::vector<std::string>> PopupChoices() {
    const vparams::ParamFactsList facts(
        vclip::DeclarationOf(vhost::DefaultModulePath(), vhost::HostApp::AfterEffects));
    std::map<std::string, std::vector<std::string>> out;
    for (const vparams::ParamFacts& f : facts.All()) {
        if (f.kind == vparams::ValueKind::Choice) out[f.entry->option] = vparams::ChoiceNames(f);
    }
    return out;
}

std::vector<CliOption> OptionsOf(const CLI::App& app, const std::map<std::string, std::vector<std::string>>& popups) {
    const auto formatter = std::dynamic_pointer_cast<CLI::Formatter>(app.get_formatter());
    std::vector<CliOption> positionals, named;
    for (const CLI::Option* opt : app.get_options()) {
        if (opt->get_group().empty()) continue;  // hidden
        CliOption o;
        o.positional = opt->nonpositional() == false;
        o.takes_value = opt->get_expected_max() > 0;
        o.group = opt->get_group();
        if (o.positional) {
            o.names.push_back(opt->get_name(true, false));
        } else {
            for (const std::string& s : opt->get_snames()) o.names.push_back("-" + s);
            for (const std::string& l : opt->get_lnames()) o.names.push_back("--" + l);
        }
        if (o.takes_value) o.value_name = opt->get_type_name();
        for (const std::string& name : o.names) {
            if (const auto it = popups.find(name); it != popups.end()) o.choices = it->second;
        }
        if (o.choices.empty()) o.choices = Choices(o.value_name);
        o.help = formatter ? formatter->make_option_desc(opt) : opt->get_description();
        const std::string defaults = opt->get_default_str();
        if (!defaults.empty() && o.takes_value) o.help += " (default: " + defaults + ")";
        (o.positional ? positionals : named).push_back(o);
    }
    positionals.insert(positionals.end(), named.begin(), named.end());
    return positionals;
}

}  // namespace

CliModel ReadCli() {
    CLI::App app;
    app.name("vellora");
    vcli::AddCommands(app);
    CliModel model;
    for (const std::string& p : Paragraphs(app.get_description())) model.description += p + "\n";
    const auto popups = PopupChoices();
    model.global_options = OptionsOf(app, popups);
    for (const CLI::App* sub : app.get_subcommands({})) {
        CliCommand c;
        c.name = sub->get_name();
        const auto formatter = std::dynamic_pointer_cast<CLI::Formatter>(sub->get_formatter());
        std::string usage = Trimmed(formatter->make_usage(sub, "vellora " + c.name));
        const std::string prefix = "Usage: ";
        if (usage.compare(0, prefix.size(), prefix) == 0) usage = usage.substr(prefix.size());
        c.usage = usage;
        std::vector<std::string> paragraphs = Paragraphs(sub->get_description());
        if (!paragraphs.empty()) {
            c.summary = paragraphs.front();
            paragraphs.erase(paragraphs.begin());
        }
        c.paragraphs = paragraphs;
        c.options = OptionsOf(*sub, popups);
        model.commands.push_back(c);
    }
    return model;
}

std::vector<std::string> Choices(const std::string& value_name) {
    std::vector<std::string> out;
    if (value_name.find('|') == std::string::npos) return out;
    std::istringstream in(value_name);
    for (std::string word; std::getline(in, word, '|');) {
        if (!word.empty()) out.push_back(word);
    }
    return out;
}

bool TakesPath(const CliOption& option) {
    if (option.positional) return true;
    const std::string& v = option.value_name;
    return v == "FILE" || v == "PATH" || v == "DIR" || v.find("FILE") != std::string::npos;
}

}  // namespace vpackaging
