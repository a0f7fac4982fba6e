// Dragging a grabbed handle: the parameter it edits follows the mouse, computed
// from the mouse and the mask centre alone (absolute, not incremental), and is
// written straight into the host's parameter array.
#include <algorithm>
#include <cmath>
#include <cstdint>

#include "plugin/Util/AEGP_SuiteHandler.h"
#include "plugin/Vellora/Vellora_UI.h"

namespace {

const PF_Fixed kFullTurn = vfixed::FromInt(360);
const int64_t kOpacityMax = vfixed::FromInt(OpacityTrack::kFull);

void MarkChanged(PF_ParamDef* param) { param->uu.change_flags = PF_ChangeFlag_CHANGED_VALUE; }

// Writes a size slider kept inside its declared range; a value that is not a
// number leaves the slider as it was.
void WriteSize(PF_ParamDef* param, double value) {
    if (std::isnan(value)) return;
    param->u.fs_d.value = std::min(std::max(value, 0.0), static_cast<double>(kMaxSize));
    MarkChanged(param);
}

// The mouse and the centre, 16.16 layer space, with their 64-bit differences
// (the 32-bit ones wherever those do not overflow).
struct DragPoint {
    PF_FixedPoint mouse;
    PF_FixedPoint origin;
    int64_t dx;
    int64_t dy;
};

// The dragged corner goes to the mouse and the opposite one mirrors it: a
// symmetric resize about the centre, measured along the turned axes.
void DragCorner(PF_InData* in_data, PF_ParamDef** params, A_intptr_t handle, const DragPoint& d) {
    const float a = AngleRadians(params);
    const bool left = handle == HANDLE_TOP_LEFT || handle == HANDLE_BOTTOM_LEFT;
    const bool top = handle == HANDLE_TOP_LEFT || handle == HANDLE_TOP_RIGHT;
    const int64_t ux = left ? -d.dx : d.dx;
    const int64_t uy = top ? -d.dy : d.dy;
    const float theta = (handle == HANDLE_TOP_LEFT || handle == HANDLE_BOTTOM_RIGHT) ? -a : a;
    float dx = static_cast<float>(static_cast<double>(2 * ux) * vfixed::kToDouble);
    dx = dx * PixelAspect(in_data);
    const float dy = static_cast<float>(static_cast<double>(2 * uy) * vfixed::kToDouble);
    const double C = std::cos(static_cast<double>(theta)), S = std::sin(static_cast<double>(theta));
    WriteSize(params[PARAM_WIDTH], C * dx - S * dy);
    WriteSize(params[PARAM_HEIGHT], S * dx + C * dy);
}

// The bearing of the mouse from the centre, clockwise from straight up, in [0, 360).
void DragRotation(PF_ParamDef** params, const DragPoint& d) {
    float A;
    if (d.dy == 0) {
        A = d.dx > 0 ? 90.0f : 270.0f;
    } else if (d.dx == 0) {
        A = d.dy > 0 ? 180.0f : 0.0f;
    } else {
        A = static_cast<float>(std::atan(static_cast<double>(static_cast<float>(d.dx) / static_cast<float>(d.dy))) /
                               -kDegreesToRadians);
        if (d.dy > 0) {
            A = A + 180.0f;
        } else if (A < 0.0f) {
            A = A + 360.0f;
        }
    }
    PF_Fixed angle = FixedFromFloat(A);
    // Single precision can round a bearing just under 360 up to a full turn.
    if (angle >= kFullTurn) angle -= kFullTurn;
    if (angle < 0) angle = 0;
    params[PARAM_ANGLE]->u.ad.value = angle;
    MarkChanged(params[PARAM_ANGLE]);
}

// The feather read off the mouse's distance from the centre along one axis,
// against the half-size; only the left handle follows the angle and stops at 0.
void DragFeather(PF_InData* in_data, PF_ParamDef** params, A_intptr_t handle, const DragPoint& d) {
    const double w = params[PARAM_WIDTH]->u.fs_d.value;
    const double h = params[PARAM_HEIGHT]->u.fs_d.value;
    const double K = vfixed::kToDouble;
    const float r = PixelAspect(in_data);
    double feather;
    switch (handle) {
        case HANDLE_FEATHER_LEFT:
            feather = std::fmax(0.0, (w * 0.5 + r * static_cast<float>(d.dx) * K) *
                                         std::cos(static_cast<double>(AngleRadians(params))));
            break;
        case HANDLE_FEATHER_RIGHT:
            feather = w * 0.5 + static_cast<double>(-d.dx) * K * r;
            break;
        case HANDLE_FEATHER_TOP:
            // Divides by the height: with none there is no feather to read off.
            feather = h == 0.0 ? NAN : static_cast<float>(w / h) * (h * 0.5 + static_cast<double>(d.dy) * K);
            break;
        default:
            feather = h == 0.0 ? NAN : static_cast<float>(w / h) * (static_cast<double>(-d.dy) * K + h * 0.5);
            break;
    }
    WriteSize(params[PARAM_FEATHER], static_cast<float>(feather));
}

// The opacity follows the mouse's height in window pixels on the track.
void DragOpacity(PF_InData* in_data, PF_ParamDef** params, PF_EventExtra* extra, const DragPoint& d) {
    PF_FixedPoint o = d.origin;
    PF_FixedPoint mw = d.mouse;
    Source2FramePoint(in_data, extra, &o);
    Source2FramePoint(in_data, extra, &mw);
    const int64_t opacity = OpacityAtLevel(o.y, mw.y);
    params[PARAM_OPACITY]->u.fd.value = static_cast<PF_Fixed>(std::min(std::max<int64_t>(opacity, 0), kOpacityMax));
    MarkChanged(params[PARAM_OPACITY]);
}

bool DoDragHandles(PF_InData* in_data, PF_ParamDef** params, Frame2LayerFunc conversion, PF_EventExtra* extra) {
    AEGP_SuiteHandler suites(in_data->pica_basicP);  // nothing is asked of it: the maths is the library's
    PF_DoClickEventInfo& click = extra->u.do_click;
    PF_Point window_point = click.screen_point, layer_point;
    DragPoint d;
    conversion(in_data, extra, &window_point, &layer_point, &d.mouse);
    d.origin = {params[PARAM_ORIGIN]->u.td.x_value, params[PARAM_ORIGIN]->u.td.y_value};
    d.dx = static_cast<int64_t>(d.mouse.x) - d.origin.x;
    d.dy = static_cast<int64_t>(d.mouse.y) - d.origin.y;

    const A_intptr_t handle = click.continue_refcon[0];
    if (handle >= HANDLE_TOP_LEFT && handle <= HANDLE_BOTTOM_RIGHT) {
        DragCorner(in_data, params, handle, d);
    } else if (handle == HANDLE_ROTATION) {
        DragRotation(params, d);
    } else if (handle >= HANDLE_FEATHER_LEFT && handle <= HANDLE_FEATHER_BOTTOM) {
        DragFeather(in_data, params, handle, d);
    } else if (handle == HANDLE_OPACITY) {
        DragOpacity(in_data, params, extra, d);
    }

    click.send_drag = true;
    click.continue_refcon[1] = d.mouse.x;
    click.continue_refcon[2] = d.mouse.y;
    click.continue_refcon[3] = 1;
    if (click.last_time) {
        click.continue_refcon[0] = HANDLE_NONE;
        click.send_drag = false;
    }
    return true;
}

}  // namespace

PF_Err DoDrag(PF_InData* in_data, PF_OutData*, PF_ParamDef** params, PF_LayerDef*, PF_EventExtra* extra) {
    Frame2LayerFunc conversion;
    switch (EventWindowType(extra)) {
        case PF_Window_LAYER: conversion = &LayerFrame2Layer; break;
        case PF_Window_COMP: conversion = &CompFrame2Layer; break;
        default: return PF_Err_NONE;
    }
    const A_intptr_t handle = extra->u.do_click.continue_refcon[0];
    if (handle < HANDLE_TOP_LEFT || handle > HANDLE_COUNT) return PF_Err_NONE;
    (void)DoDragHandles(in_data, params, conversion, extra);
    extra->evt_out_flags = PF_EO_HANDLED_EVENT;
    return PF_Err_NONE;
}
