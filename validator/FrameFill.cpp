#include "validator/FrameFill.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <random>
#include <vector>

#include "validator/RandomWords.h"

namespace vvalidator {

namespace {

// Every byte of the world, padding included, from `rng`.
void FillBytes(vhost::World& world, std::mt19937_64& rng) {
    std::vector<unsigned char>& bytes = world.Bytes();
    for (size_t i = 0; i < bytes.size(); i += 8) {
        const uint64_t w = rng();
        std::memcpy(&bytes[i], &w, std::min<size_t>(8, bytes.size() - i));
    }
}

}  // namespace

void FillInput(vhost::World& world, uint64_t seed) {
    std::mt19937_64 rng(seed);
    FillBytes(world, rng);
    if (world.Layout() == vhost::PixelLayout::ARGB16) {
        for (int y = 0; y < world.Height(); ++y) {
            auto* p = reinterpret_cast<A_u_short*>(world.Row(y));
            for (int i = 0; i < world.Width() * 4; ++i) p[i] = static_cast<A_u_short>(p[i] % 32769u);
        }
    } else if (world.Layout() == vhost::PixelLayout::BGRA32F) {
        static const float kOdd[] = {std::numeric_limits<float>::quiet_NaN(), std::numeric_limits<float>::infinity(),
                                     -std::numeric_limits<float>::infinity(), -0.0f, 1e30f, -5.0f, 1e-42f, 2.5f};
        for (int y = 0; y < world.Height(); ++y) {
            auto* p = reinterpret_cast<float*>(world.Row(y));
            for (int x = 0; x < world.Width(); ++x, p += 4) {
                for (int c = 0; c < 3; ++c) {
                    const uint64_t w = rng();
                    p[c] = (w & 15) == 0 ? kOdd[(w >> 4) & 7] : static_cast<float>(Unit(w) * 1.5 - 0.25);
                }
                const uint64_t w = rng();
                p[3] = (w & 7) == 0 ? static_cast<float>((w >> 3) & 1) : static_cast<float>(Unit(w));
            }
        }
    }
}

void FillNoise(vhost::World& world, uint64_t seed) {
    std::mt19937_64 rng(seed);
    FillBytes(world, rng);
}

}  // namespace vvalidator
