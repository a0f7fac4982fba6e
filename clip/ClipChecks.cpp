#include "clip/ClipChecks.h"

#include "files/AtomicFile.h"
#include "imaging/Formats.h"
#include "support/InputError.h"

namespace vclip {

namespace {

using vsupport::InputError;

// The frame at `path` against the first frame's shape, naming both.
void RequireShape(const ClipPlan& plan, long frame, const std::string& path, const FrameShape& shape) {
    const std::string which = "INPUT frame " + std::to_string(frame) + " '" + path + "'";
    const std::string first = std::to_string(plan.frames.Front());
    if (!shape.SameSize(plan.shape)) {
        throw InputError(which + " is " + shape.Size() + " but frame " + first + " is " + plan.shape.Size() +
                         "; every frame of a clip has one size");
    }
    if (shape.type != plan.shape.type) {
        throw InputError(which + " holds " + vimaging::SampleTypeName(shape.type) + " samples but frame " + first +
                         " " + vimaging::SampleTypeName(plan.shape.type) + "; every frame of a clip has one depth");
    }
}

}  // namespace

FrameShape FrameShape::Of(const InputImage& image) { return {image.Width(), image.Height(), image.Type()}; }

std::string FrameShape::Size() const { return std::to_string(width) + "x" + std::to_string(height); }

void CheckInputShapes(ClipPlan& plan, int downsample, ClipProgress& meter, const Poll& poll) {
    {
        const InputImage first(plan.InputPath(plan.frames.Front()));
        plan.shape = FrameShape::Of(first);
        plan.out_width = first.DownsampledWidth(downsample);
        plan.out_height = first.DownsampledHeight(downsample);
    }
    if (!plan.input_pattern) return;
    try {
        for (size_t i = 1; i < plan.frames.Size(); ++i) {
            poll();
            meter.Checked(i, plan.frames.Size());
            const long f = plan.frames.At(i);
            const std::string path = plan.InputPath(f);
            RequireShape(plan, f, path, FrameShape::Of(InputImage(path)));
        }
        meter.Finish(false);
    } catch (...) {
        meter.Finish(false);  // the message that follows starts its own line
        throw;
    }
}

std::unique_ptr<InputImage> OpenFrame(const ClipPlan& plan, long frame) {
    const std::string path = plan.InputPath(frame);
    auto file = std::make_unique<InputImage>(path);
    const FrameShape shape = FrameShape::Of(*file);
    if (shape != plan.shape) {
        throw InputError("'" + path + "' has changed since the clip was checked (" + shape.Size() + " " +
                         vimaging::SampleTypeName(shape.type) + ")");
    }
    return file;
}

vimaging::WriteOptions ClipWriteOptions(const ResolvedEffect& effect) {
    vimaging::WriteOptions write;
    write.type = effect.file_type;
    write.keep_source_storage = !effect.depth_given;
    write.downsample = effect.downsample;
    return write;
}

void CheckOutputs(const ClipPlan& plan, ResolvedEffect& effect, const Poll& poll) {
    const InputImage first(plan.InputPath(plan.frames.Front()));
    vimaging::WriteOptions check = ClipWriteOptions(effect);
    check.source = first.Source();
    check.warn = [&effect](const std::string& warning) { effect.warnings.push_back(warning); };
    vimaging::CheckWritable(plan.output.Path(plan.frames.Front()), effect.file_type, check, plan.out_width,
                            plan.out_height);
    for (size_t i = 0; i < plan.taken.size(); ++i) {
        if (i % 1024 == 0) poll();
        const long f = plan.taken[i];
        if (plan.frames.Contains(f)) vfiles::FindOutputTarget(plan.output.Path(f), false, "OUTPUT");
    }
}

}  // namespace vclip
