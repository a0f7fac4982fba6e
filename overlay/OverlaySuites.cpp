// The suites an effect draws its overlay with: the custom-UI suite that hands
// out a window's drawing reference, the overlay theme, and the four drawing
// suites. Pens and paths are counted in the host's object ledger; every call
// can be made to fail through the host's fault plan.
#include <string>

#include "host/Host.h"
#include "overlay/Overlay.h"
#include "overlay/OverlayInternal.h"

namespace voverlay {

struct OverlaySuiteAccess {
    using Window = OverlayWindow;
    using Object = OverlayWindow::DrawObject;

    static Window* FromTag(const void* ref, uint32_t magic) {
        const auto* tag = static_cast<const Window::Tag*>(ref);
        return tag && tag->magic == magic ? tag->window : nullptr;
    }

    // A live pen or path of the expected kind; a misuse is recorded on its window.
    static Object* Live(const void* ref, uint32_t magic, const char* call) {
        auto* object = const_cast<Object*>(static_cast<const Object*>(ref));
        if (!object || (object->magic != kPenMagic && object->magic != kPathMagic)) return nullptr;
        Window* w = object->window;
        if (object->magic != magic) {
            w->misuses_.push_back(std::string(call) + ": " + (object->is_pen ? "pen" : "path") + " " +
                                  std::to_string(object->ledger_id) + " passed where a " +
                                  (magic == kPenMagic ? "pen" : "path") + " is expected");
            return nullptr;
        }
        if (!w->host_.Objects().IsLive(object->ledger_id)) {
            w->misuses_.push_back(std::string(call) + ": " + (object->is_pen ? "pen " : "path ") +
                                  std::to_string(object->ledger_id) + " used after its last release");
            return nullptr;
        }
        return object;
    }

    static Object* AnyObject(const void* ref) {
        auto* object = const_cast<Object*>(static_cast<const Object*>(ref));
        return object && (object->magic == kPenMagic || object->magic == kPathMagic) ? object : nullptr;
    }

    // True when the fault plan makes this call fail.
    static bool Fails(Window* w, const char* call) { return w->host_.Faults().ShouldFail(call); }
    static PF_Err Injected(Window* w) { return w->host_.Faults().injected_error; }

    static void Stroke(Window* w, StrokeRecord record) {
        if (w->rasterise_) w->Rasterise(record);
        w->strokes_.push_back(std::move(record));
    }

    // --- PF Effect Custom UI Suite -------------------------------------------
    static PF_Err GetDrawingReference(const PF_ContextH contextH, DRAWBOT_DrawRef* referenceP0) {
        if (!referenceP0) return PF_Err_BAD_CALLBACK_PARAM;
        *referenceP0 = nullptr;
        Window* w = WindowOfContext(contextH);
        if (!w) return PF_Err_BAD_CALLBACK_PARAM;
        if (Fails(w, "PF_GetDrawingReference")) return Injected(w);
        if (w->host_.Faults().null_drawing_reference) return PF_Err_NONE;
        *referenceP0 = reinterpret_cast<DRAWBOT_DrawRef>(&w->draw_tag_);
        return PF_Err_NONE;
    }

    // --- PF Effect Custom UI Overlay Theme Suite -----------------------------
    static PF_Err ThemeStrokePath(const DRAWBOT_DrawRef drawbot_ref, const DRAWBOT_PathRef path_ref,
                                  PF_Boolean draw_shadowB) {
        Window* w = FromTag(drawbot_ref, kDrawRefMagic);
        if (!w) return PF_Err_BAD_CALLBACK_PARAM;
        Object* path = Live(path_ref, kPathMagic, "PF_StrokePath");
        if (!path || path->window != w) return PF_Err_BAD_CALLBACK_PARAM;
        if (Fails(w, "PF_StrokePath")) return Injected(w);
        StrokeRecord record;
        record.by_theme = true;
        record.shadow = draw_shadowB != 0;
        record.path = path->path;
        Stroke(w, std::move(record));
        return PF_Err_NONE;
    }

    // --- DRAWBOT Draw Suite ---------------------------------------------------
    static SPErr GetSupplier(DRAWBOT_DrawRef ref, DRAWBOT_SupplierRef* out) {
        Window* w = FromTag(ref, kDrawRefMagic);
        if (!w || !out) return PF_Err_BAD_CALLBACK_PARAM;
        if (Fails(w, "GetSupplier")) return Injected(w);
        *out = reinterpret_cast<DRAWBOT_SupplierRef>(&w->supplier_tag_);
        return kSPNoError;
    }

    static SPErr GetSurface(DRAWBOT_DrawRef ref, DRAWBOT_SurfaceRef* out) {
        Window* w = FromTag(ref, kDrawRefMagic);
        if (!w || !out) return PF_Err_BAD_CALLBACK_PARAM;
        if (Fails(w, "GetSurface")) return Injected(w);
        *out = reinterpret_cast<DRAWBOT_SurfaceRef>(&w->surface_tag_);
        return kSPNoError;
    }

    // --- DRAWBOT Supplier Suite -----------------------------------------------
    static SPErr NewPen(DRAWBOT_SupplierRef supplier, const DRAWBOT_ColorRGBA* color, float size,
                        DRAWBOT_PenRef* out) {
        Window* w = FromTag(supplier, kSupplierMagic);
        if (!w || !color || !out) return PF_Err_BAD_CALLBACK_PARAM;
        if (Fails(w, "NewPen")) return Injected(w);
        Object* pen = w->NewObject(true);
        pen->color = *color;
        pen->width = size;
        *out = reinterpret_cast<DRAWBOT_PenRef>(pen);
        return kSPNoError;
    }

    static SPErr NewPath(DRAWBOT_SupplierRef supplier, DRAWBOT_PathRef* out) {
        Window* w = FromTag(supplier, kSupplierMagic);
        if (!w || !out) return PF_Err_BAD_CALLBACK_PARAM;
        if (Fails(w, "NewPath")) return Injected(w);
        *out = reinterpret_cast<DRAWBOT_PathRef>(w->NewObject(false));
        return kSPNoError;
    }

    static SPErr RetainObject(DRAWBOT_ObjectRef ref) {
        Object* object = AnyObject(ref);
        if (!object) return PF_Err_BAD_CALLBACK_PARAM;
        if (Fails(object->window, "RetainObject")) return Injected(object->window);
        return object->window->host_.Objects().Retained(object->ledger_id) ? SPErr{kSPNoError} : SPErr{PF_Err_BAD_CALLBACK_PARAM};
    }

    // A refused release keeps the reference: the caller still owns it.
    static SPErr ReleaseObject(DRAWBOT_ObjectRef ref) {
        Object* object = AnyObject(ref);
        if (!object) return PF_Err_BAD_CALLBACK_PARAM;
        if (Fails(object->window, "ReleaseObject")) return Injected(object->window);
        return object->window->host_.Objects().Released(object->ledger_id) ? SPErr{kSPNoError} : SPErr{PF_Err_BAD_CALLBACK_PARAM};
    }

    // --- DRAWBOT Surface Suite ------------------------------------------------
    static SPErr SurfaceStrokePath(DRAWBOT_SurfaceRef surface, DRAWBOT_PenRef pen_ref, DRAWBOT_PathRef path_ref) {
        Window* w = FromTag(surface, kSurfaceMagic);
        if (!w) return PF_Err_BAD_CALLBACK_PARAM;
        Object* pen = Live(pen_ref, kPenMagic, "StrokePath");
        Object* path = Live(path_ref, kPathMagic, "StrokePath");
        if (!pen || !path || pen->window != w || path->window != w) return PF_Err_BAD_CALLBACK_PARAM;
        if (Fails(w, "StrokePath")) return Injected(w);
        StrokeRecord record;
        record.color = pen->color;
        record.width = pen->width;
        record.path = path->path;
        Stroke(w, std::move(record));
        return kSPNoError;
    }

    // --- DRAWBOT Path Suite ---------------------------------------------------
    static SPErr Append(DRAWBOT_PathRef path_ref, const char* call, const PathElement& element) {
        Object* path = Live(path_ref, kPathMagic, call);
        if (!path) return PF_Err_BAD_CALLBACK_PARAM;
        if (Fails(path->window, call)) return Injected(path->window);
        path->path.push_back(element);
        return kSPNoError;
    }

    static SPErr MoveTo(DRAWBOT_PathRef path, float x, float y) {
        PathElement e{PathElement::Kind::Move};
        e.x = x;
        e.y = y;
        return Append(path, "MoveTo", e);
    }

    static SPErr LineTo(DRAWBOT_PathRef path, float x, float y) {
        PathElement e{PathElement::Kind::Line};
        e.x = x;
        e.y = y;
        return Append(path, "LineTo", e);
    }

    static SPErr AddArc(DRAWBOT_PathRef path, const DRAWBOT_PointF32* centre, float radius, float start,
                        float sweep) {
        if (!centre) return PF_Err_BAD_CALLBACK_PARAM;
        PathElement e{PathElement::Kind::Arc};
        e.x = centre->x;
        e.y = centre->y;
        e.radius = radius;
        e.start = start;
        e.sweep = sweep;
        return Append(path, "AddArc", e);
    }

    static SPErr Close(DRAWBOT_PathRef path) { return Append(path, "Close", PathElement{PathElement::Kind::Close}); }
};

namespace {

const PF_EffectCustomUISuite1 kCustomUISuite = {&OverlaySuiteAccess::GetDrawingReference};
const PF_EffectCustomUIOverlayThemeSuite1 kThemeSuite = {&OverlaySuiteAccess::ThemeStrokePath};
const DRAWBOT_DrawbotSuite1 kDrawSuite = {&OverlaySuiteAccess::GetSupplier, &OverlaySuiteAccess::GetSurface};
const DRAWBOT_SupplierSuite1 kSupplierSuite = {&OverlaySuiteAccess::NewPen, &OverlaySuiteAccess::NewPath,
                                               &OverlaySuiteAccess::RetainObject, &OverlaySuiteAccess::ReleaseObject};
const DRAWBOT_SurfaceSuite1 kSurfaceSuite = {&OverlaySuiteAccess::SurfaceStrokePath};
const DRAWBOT_PathSuite1 kPathSuite = {&OverlaySuiteAccess::MoveTo, &OverlaySuiteAccess::LineTo,
                                       &OverlaySuiteAccess::AddArc, &OverlaySuiteAccess::Close};

}  // namespace

void RegisterOverlaySuites(vhost::Host& host) {
    host.RegisterSuite(kPFEffectCustomUISuite, kPFEffectCustomUISuiteVersion1, &kCustomUISuite);
    host.RegisterSuite(kPFEffectCustomUIOverlayThemeSuite, kPFEffectCustomUIOverlayThemeSuiteVersion1, &kThemeSuite);
    host.RegisterSuite(kDRAWBOT_DrawSuite, kDRAWBOT_DrawSuite_Version1, &kDrawSuite);
    host.RegisterSuite(kDRAWBOT_SupplierSuite, kDRAWBOT_SupplierSuite_Version1, &kSupplierSuite);
    host.RegisterSuite(kDRAWBOT_SurfaceSuite, kDRAWBOT_SurfaceSuite_Version1, &kSurfaceSuite);
    host.RegisterSuite(kDRAWBOT_PathSuite, kDRAWBOT_PathSuite_Version1, &kPathSuite);
}

}  // namespace voverlay
