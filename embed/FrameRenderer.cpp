#include "embed/FrameRenderer.h"

#include <cstring>
#include <exception>
#include <limits>
#include <optional>

#include "embed/EmbeddedEffect.h"
#include "host/ApiNames.h"
#include "host/Host.h"
#include "host/HostError.h"
#include "host/Render.h"
#include "host/World.h"
#include "params/EffectParams.h"

namespace vembed {

struct FrameRenderer::Renderer {
    vhost::Host host{LinkedEffect(), vhost::HostApp::Premiere};
    // Made over the first frame's memory, then pointed at each new frame of the same size.
    std::optional<vhost::World> input, output;
};

std::unique_ptr<FrameRenderer::Renderer> FrameRenderer::MakeRenderer(vparams::Declaration* declared) {
    auto renderer = std::make_unique<Renderer>();
    vparams::Declaration d = vparams::SetUpChecked(renderer->host);
    if (declared) *declared = std::move(d);
    renderer->host.InData().time_scale = kTimeScale;
    return renderer;
}

namespace {

void CheckFrame(const RgbaFrame& f) {
    const auto positive = [](const PF_RationalScale& r) { return r.num > 0 && r.den > 0; };
    // Rows are tight RGBA; the world's rowbytes is a 32-bit count.
    if (!f.in || !f.out || f.width < 1 || f.height < 1 || f.width > std::numeric_limits<A_long>::max() / 4 ||
        f.layer_width < 1 || f.layer_height < 1 || !positive(f.scale_x) || !positive(f.scale_y) ||
        !positive(f.pixel_aspect)) {
        throw vhost::HostError("cannot render a frame of " + std::to_string(f.width) + "x" +
                               std::to_string(f.height) + " for a layer of " + std::to_string(f.layer_width) + "x" +
                               std::to_string(f.layer_height));
    }
}

}  // namespace

FrameRenderer::FrameRenderer() { idle_.push_back(MakeRenderer(&declared_)); }

FrameRenderer::~FrameRenderer() = default;

std::unique_ptr<FrameRenderer::Renderer> FrameRenderer::Take() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (!idle_.empty()) {
            std::unique_ptr<Renderer> renderer = std::move(idle_.back());
            idle_.pop_back();
            return renderer;
        }
    }
    return MakeRenderer(nullptr);
}

void FrameRenderer::Give(std::unique_ptr<Renderer> renderer) {
    std::lock_guard<std::mutex> lock(mutex_);
    idle_.push_back(std::move(renderer));
}

vparams::EffectValues FrameRenderer::Defaults(int layer_width, int layer_height) {
    std::unique_ptr<Renderer> renderer = Take();
    renderer->host.ResetParams(layer_width, layer_height);
    vparams::EffectValues values = vparams::ReadEffectValues(renderer->host);
    Give(std::move(renderer));
    return values;
}

std::string FrameRenderer::Render(const vparams::EffectValues& values, const RgbaFrame& f) {
    std::unique_ptr<Renderer> renderer;
    std::string failure;
    try {
        CheckFrame(f);
        renderer = Take();
        vhost::Host& host = renderer->host;
        vparams::ApplyEffectValues(host, values, f.layer_width, f.layer_height);
        // The effect only reads the input; RGBA keeps alpha in byte 3 as
        // Premiere's BGRA does, and the effect copies colour bytes unchanged.
        void* const src = const_cast<uint8_t*>(f.in);
        const size_t rowbytes = static_cast<size_t>(f.width) * 4;
        if (!renderer->input || renderer->input->Width() != f.width || renderer->input->Height() != f.height) {
            renderer->input = vhost::World::Over(vhost::PixelLayout::BGRA8, f.width, f.height, src, rowbytes);
            renderer->output = vhost::World::Over(vhost::PixelLayout::BGRA8, f.width, f.height, f.out, rowbytes);
        } else {
            renderer->input->Repoint(src);
            renderer->output->Repoint(f.out);
        }
        vhost::FrameSettings settings;
        settings.scale_x = f.scale_x;
        settings.scale_y = f.scale_y;
        settings.pixel_aspect = f.pixel_aspect;
        vhost::PrepareFrame(host, *renderer->input, *renderer->output, settings);
        host.InData().current_time = HostTime(f.time, kTimeScale);
        const PF_Err err = vhost::SendRender(host, *renderer->output, settings);
        if (err != PF_Err_NONE) failure = "error " + vhost::DescribeError(err);
    } catch (const std::exception& e) {
        failure = e.what();
    } catch (...) {
        failure = "unknown error";
    }
    if (!failure.empty() && f.in && f.out && f.in != f.out && f.width > 0 && f.height > 0) {
        std::memmove(f.out, f.in, static_cast<size_t>(f.width) * static_cast<size_t>(f.height) * 4);
    }
    if (renderer) Give(std::move(renderer));
    return failure;
}

}  // namespace vembed
