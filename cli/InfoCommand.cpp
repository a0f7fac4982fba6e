#include "Commands.h"

namespace vcli {

void AddInfoCommand(CLI::App&) {}

}  // namespace vcli
