// A frame held anywhere in memory (an array's strided samples) rendered
// through the linked effect by a host of either kind, at the depth its
// samples have, into a tight result of the same sample type. The result is
// what `vellora render` writes for the same pixels read from a lossless file:
// the same conversions into the host's world and back, the same downsampling.
// No Python here: the module's glue checks its arrays and hands them over.
#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

#include "host/Host.h"
#include "host/Render.h"
#include "imaging/ImageIO.h"
#include "params/EffectValues.h"
#include "params/ParamTable.h"

namespace vpython {

// Straight RGBA samples: pixel (x, y)'s channel c (0 r, 1 g, 2 b, 3 a) at
// data + y * strides[0] + x * strides[1] + c * strides[2], any of them
// negative or zero. Read only.
struct FrameView {
    const unsigned char* data = nullptr;
    int width = 0, height = 0;
    std::ptrdiff_t strides[3] = {0, 0, 0};
    vimaging::SampleType type = vimaging::SampleType::U8;
};

struct FrameOptions {
    vhost::HostApp app = vhost::HostApp::Premiere;
    int downsample = 1;
    PF_RationalScale pixel_aspect{1, 1};
    int threads = 0;  // 0 = all cores
    vhost::FrameTime time;
};

// The world a frame of `type` renders in under `app`, as `vellora render`
// picks it for a file of that depth; throws InputError for float under After
// Effects, which would clamp it.
vhost::PixelLayout LayoutFor(vhost::HostApp app, vimaging::SampleType type);

// Throws InputError naming the limit when a frame is over the input limits
// (VELLORA_MAX_PIXELS, VELLORA_MAX_MEMORY), as an image file of its size is.
void CheckBudget(const FrameView& frame);

// Bytes of one sample of `type`.
size_t SampleBytes(vimaging::SampleType type);

// The result's size: the frame's, or 1/downsample of it rounded up.
int ResultSize(int size, int downsample);

// Set-up hosts of both kinds around the linked effect, each rendering one
// frame at a time; a frame takes an idle one (made when none is) and gives it
// back. Safe from any thread.
class HostPool {
public:
    HostPool();
    ~HostPool();
    HostPool(const HostPool&) = delete;
    HostPool& operator=(const HostPool&) = delete;

    // What the effect declares, checked against the parameter table.
    const vparams::Declaration& Declared() const { return declared_; }

    // Renders `frame` under `values` (unset ones the defaults) into `out`:
    // tight rows of ResultSize() pixels of the frame's sample type. Throws
    // InputError or HostError; `out` holds no result then.
    // `rendered`, when given, sees the host and the world it rendered into
    // before the world is converted back (as a window shows that frame). An
    // 8-bit Premiere world holds the frame's RGBA bytes as they are, red in
    // blue's place: the effect treats colour alike, so none is swapped.
    using Rendered = std::function<void(vhost::Host& host, const vhost::World& world)>;
    void Render(const FrameView& frame, const FrameOptions& options, const vparams::EffectValues& values,
                void* out, const Rendered& rendered = {});

private:
    struct Slot;
    std::unique_ptr<Slot> Take(vhost::HostApp app);
    void Give(std::unique_ptr<Slot> slot);

    vparams::Declaration declared_;
    std::mutex mutex_;
    std::vector<std::unique_ptr<Slot>> idle_;
};

}  // namespace vpython
