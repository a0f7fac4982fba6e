// The built-in test card: a picture generated in code so the effect can be
// shown and tested without any file. Hue runs left to right, brightness top to
// bottom, with a grid every 64 pixels. Alpha varies so every composite mode
// shows: an opaque band at the top, a ramp from opaque to 0.2 in the middle,
// and a fully transparent band at the bottom whose colour is still there.
#pragma once

#include <optional>
#include <string>

#include "imaging/ImageIO.h"

namespace vimaging {

constexpr int kTestCardWidth = 1280;
constexpr int kTestCardHeight = 720;

// Float RGBA, straight alpha.
Image MakeTestCard(int width = kTestCardWidth, int height = kTestCardHeight);
// Rows first_row .. first_row + rows - 1 of the card of the given size.
Image MakeTestCardRows(int width, int height, int first_row, int rows);

// "testcard:" or "testcard:WxH" (case-insensitive) gives the card's size;
// any other name gives nothing. A malformed size throws InputError.
std::optional<std::pair<int, int>> ParseTestCardName(const std::string& name);

}  // namespace vimaging
