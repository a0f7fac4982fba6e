#include "obs/Straight.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace vobs {

namespace {

using Table = std::array<std::array<uint8_t, 256>, 256>;

// Every (alpha, colour) pair's quotient, so a frame costs a look-up a sample.
const Table& Quotients() {
    static const Table table = [] {
        Table t{};
        for (unsigned a = 1; a < 256; ++a) {
            for (unsigned c = 0; c < 256; ++c) t[a][c] = static_cast<uint8_t>(std::min(255u, (c * 255 + a / 2) / a));
        }
        return t;
    }();
    return table;
}

}  // namespace

uint8_t Unpremultiplied(uint8_t colour, uint8_t alpha) { return Quotients()[alpha][colour]; }

void StraightRows(const ReadBack& picture, uint8_t* out) {
    const size_t row = static_cast<size_t>(picture.width) * 4;
    const Table& table = Quotients();
    for (uint32_t y = 0; y < picture.height; ++y) {
        const uint8_t* s = picture.rows + y * size_t{picture.linesize};
        uint8_t* d = out + y * row;
        if (!picture.premultiplied) {
            std::memcpy(d, s, row);
            continue;
        }
        for (size_t x = 0; x < row; x += 4) {
            const auto& q = table[s[x + 3]];
            d[x] = q[s[x]];
            d[x + 1] = q[s[x + 1]];
            d[x + 2] = q[s[x + 2]];
            d[x + 3] = s[x + 3];
        }
    }
}

}  // namespace vobs
