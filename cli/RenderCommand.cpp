// `vellora render INPUT OUTPUT`: applies the effect to an image file through the
// plug-in's entry point, exactly as a host renders one frame.
#include <unistd.h>

#include <cstdio>
#include <memory>
#include <string>

#include "Commands.h"
#include "EffectOptions.h"
#include "HostError.h"
#include "ImageIO.h"
#include "Render.h"

namespace vcli {

namespace {

struct RenderOptions {
    std::string input;
    std::string output;
    EffectOptions effect;
    bool quiet = false;
};

// Render progress on one terminal line, only when stderr is a terminal.
class ProgressLine {
public:
    explicit ProgressLine(bool enabled) : enabled_(enabled) {}
    ~ProgressLine() { Done(); }
    void Update(long current, long total) {
        if (!enabled_ || total <= 0) return;
        const int percent = static_cast<int>(100 * static_cast<long long>(current) / total);
        if (percent <= last_) return;
        last_ = percent;
        std::fprintf(stderr, "\rvellora: rendering %3d%%", percent);
        std::fflush(stderr);
    }
    void Done() {
        if (enabled_ && last_ >= 0) {
            std::fprintf(stderr, "\r\033[K");
            std::fflush(stderr);
        }
        last_ = -1;
    }

private:
    bool enabled_;
    int last_ = -1;
};

void RunRender(const RenderOptions& options) {
    const ResolvedEffect effect = ResolveEffectOptions(options.effect);
    const vhost::SampleType out_type = effect.layout == vhost::PixelLayout::ARGB16    ? vhost::SampleType::U16
                                       : effect.layout == vhost::PixelLayout::BGRA32F ? vhost::SampleType::F32
                                                                                      : vhost::SampleType::U8;
    // Refuse an output that cannot hold the result before any work is done.
    vhost::CheckWritable(options.output, out_type);

    vhost::Image image = LoadInputImage(options.input);
    EffectSession session(effect, image.width, image.height);
    vhost::Host& host = session.Host();
    if (effect.downsample > 1) {
        image = vhost::DownsampleImage(image, effect.downsample);
    }
    vhost::World input = vhost::ImageToWorld(image, effect.layout);
    image = vhost::Image{};
    vhost::World output(effect.layout, input.Width(), input.Height());

    ProgressLine progress(!options.quiet && isatty(STDERR_FILENO));
    host.on_progress = [&progress](A_long current, A_long total) { progress.Update(current, total); };
    vhost::FrameSettings settings;
    settings.downsample = effect.downsample;
    settings.pixel_aspect = effect.pixel_aspect;
    const PF_Err err = vhost::RenderFrame(host, input, output, settings);
    host.on_progress = nullptr;
    progress.Done();
    if (err != PF_Err_NONE) {
        throw vhost::HostError("the effect failed to render '" + options.input + "': error " + DescribeError(err));
    }
    RequireBalancedLedgers(host, effect.module_path);
    vhost::WriteImage(options.output, vhost::WorldToImage(output));
}

}  // namespace

void AddRenderCommand(CLI::App& app) {
    auto options = std::make_shared<RenderOptions>();
    CLI::App* cmd = app.add_subcommand(
        "render",
        "Apply the effect to an image file through the plug-in, as a host renders a frame.\n"
        "INPUT is any image OpenImageIO reads, or testcard: (also testcard:WIDTHxHEIGHT) for the built-in\n"
        "test card. OUTPUT's extension picks its format (PNG, TIFF, EXR...); alpha is straight, never\n"
        "premultiplied. 8-bit frames need an 8-bit capable format, 16-bit ones PNG or TIFF, float ones\n"
        "EXR or TIFF.");
    cmd->add_option("INPUT", options->input, "Input image file, or testcard:")->required();
    cmd->add_option("OUTPUT", options->output, "Output image file")->required();
    AddEffectOptions(cmd, options->effect);
    cmd->add_flag("-q,--quiet", options->quiet, "Show no progress");
    cmd->callback([options]() { RunRender(*options); });
}

}  // namespace vcli
