// Each sub-command of `vellora` adds itself to the application.
#pragma once

#include <CLI/CLI.hpp>

namespace vcli {

void AddInfoCommand(CLI::App& app);
void AddRenderCommand(CLI::App& app);
void AddOverlayCommand(CLI::App& app);
void AddDragCommand(CLI::App& app);
void AddValidateCommand(CLI::App& app);
void AddViewCommand(CLI::App& app);

// The whole command line: its description, every command above and the top-level
// help, which lists each command by the first line of its description.
void AddCommands(CLI::App& app);

}  // namespace vcli
