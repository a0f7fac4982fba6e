#include "Commands.h"

namespace vcli {

void AddRenderCommand(CLI::App&) {}

}  // namespace vcli
