#include "Commands.h"

namespace vcli {

void AddOverlayCommand(CLI::App&) {}

}  // namespace vcli
