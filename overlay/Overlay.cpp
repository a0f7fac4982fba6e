#include "overlay/Overlay.h"

#include "support/InputError.h"

#include <algorithm>
#include <cairo.h>
#include <cmath>
#include <cstring>

#include <nlohmann/json.hpp>

#include "api/FixedPoint.h"
#include "host/HostError.h"
#include "overlay/OverlayInternal.h"

namespace voverlay {

namespace {

// A view's coordinate in 16.16 units, halves rounded to even as this window
// always has, not away from zero as vfixed::FromDouble: at zoom 2 every odd
// coordinate halves to a .5, so the other rounding would move strokes and
// clicks by one unit.
PF_Fixed FixedFromReal(double v) { return vfixed::SaturateWhole(std::nearbyint(v)); }

// Checkerboard of the window background, in window pixels.
const int kCheckerSize = 8;
const float kCheckerLight = 0.60f;
const float kCheckerDark = 0.40f;

}  // namespace

PF_WindowType ParseWindowType(const std::string& name, const std::string& option) {
    if (name == "layer") return PF_Window_LAYER;
    if (name == "comp" || name == "composition") return PF_Window_COMP;
    throw vsupport::InputError(option + ": unknown window '" + name + "' (expected 'layer' or 'comp')");
}

const char* WindowTypeName(PF_WindowType type) {
    if (type == PF_Window_LAYER) return "layer";
    if (type == PF_Window_COMP) return "comp";
    return "other";
}

// The four conversions a host passes in PF_EventExtra.cbs; refcon is the window.
struct OverlayCallbacks {
    static OverlayWindow* Window(void* refcon, PF_ContextH contextH) {
        auto* window = static_cast<OverlayWindow*>(refcon);
        if (!window || WindowOfContext(contextH) != window) return nullptr;
        return window;
    }

    static PF_Err LayerToComp(void* refcon, PF_ContextH contextH, A_long, A_long, PF_FixedPoint* pt) {
        OverlayWindow* w = Window(refcon, contextH);
        if (!w || !pt) return PF_Err_BAD_CALLBACK_PARAM;
        if (w->host_.Faults().ShouldFail("layer_to_comp")) return w->host_.Faults().injected_error;
        pt->x = FixedFromReal(pt->x + w->view_.layer_offset_x * vfixed::kOne);
        pt->y = FixedFromReal(pt->y + w->view_.layer_offset_y * vfixed::kOne);
        return PF_Err_NONE;
    }

    static PF_Err CompToLayer(void* refcon, PF_ContextH contextH, A_long, A_long, PF_FixedPoint* pt) {
        OverlayWindow* w = Window(refcon, contextH);
        if (!w || !pt) return PF_Err_BAD_CALLBACK_PARAM;
        if (w->host_.Faults().ShouldFail("comp_to_layer")) return w->host_.Faults().injected_error;
        pt->x = FixedFromReal(pt->x - w->view_.layer_offset_x * vfixed::kOne);
        pt->y = FixedFromReal(pt->y - w->view_.layer_offset_y * vfixed::kOne);
        return PF_Err_NONE;
    }

    static PF_Err SourceToFrame(void* refcon, PF_ContextH contextH, PF_FixedPoint* pt) {
        OverlayWindow* w = Window(refcon, contextH);
        if (!w || !pt) return PF_Err_BAD_CALLBACK_PARAM;
        if (w->host_.Faults().ShouldFail("source_to_frame")) return w->host_.Faults().injected_error;
        pt->x = FixedFromReal(pt->x * w->view_.zoom + w->view_.pan_x * vfixed::kOne);
        pt->y = FixedFromReal(pt->y * w->view_.zoom + w->view_.pan_y * vfixed::kOne);
        return PF_Err_NONE;
    }

    static PF_Err FrameToSource(void* refcon, PF_ContextH contextH, PF_FixedPoint* pt) {
        OverlayWindow* w = Window(refcon, contextH);
        if (!w || !pt) return PF_Err_BAD_CALLBACK_PARAM;
        if (w->host_.Faults().ShouldFail("frame_to_source")) return w->host_.Faults().injected_error;
        pt->x = FixedFromReal((pt->x - w->view_.pan_x * vfixed::kOne) / w->view_.zoom);
        pt->y = FixedFromReal((pt->y - w->view_.pan_y * vfixed::kOne) / w->view_.zoom);
        return PF_Err_NONE;
    }
};

OverlayWindow* WindowOfContext(PF_ContextH contextH) {
    if (!contextH || !*contextH || (*contextH)->magic != kContextMagic) return nullptr;
    auto* tag = static_cast<OverlayWindow::Tag*>((*contextH)->reserved_drawref);
    return tag && tag->magic == kDrawRefMagic ? tag->window : nullptr;
}

namespace {

void CheckView(const WindowView& view) {
    if (!(view.zoom > 0.0) || !std::isfinite(view.zoom) || view.zoom > 64.0) {
        throw vhost::HostError("zoom " + std::to_string(view.zoom) + " is outside 0 (exclusive) to 64");
    }
}

void CheckSize(double w, double h, const char* advice) {
    if (w > 32768.0 || h > 32768.0 || w * h > 67108864.0) {
        throw vhost::HostError("window of " + std::to_string(static_cast<long>(w)) + "x" +
                        std::to_string(static_cast<long>(h)) + " pixels is too large" + advice);
    }
}

}  // namespace

OverlayWindow::OverlayWindow(vhost::Host& host, const WindowView& view, int layer_width, int layer_height)
    : host_(host), view_(view), layer_width_(layer_width), layer_height_(layer_height) {
    if (layer_width <= 0 || layer_height <= 0) {
        throw vhost::HostError("window over an empty layer (" + std::to_string(layer_width) + "x" +
                        std::to_string(layer_height) + ")");
    }
    CheckView(view);
    // The composition is large enough to hold the layer at its offset.
    double content_w = layer_width, content_h = layer_height;
    if (view.type == PF_Window_COMP) {
        content_w = std::max(content_w, view.layer_offset_x + layer_width);
        content_h = std::max(content_h, view.layer_offset_y + layer_height);
    }
    const double w = std::ceil(content_w * view.zoom), h = std::ceil(content_h * view.zoom);
    CheckSize(w, h, " (zoom out)");
    Init(std::max(1, static_cast<int>(w)), std::max(1, static_cast<int>(h)));
}

OverlayWindow::OverlayWindow(vhost::Host& host, const WindowView& view, int layer_width, int layer_height,
                             int window_width, int window_height)
    : host_(host), view_(view), layer_width_(layer_width), layer_height_(layer_height) {
    if (layer_width <= 0 || layer_height <= 0) {
        throw vhost::HostError("window over an empty layer (" + std::to_string(layer_width) + "x" +
                        std::to_string(layer_height) + ")");
    }
    CheckView(view);
    Init(window_width, window_height);
}

void OverlayWindow::Init(int window_width, int window_height) {
    RegisterOverlaySuites(host_);
    draw_tag_ = Tag{kDrawRefMagic, this};
    supplier_tag_ = Tag{kSupplierMagic, this};
    surface_tag_ = Tag{kSurfaceMagic, this};
    context_.magic = kContextMagic;
    context_.w_type = view_.type;
    context_.reserved_drawref = &draw_tag_;
    context_ptr_ = &context_;
    MakeSurface(window_width, window_height);
}

void OverlayWindow::MakeSurface(int window_width, int window_height) {
    if (window_width <= 0 || window_height <= 0) {
        throw vhost::HostError("window of " + std::to_string(window_width) + "x" + std::to_string(window_height) +
                        " pixels is empty");
    }
    CheckSize(window_width, window_height, "");
    cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, window_width, window_height);
    if (cairo_surface_status(surface) != CAIRO_STATUS_SUCCESS) {
        cairo_surface_destroy(surface);
        throw vhost::HostError("cannot make a window picture of " + std::to_string(window_width) + "x" +
                        std::to_string(window_height));
    }
    cairo_surface_destroy(surface_);
    surface_ = surface;
    width_ = window_width;
    height_ = window_height;
    ShowFrame(nullptr, 0, 0);
}

void OverlayWindow::SetView(const WindowView& view) {
    CheckView(view);
    view_ = view;
    context_.w_type = view.type;
}

void OverlayWindow::Resize(int window_width, int window_height) { MakeSurface(window_width, window_height); }

OverlayWindow::~OverlayWindow() { cairo_surface_destroy(surface_); }

void OverlayWindow::WindowToLayer(double& x, double& y) const {
    x = (x - view_.pan_x) / view_.zoom;
    y = (y - view_.pan_y) / view_.zoom;
    if (view_.type == PF_Window_COMP) {
        x -= view_.layer_offset_x;
        y -= view_.layer_offset_y;
    }
}

void OverlayWindow::ShowFrame(const LayerRow& rows, int width, int height) {
    cairo_surface_flush(surface_);
    unsigned char* data = cairo_image_surface_get_data(surface_);
    const int stride = cairo_image_surface_get_stride(surface_);
    std::vector<float> row(rows ? static_cast<size_t>(std::max(width, 0)) * 4 : 0);
    double fetched = -1;
    for (int j = 0; j < height_; ++j) {
        auto* out = reinterpret_cast<uint32_t*>(data + static_cast<size_t>(j) * stride);
        // A window row is one layer row whatever the column: the view only scales and moves.
        double x0 = 0, y = j;
        WindowToLayer(x0, y);
        // Integer window coordinates name pixel centres, as the strokes do.
        const double py = std::floor(y + 0.5);
        const bool inside = rows && py >= 0 && py < height;
        if (inside && py != fetched) {
            rows(static_cast<int>(py), row.data());
            fetched = py;
        }
        for (int i = 0; i < width_; ++i) {
            const float bg = ((i / kCheckerSize + j / kCheckerSize) % 2) ? kCheckerDark : kCheckerLight;
            float r = bg, g = bg, b = bg;
            if (inside) {
                double x = i, unused = j;
                WindowToLayer(x, unused);
                const double px = std::floor(x + 0.5);
                if (px >= 0 && px < width) {
                    const float* p = &row[static_cast<size_t>(px) * 4];
                    const float a = std::clamp(std::isnan(p[3]) ? 0.0f : p[3], 0.0f, 1.0f);
                    const auto over = [&](float c) {
                        const float v = std::clamp(std::isnan(c) ? 0.0f : c, 0.0f, 1.0f);
                        return v * a + bg * (1.0f - a);
                    };
                    r = over(p[0]);
                    g = over(p[1]);
                    b = over(p[2]);
                }
            }
            const auto byte = [](float v) { return static_cast<uint32_t>(std::lround(v * 255.0f)); };
            out[i] = 0xFF000000u | (byte(r) << 16) | (byte(g) << 8) | byte(b);
        }
    }
    cairo_surface_mark_dirty(surface_);
}

PF_EventExtra OverlayWindow::NewEvent(PF_EventType type) {
    PF_EventExtra event{};
    event.contextH = &context_ptr_;
    event.e_type = type;
    event.cbs.refcon = this;
    event.cbs.layer_to_comp = &OverlayCallbacks::LayerToComp;
    event.cbs.comp_to_layer = &OverlayCallbacks::CompToLayer;
    event.cbs.source_to_frame = &OverlayCallbacks::SourceToFrame;
    event.cbs.frame_to_source = &OverlayCallbacks::FrameToSource;
    event.evt_out_flags = PF_EO_NONE;
    if (type == PF_Event_DRAW) {
        event.u.draw.update_rect = PF_Rect{0, 0, width_, height_};
        event.u.draw.depth = 32;
    }
    return event;
}

PF_Err OverlayWindow::SendEvent(PF_EventExtra& event, std::vector<int>* changed) {
    std::vector<PF_ParamDef>& list = host_.Params();
    std::vector<PF_ParamDef> copy = list;
    std::vector<PF_ParamDef*> pointers;
    for (PF_ParamDef& param : copy) {
        param.uu.change_flags = PF_ChangeFlag_NONE;
        pointers.push_back(&param);
    }
    // The layer being shown decides the rotation arm's length.
    PF_InData& in = host_.InData();
    const A_long saved_w = in.width, saved_h = in.height;
    in.width = layer_width_;
    in.height = layer_height_;
    const PF_Err err = host_.Send(PF_Cmd_EVENT, pointers.data(), nullptr, &event);
    in.width = saved_w;
    in.height = saved_h;
    for (size_t i = 0; i < copy.size() && i < list.size(); ++i) {
        if (copy[i].uu.change_flags & PF_ChangeFlag_CHANGED_VALUE) {
            list[i].u = copy[i].u;
            if (changed) changed->push_back(static_cast<int>(i));
        }
    }
    return err;
}

PF_Err OverlayWindow::Draw(PF_EventOutFlags* flags) {
    PF_EventExtra event = NewEvent(PF_Event_DRAW);
    const PF_Err err = SendEvent(event);
    if (flags) *flags = event.evt_out_flags;
    return err;
}

OverlayWindow::DrawObject* OverlayWindow::NewObject(bool is_pen) {
    auto object = std::make_unique<DrawObject>();
    object->magic = is_pen ? kPenMagic : kPathMagic;
    object->window = this;
    object->is_pen = is_pen;
    object->ledger_id = host_.Objects().Created(is_pen ? vhost::ObjectLedger::Kind::Pen : vhost::ObjectLedger::Kind::Path);
    object->color = DRAWBOT_ColorRGBA{0, 0, 0, 0};
    object->width = 0;
    objects_.push_back(std::move(object));
    return objects_.back().get();
}

namespace {

void AddPath(cairo_t* cr, const std::vector<PathElement>& path) {
    const double kDeg = M_PI / 180.0;
    for (const PathElement& e : path) {
        switch (e.kind) {
            case PathElement::Kind::Move: cairo_move_to(cr, e.x, e.y); break;
            case PathElement::Kind::Line: cairo_line_to(cr, e.x, e.y); break;
            case PathElement::Kind::Arc: {
                const double a0 = e.start * kDeg, a1 = (static_cast<double>(e.start) + e.sweep) * kDeg;
                if (!cairo_has_current_point(cr)) cairo_new_sub_path(cr);
                if (e.sweep >= 0) {
                    cairo_arc(cr, e.x, e.y, e.radius, a0, a1);
                } else {
                    cairo_arc_negative(cr, e.x, e.y, e.radius, a0, a1);
                }
                break;
            }
            case PathElement::Kind::Close: cairo_close_path(cr); break;
        }
    }
}

// The host's overlay colour and its shadow.
const double kThemeColor[3] = {0.47, 0.78, 1.0};
const double kShadowAlpha = 0.75;

}  // namespace

void OverlayWindow::Rasterise(const StrokeRecord& stroke) {
    cairo_t* cr = cairo_create(surface_);
    cairo_set_antialias(cr, CAIRO_ANTIALIAS_DEFAULT);
    // Integer window coordinates name pixels: stroke through their centres.
    cairo_translate(cr, 0.5, 0.5);
    cairo_set_line_join(cr, CAIRO_LINE_JOIN_MITER);
    cairo_set_line_cap(cr, CAIRO_LINE_CAP_BUTT);
    if (stroke.by_theme) {
        cairo_set_line_width(cr, 1.0);
        if (stroke.shadow) {
            cairo_save(cr);
            cairo_translate(cr, 1.0, 1.0);
            AddPath(cr, stroke.path);
            cairo_set_source_rgba(cr, 0.0, 0.0, 0.0, kShadowAlpha);
            cairo_stroke(cr);
            cairo_restore(cr);
        }
        AddPath(cr, stroke.path);
        cairo_set_source_rgb(cr, kThemeColor[0], kThemeColor[1], kThemeColor[2]);
        cairo_stroke(cr);
    } else {
        AddPath(cr, stroke.path);
        cairo_set_source_rgba(cr, stroke.color.red, stroke.color.green, stroke.color.blue, stroke.color.alpha);
        cairo_set_line_width(cr, stroke.width > 0 ? stroke.width : 1.0);
        cairo_stroke(cr);
    }
    cairo_destroy(cr);
}

nlohmann::ordered_json OverlayWindow::TraceJson() const {
    nlohmann::ordered_json strokes = nlohmann::ordered_json::array();
    for (const StrokeRecord& s : strokes_) {
        nlohmann::ordered_json path = nlohmann::ordered_json::array();
        for (const PathElement& e : s.path) {
            switch (e.kind) {
                case PathElement::Kind::Move: path.push_back({"move", e.x, e.y}); break;
                case PathElement::Kind::Line: path.push_back({"line", e.x, e.y}); break;
                case PathElement::Kind::Arc: path.push_back({"arc", e.x, e.y, e.radius, e.start, e.sweep}); break;
                case PathElement::Kind::Close: path.push_back(nlohmann::ordered_json::array({"close"})); break;
            }
        }
        nlohmann::ordered_json j;
        if (s.by_theme) {
            j = {{"by", "theme"}, {"shadow", s.shadow}, {"path", path}};
        } else {
            j = {{"by", "pen"},
                 {"color", {s.color.red, s.color.green, s.color.blue, s.color.alpha}},
                 {"width", s.width},
                 {"path", path}};
        }
        strokes.push_back(j);
    }
    return nlohmann::ordered_json{{"window", WindowTypeName(view_.type)}, {"strokes", strokes}};
}

std::vector<uint8_t> OverlayWindow::PictureRGBA8() const {
    cairo_surface_flush(surface_);
    const unsigned char* data = cairo_image_surface_get_data(surface_);
    const int stride = cairo_image_surface_get_stride(surface_);
    std::vector<uint8_t> out(static_cast<size_t>(width_) * height_ * 4);
    for (int j = 0; j < height_; ++j) {
        const auto* row = reinterpret_cast<const uint32_t*>(data + static_cast<size_t>(j) * stride);
        for (int i = 0; i < width_; ++i) {
            const uint32_t p = row[i];  // opaque, so premultiplied equals straight
            uint8_t* o = &out[(static_cast<size_t>(j) * width_ + i) * 4];
            o[0] = static_cast<uint8_t>(p >> 16);
            o[1] = static_cast<uint8_t>(p >> 8);
            o[2] = static_cast<uint8_t>(p);
            o[3] = 255;
        }
    }
    return out;
}

GestureResult OverlayWindow::Gesture(PF_Point from, PF_Point to, int steps) {
    Press(from);
    // The drag events lie along the line, the last one at `to`.
    for (int i = 1; i < steps; ++i) {
        const double t = static_cast<double>(i) / steps;
        Move(PF_Point{static_cast<A_long>(std::lround(from.h + (to.h - from.h) * t)),
                      static_cast<A_long>(std::lround(from.v + (to.v - from.v) * t))});
    }
    if (steps < 1) return FinishGesture();
    return Release(to);
}

void OverlayWindow::Press(PF_Point at) {
    gesture_.emplace();
    GestureState& g = *gesture_;
    g.event = NewEvent(PF_Event_DO_CLICK);
    g.event.u.do_click.screen_point = at;
    g.event.u.do_click.num_clicks = 1;
    g.result.err = SendEvent(g.event, &g.changed);
    g.result.handled = (g.event.evt_out_flags & PF_EO_HANDLED_EVENT) != 0;
    g.result.handle = g.result.handled ? static_cast<int>(g.event.u.do_click.continue_refcon[0]) : 0;
}

bool OverlayWindow::Dragging() const {
    return gesture_ && gesture_->result.err == PF_Err_NONE && gesture_->event.u.do_click.send_drag;
}

PF_Err OverlayWindow::SendDrag(PF_Point at, bool last) {
    // Drag events follow only while the effect asks for them; the click record
    // travels from one event to the next.
    if (!Dragging()) return PF_Err_NONE;
    GestureState& g = *gesture_;
    PF_EventExtra drag = NewEvent(PF_Event_DRAG);
    drag.u.do_click = g.event.u.do_click;
    drag.u.do_click.screen_point = at;
    drag.u.do_click.when = ++g.when;
    drag.u.do_click.last_time = last;
    g.result.err = SendEvent(drag, &g.changed);
    ++g.result.drag_events;
    g.event = drag;
    return g.result.err;
}

PF_Err OverlayWindow::Move(PF_Point at) { return SendDrag(at, false); }

GestureResult OverlayWindow::Release(PF_Point at) {
    SendDrag(at, true);
    return FinishGesture();
}

GestureResult OverlayWindow::FinishGesture() {
    if (!gesture_) return GestureResult{};
    GestureResult result = gesture_->result;
    std::vector<int>& changed = gesture_->changed;
    std::sort(changed.begin(), changed.end());
    changed.erase(std::unique(changed.begin(), changed.end()), changed.end());
    result.changed = changed;
    gesture_.reset();
    return result;
}

}  // namespace voverlay
