#include "Host.h"

namespace vhost {

void RegisterRenderSuites(Host&) {}

}  // namespace vhost
