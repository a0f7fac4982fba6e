// `vellora render INPUT OUTPUT`: applies the effect to an image file through the
// plug-in's entry point, exactly as a host renders one frame.
#include <unistd.h>

#include <cstdio>
#include <memory>
#include <string>

#include "cli/ClipRender.h"
#include "cli/Commands.h"
#include "cli/EffectOptions.h"
#include "host/HostError.h"
#include "host/SetUp.h"
#include "imaging/ImageIO.h"
#include "host/Render.h"

namespace vcli {

namespace {

struct RenderOptions {
    std::string input;
    std::string output;
    EffectOptions effect;
    ClipOptions clip;
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
    ResolvedEffect effect = ResolveEffectOptions(options.effect);
    InputImage input(options.input);
    FollowInputDepth(effect, input.Type(), options.input);

    vimaging::WriteOptions write;
    write.source = input.Source();
    write.type = effect.file_type;
    write.keep_source_storage = !effect.depth_given;
    write.downsample = effect.downsample;
    // Refuse an output that cannot hold the result before any work is done;
    // what it cannot keep is said once the input has been read.
    write.warn = [&effect](const std::string& warning) { effect.warnings.push_back(warning); };
    const int n = effect.downsample;
    vimaging::CheckWritable(options.output, effect.file_type, write, input.DownsampledWidth(n),
                            input.DownsampledHeight(n));
    write.warn = nullptr;

    CheckCommandLog(options.clip.command_log);
    EffectSession session(effect, input.Width(), input.Height());
    vhost::Host& host = session.Host();
    host.record_commands = !options.clip.command_log.empty();
    // The input world lives only as long as the render: the frame is held at most twice.
    const vhost::World output = [&] {
        vhost::World in = LoadInputWorld(input, effect);
        vhost::World out(effect.layout, in.Width(), in.Height());
        ProgressLine progress(!options.quiet && isatty(STDERR_FILENO));
        host.on_progress = [&progress](A_long current, A_long total) { progress.Update(current, total); };
        vhost::FrameSettings settings;
        settings.downsample = effect.downsample;
        settings.pixel_aspect = effect.pixel_aspect;
        const PF_Err err = vhost::RenderFrame(host, in, out, settings);
        host.on_progress = nullptr;
        progress.Done();
        if (err != PF_Err_NONE) {
            throw vhost::HostError("the effect failed to render '" + options.input + "': error " +
                                   DescribeError(err));
        }
        return out;
    }();
    vhost::RequireBalancedLedgers(host);
    vimaging::WriteWorld(options.output, output, write);
    if (host.record_commands) WriteCommandLog(options.clip.command_log, {{std::nullopt, host.Commands().back()}});
}

}  // namespace

void AddRenderCommand(CLI::App& app) {
    auto options = std::make_shared<RenderOptions>();
    CLI::App* cmd = app.add_subcommand(
        "render",
        "Apply the effect to an image or a clip, as a host renders frames\n\n"
        "Apply the effect to an image file through the plug-in, as a host renders a frame.\n"
        "INPUT is any image OpenImageIO reads, or testcard: (also testcard:WIDTHxHEIGHT) for the built-in\n"
        "test card. Without --depth the frame has the input's depth where the host has it, and so has\n"
        "OUTPUT. OUTPUT's extension picks its format, which must keep the result exactly: 8-bit in PNG,\n"
        "TIFF or Targa, 16-bit in PNG or TIFF, float in TIFF or OpenEXR (premultiplied). Channels, windows,\n"
        "alpha association and metadata of the input are kept where the format holds them. OUTPUT is\n"
        "replaced only once the new file is complete and reads back; a symbolic link is written through,\n"
        "the file's mode is kept, a hard-linked file is rewritten in place, FIFOs and devices are refused.\n"
        "Clips: INPUT and OUTPUT may be frame patterns (shot.%04d.exr or shot.####.exr); each frame is one\n"
        "render command with its time (--fps) and its values (--keys), several frames in flight (--jobs).");
    AddInputArgument(cmd, options->input);
    cmd->add_option("OUTPUT", options->output, "Output image file")->required()->check(NonEmpty());
    AddEffectOptions(cmd, options->effect);
    AddClipOptions(cmd, options->clip);
    cmd->add_flag("-q,--quiet", options->quiet, "Show no progress");
    cmd->callback([options]() {
        if (IsClip(options->input, options->output, options->clip)) {
            RenderClip(options->input, options->output, options->effect, options->clip, options->quiet);
            return;
        }
        RefuseClipOptions(options->clip);
        RunRender(*options);
    });
}

}  // namespace vcli
