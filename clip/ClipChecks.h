// The checks a clip makes of its files before the first frame is written,
// and again of each input as its frame is rendered.
#pragma once

#include <memory>

#include "clip/ClipPlan.h"
#include "clip/ClipProgress.h"
#include "clip/EffectSetup.h"
#include "imaging/ImageIO.h"

namespace vclip {

// Reads the first frame's shape into the plan; then every other input frame
// must have it (a still has nothing more to check). Shows progress on `meter`.
void CheckInputShapes(ClipPlan& plan, int downsample, ClipProgress& meter, const Poll& poll);

// The input file of a frame, checked against the clip's shape again: a file
// replaced since the check would otherwise be rendered wrong.
std::unique_ptr<InputImage> OpenFrame(const ClipPlan& plan, long frame);

// How every frame of the clip is written.
vimaging::WriteOptions ClipWriteOptions(const ResolvedEffect& effect);

// The output folder, format and depth once (every frame goes to the same
// folder and format), each name already taken on its own (a free name has
// nothing to refuse). Conversion warnings join `effect`'s.
void CheckOutputs(const ClipPlan& plan, ResolvedEffect& effect, const Poll& poll);

}  // namespace vclip
