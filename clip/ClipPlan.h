// A clip planned before anything is written: its patterns, the frames to
// render and the ones left alone, the keys at those frames, and every check
// of the inputs and outputs that can be made up front.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "clip/EffectSetup.h"
#include "clip/FramePattern.h"
#include "clip/InputImage.h"
#include "parse/Parse.h"
#include "imaging/ImageIO.h"
#include "params/Keyframes.h"

namespace vclip {

// Size and depth of an input: every frame of a clip has the first one's.
struct FrameShape {
    int width = 0, height = 0;
    vimaging::SampleType type = vimaging::SampleType::U8;

    static FrameShape Of(const InputImage& image);
    bool SameSize(const FrameShape& other) const { return width == other.width && height == other.height; }
    bool operator==(const FrameShape& other) const { return SameSize(other) && type == other.type; }
    bool operator!=(const FrameShape& other) const { return !(*this == other); }
    std::string Size() const;  // "1920x1080"
};

// Everything known about the clip before the first frame is rendered.
struct ClipPlan {
    std::optional<FramePattern> input_pattern;
    std::string still;  // the input when it is one image
    FramePattern output;
    FrameList requested;          // --frames, else the input sequence
    FrameList frames;             // to render, in order
    std::vector<long> taken;      // requested frames whose output name is taken
    std::vector<long> existing;   // left alone (--skip-existing)
    FrameShape shape;             // the first frame's
    int out_width = 0, out_height = 0;  // the first frame's once scaled down

    std::string InputPath(long frame) const { return input_pattern ? input_pattern->Path(frame) : still; }
};

// Called between looks at the disk; it may throw to stop the planning.
using Poll = std::function<void()>;

// INPUT and OUTPUT as patterns: OUTPUT must be one, INPUT one too unless
// --frames renders a still under animated values.
ClipPlan PlanPatterns(const std::string& input, const std::string& output, bool frames_given);

// --keys, refused for a parameter an option also gives: one value, one way.
vparams::Keyframes ReadKeys(const std::string& path, const EffectOptions& options,
                            const vparams::Declaration& declared);

// --frames (every one on disk for a sequence), else the whole input sequence,
// which must have no gaps.
FrameList ChooseFrames(const ClipPlan& plan, const std::string& frames_text, const Poll& poll);

// The last frame's time must fit the host's time fields at `rate`.
void CheckTimeRange(const FrameList& frames, const vparse::FrameRate& rate);

// Outputs already taken, never one of the input's files; with --skip-existing
// the existing ones are left alone. Fills taken, existing and frames.
void PlanOutputs(ClipPlan& plan, bool skip_existing, const Poll& poll);

}  // namespace vclip
