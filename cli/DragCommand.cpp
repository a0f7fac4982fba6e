#include "Commands.h"

namespace vcli {

void AddDragCommand(CLI::App&) {}

}  // namespace vcli
