// Host switching: the four hosts and depths the window renders as, the
// session opened for each (its title and About text), the switch that keeps
// the parameter values, and the Host menu.
#pragma once

#include "view/ViewState.h"

namespace vview {

struct Mode {
    vhost::HostApp app;
    vhost::PixelLayout layout;
    const char* name;
};

// "After Effects 8-bit"..., or "?".
const char* ModeName(vhost::HostApp app, vhost::PixelLayout layout);

class HostSwitch {
public:
    HostSwitch(ViewState& state, SessionFactory open_session)
        : state_(state), open_session_(std::move(open_session)) {}

    // Takes the state's session as it is: its pixel aspect, effect name, About text and the window title.
    void StartSession();
    // Opens a session for `mode` holding the current values; says why not when it cannot.
    void Switch(const Mode& mode);
    // To the host and depth after the current one, in menu order, round to the first.
    void SwitchToNext();
    void DrawMenu();

private:
    const Mode& NextMode() const;
    void ReadAbout();

    ViewState& state_;
    SessionFactory open_session_;
};

}  // namespace vview
