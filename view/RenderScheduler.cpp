#include "view/RenderScheduler.h"

#include "host/ApiNames.h"

namespace vview {

namespace {

// A render during a gesture aims at this, leaving the rest of a 16 ms frame to
// the overlay, the upload and presenting.
const double kGestureRenderBudgetMs = 6.0;
const int kMaxGestureReduction = 8;

}  // namespace

int RenderScheduler::GestureReduction() const {
    int k = 2;
    while (k < kMaxGestureReduction && full_ms_ / (k * k) > kGestureRenderBudgetMs) ++k;
    return k;
}

void RenderScheduler::RenderIfNeeded(ViewState& state, bool controls_editing, ViewApp::Timing& timing) {
    if (state.need == ViewState::Need::None && shown_reduced_ && state.drag == ViewState::Drag::None &&
        !controls_editing) {
        state.need = ViewState::Need::Full;
    }
    if (state.need != ViewState::Need::None) {
        Render(state, state.need == ViewState::Need::Reduced, timing);
        state.need = ViewState::Need::None;
    }
}

void RenderScheduler::Render(ViewState& state, bool reduced, ViewApp::Timing& timing) {
    const int downsample = state.options.downsample * (reduced ? GestureReduction() : 1);
    const PF_Err err = state.frames.Render(state.Host(), state.layout, downsample, state.options.pixel_aspect);
    if (err != PF_Err_NONE) {
        state.Say("the effect failed to render the frame: error " + vhost::DescribeError(err), true);
    } else if (state.message_is_error && state.message.rfind("the effect failed to render", 0) == 0) {
        state.Say("");
    }
    state.CheckLedgers();
    timing.render_ms = state.frames.RenderMs();
    timing.downsample = downsample;
    shown_reduced_ = reduced;
    if (!reduced) {
        full_ms_ = state.frames.RenderMs();
        // The next gesture's input is ready before the gesture starts.
        state.frames.Prepare(state.layout, state.options.downsample * GestureReduction());
    }
    const vhost::World& out = state.frames.Output();
    state.picture.Upload(state.frames.Display().data(), out.Width(), out.Height());
}

void RenderScheduler::RenderForSave(ViewState& state) {
    if (state.frames.HasFrame() && state.frames.Downsample() == 1 && state.need == ViewState::Need::None) return;
    ViewApp::Timing unused;
    const int view_downsample = state.options.downsample;
    state.options.downsample = 1;
    Render(state, false, unused);
    state.options.downsample = view_downsample;
}

void RenderScheduler::Finished(const ViewApp::Timing& timing) {
    if (timing.render_ms > 0 && shown_reduced_) {
        gesture_update_ms_ = timing.update_ms;
        gesture_downsample_ = timing.downsample;
    } else if (timing.render_ms > 0 && after_release_) {
        release_ms_ = timing.update_ms;
        after_release_ = false;
    }
    last_ = timing;
}

}  // namespace vview
