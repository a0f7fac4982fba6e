#include <cstdio>
#include <cstring>
#include <exception>
#include <string>

#include "Commands.h"
#include "HostError.h"

int main(int argc, char** argv) {
    CLI::App app{
        "vellora: the reference host of the Vellora soft-mask effect.\n"
        "Loads the plug-in module exactly as a video host does and lets you inspect it,\n"
        "render images through it, see its on-screen overlay and drag its handles."};
    app.require_subcommand(1);
    app.set_help_all_flag("--help-all", "Show help for every command");
    vcli::AddInfoCommand(app);
    vcli::AddRenderCommand(app);
    vcli::AddOverlayCommand(app);
    vcli::AddDragCommand(app);
    vcli::AddValidateCommand(app);
    vcli::AddViewCommand(app);
    // Every error is one line, as ours are.
    app.failure_message([](const CLI::App*, const CLI::Error& e) { return "vellora: " + std::string(e.what()) + "\n"; });

    std::string names;
    const auto commands = app.get_subcommands([](CLI::App*) { return true; });
    bool known = false;
    for (size_t i = 0; i < commands.size(); ++i) {
        names += (i == 0 ? "" : i + 1 == commands.size() ? " or " : ", ") + commands[i]->get_name();
        known = known || (argc > 1 && commands[i]->check_name(argv[1]));
    }
    if (argc < 2) {
        std::fprintf(stderr, "vellora: name a sub-command: %s (vellora --help explains them)\n", names.c_str());
        return 1;
    }
    if (argv[1][0] != '-' && !known) {
        std::fprintf(stderr, "vellora: unknown sub-command '%s' (expected %s)\n", argv[1], names.c_str());
        return 1;
    }
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        // Help exits 0; every mistake exits 1, as the errors of the commands do.
        return app.exit(e) == 0 ? 0 : 1;
    } catch (const vhost::HostError& e) {
        std::fprintf(stderr, "vellora: %s\n", e.what());
        return 1;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "vellora: %s\n", e.what());
        return 1;
    }
    return 0;
}
