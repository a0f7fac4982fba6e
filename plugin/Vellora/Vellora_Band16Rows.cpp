#include <algorithm>
#include <cstdint>

#include "plugin/Vellora/Vellora_Frame.h"

namespace {

// 64 MB of results: a 4K frame's every pixel takes half of it.
constexpr int64_t kMaxResults = int64_t{1} << 24;

// The bytes a layer's pixels span, first to last; empty without pixels.
struct Bytes {
    uintptr_t first, end;
};
Bytes Span(const PF_LayerDef& layer) {
    if (!layer.data || layer.width <= 0 || layer.height <= 0) return {0, 0};
    const uintptr_t first = reinterpret_cast<uintptr_t>(layer.data);
    const int64_t rows = static_cast<int64_t>(layer.rowbytes) * (layer.height - 1);
    const int64_t last = static_cast<int64_t>(layer.width) * static_cast<int64_t>(sizeof(PF_Pixel16));
    return rows >= 0 ? Bytes{first, first + static_cast<uintptr_t>(rows + last)}
                     : Bytes{first - static_cast<uintptr_t>(-rows), first + static_cast<uintptr_t>(last)};
}

}  // namespace

void PrepareBand16Rows(const PF_LayerDef& source, const PF_LayerDef& destination, VignetteBand16RowStorage& storage,
                       VignetteFrame* frame) {
    frame->band16Rows.source = nullptr;
    if (!frame->band16.usable || !frame->rows || !source.data || source.width <= 0 || source.height <= 0 ||
        source.rowbytes / static_cast<A_long>(sizeof(PF_Pixel16)) < source.width) {
        return;
    }
    const Bytes s = Span(source), d = Span(destination);
    if (s.first < d.end && d.first < s.end) {
        return;
    }
    const A_long rows = static_cast<A_long>(std::min<int64_t>(frame->rowCount, source.height));
    const A_long cols = static_cast<A_long>(std::min<int64_t>(frame->columnCount, source.width));
    // A row's results cover its outer span (the band and the core between).
    storage.origins.resize(static_cast<size_t>(rows));
    int64_t total = 0;
    for (A_long y = 0; y < rows; ++y) {
        A_long b[4];
        frame->RowRuns(y, cols, b);
        storage.origins[static_cast<size_t>(y)] = total - b[0];
        total += b[3] - b[0];
    }
    if (total == 0 || total > kMaxResults) {
        return;
    }
    storage.results.reset(new uint32_t[static_cast<size_t>(total)]);
    storage.states.reset(new std::atomic<uint8_t>[static_cast<size_t>(rows)]);
    for (A_long y = 0; y < rows; ++y) {
        storage.states[static_cast<size_t>(y)].store(kBand16RowEmpty, std::memory_order_relaxed);
    }
    VignetteBand16Rows& r = frame->band16Rows;
    r.source = static_cast<const char*>(source.data);
    r.sourceRowBytes = source.rowbytes;
    r.rowCount = rows;
    r.columnCount = cols;
    r.origins = storage.origins.data();
    r.results = storage.results.get();
    r.states = storage.states.get();
}
