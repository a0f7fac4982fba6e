// The effect's overlay, in the one file the plug-in's layout gives it: the
// mask frame and handle layout, their drawing, and the click and drag
// handling. It is longer than 500 lines because the three share the handle
// layout and its private helpers (fixed-point conversion, the parameter
// writes); split, those helpers would have to become public.
#include "plugin/Vellora/Vellora_UI.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstdint>
#include <optional>

#include "plugin/Util/AEFX_DrawbotSuites.h"
#include "plugin/Util/AEGP_SuiteHandler.h"

namespace {

const DRAWBOT_ColorRGBA kEllipseColour = {0.9f, 0.9f, 0.9f, 1.0f};
const DRAWBOT_ColorRGBA kHandleColour = {0.9f, 0.9f, 0.0f, 1.0f};
const double kDegreesToRadians = 0.017453292519943295;
const PF_Fixed kFullTurn = 360 * 65536;
const int64_t kOpacityMax = 100 * 65536;
// The range Width, Height and Feather declare, which saved projects keep.
const double kSizeMax = 15000.0;

bool IsPremiere(const PF_InData* in_data) { return in_data->appl_id == PF_APPL_ID_PREMIERE; }

// Window type 0 (composition) and 1 (layer) are the overlay's; -1 and up from 2 are not.
bool IsOverlayWindow(PF_WindowType w_type) { return static_cast<A_u_long>(w_type) <= PF_Window_LAYER; }

float FixedToFloat(PF_Fixed v) { return static_cast<float>(v * VELLORA_FIX2DBL); }

// 16.16 to the nearest whole pixel, halves going up.
A_long FixedToPixel(PF_Fixed v) { return static_cast<A_long>((static_cast<int64_t>(v) + 32768) >> 16); }

PF_RectPoints ToPixels(const PF_FixedRectPoints& c) {
    PF_RectPoints p;
    p.topLeft = {FixedToPixel(c.topLeft.x), FixedToPixel(c.topLeft.y)};
    p.topRight = {FixedToPixel(c.topRight.x), FixedToPixel(c.topRight.y)};
    p.bottomLeft = {FixedToPixel(c.bottomLeft.x), FixedToPixel(c.bottomLeft.y)};
    p.bottomRight = {FixedToPixel(c.bottomRight.x), FixedToPixel(c.bottomRight.y)};
    return p;
}

// Midpoint of two 16.16 coordinates, halved toward zero.
PF_Fixed Mid(PF_Fixed p, PF_Fixed q) { return static_cast<PF_Fixed>((static_cast<int64_t>(p) + q) / 2); }

PF_FixedPoint MidPoint(const PF_FixedPoint& p, const PF_FixedPoint& q) { return {Mid(p.x, q.x), Mid(p.y, q.y)}; }

float PixelAspect(const PF_InData* in_data) {
    return static_cast<float>(in_data->pixel_aspect_ratio.num) / static_cast<float>(in_data->pixel_aspect_ratio.den);
}

// Writes a size slider kept inside its declared range; a value that is not a
// number leaves the slider as it was.
void WriteSize(PF_ParamDef* param, double value) {
    if (std::isnan(value)) return;
    param->u.fs_d.value = std::min(std::max(value, 0.0), kSizeMax);
    param->uu.change_flags = PF_ChangeFlag_CHANGED_VALUE;
}

// Strokes one finished path the way this host wants: a fixed-colour pen on
// the surface under Premiere, the host's overlay theme with a shadow elsewhere.
class Stroker {
public:
    Stroker(PF_InData* in_data, AEGP_SuiteHandler& handler, DRAWBOT_Suites* suites, DRAWBOT_DrawRef ref,
            DRAWBOT_SupplierRef supplier, DRAWBOT_SurfaceRef surface)
        : in_data_(in_data), handler_(handler), suites_(suites), ref_(ref), supplier_(supplier), surface_(surface) {}

    // With a pen made for this stroke alone.
    PF_Err Stroke(DRAWBOT_PathRef path, const DRAWBOT_ColorRGBA& colour) {
        if (!IsPremiere(in_data_)) return Theme(path);
        DRAWBOT_PenP pen(suites_->supplier_suiteP, supplier_, &colour, 1.0f);
        const PF_Err err = suites_->surface_suiteP->StrokePath(surface_, pen.Get(), path);
        pen.ReleaseObject();
        return err;
    }

    // With a pen shared by the handles (kept until the stroker goes).
    PF_Err StrokeShared(DRAWBOT_PathRef path) {
        if (!IsPremiere(in_data_)) return Theme(path);
        if (!shared_pen_) shared_pen_.emplace(suites_->supplier_suiteP, supplier_, &kHandleColour, 1.0f);
        return suites_->surface_suiteP->StrokePath(surface_, shared_pen_->Get(), path);
    }

    // Gives the shared pen back; a refusal is thrown, and the destructor tries once more.
    void Release() {
        if (shared_pen_) shared_pen_->ReleaseObject();
    }

private:
    PF_Err Theme(DRAWBOT_PathRef path) {
        return handler_.EffectCustomUIOverlayThemeSuite1()->PF_StrokePath(ref_, path, 1);
    }

    PF_InData* in_data_;
    AEGP_SuiteHandler& handler_;
    DRAWBOT_Suites* suites_;
    DRAWBOT_DrawRef ref_;
    DRAWBOT_SupplierRef supplier_;
    DRAWBOT_SurfaceRef surface_;
    std::optional<DRAWBOT_PenP> shared_pen_;
};

// One path object reused for every outline: New starts a fresh one and gives the old one back.
class PathHolder {
public:
    PathHolder(DRAWBOT_Suites* suites, DRAWBOT_SupplierRef supplier) : suites_(suites), supplier_(supplier) {}
    DRAWBOT_PathRef Fresh() {
        if (path_) {
            path_->New(suites_->supplier_suiteP, supplier_);
        } else {
            path_.emplace(suites_->supplier_suiteP, supplier_);
        }
        return path_->Get();
    }

    void Release() {
        if (path_) path_->ReleaseObject();
    }

private:
    DRAWBOT_Suites* suites_;
    DRAWBOT_SupplierRef supplier_;
    std::optional<DRAWBOT_PathP> path_;
};

PF_Err DrawRectangle(PF_InData* in_data, PF_RectPoints* corners, DRAWBOT_DrawRef drawing_ref,
                     DRAWBOT_Suites* suites) {
    AEGP_SuiteHandler handler(in_data->pica_basicP);
    PF_Err err = PF_Err_NONE;
    DRAWBOT_SupplierRef supplier = nullptr;
    DRAWBOT_SurfaceRef surface = nullptr;
    err = suites->drawbot_suiteP->GetSupplier(drawing_ref, &supplier);
    if (!err && IsPremiere(in_data)) err = suites->drawbot_suiteP->GetSurface(drawing_ref, &surface);
    if (err) return err;

    DRAWBOT_PathP path(suites->supplier_suiteP, supplier);
    DRAWBOT_PathSuite1* ps = suites->path_suiteP;
    const auto x = [](const PF_Point& p) { return static_cast<float>(p.h); };
    const auto y = [](const PF_Point& p) { return static_cast<float>(p.v); };
    err = ps->MoveTo(path.Get(), x(corners->topLeft), y(corners->topLeft));
    if (!err) err = ps->LineTo(path.Get(), x(corners->topRight), y(corners->topRight));
    if (!err) err = ps->LineTo(path.Get(), x(corners->bottomRight), y(corners->bottomRight));
    if (!err) err = ps->LineTo(path.Get(), x(corners->bottomLeft), y(corners->bottomLeft));
    if (!err) err = ps->Close(path.Get());
    if (!err) {
        Stroker stroker(in_data, handler, suites, drawing_ref, supplier, surface);
        err = stroker.Stroke(path.Get(), kHandleColour);
    }
    // Released explicitly so a refusal surfaces; the destructor then retries once.
    path.ReleaseObject();
    return err;
}

PF_RectPoints SquareAround(const PF_Point& c) {
    PF_RectPoints r;
    r.topLeft = {c.h - 3, c.v - 3};
    r.topRight = {c.h + 3, c.v - 3};
    r.bottomLeft = {c.h - 3, c.v + 3};
    r.bottomRight = {c.h + 3, c.v + 3};
    return r;
}

struct DrawGeometry {
    PF_FixedPoint origin;  // layer space
    PF_FixedPoint centre;  // window space
    float theta;
    PF_RectPoints outer;
    PF_RectPoints inner;
};

void DrawOverlay(PF_InData* in_data, PF_OutData* out_data, PF_ParamDef* params[], PF_EventExtra* extra,
                 const DrawGeometry& g) {
    AEGP_SuiteHandler handler(in_data->pica_basicP);
    AEFX_DrawbotSuitesScope scope(in_data, out_data);
    PF_Err err = scope.Error();
    if (err) return;
    DRAWBOT_Suites* suites = scope.Get();

    DRAWBOT_DrawRef ref = nullptr;
    err = handler.EffectCustomUISuite1()->PF_GetDrawingReference(extra->contextH, &ref);
    if (err || !ref) return;
    DRAWBOT_SurfaceRef surface = nullptr;
    DRAWBOT_SupplierRef supplier = nullptr;
    DRAWBOT_DrawbotSuite1* draw = handler.DrawbotSuite1();
    err = draw->GetSurface(ref, &surface);
    if (!err) err = draw->GetSupplier(ref, &supplier);
    if (err) return;

    // Declared after the suites so every pen and path goes before they are released.
    PathHolder path(suites, supplier);
    Stroker stroker(in_data, handler, suites, ref, supplier, surface);
    DRAWBOT_PathSuite1* ps = suites->path_suiteP;
    const double theta = g.theta;

    if (params[PARAM_MASK_TYPE]->u.pd.value == MASK_ELLIPSE) {
        const double a = params[PARAM_WIDTH]->u.fs_d.value * 0.5;
        const double b = params[PARAM_HEIGHT]->u.fs_d.value * 0.5;
        const double par = PixelAspect(in_data);
        PF_ANSICallbacksSuite1* ansi = IsPremiere(in_data) ? nullptr : handler.ANSICallbacksSuite1();
        const auto cosine = [ansi](double v) { return ansi ? ansi->cos(v) : std::cos(v); };
        const auto sine = [ansi](double v) { return ansi ? ansi->sin(v) : std::sin(v); };
        DRAWBOT_PointF32 pts[64];
        for (int i = 0; i < 64; ++i) {
            const double t = i * 6.283185307179586 * 0.015625;
            const double dx = (a * cosine(t) * cosine(theta) - b * sine(t) * sine(theta)) / par;
            const double dy = a * cosine(t) * sine(theta) + b * sine(t) * cosine(theta);
            PF_FixedPoint p = {AddLong(FixedFromFloat(dx), g.origin.x), AddLong(FixedFromFloat(dy), g.origin.y)};
            Source2FramePoint(in_data, extra, &p);
            pts[i] = {FixedToFloat(p.x), FixedToFloat(p.y)};
        }
        const DRAWBOT_PathRef p = path.Fresh();
        err = ps->MoveTo(p, pts[0].x, pts[0].y);
        for (int i = 1; i < 64 && !err; ++i) err = ps->LineTo(p, pts[i].x, pts[i].y);
        // Back onto the first point, deliberately without Close.
        if (!err) err = ps->LineTo(p, pts[0].x, pts[0].y);
        if (!err) err = stroker.Stroke(p, kEllipseColour);
    }

    PF_RectPoints outer = g.outer;
    if (!err) err = DrawRectangle(in_data, &outer, ref, suites);

    const PF_Point corners[4] = {g.outer.topLeft, g.outer.topRight, g.outer.bottomRight, g.outer.bottomLeft};
    for (const PF_Point& c : corners) {
        if (err) break;
        PF_RectPoints square = SquareAround(c);
        err = DrawRectangle(in_data, &square, ref, suites);
    }

    const PF_Point sides[4][2] = {{g.inner.topLeft, g.inner.topRight},
                                  {g.inner.bottomLeft, g.inner.bottomRight},
                                  {g.inner.topLeft, g.inner.bottomLeft},
                                  {g.inner.topRight, g.inner.bottomRight}};
    for (const auto& side : sides) {
        if (err) break;
        // Summed in integers, halved in double, so a half pixel survives.
        const DRAWBOT_PointF32 c = {static_cast<float>((side[0].h + side[1].h) * 0.5),
                                    static_cast<float>((side[0].v + side[1].v) * 0.5)};
        const DRAWBOT_PathRef p = path.Fresh();
        err = ps->AddArc(p, &c, 4.0f, 0.0f, 360.0f);
        if (!err) err = stroker.StrokeShared(p);
    }

    const DRAWBOT_PointF32 centre = {FixedToFloat(g.centre.x), FixedToFloat(g.centre.y)};
    if (!err) {
        PF_FixedPoint r = RotationHandleLayerPoint(in_data, params, g.theta);
        Source2FramePoint(in_data, extra, &r);
        const DRAWBOT_PointF32 rf = {FixedToFloat(r.x), FixedToFloat(r.y)};
        DRAWBOT_PathRef p = path.Fresh();
        err = ps->MoveTo(p, centre.x, centre.y);
        if (!err) err = ps->LineTo(p, rf.x, rf.y);
        if (!err) err = stroker.StrokeShared(p);
        if (!err) {
            p = path.Fresh();
            err = ps->AddArc(p, &rf, 6.0f, 0.0f, 360.0f);
            if (!err) err = stroker.StrokeShared(p);
        }
    }

    if (!err) {
        const DRAWBOT_PointF32 top = {centre.x - 40.0f, centre.y - 50.0f};
        const DRAWBOT_PathRef p = path.Fresh();
        err = ps->MoveTo(p, top.x, top.y);
        if (!err) err = ps->LineTo(p, centre.x - 40.0f, centre.y + 50.0f);
        if (!err) err = stroker.StrokeShared(p);
        if (!err) {
            const double opacity = params[PARAM_OPACITY]->u.fd.value * VELLORA_FIX2DBL;
            const float level = top.y + static_cast<float>(100.0 - opacity);
            const A_long left = TruncToLong(top.x - 5.0f), right = TruncToLong(top.x + 6.0f);
            const A_long upper = TruncToLong(level - 2.0f), lower = TruncToLong(level + 2.0f);
            PF_RectPoints marker;
            marker.topLeft = {left, upper};
            marker.topRight = {right, upper};
            marker.bottomLeft = {left, lower};
            marker.bottomRight = {right, lower};
            err = DrawRectangle(in_data, &marker, ref, suites);
        }
    }
    path.Release();
    stroker.Release();
}

}  // namespace

float AngleRadians(PF_ParamDef** params) {
    return static_cast<float>(params[PARAM_ANGLE]->u.ad.value * VELLORA_FIX2DBL * kDegreesToRadians);
}

void FixedFrameFromParams(PF_InData* in_data, PF_ParamDef** params, PF_FixedRect* outer_frame,
                          PF_FixedRect* inner_frame) {
    const PF_Fixed ox = params[PARAM_ORIGIN]->u.td.x_value;
    const PF_Fixed oy = params[PARAM_ORIGIN]->u.td.y_value;
    const double w = params[PARAM_WIDTH]->u.fs_d.value;
    const double h = params[PARAM_HEIGHT]->u.fs_d.value;
    const double f = params[PARAM_FEATHER]->u.fs_d.value;
    const float s =
        static_cast<float>(in_data->pixel_aspect_ratio.den) / static_cast<float>(in_data->pixel_aspect_ratio.num);

    const PF_Fixed hw = FixedFromFloat(w * 0.5);
    const PF_Fixed hh = FixedFromFloat(h * 0.5);
    outer_frame->left = TruncToLong(static_cast<float>(ox) - static_cast<float>(hw) * s);
    outer_frame->right = TruncToLong(static_cast<float>(hw) * s + static_cast<float>(ox));
    outer_frame->top = SubLong(oy, hh);
    outer_frame->bottom = AddLong(hh, oy);

    const double ratio = h == 0.0 ? 0.0 : w / h;
    inner_frame->left = AddLong(FixedFromFloat(f * s), outer_frame->left);
    inner_frame->right = SubLong(outer_frame->right, FixedFromFloat(static_cast<double>(s) * f));
    // feather / ratio has no value when the ratio is 0 (a zero height or width): no vertical inset then.
    const double vertical = f / ratio;
    const PF_Fixed inset = (ratio == 0.0 || !std::isfinite(vertical)) ? 0 : FixedFromFloat(vertical);
    inner_frame->top = AddLong(inset, outer_frame->top);
    inner_frame->bottom = SubLong(outer_frame->bottom, inset);
}

PF_FixedPoint RotationHandleLayerPoint(PF_InData* in_data, PF_ParamDef** params, float angle) {
    const PF_Fixed ox = params[PARAM_ORIGIN]->u.td.x_value;
    const PF_Fixed oy = params[PARAM_ORIGIN]->u.td.y_value;
    const double d = static_cast<double>(in_data->height) / 5.0;
    const double a = angle;
    const float along = static_cast<float>(FixedFromFloat(std::sin(a) * d)) / PixelAspect(in_data);
    PF_FixedPoint r;
    r.x = TruncToLong(static_cast<float>(ox) + along);
    r.y = SubLong(oy, FixedFromFloat(std::cos(a) * d));
    return r;
}

void ComputeOverlayLayout(PF_InData* in_data, PF_ParamDef** params, PF_EventExtra* extra, OverlayLayout* layout) {
    layout->centre = {params[PARAM_ORIGIN]->u.td.x_value, params[PARAM_ORIGIN]->u.td.y_value};
    Source2FramePoint(in_data, extra, &layout->centre);

    PF_FixedRect outer, inner;
    FixedFrameFromParams(in_data, params, &outer, &inner);
    Source2FrameRect(in_data, extra, &outer, &layout->outer);
    Source2FrameRect(in_data, extra, &inner, &layout->inner);
    const float angle = AngleRadians(params);
    RotateFixedRect(in_data, &layout->outer, &layout->centre, angle);
    RotateFixedRect(in_data, &layout->inner, &layout->centre, angle);

    PF_FixedPoint* h = layout->handles;
    h[HANDLE_NONE] = layout->centre;
    h[HANDLE_TOP_LEFT] = layout->outer.topLeft;
    h[HANDLE_TOP_RIGHT] = layout->outer.topRight;
    h[HANDLE_BOTTOM_LEFT] = layout->outer.bottomLeft;
    h[HANDLE_BOTTOM_RIGHT] = layout->outer.bottomRight;
    h[HANDLE_ROTATION] = RotationHandleLayerPoint(in_data, params, angle);
    Source2FramePoint(in_data, extra, &h[HANDLE_ROTATION]);
    h[HANDLE_FEATHER_LEFT] = MidPoint(layout->inner.topLeft, layout->inner.bottomLeft);
    h[HANDLE_FEATHER_RIGHT] = MidPoint(layout->inner.topRight, layout->inner.bottomRight);
    h[HANDLE_FEATHER_TOP] = MidPoint(layout->inner.topLeft, layout->inner.topRight);
    h[HANDLE_FEATHER_BOTTOM] = MidPoint(layout->inner.bottomLeft, layout->inner.bottomRight);
    h[HANDLE_OPACITY] = {SubLong(layout->centre.x, 2621440),
                         SubLong(AddLong(layout->centre.y, 3276800), params[PARAM_OPACITY]->u.fd.value)};
}

void DrawHandles(PF_InData* in_data, PF_OutData* out_data, PF_ParamDef* params[], PF_EventExtra* extra) {
    DrawGeometry g;
    g.origin = {params[PARAM_ORIGIN]->u.td.x_value, params[PARAM_ORIGIN]->u.td.y_value};
    g.centre = g.origin;
    Source2FramePoint(in_data, extra, &g.centre);
    PF_FixedRect outer, inner;
    FixedFrameFromParams(in_data, params, &outer, &inner);
    PF_FixedRectPoints outer_pts, inner_pts;
    Source2FrameRect(in_data, extra, &outer, &outer_pts);
    Source2FrameRect(in_data, extra, &inner, &inner_pts);
    g.theta = AngleRadians(params);
    RotateFixedRect(in_data, &outer_pts, &g.centre, g.theta);
    RotateFixedRect(in_data, &inner_pts, &g.centre, g.theta);
    g.outer = ToPixels(outer_pts);
    g.inner = ToPixels(inner_pts);

    try {
        DrawOverlay(in_data, out_data, params, extra, g);
    } catch (const DRAWBOT_Exception&) {
        // A pen or path the host would not make or take back: drawing stops here.
        // Unwinding has already released every object and suite.
    }
}

PF_Err DrawEvent(PF_InData* in_data, PF_OutData* out_data, PF_ParamDef* params[], PF_LayerDef*,
                 PF_EventExtra* extra) {
    if (!IsOverlayWindow(EventWindowType(extra))) return PF_Err_NONE;
    DrawHandles(in_data, out_data, params, extra);
    extra->evt_out_flags = PF_EO_HANDLED_EVENT;
    return PF_Err_NONE;
}

PF_Err DoClick(PF_InData* in_data, PF_OutData*, PF_ParamDef** params, PF_LayerDef*, PF_EventExtra* extra) {
    if (!IsOverlayWindow(EventWindowType(extra))) return PF_Err_NONE;
    if (DoClickHandles(in_data, params, extra)) extra->evt_out_flags = PF_EO_HANDLED_EVENT;
    return PF_Err_NONE;
}

bool DoClickHandles(PF_InData* in_data, PF_ParamDef** params, PF_EventExtra* extra) {
    AEGP_SuiteHandler suites(in_data->pica_basicP);
    OverlayLayout layout;
    ComputeOverlayLayout(in_data, params, extra, &layout);
    const int64_t mx = extra->u.do_click.screen_point.h;
    const int64_t my = extra->u.do_click.screen_point.v;
    for (int handle = HANDLE_TOP_LEFT; handle <= HANDLE_COUNT; ++handle) {
        const int64_t hx = layout.handles[handle].x >> 16;
        const int64_t hy = layout.handles[handle].y >> 16;
        int64_t distance;
        if (IsPremiere(in_data)) {
            distance = std::llabs(hx - mx) + std::llabs(hy - my);
        } else {
            PF_ANSICallbacksSuite1* ansi = suites.ANSICallbacksSuite1();
            distance = static_cast<int64_t>(ansi->fabs(static_cast<double>(hx - mx))) +
                       static_cast<int64_t>(ansi->fabs(static_cast<double>(hy - my)));
        }
        if (distance <= VELLORA_HIT_TOLERANCE) {
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

bool DoDragHandles(PF_InData* in_data, PF_ParamDef** params, Frame2LayerFunc conversion, PF_EventExtra* extra) {
    AEGP_SuiteHandler suites(in_data->pica_basicP);  // nothing is asked of it: the maths is the library's
    PF_DoClickEventInfo& click = extra->u.do_click;
    PF_Point window_point = click.screen_point, layer_point;
    PF_FixedPoint m;
    conversion(in_data, extra, &window_point, &layer_point, &m);

    const PF_Fixed ox = params[PARAM_ORIGIN]->u.td.x_value;
    const PF_Fixed oy = params[PARAM_ORIGIN]->u.td.y_value;
    const float r = PixelAspect(in_data);
    const float a = AngleRadians(params);
    // 64-bit differences: the 32-bit ones wherever those do not overflow.
    const int64_t dxm = static_cast<int64_t>(m.x) - ox;
    const int64_t dym = static_cast<int64_t>(m.y) - oy;

    switch (click.continue_refcon[0]) {
        case HANDLE_TOP_LEFT:
        case HANDLE_TOP_RIGHT:
        case HANDLE_BOTTOM_LEFT:
        case HANDLE_BOTTOM_RIGHT: {
            const A_intptr_t handle = click.continue_refcon[0];
            const bool left = handle == HANDLE_TOP_LEFT || handle == HANDLE_BOTTOM_LEFT;
            const bool top = handle == HANDLE_TOP_LEFT || handle == HANDLE_TOP_RIGHT;
            const int64_t ux = left ? -dxm : dxm;
            const int64_t uy = top ? -dym : dym;
            const float theta = (handle == HANDLE_TOP_LEFT || handle == HANDLE_BOTTOM_RIGHT) ? -a : a;
            float dx = static_cast<float>(static_cast<double>(2 * ux) * VELLORA_FIX2DBL);
            dx = dx * r;
            const float dy = static_cast<float>(static_cast<double>(2 * uy) * VELLORA_FIX2DBL);
            const double C = std::cos(static_cast<double>(theta)), S = std::sin(static_cast<double>(theta));
            WriteSize(params[PARAM_WIDTH], C * dx - S * dy);
            WriteSize(params[PARAM_HEIGHT], S * dx + C * dy);
            break;
        }
        case HANDLE_ROTATION: {
            float A;
            if (dym == 0) {
                A = dxm > 0 ? 90.0f : 270.0f;
            } else if (dxm == 0) {
                A = dym > 0 ? 180.0f : 0.0f;
            } else {
                A = static_cast<float>(std::atan(static_cast<double>(static_cast<float>(dxm) / static_cast<float>(dym))) /
                                       -kDegreesToRadians);
                if (dym > 0) {
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
            params[PARAM_ANGLE]->uu.change_flags = PF_ChangeFlag_CHANGED_VALUE;
            break;
        }
        case HANDLE_FEATHER_LEFT:
        case HANDLE_FEATHER_RIGHT:
        case HANDLE_FEATHER_TOP:
        case HANDLE_FEATHER_BOTTOM: {
            const double w = params[PARAM_WIDTH]->u.fs_d.value;
            const double h = params[PARAM_HEIGHT]->u.fs_d.value;
            const double K = VELLORA_FIX2DBL;
            double feather;
            switch (click.continue_refcon[0]) {
                case HANDLE_FEATHER_LEFT:
                    feather = std::fmax(0.0, (w * 0.5 + r * static_cast<float>(dxm) * K) * std::cos(static_cast<double>(a)));
                    break;
                case HANDLE_FEATHER_RIGHT:
                    feather = w * 0.5 + static_cast<double>(-dxm) * K * r;
                    break;
                case HANDLE_FEATHER_TOP:
                    // Divides by the height: with none there is no feather to read off.
                    feather = h == 0.0 ? NAN : static_cast<float>(w / h) * (h * 0.5 + static_cast<double>(dym) * K);
                    break;
                default:
                    feather = h == 0.0 ? NAN : static_cast<float>(w / h) * (static_cast<double>(-dym) * K + h * 0.5);
                    break;
            }
            WriteSize(params[PARAM_FEATHER], static_cast<float>(feather));
            break;
        }
        case HANDLE_OPACITY: {
            PF_FixedPoint o = {ox, oy};
            PF_FixedPoint mw = m;
            Source2FramePoint(in_data, extra, &o);
            Source2FramePoint(in_data, extra, &mw);
            const int64_t opacity = 3276800 - static_cast<int64_t>(mw.y) + o.y;
            params[PARAM_OPACITY]->u.fd.value =
                static_cast<PF_Fixed>(std::min<int64_t>(std::max<int64_t>(opacity, 0), kOpacityMax));
            params[PARAM_OPACITY]->uu.change_flags = PF_ChangeFlag_CHANGED_VALUE;
            break;
        }
        default:
            break;
    }

    click.send_drag = true;
    click.continue_refcon[1] = m.x;
    click.continue_refcon[2] = m.y;
    click.continue_refcon[3] = 1;
    if (click.last_time) {
        click.continue_refcon[0] = HANDLE_NONE;
        click.send_drag = false;
    }
    return true;
}

PF_Err HandleEvent(PF_InData* in_data, PF_OutData* out_data, PF_ParamDef* params[], PF_LayerDef* output,
                   PF_EventExtra* extra) {
    // A host that sends no event record or parameters gets no overlay rather than a crash.
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
