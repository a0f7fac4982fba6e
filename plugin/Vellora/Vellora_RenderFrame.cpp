// Each frame's preparation for the passes: the mask's frame record, then what
// the chosen pass reads of it (the 8-bit tables by alpha, the rectangle's
// ramp bytes, the 16-bit zones and band rows).
#include <algorithm>
#include <cstdint>
#include <vector>

#include "plugin/Vellora/Vellora_Instances.h"
#include "plugin/Vellora/Vellora_Render.h"

using namespace vellora_render;

namespace {

// The 16-bit result of a zone of strength `s` as min(A * scale + offset, 32768)
// for every 16-bit alpha A, where the arithmetic allows: A * 2^-15 is exact and
// not negative, so a strength of 0 or 1 leaves it as it is, and Create ignores it.
bool Zone16(const VignetteInfo& vi, float s, uint64_t* scale, uint64_t* offset) {
    const auto constant = [&](float o) {
        *scale = 0;
        *offset = ToAlpha16(32768.0f * o);
        return true;
    };
    const auto identity = [&]() {
        *scale = 1;
        *offset = 0;
        return true;
    };
    switch (vi.compositeMode) {
        case COMPOSITE_CREATE:
            return constant(s);
        case COMPOSITE_INTERSECT:
            if (s == 0.0f) return constant(0.0f);
            if (s == 1.0f) return identity();
            return false;
        case COMPOSITE_ADD:
            if (s == 0.0f) return identity();
            if (s >= 1.0f) return constant(1.0f);  // a + s >= 1 for every a >= 0
            return false;
        case COMPOSITE_SUBTRACT:
            return s == 0.0f ? identity() : false;
        default:
            return identity();  // the alpha passes through
    }
}


// Past this many whole distances along an axis (256 bytes each) the
// rectangle's band keeps its per-pixel composite.
constexpr A_u_long kMaxTabledDistances = 2048;

// The rectangle's 8-bit results by whole distance and source alpha where one
// axis alone is in the band: there the edge value is the ramp's value rounded
// to single precision, as the exact path rounds it.
void PrepareRampBytes(A_long width, A_long height, VignetteTables& tables, VignetteFrame* frame) {
    const VignetteInfo& vi = frame->info;
    const VignetteRamp& ru = frame->rampU;
    const VignetteRamp& rv = frame->rampV;
    // A table costs a composite per entry and saves one per band pixel: none
    // with more entries than the output has pixels.
    const int64_t entries = 256 * (static_cast<int64_t>(ru.count) + rv.count);
    if (entries > static_cast<int64_t>(std::max<A_long>(width, 0)) * std::max<A_long>(height, 0)) {
        return;
    }
    // Whole distances (floats of integers) compare with the sizes as their
    // ceilings do only while both are exact in single precision.
    constexpr int64_t kExact = 1 << 24;
    if (vi.isEllipse || !(vi.feather > 0.0f) || ru.count == 0 || rv.count == 0 ||
        ru.count > kMaxTabledDistances || rv.count > kMaxTabledDistances || int64_t{ru.first} + ru.count > kExact ||
        int64_t{rv.first} + rv.count > kExact) {
        return;
    }
    const auto fill = [&](const VignetteRamp& ramp, std::vector<uint8_t>& bytes) {
        bytes.resize(256 * static_cast<size_t>(ramp.count));
        for (A_u_long d = 0; d < ramp.count; ++d) {
            const float e = static_cast<float>(ramp.values[d]);
            for (int k = 0; k < 256; ++k) {
                const float o = CompositeAlpha(&vi, e, kAlpha8[static_cast<size_t>(k)]);
                bytes[256 * static_cast<size_t>(d) + static_cast<size_t>(k)] = ToAlpha8(255.0f * o);
            }
        }
        return bytes.data();
    };
    frame->rampBytesU = fill(ru, tables.rampBytesU);
    frame->rampBytesV = fill(rv, tables.rampBytesV);
}

}  // namespace

void PrepareRenderFrame(const VignetteInfo& info, A_long width, A_long height, VignetteTables& tables,
                        VignetteFrame* frame, RenderPass pass, double cellBoundScale, const PF_LayerDef* source,
                        const PF_LayerDef* destination) {
    const bool eight = pass == kPassArgb8 || pass == kPassBgra8;
    // The band cells' rows tell the 16-bit pass, too, where the band is certain.
    PrepareVignetteFrame(info, width, height, tables, frame, eight || pass == kPassArgb16, cellBoundScale);
    if (eight) {
        const int shift = pass == kPassBgra8 ? 24 : 0;
        for (int k = 0; k < 256; ++k) {
            const float a = kAlpha8[static_cast<size_t>(k)];
            frame->outside32[k] = uint32_t{ToAlpha8(255.0f * CompositeAlpha(&frame->info, 1.0f, a))} << shift;
            frame->core32[k] = uint32_t{ToAlpha8(255.0f * CompositeAlpha(&frame->info, 0.0f, a))} << shift;
        }
        if (frame->bandCells && frame->info.compositeMode == COMPOSITE_CREATE) {
            tables.bandBytes.resize(static_cast<size_t>(frame->bandCellCount));
            for (A_long i = 0; i < frame->bandCellCount; ++i) {
                const auto byte = [&](float e) { return ToAlpha8(255.0f * CompositeAlpha(&frame->info, e, 0.0f)); };
                const int lo = byte(frame->bandCells[2 * i]), hi = byte(frame->bandCells[2 * i + 1]);
                tables.bandBytes[static_cast<size_t>(i)] = static_cast<int16_t>(lo == hi ? lo : -1);
            }
            frame->bandBytes = tables.bandBytes.data();
        }
        if (frame->bandCells) {
            tables.bandStrengths.resize(2 * static_cast<size_t>(frame->bandCellCount));
            for (size_t i = 0; i < tables.bandStrengths.size(); ++i) {
                tables.bandStrengths[i] = MaskStrength(&frame->info, frame->bandCells[i]);
            }
            frame->bandStrengths = tables.bandStrengths.data();
        }
        PrepareRampBytes(width, height, tables, frame);
    } else if (pass == kPassArgb16) {
        const bool outside = Zone16(frame->info, frame->outsideStrength, &frame->zoneScale16[ZONE_OUTSIDE],
                                    &frame->zoneOffset16[ZONE_OUTSIDE]);
        const bool core = Zone16(frame->info, frame->coreStrength, &frame->zoneScale16[ZONE_CORE],
                                 &frame->zoneOffset16[ZONE_CORE]);
        frame->zones16 = outside && core;
        PrepareBand16(frame->info, tables.band16Chords, &frame->band16, cellBoundScale);
        if (source && destination) PrepareBand16Rows(*source, *destination, tables.band16Rows, frame);
    }
}

