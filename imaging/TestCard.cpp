#include "imaging/TestCard.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "host/HostError.h"
#include "support/InputError.h"
#include "support/Text.h"

namespace vimaging {

namespace {

// Fully saturated hue h in 0..1 to RGB.
void Hue(double h, double rgb[3]) {
    const double h6 = h * 6.0;
    rgb[0] = std::clamp(std::fabs(h6 - 3.0) - 1.0, 0.0, 1.0);
    rgb[1] = std::clamp(2.0 - std::fabs(h6 - 2.0), 0.0, 1.0);
    rgb[2] = std::clamp(2.0 - std::fabs(h6 - 4.0), 0.0, 1.0);
}

}  // namespace

Image MakeTestCardRows(int width, int height, int first_row, int rows) {
    if (width < 1 || height < 1 || width > 16384 || height > 16384) {
        throw vhost::HostError("test card size " + std::to_string(width) + "x" + std::to_string(height) +
                        " is out of range (1..16384 on each side)");
    }
    Image card = Image::Make(width, rows, SampleType::F32);
    for (int row = 0; row < rows; ++row) {
        const int y = first_row + row;
        const double fy = height > 1 ? static_cast<double>(y) / (height - 1) : 0.0;
        for (int x = 0; x < width; ++x) {
            const double fx = width > 1 ? static_cast<double>(x) / (width - 1) : 0.0;
            double rgb[3];
            Hue(fx, rgb);
            // Light at the top, dark at the bottom.
            const double light = 1.0 - fy;
            for (double& c : rgb) c = light < 0.5 ? c * (0.2 + 1.6 * light) : c + (1.0 - c) * (light - 0.5) * 1.4;
            if (x % 64 == 0 || y % 64 == 0) {
                rgb[0] = rgb[1] = rgb[2] = 0.5;
            }
            double alpha;
            if (fy < 0.25) {
                alpha = 1.0;
            } else if (fy < 0.75) {
                alpha = 1.0 - 0.8 * fx;
            } else {
                alpha = 0.0;
            }
            float* p = card.f32.data() + (static_cast<size_t>(row) * static_cast<size_t>(width) + static_cast<size_t>(x)) * 4;
            for (int k = 0; k < 3; ++k) p[k] = static_cast<float>(std::clamp(rgb[k], 0.0, 1.0));
            p[3] = static_cast<float>(alpha);
        }
    }
    return card;
}

Image MakeTestCard(int width, int height) { return MakeTestCardRows(width, height, 0, height); }

std::optional<std::pair<int, int>> ParseTestCardName(const std::string& name) {
    const std::string lower = vtext::Lower(name);
    const std::string prefix = "testcard:";
    if (lower.compare(0, prefix.size(), prefix) != 0) {
        return std::nullopt;
    }
    const std::string size = lower.substr(prefix.size());
    if (size.empty()) {
        return std::make_pair(kTestCardWidth, kTestCardHeight);
    }
    int w = 0, h = 0;
    char tail = 0;
    if (std::sscanf(size.c_str(), "%dx%d%c", &w, &h, &tail) != 2 || w < 1 || h < 1 || w > 16384 || h > 16384) {
        throw vsupport::InputError("bad test card '" + name +
                                   "': expected testcard: or testcard:WIDTHxHEIGHT (1..16384)");
    }
    return std::make_pair(w, h);
}

}  // namespace vimaging
