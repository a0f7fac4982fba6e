// The steps of a clip below the command line: which mistakes are the user's,
// the wording of frames in reports, the lanes a machine is given, and the
// second look at a frame's input as it is rendered.
#include <sched.h>

#include <csignal>

#include <functional>
#include <string>

#include <gtest/gtest.h>

#include "tests/TestSupport.h"

#include "clip/ClipChecks.h"
#include "clip/ClipLanes.h"
#include "clip/ClipPlan.h"
#include "clip/ClipReport.h"
#include "parse/Parse.h"
#include "host/HostError.h"
#include "support/InputError.h"

namespace {

using vclip::FrameList;

// A mistake in what the user typed is theirs to fix, not the host's: each
// throws InputError naming the option or value.
TEST(ClipSteps, MistakesInPatternsListsAndValuesAreInputErrors) {
    vtest::ExpectInputErrors({
        {"two patterns", [] { vclip::FramePattern::Parse("a.%04d.####.png", "OUTPUT"); }, "OUTPUT 'a.%04d.####.png'"},
        {"pattern in a folder", [] { vclip::FramePattern::Parse("s%02d/a.png", "INPUT"); }, "in the file name"},
        {"backwards range", [] { vclip::ParseFrames("9-3", "--frames"); }, "runs backwards; write 3-9"},
        {"frame twice", [] { vclip::ParseFrames("1-5,4", "--frames"); }, "frame 4 is in two ranges"},
        {"not a number", [] { vparse::ParseInteger("2x", "--jobs", 1, 256); }, "--jobs '2x'"},
        {"rate out of range", [] { vparse::ParseFrameRate("5000", "--fps"); }, "above 1000 frames a second"},
        {"size", [] { int w = 0, h = 0; vparse::ParseSize("9x9", "--size", 320, 16384, w, h); }, "WIDTHxHEIGHT"},
        {"still to a still", [] { vclip::PlanPatterns("a.png", "b.png", true); }, "give OUTPUT a frame pattern"},
        {"sequence to a still", [] { vclip::PlanPatterns("a.%03d.png", "b.png", false); }, "OUTPUT 'b.png'"},
        {"still without --frames", [] { vclip::PlanPatterns("a.png", "b.####.png", false); }, "or --frames"},
    });
}

TEST(ClipSteps, FramesAreCountedInOneWordingAndTheEndReportSaysWhatIsComplete) {
    EXPECT_EQ(vclip::FramesAre(FrameList::Of({7})), "frame 7 is");
    EXPECT_EQ(vclip::FramesAre(FrameList::Of({1, 2, 3, 9})), "frames 1-3, 9 are");
    EXPECT_EQ(vclip::CompletionState(FrameList(), FrameList::Of({1})), "no frame is complete");
    EXPECT_EQ(vclip::CompletionState(FrameList::Of({1, 2}), FrameList()), "frames 1-2 are complete");

    vclip::ClipPlan plan;
    plan.requested = FrameList({{1, 6}});
    plan.existing = {1};
    plan.frames = FrameList({{2, 6}});
    vclip::ClipOutcome outcome;
    outcome.done = {3, 2};  // in the order the lanes finished
    EXPECT_EQ(vclip::ReportOutcome(plan, outcome, SIGTERM), 143);
    EXPECT_EQ(vclip::ReportOutcome(plan, outcome, SIGINT), 130);
    outcome.done = {2, 3, 4, 5, 6};
    EXPECT_EQ(vclip::ReportOutcome(plan, outcome, 0), 0);

    // A failed frame is thrown again as the kind it was, saying what is complete.
    outcome.done = {3, 2};
    outcome.failure = vclip::FrameFailure{4, "disk full", false};
    try {
        vclip::ReportOutcome(plan, outcome, 0);
        ADD_FAILURE() << "a failed frame was reported as success";
    } catch (const vhost::HostError& e) {
        EXPECT_STREQ(e.what(), "frame 4: disk full; frames 1-3 are complete, frames 4-6 are not");
    }
    outcome.failure->input_error = true;
    EXPECT_THROW(vclip::ReportOutcome(plan, outcome, 0), vsupport::InputError);
}

int Cores() {
    cpu_set_t set;
    CPU_ZERO(&set);
    return sched_getaffinity(0, sizeof(set), &set) == 0 ? CPU_COUNT(&set) : 1;
}

TEST(ClipSteps, LanesFitTheCoresTheMemoryAndTheFrames) {
    const int cores = Cores();
    const vclip::LaneSizes given = vclip::SizeLanes(3, 5, 1e6, 100);
    EXPECT_EQ(given.jobs, 3);
    EXPECT_EQ(given.threads, 5);
    EXPECT_EQ(vclip::SizeLanes(8, 1, 1e6, 2).jobs, 2) << "never more lanes than frames";

    const vclip::LaneSizes chosen = vclip::SizeLanes(0, 0, 1e6, 100);
    EXPECT_GE(chosen.jobs, 1);
    EXPECT_GE(chosen.threads, 1);
    EXPECT_LE(chosen.jobs * chosen.threads, cores) << "lanes times threads about the cores";
    EXPECT_EQ(vclip::SizeLanes(0, cores, 1e6, 100).jobs, 1) << "threads given take the cores";
    // A frame larger than all the memory there is: one lane.
    EXPECT_EQ(vclip::SizeLanes(0, 1, 1e18, 100).jobs, 1);
}

// A frame's input is looked at again as it is rendered: a file replaced since
// the checks would be rendered at the wrong size or depth.
TEST(ClipSteps, AnInputChangedSinceTheChecksIsRefusedAsItIsRendered) {
    vclip::ClipPlan plan;
    plan.still = "testcard:64x48";
    plan.frames = FrameList({{1, 1}});
    plan.shape = {64, 48, vimaging::SampleType::U8};
    EXPECT_NE(vclip::OpenFrame(plan, 1), nullptr);
    for (const vclip::FrameShape& checked : {vclip::FrameShape{64, 40, vimaging::SampleType::U8},
                                             vclip::FrameShape{64, 48, vimaging::SampleType::U16}}) {
        plan.shape = checked;
        try {
            vclip::OpenFrame(plan, 1);
            ADD_FAILURE() << "a changed input was rendered as checked";
        } catch (const vsupport::InputError& e) {
            EXPECT_STREQ(e.what(), "'testcard:64x48' has changed since the clip was checked (64x48 8-bit)");
        }
    }
}

}  // namespace
