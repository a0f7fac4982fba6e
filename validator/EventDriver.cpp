#include "validator/EventDriver.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "api/FixedPoint.h"
#include "host/ApiNames.h"
#include "validator/LedgerChecks.h"

namespace vvalidator {

namespace {

bool IsOverlayWindow(PF_WindowType type) { return type == PF_Window_COMP || type == PF_Window_LAYER; }

// Empty when the value is one the parameter may hold, else why not.
std::string OutOfRange(const PF_ParamDef& decl, const PF_ParamDef& p) {
    switch (p.param_type) {
        case PF_Param_POPUP:
            return p.u.pd.value >= 1 && p.u.pd.value <= decl.u.pd.num_choices ? "" : "is not one of the choices";
        case PF_Param_CHECKBOX:
            return p.u.bd.value == 0 || p.u.bd.value == 1 ? "" : "is neither on nor off";
        case PF_Param_FLOAT_SLIDER:
            if (std::isnan(p.u.fs_d.value)) return "is not a number";
            return p.u.fs_d.value >= decl.u.fs_d.valid_min && p.u.fs_d.value <= decl.u.fs_d.valid_max
                       ? ""
                       : "is outside " + Num(decl.u.fs_d.valid_min) + ".." + Num(decl.u.fs_d.valid_max);
        case PF_Param_FIX_SLIDER:
            return p.u.fd.value >= decl.u.fd.valid_min && p.u.fd.value <= decl.u.fd.valid_max
                       ? ""
                       : "is outside " + Num(vfixed::ToDouble(decl.u.fd.valid_min)) + ".." +
                             Num(vfixed::ToDouble(decl.u.fd.valid_max));
        case PF_Param_ANGLE:
            // A turned handle gives a bearing in [0, 360).
            return p.u.ad.value >= 0 && p.u.ad.value < 360 * vfixed::kOne ? "" : "is outside [0, 360)";
        default:
            return "";
    }
}

std::string Point(PF_Point p) { return "(" + std::to_string(p.h) + "," + std::to_string(p.v) + ")"; }

A_long ToPixel(float v) {
    if (!std::isfinite(v)) return 0;
    return static_cast<A_long>(std::clamp(std::lround(v), -1000000L, 1000000L));
}

}  // namespace

EventDriver::EventDriver(vhost::Host& host, voverlay::OverlayWindow& window, Findings& findings, ValidationCounters& counters)
    : host_(host), window_(window), findings_(findings), counters_(counters) {}

PF_Err EventDriver::Send(PF_EventExtra& event, const std::string& what) {
    before_ = host_.Params();
    const size_t misuses = window_.Misuses().size();
    ++counters_.events;
    std::vector<int> changed;
    const PF_Err err =
        SendChecked(host_, what, findings_, counters_, [&]() { return window_.SendEvent(event, &changed); });
    if (err != PF_Err_NONE && !Contains(allowed_, err)) {
        findings_.Add(what + ": returned " + vhost::DescribeError(err) + ", allowed 0" +
                      (allowed_.empty() ? "" : ", " + CodeList(allowed_)));
    }
    CheckLedgers(host_, what, findings_, refused_releases_);
    for (size_t i = misuses; i < window_.Misuses().size(); ++i) {
        findings_.Add(what + ": misused the drawing suites: " + window_.Misuses()[i]);
    }
    CheckParams(what, changed);
    return err;
}

// The host took the values flagged changed into its list; each must be one the
// parameter may hold, as a saved project keeps it.
void EventDriver::CheckParams(const std::string& what, const std::vector<int>& changed) {
    const std::vector<PF_ParamDef>& params = host_.Params();
    for (int index : changed) {
        const size_t i = static_cast<size_t>(index);
        if (i == 0 || i >= params.size() || i >= before_.size()) {
            findings_.Add(what + ": flagged parameter " + std::to_string(index) + ", which the effect did not declare");
            continue;
        }
        const std::string why = OutOfRange(before_[i], params[i]);
        if (!why.empty()) {
            findings_.Add(what + ": parameter " + std::to_string(i) + " (" + std::string(before_[i].name) +
                          ") was set to " + DescribeParam(params[i]) + ", which " + why);
        }
    }
}

PF_Err EventDriver::Draw() {
    PF_EventExtra event = window_.NewEvent(PF_Event_DRAW);
    const size_t first = window_.Strokes().size();
    const std::string what = std::string("draw event in the ") + voverlay::WindowTypeName(window_.View().type) +
                             " window at zoom " + Num(window_.View().zoom);
    const PF_Err err = Send(event, what);
    const bool handled = (event.evt_out_flags & PF_EO_HANDLED_EVENT) != 0;
    const std::vector<voverlay::StrokeRecord>& strokes = window_.Strokes();
    if (!IsOverlayWindow(window_.View().type)) {
        if (event.evt_out_flags != PF_EO_NONE) findings_.Add(what + ": set evt_out_flags in a window without an overlay");
        if (strokes.size() != first) findings_.Add(what + ": drew in a window without an overlay");
    } else if (err == PF_Err_NONE && !handled) {
        findings_.Add(what + ": did not mark the draw event handled");
    }
    targets_.clear();
    bool reported = false;
    for (size_t s = first; s < strokes.size(); ++s) {
        const std::vector<voverlay::PathElement>& path = strokes[s].path;
        double sx = 0, sy = 0;
        int n = 0;
        for (const voverlay::PathElement& e : path) {
            if (e.kind == voverlay::PathElement::Kind::Close) continue;
            const bool finite = std::isfinite(e.x) && std::isfinite(e.y) &&
                                (e.kind != voverlay::PathElement::Kind::Arc ||
                                 (std::isfinite(e.radius) && std::isfinite(e.start) && std::isfinite(e.sweep)));
            if (!finite && !reported) {
                findings_.Add(what + ": stroke " + std::to_string(s - first + 1) + " has a coordinate that is not a number");
                reported = true;
            }
            if (e.kind == voverlay::PathElement::Kind::Arc) targets_.push_back(PF_Point{ToPixel(e.x), ToPixel(e.y)});
            sx += e.x;
            sy += e.y;
            ++n;
        }
        // Corner squares and the opacity marker: their centres are handles.
        if (n > 0 && n <= 5) {
            targets_.push_back(PF_Point{ToPixel(static_cast<float>(sx / n)), ToPixel(static_cast<float>(sy / n))});
        }
    }
    return err;
}

bool EventDriver::Click(PF_Point at, bool during_gesture) {
    PF_EventExtra event = window_.NewEvent(PF_Event_DO_CLICK);
    const bool continuing = during_gesture && gesture_open_;
    if (continuing) {
        event.u.do_click = click_;
    } else {
        // A host's record of a new click: whatever the slots held, the effect must not rely on them.
        std::memset(&event.u.do_click, 0, sizeof(event.u.do_click));
        for (int i = 0; i < 4; ++i) event.u.do_click.continue_refcon[i] = static_cast<A_intptr_t>(0x5A5A0000 + i);
        event.u.do_click.num_clicks = 1;
    }
    event.u.do_click.screen_point = at;
    event.u.do_click.last_time = 0;
    const PF_DoClickEventInfo sent = event.u.do_click;
    const std::string what = std::string(continuing ? "click during a gesture" : "click") + " at " + Point(at) +
                             " in the " + voverlay::WindowTypeName(window_.View().type) + " window at zoom " +
                             Num(window_.View().zoom);
    const PF_Err err = Send(event, what);
    const bool handled = (event.evt_out_flags & PF_EO_HANDLED_EVENT) != 0;
    const PF_DoClickEventInfo& got = event.u.do_click;
    if (!IsOverlayWindow(window_.View().type) && handled) {
        findings_.Add(what + ": took a click in a window without an overlay");
    }
    if (continuing) {
        if (err == PF_Err_NONE && IsOverlayWindow(window_.View().type) && event.e_type != PF_Event_DRAG) {
            findings_.Add(what + ": a click arriving while a gesture is open was not handled as a drag");
        }
    } else if (!handled) {
        if (got.send_drag != sent.send_drag ||
            std::memcmp(got.continue_refcon, sent.continue_refcon, sizeof(sent.continue_refcon)) != 0) {
            findings_.Add(what + ": a click the effect did not take changed the click record");
        }
    } else if (!got.send_drag) {
        findings_.Add(what + ": took the click but asked for no drag events");
    }
    click_ = got;
    gesture_open_ = (handled || continuing) && got.send_drag;
    if (handled && !continuing) ++grabs_;
    return handled;
}

void EventDriver::Drag(PF_Point at, bool last) {
    if (!gesture_open_) return;
    PF_EventExtra event = window_.NewEvent(PF_Event_DRAG);
    event.u.do_click = click_;
    event.u.do_click.screen_point = at;
    event.u.do_click.last_time = last ? 1 : 0;
    const std::string what = std::string(last ? "last drag" : "drag") + " to " + Point(at) + " in the " +
                             voverlay::WindowTypeName(window_.View().type) + " window at zoom " + Num(window_.View().zoom);
    const PF_Err err = Send(event, what);
    ++drags_;
    click_ = event.u.do_click;
    if (last) {
        if (err == PF_Err_NONE && IsOverlayWindow(window_.View().type) && click_.send_drag) {
            findings_.Add(what + ": the gesture's last event left send_drag set");
        }
        gesture_open_ = false;
    } else {
        gesture_open_ = click_.send_drag != 0;
    }
}


}  // namespace vvalidator
