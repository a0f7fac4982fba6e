#include "frei0r/Filter.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <string>

#include "host/ApiNames.h"
#include "host/HostError.h"
#include "host/PluginModule.h"
#include "host/Render.h"
#include "plugin/Vellora/Vellora.h"

namespace vfrei0r {

namespace {

// Exact for 24, 25, 30, 50 and 60 fps and NTSC's 1001/30000 s frames, and
// holds 19 hours in current_time's 32 bits.
constexpr A_u_long kTimeScale = 30000;

}  // namespace

const vhost::PluginModule& LinkedEffect() {
    static const vhost::PluginModule module(&EntryPointFunc, "vellora.so");
    return module;
}

A_long HostTime(double seconds, A_u_long time_scale) {
    if (std::isnan(seconds)) return 0;
    const double ticks = std::round(seconds * time_scale);
    return static_cast<A_long>(std::clamp(ticks, double(std::numeric_limits<A_long>::min()),
                                          double(std::numeric_limits<A_long>::max())));
}

struct Filter::Renderer {
    vhost::Host host{LinkedEffect(), vhost::HostApp::Premiere};
    // Made over the first frame's memory, then pointed at each new frame.
    std::optional<vhost::World> input, output;
};

std::unique_ptr<Filter::Renderer> Filter::MakeRenderer() const {
    auto renderer = std::make_unique<Renderer>();
    vhost::Host& host = renderer->host;
    vparams::SetUpChecked(host);
    host.InData().time_scale = kTimeScale;
    host.InData().width = width_;
    host.InData().height = height_;
    return renderer;
}

Filter::Filter(int width, int height) : width_(width), height_(height) {
    // Rows are tight RGBA; the world's rowbytes is a 32-bit count.
    if (width < 1 || height < 1 || width > std::numeric_limits<A_long>::max() / 4) {
        throw vhost::HostError("cannot filter frames of " + std::to_string(width) + "x" + std::to_string(height));
    }
    std::unique_ptr<Renderer> first = MakeRenderer();
    declared_ = vparams::Declaration::Read(first->host);
    // The effect's own defaults for a layer of this size.
    first->host.ResetParams(width, height);
    values_ = vparams::ReadEffectValues(first->host);
    idle_.push_back(std::move(first));
}

Filter::~Filter() = default;

void Filter::Set(int index, double value) {
    std::lock_guard<std::mutex> lock(mutex_);
    SetParam(values_, index, value, declared_, width_, height_);
}

double Filter::Get(int index) const {
    std::lock_guard<std::mutex> lock(mutex_);
    return GetParam(values_, index, declared_, width_, height_);
}

void Filter::Update(double time, const uint32_t* in, uint32_t* out) {
    std::unique_ptr<Renderer> renderer;
    vparams::EffectValues values;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        values = values_;
        if (!idle_.empty()) {
            renderer = std::move(idle_.back());
            idle_.pop_back();
        }
    }
    std::string failure;
    try {
        if (!renderer) renderer = MakeRenderer();
        vhost::Host& host = renderer->host;
        vparams::ApplyEffectValues(host, values, width_, height_);
        host.InData().current_time = HostTime(time, kTimeScale);
        // The effect only reads the input; frei0r's RGBA keeps alpha in byte 3
        // as Premiere's BGRA does, and the effect copies colour bytes unchanged.
        void* const src = const_cast<uint32_t*>(in);
        const size_t rowbytes = static_cast<size_t>(width_) * 4;
        if (!renderer->input) {
            renderer->input = vhost::World::Over(vhost::PixelLayout::BGRA8, width_, height_, src, rowbytes);
            renderer->output = vhost::World::Over(vhost::PixelLayout::BGRA8, width_, height_, out, rowbytes);
        } else {
            renderer->input->Repoint(src);
            renderer->output->Repoint(out);
        }
        const PF_Err err = vhost::RenderFrame(host, *renderer->input, *renderer->output);
        if (err != PF_Err_NONE) failure = "error " + vhost::DescribeError(err);
    } catch (const std::exception& e) {
        failure = e.what();
    } catch (...) {
        failure = "unknown error";
    }
    if (!failure.empty() && in != out) {
        std::memmove(out, in, static_cast<size_t>(width_) * static_cast<size_t>(height_) * 4);
    }
    std::lock_guard<std::mutex> lock(mutex_);
    if (renderer) idle_.push_back(std::move(renderer));
    if (!failure.empty() && !reported_) {
        reported_ = true;
        std::fprintf(stderr, "vellora: frame at %.3f s passed through unchanged: %s\n", time, failure.c_str());
    }
}

}  // namespace vfrei0r
