#include <memory>
#include <sstream>
#include <string>

#include "cli/Commands.h"

namespace vcli {

namespace {

// A command's description opens with a one-line summary; the list of commands
// shows only that line, the command's own --help the rest.
class CommandListFormatter : public CLI::Formatter {
public:
    // Names and summaries fit 80 columns.
    CommandListFormatter() { column_width(14); }

    std::string make_subcommand(const CLI::App* sub) const override {
        const std::string& description = sub->get_description();
        std::stringstream out;
        CLI::detail::format_help(out, sub->get_display_name(true), description.substr(0, description.find('\n')),
                                 get_column_width());
        return out.str();
    }

    std::string make_footer(const CLI::App* app) const override {
        if (app->get_parent() != nullptr) return CLI::Formatter::make_footer(app);
        return CLI::Formatter::make_footer(app) +
               "'vellora COMMAND --help' shows a command's options; 'man vellora' has everything.\n";
    }
};

}  // namespace

void AddCommands(CLI::App& app) {
    app.description(
        "vellora: the reference host of the Vellora soft-mask effect.\n"
        "Loads the plug-in module exactly as a video host does and lets you inspect it,\n"
        "render images through it, see its on-screen overlay and drag its handles.");
    app.require_subcommand(1);
    app.set_help_all_flag("--help-all", "Show help for every command");
    AddInfoCommand(app);
    AddRenderCommand(app);
    AddOverlayCommand(app);
    AddDragCommand(app);
    AddValidateCommand(app);
    AddViewCommand(app);
    // After the commands, which would take it over for their own help.
    app.formatter(std::make_shared<CommandListFormatter>());
}

}  // namespace vcli
