#include <cstdio>
#include <exception>

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
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        return app.exit(e);
    } catch (const vhost::HostError& e) {
        std::fprintf(stderr, "vellora: %s\n", e.what());
        return 1;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "vellora: %s\n", e.what());
        return 1;
    }
    return 0;
}
