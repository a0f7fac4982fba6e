#include <cstdio>
#include <cstring>
#include <exception>
#include <string>
#include <vector>

#include "cli/Commands.h"
#include "cli/ExitStatus.h"
#include "support/Text.h"

namespace {

// A file name that starts with '-' reads as an option; after -- it is a name.
std::string DashNameHint(int argc, char** argv) {
    for (int i = 2; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--") break;
        if (arg.size() > 1 && arg[0] == '-' && arg[1] != '-' && arg.find('.') != std::string::npos) {
            return " ('" + arg + "' reads as an option: put names that start with - after --, as in vellora " +
                   argv[1] + " ... -- " + arg + ")";
        }
    }
    return "";
}

}  // namespace

int main(int argc, char** argv) {
    CLI::App app;
    vcli::AddCommands(app);
    // Every error is one line, as ours are, in our words where CLI11's puzzle.
    app.failure_message([argc, argv](const CLI::App*, const CLI::Error& e) {
        std::string what = e.what();
        const std::string repeated = ": At Most 1 required but received ";
        const size_t at = what.find(repeated);
        if (at != std::string::npos) {
            what = what.substr(0, at) + " is given " + what.substr(at + repeated.size()) + " times; give it once";
        }
        if (dynamic_cast<const CLI::RequiredError*>(&e)) what += DashNameHint(argc, argv);
        return "vellora: " + what + "\n";
    });

    std::vector<std::string> list;
    bool known = false;
    for (const CLI::App* command : app.get_subcommands([](CLI::App*) { return true; })) {
        list.push_back(command->get_name());
        known = known || (argc > 1 && command->check_name(argv[1]));
    }
    const std::string names = vtext::Join(list, ", ", " or ");
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
    } catch (const vcli::ExitStatus& status) {
        return status.code;
    } catch (const std::exception& e) {
        // A user's mistake (vsupport::InputError) and a failure of the host or
        // module (vhost::HostError) alike: one line, exit 1.
        std::fprintf(stderr, "vellora: %s\n", e.what());
        return 1;
    }
    return 0;
}
