// The status line at the bottom of the window: the message (an error leads
// the line), the host and depth, the window and zoom, the render timings, and
// the layer pixel under the pointer with its alpha.
#pragma once

#include <string>

#include "view/RenderScheduler.h"
#include "view/ViewState.h"

namespace vview {

// The line without the message.
std::string StatusText(ViewState& state, const RenderScheduler& renders);
void DrawStatusLine(ViewState& state, const RenderScheduler& renders);

}  // namespace vview
