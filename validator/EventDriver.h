// Overlay events driven through one window as a host sends them, each one
// checked as it comes back.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "host/Host.h"
#include "overlay/Overlay.h"
#include "validator/Findings.h"

namespace vvalidator {

// Drives overlay events through one window the way a host does and checks
// each one: allowed result, balanced ledgers, no misuse of the drawing suites,
// stroke coordinates that are numbers, the handled flag only where the effect
// may take the event, a missed click leaving the click record alone, and every
// value the effect flagged changed (which the host takes into its list) a
// number inside the parameter's declared range.
class EventDriver {
public:
    EventDriver(vhost::Host& host, voverlay::OverlayWindow& window, Findings& findings, ValidationCounters& counters);

    // Codes (besides PF_Err_NONE) the next events may return, e.g. 516 under a withheld suite.
    void SetAllowed(std::vector<PF_Err> allowed) { allowed_ = std::move(allowed); }
    // The host refuses some releases, so objects may remain held (never released twice).
    void SetRefusedReleases(bool refused) { refused_releases_ = refused; }

    PF_Err Draw();
    // Points worth clicking, from the strokes of the last draw (handle centres, corners...).
    const std::vector<PF_Point>& Targets() const { return targets_; }
    // A click at `at`; `during_gesture` sends it with send_drag still set from the open
    // gesture, as a host does when a click arrives before the gesture ended.
    // Returns whether the effect took it (a gesture is open).
    bool Click(PF_Point at, bool during_gesture = false);
    // A drag event of the open gesture; `last` carries last_time and ends it.
    void Drag(PF_Point at, bool last);
    bool GestureOpen() const { return gesture_open_; }
    // Forgets the open gesture without a last event (a gesture cut short).
    void Abandon() { gesture_open_ = false; }
    // Clicks the effect took and drag events sent to it.
    int Grabs() const { return grabs_; }
    int Drags() const { return drags_; }

private:
    PF_Err Send(PF_EventExtra& event, const std::string& what);
    void CheckParams(const std::string& what, const std::vector<int>& changed);

    vhost::Host& host_;
    voverlay::OverlayWindow& window_;
    Findings& findings_;
    ValidationCounters& counters_;
    std::vector<PF_Err> allowed_;
    bool refused_releases_ = false;
    std::vector<PF_ParamDef> before_;
    std::vector<PF_Point> targets_;
    PF_DoClickEventInfo click_{};
    bool gesture_open_ = false;
    int grabs_ = 0, drags_ = 0;
};

}  // namespace vvalidator
