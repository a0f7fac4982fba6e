#include "plugin/utils/UI_methods.h"

#include <cmath>
#include <cstdint>

#include "plugin/Util/AEGP_SuiteHandler.h"

namespace {

void ToLayerFixed(PF_Point* window_point, PF_FixedPoint* layer_fixed) {
    layer_fixed->x = vfixed::FromInt(window_point->h);
    layer_fixed->y = vfixed::FromInt(window_point->v);
}

void FromLayerFixed(const PF_FixedPoint* layer_fixed, PF_Point* layer_point) {
    layer_point->h = vfixed::Floor(layer_fixed->x);
    layer_point->v = vfixed::Floor(layer_fixed->y);
}

void FrameToSource(PF_EventExtra* extra, PF_FixedPoint* point) {
    if (extra && extra->cbs.frame_to_source) extra->cbs.frame_to_source(extra->cbs.refcon, extra->contextH, point);
}

}  // namespace

PF_WindowType EventWindowType(const PF_EventExtra* extra) {
    if (!extra || !extra->contextH || !*extra->contextH) return PF_Window_NONE;
    return (*extra->contextH)->w_type;
}

void Source2FramePoint(PF_InData* in_data, PF_EventExtra* extra, PF_FixedPoint* point) {
    if (!extra) return;
    if (EventWindowType(extra) == PF_Window_COMP && extra->cbs.layer_to_comp) {
        extra->cbs.layer_to_comp(extra->cbs.refcon, extra->contextH, in_data->current_time,
                                 static_cast<A_long>(in_data->time_scale), point);
    }
    if (extra->cbs.source_to_frame) extra->cbs.source_to_frame(extra->cbs.refcon, extra->contextH, point);
}

void Source2FrameRect(PF_InData* in_data, PF_EventExtra* extra, PF_FixedRect* rect, PF_FixedRectPoints* corners) {
    // Built in outline order, converted in that order, stored in field order.
    PF_FixedPoint pts[4] = {
        {rect->left, rect->top}, {rect->right, rect->top}, {rect->right, rect->bottom}, {rect->left, rect->bottom}};
    if (!extra) return;
    if (EventWindowType(extra) == PF_Window_COMP && extra->cbs.layer_to_comp) {
        for (PF_FixedPoint& p : pts) {
            extra->cbs.layer_to_comp(extra->cbs.refcon, extra->contextH, in_data->current_time,
                                     static_cast<A_long>(in_data->time_scale), &p);
        }
    }
    if (extra->cbs.source_to_frame) {
        for (PF_FixedPoint& p : pts) extra->cbs.source_to_frame(extra->cbs.refcon, extra->contextH, &p);
    }
    corners->topLeft = pts[0];
    corners->topRight = pts[1];
    corners->bottomRight = pts[2];
    corners->bottomLeft = pts[3];
}

void RotateFixedRect(PF_InData* in_data, PF_FixedRectPoints* corners, PF_FixedPoint* centre, float angle) {
    double C, S;
    if (in_data->appl_id == PF_APPL_ID_PREMIERE) {
        C = std::cos(static_cast<double>(angle));
        S = std::sin(static_cast<double>(angle));
    } else {
        AEGP_SuiteHandler suites(in_data->pica_basicP);
        PF_ANSICallbacksSuite1* ansi = suites.ANSICallbacksSuite1();
        C = ansi->cos(static_cast<double>(angle));
        S = ansi->sin(static_cast<double>(angle));
    }
    const PF_FixedPoint in[4] = {corners->topLeft, corners->topRight, corners->bottomLeft, corners->bottomRight};
    PF_FixedPoint out[4];
    const double cx = centre->x, cy = centre->y;
    for (int i = 0; i < 4; ++i) {
        // Differences in 64 bits: equal to the 32-bit ones wherever those do not overflow.
        const double dx = static_cast<double>(static_cast<int64_t>(in[i].x) - centre->x);
        const double dy = static_cast<double>(static_cast<int64_t>(in[i].y) - centre->y);
        out[i].x = TruncToLong(cx + (dx * C - S * dy));
        out[i].y = TruncToLong(cy + (S * dx + C * dy));
    }
    corners->topLeft = out[0];
    corners->topRight = out[1];
    corners->bottomLeft = out[2];
    corners->bottomRight = out[3];
}

void CompFrame2Layer(PF_InData* in_data, PF_EventExtra* extra, PF_Point* window_point, PF_Point* layer_point,
                     PF_FixedPoint* layer_fixed) {
    ToLayerFixed(window_point, layer_fixed);
    FrameToSource(extra, layer_fixed);
    if (extra && extra->cbs.comp_to_layer) {
        extra->cbs.comp_to_layer(extra->cbs.refcon, extra->contextH, in_data->current_time,
                                 static_cast<A_long>(in_data->time_scale), layer_fixed);
    }
    FromLayerFixed(layer_fixed, layer_point);
}

void LayerFrame2Layer(PF_InData*, PF_EventExtra* extra, PF_Point* window_point, PF_Point* layer_point,
                      PF_FixedPoint* layer_fixed) {
    ToLayerFixed(window_point, layer_fixed);
    FrameToSource(extra, layer_fixed);
    FromLayerFixed(layer_fixed, layer_point);
}
