#include "python/FrameRender.h"

#include <cstdint>
#include <cstring>
#include <limits>
#include <string>

#include "embed/EmbeddedEffect.h"
#include "host/ApiNames.h"
#include "host/HostError.h"
#include "imaging/PixelKernels.h"
#include "imaging/ReadBudget.h"
#include "params/EffectParams.h"
#include "support/InputError.h"

namespace vpython {

using vhost::PixelLayout;
using vimaging::SampleType;
using vsupport::InputError;

vhost::PixelLayout LayoutFor(vhost::HostApp app, vimaging::SampleType type) {
    const bool ae = app == vhost::HostApp::AfterEffects;
    if (type == SampleType::U8) return ae ? PixelLayout::ARGB8 : PixelLayout::BGRA8;
    if (ae && type == SampleType::F32) {
        throw InputError("host 'ae' renders at most 16 bits and would clamp a float32 frame: render it under "
                         "host 'premiere', or pass uint16 samples");
    }
    return ae ? PixelLayout::ARGB16 : PixelLayout::BGRA32F;
}

int ResultSize(int size, int downsample) { return vimaging::DownsampledSize(0, size, downsample); }

size_t SampleBytes(SampleType type) {
    return type == SampleType::U8 ? 1 : type == SampleType::U16 ? 2 : 4;
}

void CheckBudget(const FrameView& f) {
    const vimaging::ReadBudget budget = vimaging::CurrentReadBudget();
    const uint64_t pixels = static_cast<uint64_t>(f.width) * static_cast<uint64_t>(f.height);
    const uint64_t bytes = pixels * 4 * SampleBytes(f.type);
    const std::string size = std::to_string(f.width) + "x" + std::to_string(f.height);
    if (pixels > budget.max_pixels) {
        throw InputError("frame of " + size + " has " + std::to_string(pixels) + " pixels, over the limit of " +
                         std::to_string(budget.max_pixels) + " (VELLORA_MAX_PIXELS)");
    }
    if (bytes > budget.max_memory) {
        throw InputError("frame of " + size + " holds " + vimaging::ByteSizeText(bytes) +
                         " of samples, over the limit of " + vimaging::ByteSizeText(budget.max_memory) +
                         " (VELLORA_MAX_MEMORY)");
    }
}

namespace {


// Row `y` of the frame as tight RGBA samples: the frame's own memory when its
// row is tight and aligned, else gathered into `scratch`.
template <class S>
const S* FrameRow(const FrameView& f, int y, std::vector<S>& scratch) {
    const unsigned char* row = f.data + static_cast<std::ptrdiff_t>(y) * f.strides[0];
    const auto s = static_cast<std::ptrdiff_t>(sizeof(S));
    if (f.strides[2] == s && f.strides[1] == 4 * s && reinterpret_cast<uintptr_t>(row) % alignof(S) == 0) {
        return reinterpret_cast<const S*>(row);
    }
    scratch.resize(static_cast<size_t>(f.width) * 4);
    for (int x = 0; x < f.width; ++x) {
        for (int c = 0; c < 4; ++c) {
            std::memcpy(&scratch[static_cast<size_t>(x) * 4 + c], row + x * f.strides[1] + c * f.strides[2], s);
        }
    }
    return scratch.data();
}

// The frame as an image at its own depth, for the downsampler the command uses.
template <class S>
vimaging::Image FrameImage(const FrameView& f) {
    vimaging::Image image = vimaging::Image::Make(f.width, f.height, vimaging::TypeOf<S>());
    std::vector<S> scratch;
    const size_t n = static_cast<size_t>(f.width) * 4;
    for (int y = 0; y < f.height; ++y) {
        const S* row = FrameRow<S>(f, y, scratch);
        std::copy(row, row + n, vimaging::Samples<S>(image) + static_cast<size_t>(y) * n);
    }
    return image;
}

// Input and output worlds of one render. The output lies over the result when
// a world pixel is as wide as a result pixel; the input is the output itself
// (the effect renders in place, as filters ask of it) unless the frame's own
// memory can be read as the world, as an 8-bit Premiere frame's RGBA can.
struct Worlds {
    std::optional<vhost::World> owned, input, output;
};

template <class P, class S>
void RenderAs(vhost::Host& host, const FrameView& f, const FrameOptions& o, void* out,
              const HostPool::Rendered& rendered) {
    using T = typename P::T;
    const PixelLayout layout = [] {
        PixelLayout l = PixelLayout::ARGB8;
        for (PixelLayout c : {PixelLayout::ARGB8, PixelLayout::BGRA8, PixelLayout::ARGB16, PixelLayout::BGRA32F}) {
            vimaging::WithLayout(c, [&](auto p) {
                if (std::is_same_v<decltype(p), P>) l = c;
            });
        }
        return l;
    }();
    const int w = ResultSize(f.width, o.downsample), h = ResultSize(f.height, o.downsample);
    const size_t out_row = static_cast<size_t>(w) * 4 * sizeof(S);
    auto* result = static_cast<unsigned char*>(out);
    Worlds worlds;
    if (sizeof(T) == sizeof(S)) {
        worlds.output = vhost::World::Over(layout, w, h, out, out_row);
    } else {
        worlds.owned.emplace(layout, w, h);
        worlds.output = vhost::World::Over(layout, w, h, worlds.owned->Row(0), worlds.owned->RowBytes());
    }
    vhost::World& world = *worlds.output;
    std::vector<S> scratch;
    // Premiere's 8-bit world read straight from RGBA: alpha is byte 3 in both,
    // and the effect copies colour bytes unchanged.
    constexpr bool rgba_as_bgra = std::is_same_v<P, vimaging::BGRA8Pixel>;
    if (o.downsample > 1) {
        const vimaging::Image small = vimaging::DownsampleImage(FrameImage<S>(f), o.downsample);
        for (int y = 0; y < h; ++y) {
            const S* row = vimaging::Samples<S>(const_cast<vimaging::Image&>(small)) + static_cast<size_t>(y) * w * 4;
            if constexpr (rgba_as_bgra) std::memcpy(world.Row(y), row, out_row);
            else vimaging::FillWorldRow<P, S>(row, w, world.Row(y));
        }
    } else if (rgba_as_bgra && f.strides[2] == 1 && f.strides[1] == 4 && f.strides[0] >= 4 * f.width) {
        worlds.input = vhost::World::Over(layout, w, h, const_cast<unsigned char*>(f.data),
                                          static_cast<size_t>(f.strides[0]));
    } else {
        for (int y = 0; y < h; ++y) {
            const S* row = FrameRow<S>(f, y, scratch);
            if constexpr (rgba_as_bgra) std::memcpy(world.Row(y), row, out_row);
            else vimaging::FillWorldRow<P, S>(row, w, world.Row(y));
        }
    }
    if (!worlds.input) worlds.input = vhost::World::Over(layout, w, h, world.Row(0), world.RowBytes());

    vhost::FrameSettings settings;
    settings.downsample = o.downsample;
    settings.pixel_aspect = o.pixel_aspect;
    settings.time = o.time;
    const PF_Err err = vhost::RenderFrame(host, *worlds.input, world, settings);
    if (err != PF_Err_NONE) throw vhost::HostError("the effect failed to render: error " + vhost::DescribeError(err));
    if (rendered) rendered(host, world);
    if constexpr (rgba_as_bgra) return;

    // Back to the frame's depth. 16-bit samples get back the two bits the
    // world could not hold where the effect left them, as the command's
    // writer restores them from what it read.
    std::vector<S> back(static_cast<size_t>(w) * 4);
    std::vector<uint8_t> bits;
    constexpr bool keep_bits = std::is_same_v<S, uint16_t> && std::is_same_v<T, uint16_t>;
    for (int y = 0; y < h; ++y) {
        const uint8_t* codes = nullptr;
        if constexpr (keep_bits) {
            if (o.downsample == 1) {
                bits.resize(static_cast<size_t>(w));
                vimaging::KeepLowBits(FrameRow<S>(f, y, scratch), w, bits.data());
                codes = bits.data();
            }
        }
        vimaging::WorldRowToFile<P, S>(world.Row(y), w, back.data(), codes);
        std::memcpy(result + static_cast<size_t>(y) * out_row, back.data(), out_row);
    }
}

}  // namespace

struct HostPool::Slot {
    explicit Slot(vhost::HostApp app) : host(vembed::LinkedEffect(), app) {}
    vhost::Host host;
};

HostPool::HostPool() {
    auto slot = std::make_unique<Slot>(vhost::HostApp::Premiere);
    declared_ = vparams::SetUpChecked(slot->host);
    idle_.push_back(std::move(slot));
}

HostPool::~HostPool() = default;

std::unique_ptr<HostPool::Slot> HostPool::Take(vhost::HostApp app) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        for (auto it = idle_.begin(); it != idle_.end(); ++it) {
            if ((*it)->host.App() != app) continue;
            std::unique_ptr<Slot> slot = std::move(*it);
            idle_.erase(it);
            return slot;
        }
    }
    auto slot = std::make_unique<Slot>(app);
    vparams::SetUpChecked(slot->host);
    return slot;
}

void HostPool::Give(std::unique_ptr<Slot> slot) {
    std::lock_guard<std::mutex> lock(mutex_);
    idle_.push_back(std::move(slot));
}

void HostPool::Render(const FrameView& frame, const FrameOptions& options, const vparams::EffectValues& values,
                      void* out, const Rendered& rendered) {
    if (frame.width < 1 || frame.height < 1) throw InputError("frame has no pixels");
    CheckBudget(frame);
    const PixelLayout layout = LayoutFor(options.app, frame.type);
    std::unique_ptr<Slot> slot = Take(options.app);
    // A host that failed mid-frame is dropped rather than pooled.
    vhost::Host& host = slot->host;
    host.threads = options.threads;
    vparams::ApplyEffectValues(host, values, frame.width, frame.height);
    vimaging::WithType(frame.type, [&](auto sample) {
        using S = decltype(sample);
        vimaging::WithLayout(layout, [&](auto pixel) {
            RenderAs<decltype(pixel), S>(host, frame, options, out, rendered);
        });
    });
    Give(std::move(slot));
}

}  // namespace vpython
