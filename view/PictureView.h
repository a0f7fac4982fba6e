// The picture area: the rendered frame over the checkerboard, the layer's
// bounds in the composition window, and the strokes the effect's overlay drew.
#pragma once

#include "view/ViewState.h"

namespace vview {

// Sends the overlay's draw event for the current view; says when the effect failed.
void DrawOverlay(ViewState& state);
// Queues the picture and the overlay's strokes, clipped to the picture area.
void DrawPicture(ViewState& state);

}  // namespace vview
