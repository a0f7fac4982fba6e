// The overlay's drawing: the ellipse, the turned frame with its corner squares,
// the feather circles, the rotation arm and the opacity track, stroked through
// the host's drawing suites. One running error stops the drawing at the first
// host call that fails.
#include <cmath>
#include <optional>

#include "plugin/Util/AEFX_DrawbotSuites.h"
#include "plugin/Util/AEGP_SuiteHandler.h"
#include "plugin/Vellora/Vellora_UI.h"

namespace {

const DRAWBOT_ColorRGBA kEllipseColour = {0.9f, 0.9f, 0.9f, 1.0f};
const DRAWBOT_ColorRGBA kHandleColour = {0.9f, 0.9f, 0.0f, 1.0f};
const int kEllipseSegments = 64;

bool IsPremiere(const PF_InData* in_data) { return in_data->appl_id == PF_APPL_ID_PREMIERE; }

float FixedToFloat(PF_Fixed v) { return static_cast<float>(vfixed::ToDouble(v)); }

DRAWBOT_PointF32 ToFloatPoint(const PF_FixedPoint& p) { return {FixedToFloat(p.x), FixedToFloat(p.y)}; }

// The turned corners in whole pixels, halves going up.
PF_RectPoints ToPixels(const PF_FixedRectPoints& c) {
    PF_RectPoints p;
    p.topLeft = {vfixed::Round(c.topLeft.x), vfixed::Round(c.topLeft.y)};
    p.topRight = {vfixed::Round(c.topRight.x), vfixed::Round(c.topRight.y)};
    p.bottomLeft = {vfixed::Round(c.bottomLeft.x), vfixed::Round(c.bottomLeft.y)};
    p.bottomRight = {vfixed::Round(c.bottomRight.x), vfixed::Round(c.bottomRight.y)};
    return p;
}

PF_RectPoints RectFromEdges(A_long left, A_long top, A_long right, A_long bottom) {
    PF_RectPoints r;
    r.topLeft = {left, top};
    r.topRight = {right, top};
    r.bottomLeft = {left, bottom};
    r.bottomRight = {right, bottom};
    return r;
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

// What one draw event draws with; the pens and paths go before the suites do.
struct Canvas {
    PF_InData* in_data;
    PF_EventExtra* extra;
    AEGP_SuiteHandler& handler;
    DRAWBOT_Suites* suites;
    DRAWBOT_DrawRef ref;
    PathHolder& path;
    Stroker& stroker;

    PF_Err Rectangle(PF_RectPoints corners) { return DrawRectangle(in_data, &corners, ref, suites); }
    PF_Err Circle(const DRAWBOT_PointF32& c, float radius) {
        const DRAWBOT_PathRef p = path.Fresh();
        const PF_Err err = suites->path_suiteP->AddArc(p, &c, radius, 0.0f, 360.0f);
        return err ? err : stroker.StrokeShared(p);
    }
    PF_Err Line(const DRAWBOT_PointF32& from, const DRAWBOT_PointF32& to) {
        const DRAWBOT_PathRef p = path.Fresh();
        PF_Err err = suites->path_suiteP->MoveTo(p, from.x, from.y);
        if (!err) err = suites->path_suiteP->LineTo(p, to.x, to.y);
        return err ? err : stroker.StrokeShared(p);
    }
};

// The ellipse is turned in layer space before conversion, so it follows the
// pixel aspect; the frames are turned in the window.
PF_Err DrawEllipse(Canvas& cv, PF_ParamDef* params[], const OverlayLayout& layout) {
    const double a = params[PARAM_WIDTH]->u.fs_d.value * 0.5;
    const double b = params[PARAM_HEIGHT]->u.fs_d.value * 0.5;
    const double par = PixelAspect(cv.in_data);
    const double theta = layout.angle;
    PF_ANSICallbacksSuite1* ansi = IsPremiere(cv.in_data) ? nullptr : cv.handler.ANSICallbacksSuite1();
    const auto cosine = [ansi](double v) { return ansi ? ansi->cos(v) : std::cos(v); };
    const auto sine = [ansi](double v) { return ansi ? ansi->sin(v) : std::sin(v); };
    DRAWBOT_PointF32 pts[kEllipseSegments];
    for (int i = 0; i < kEllipseSegments; ++i) {
        const double t = i * 6.283185307179586 * (1.0 / kEllipseSegments);
        const double dx = (a * cosine(t) * cosine(theta) - b * sine(t) * sine(theta)) / par;
        const double dy = a * cosine(t) * sine(theta) + b * sine(t) * cosine(theta);
        PF_FixedPoint p = {AddLong(FixedFromFloat(dx), layout.origin.x), AddLong(FixedFromFloat(dy), layout.origin.y)};
        Source2FramePoint(cv.in_data, cv.extra, &p);
        pts[i] = ToFloatPoint(p);
    }
    DRAWBOT_PathSuite1* ps = cv.suites->path_suiteP;
    const DRAWBOT_PathRef p = cv.path.Fresh();
    PF_Err err = ps->MoveTo(p, pts[0].x, pts[0].y);
    for (int i = 1; i < kEllipseSegments && !err; ++i) err = ps->LineTo(p, pts[i].x, pts[i].y);
    // Back onto the first point, deliberately without Close.
    if (!err) err = ps->LineTo(p, pts[0].x, pts[0].y);
    if (!err) err = cv.stroker.Stroke(p, kEllipseColour);
    return err;
}

// The frame outline, then a 6-pixel square on each corner in outline order.
PF_Err DrawFrameAndCorners(Canvas& cv, const PF_RectPoints& outer) {
    PF_Err err = cv.Rectangle(outer);
    const PF_Point corners[4] = {outer.topLeft, outer.topRight, outer.bottomRight, outer.bottomLeft};
    for (const PF_Point& c : corners) {
        if (err) break;
        err = cv.Rectangle(RectFromEdges(c.h - 3, c.v - 3, c.h + 3, c.v + 3));
    }
    return err;
}

PF_Err DrawFeatherCircles(Canvas& cv, const PF_RectPoints& inner) {
    const PF_Point sides[4][2] = {{inner.topLeft, inner.topRight},
                                  {inner.bottomLeft, inner.bottomRight},
                                  {inner.topLeft, inner.bottomLeft},
                                  {inner.topRight, inner.bottomRight}};
    PF_Err err = PF_Err_NONE;
    for (const auto& side : sides) {
        if (err) break;
        // Summed in integers, halved in double, so a half pixel survives.
        const DRAWBOT_PointF32 c = {static_cast<float>((side[0].h + side[1].h) * 0.5),
                                    static_cast<float>((side[0].v + side[1].v) * 0.5)};
        err = cv.Circle(c, 4.0f);
    }
    return err;
}

PF_Err DrawRotationArm(Canvas& cv, const OverlayLayout& layout) {
    const DRAWBOT_PointF32 r = ToFloatPoint(layout.handles[HANDLE_ROTATION]);
    const PF_Err err = cv.Line(ToFloatPoint(layout.centre), r);
    return err ? err : cv.Circle(r, 6.0f);
}

// The track, then the marker from 5 left to 6 right of it, 2 above to 2 below
// the level; the level is taken in float here, as drawn, and may differ from
// the 16.16 handle by under a pixel.
PF_Err DrawOpacityTrack(Canvas& cv, PF_ParamDef* params[], const OverlayLayout& layout) {
    const DRAWBOT_PointF32 centre = ToFloatPoint(layout.centre);
    const DRAWBOT_PointF32 top = {centre.x - OpacityTrack::kLeft, centre.y - OpacityTrack::kHalf};
    PF_Err err = cv.Line(top, {top.x, centre.y + OpacityTrack::kHalf});
    if (err) return err;
    const double opacity = vfixed::ToDouble(params[PARAM_OPACITY]->u.fd.value);
    const float level = top.y + static_cast<float>(OpacityTrack::kFull - opacity);
    return cv.Rectangle(RectFromEdges(TruncToLong(top.x - 5.0f), TruncToLong(level - 2.0f), TruncToLong(top.x + 6.0f),
                                      TruncToLong(level + 2.0f)));
}

void DrawOverlay(PF_InData* in_data, PF_OutData* out_data, PF_ParamDef* params[], PF_EventExtra* extra,
                 const OverlayLayout& layout) {
    AEGP_SuiteHandler handler(in_data->pica_basicP);
    AEFX_DrawbotSuitesScope scope(in_data, out_data);
    if (scope.Error()) return;
    DRAWBOT_Suites* suites = scope.Get();

    DRAWBOT_DrawRef ref = nullptr;
    PF_Err err = handler.EffectCustomUISuite1()->PF_GetDrawingReference(extra->contextH, &ref);
    if (err || !ref) return;
    DRAWBOT_SurfaceRef surface = nullptr;
    DRAWBOT_SupplierRef supplier = nullptr;
    err = handler.DrawbotSuite1()->GetSurface(ref, &surface);
    if (!err) err = handler.DrawbotSuite1()->GetSupplier(ref, &supplier);
    if (err) return;

    // Declared after the suites so every pen and path goes before they are released.
    PathHolder path(suites, supplier);
    Stroker stroker(in_data, handler, suites, ref, supplier, surface);
    Canvas cv{in_data, extra, handler, suites, ref, path, stroker};
    if (params[PARAM_MASK_TYPE]->u.pd.value == MASK_ELLIPSE) err = DrawEllipse(cv, params, layout);
    if (!err) err = DrawFrameAndCorners(cv, ToPixels(layout.outer));
    if (!err) err = DrawFeatherCircles(cv, ToPixels(layout.inner));
    if (!err) err = DrawRotationArm(cv, layout);
    if (!err) err = DrawOpacityTrack(cv, params, layout);
    path.Release();
    stroker.Release();
}

void DrawHandles(PF_InData* in_data, PF_OutData* out_data, PF_ParamDef* params[], PF_EventExtra* extra) {
    const OverlayLayout layout = ComputeOverlayLayout(in_data, params, extra);
    try {
        DrawOverlay(in_data, out_data, params, extra, layout);
    } catch (const DRAWBOT_Exception&) {
        // A pen or path the host would not make or take back: drawing stops here.
        // Unwinding has already released every object and suite.
    }
}

}  // namespace

PF_Err DrawEvent(PF_InData* in_data, PF_OutData* out_data, PF_ParamDef* params[], PF_LayerDef*,
                 PF_EventExtra* extra) {
    if (!IsOverlayWindow(EventWindowType(extra))) return PF_Err_NONE;
    DrawHandles(in_data, out_data, params, extra);
    extra->evt_out_flags = PF_EO_HANDLED_EVENT;  // whatever the drawing met
    return PF_Err_NONE;
}
