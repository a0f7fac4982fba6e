// Render scheduling: what a redraw renders and at which resolution. A
// gesture's redraws render at a reduced resolution chosen to fit its budget,
// the view's own resolution comes back when the gesture ends, and the timings
// the status line shows are kept here.
#pragma once

#include "view/ViewState.h"

namespace vview {

class RenderScheduler {
public:
    // Renders what `state.need` asks for, if anything, into `timing`. A
    // reduced frame stays only while the user is still moving something.
    void RenderIfNeeded(ViewState& state, bool controls_editing, ViewApp::Timing& timing);
    // Renders at full resolution and the view's own downsample (reduced: at the gesture's).
    void Render(ViewState& state, bool reduced, ViewApp::Timing& timing);
    // A frame at full resolution, unless the one shown is already that and current.
    void RenderForSave(ViewState& state);
    // Takes the finished redraw's timing for the status line.
    void Finished(const ViewApp::Timing& timing);

    // A gesture ended: the next full render's redraw is timed as its release.
    void Released() { after_release_ = true; }
    bool ShowsReduced() const { return shown_reduced_; }

    double FullMs() const { return full_ms_; }
    double GestureUpdateMs() const { return gesture_update_ms_; }
    int GestureDownsample() const { return gesture_downsample_; }
    double ReleaseMs() const { return release_ms_; }
    const ViewApp::Timing& Last() const { return last_; }

private:
    int GestureReduction() const;

    bool shown_reduced_ = false;
    double full_ms_ = 0;  // the last render at the view's own resolution
    ViewApp::Timing last_;
    double gesture_update_ms_ = -1;
    int gesture_downsample_ = 0;
    double release_ms_ = -1;
    bool after_release_ = false;
};

}  // namespace vview
