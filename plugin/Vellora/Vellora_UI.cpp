// The overlay's event routing, and the click that grabs a handle: the click
// record then carries the gesture to the drag (Vellora_UI_Drag.cpp).
#include "plugin/Vellora/Vellora_UI.h"

#include <cstdint>
#include <cstdlib>

#include "plugin/Util/AEGP_SuiteHandler.h"

namespace {

// Manhattan reach of a click, in whole window pixels.
const int64_t kHitTolerance = 15;

// Tests the handles in ascending order, so the lowest of several within reach
// wins; a hit records the handle and asks for drag events.
bool DoClickHandles(PF_InData* in_data, PF_ParamDef** params, PF_EventExtra* extra) {
    AEGP_SuiteHandler suites(in_data->pica_basicP);
    const OverlayLayout layout = ComputeOverlayLayout(in_data, params, extra);
    const int64_t mx = extra->u.do_click.screen_point.h;
    const int64_t my = extra->u.do_click.screen_point.v;
    for (int handle = HANDLE_TOP_LEFT; handle <= HANDLE_COUNT; ++handle) {
        const int64_t hx = vfixed::Floor(layout.handles[handle].x);
        const int64_t hy = vfixed::Floor(layout.handles[handle].y);
        int64_t distance;
        if (in_data->appl_id == PF_APPL_ID_PREMIERE) {
            distance = std::llabs(hx - mx) + std::llabs(hy - my);
        } else {
            PF_ANSICallbacksSuite1* ansi = suites.ANSICallbacksSuite1();
            distance = static_cast<int64_t>(ansi->fabs(static_cast<double>(hx - mx))) +
                       static_cast<int64_t>(ansi->fabs(static_cast<double>(hy - my)));
        }
        if (distance <= kHitTolerance) {
            PF_DoClickEventInfo& click = extra->u.do_click;
            click.send_drag = true;
            click.continue_refcon[0] = handle;
            click.continue_refcon[1] = 0;
            click.continue_refcon[2] = 0;
            click.continue_refcon[3] = 0;
            return true;
        }
    }
    return false;
}

}  // namespace

PF_Err DoClick(PF_InData* in_data, PF_OutData*, PF_ParamDef** params, PF_LayerDef*, PF_EventExtra* extra) {
    if (!IsOverlayWindow(EventWindowType(extra))) return PF_Err_NONE;
    if (DoClickHandles(in_data, params, extra)) extra->evt_out_flags = PF_EO_HANDLED_EVENT;
    return PF_Err_NONE;
}

PF_Err HandleEvent(PF_InData* in_data, PF_OutData* out_data, PF_ParamDef* params[], PF_LayerDef* output,
                   PF_EventExtra* extra) {
    // A host that sends no event record or parameters gets no overlay rather than a crash.
    // The handlers' results are always none, and are not passed on.
    if (!in_data || !out_data || !extra || !ParamsPresent(params)) return PF_Err_NONE;
    switch (extra->e_type) {
        case PF_Event_DRAW:
            (void)DrawEvent(in_data, out_data, params, output, extra);
            break;
        case PF_Event_DO_CLICK:
            if (!extra->u.do_click.send_drag) {
                (void)DoClick(in_data, out_data, params, output, extra);
            } else {
                // A click inside a gesture in progress continues it.
                extra->e_type = PF_Event_DRAG;
                (void)DoDrag(in_data, out_data, params, output, extra);
            }
            break;
        case PF_Event_DRAG:
            (void)DoDrag(in_data, out_data, params, output, extra);
            break;
        default:
            break;
    }
    return PF_Err_NONE;
}
