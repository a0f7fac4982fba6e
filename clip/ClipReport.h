// What a clip says about its frames: the one wording for "frame 7 is" and
// "frames 1-3, 9 are", and the reports at the ends of a clip.
#pragma once

#include <string>

#include "clip/FramePattern.h"

namespace vclip {

struct ClipPlan;
struct ClipOutcome;

// "frame 7 is", "frames 1-3, 9 are".
std::string FramesAre(const FrameList& frames);

// "frames 1-3 are complete, frame 4 is not", or "no frame is complete".
std::string CompletionState(const FrameList& complete, const FrameList& missing);

// --skip-existing found every frame written: says so (unless quiet).
void ReportNothingToRender(const FrameList& requested, bool quiet);

// After the lanes: 0 when every frame is written and no signal came. A frame
// that failed is thrown again, after saying which frames are complete; an
// interruption is reported and its exit code (130 or 143) returned.
int ReportOutcome(const ClipPlan& plan, const ClipOutcome& outcome, int signal);

}  // namespace vclip
