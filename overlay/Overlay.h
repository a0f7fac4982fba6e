// A host window in which an effect draws its on-screen overlay and in which
// the user clicks and drags: its view (zoom, pan, the layer's place in the
// composition), the event records and conversion callbacks a host passes with
// overlay events, the picture the effect draws on, and a trace of every stroke.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <nlohmann/json_fwd.hpp>

#include "api/AE_EffectSuites.h"
#include "api/AE_EffectUI.h"
#include "host/Host.h"

typedef struct _cairo_surface cairo_surface_t;

namespace voverlay {

struct WindowView {
    // PF_Window_LAYER, PF_Window_COMP, or any other window type (the effect
    // controls window, PF_Window_NONE...) to see what the effect does there.
    PF_WindowType type = PF_Window_LAYER;
    double zoom = 1.0;
    // Window pixels by which the picture is moved.
    double pan_x = 0.0, pan_y = 0.0;
    // The layer's top-left corner in the composition (composition window only).
    double layer_offset_x = 0.0, layer_offset_y = 0.0;
};

// "layer" / "comp", as a user typed it for `option`; throws InputError
// naming the option and the value otherwise.
PF_WindowType ParseWindowType(const std::string& name, const std::string& option);
// "layer", "comp" or "other".
const char* WindowTypeName(PF_WindowType type);

// One element of a stroked path, window coordinates.
struct PathElement {
    enum class Kind { Move, Line, Arc, Close };
    Kind kind;
    float x = 0, y = 0;                     // move, line: the point; arc: the centre
    float radius = 0, start = 0, sweep = 0;  // arc, degrees
};

struct StrokeRecord {
    bool by_theme = false;
    bool shadow = false;                       // theme strokes
    DRAWBOT_ColorRGBA color{0, 0, 0, 0};       // pen strokes
    float width = 0;                           // pen strokes
    std::vector<PathElement> path;
};

// What a click-and-drag gesture did.
struct GestureResult {
    PF_Err err = PF_Err_NONE;  // first error an event returned
    bool handled = false;      // the click was taken by the overlay
    int handle = 0;            // what the click recorded in continue_refcon[0]
    std::vector<int> changed;  // parameter indices flagged changed, in index order
    int drag_events = 0;       // drag events actually sent
};

// The custom UI, overlay theme and four drawing suites, drawn with Cairo.
// Every OverlayWindow registers them on its host; registering again is harmless.
void RegisterOverlaySuites(vhost::Host& host);

class OverlayWindow;
// The window behind an event's context handle, or null when it is not one of ours.
OverlayWindow* WindowOfContext(PF_ContextH contextH);

class OverlayWindow {
public:
    // A window over a layer of the given size in `host`, just large enough to
    // show the picture at the view's zoom.
    OverlayWindow(vhost::Host& host, const WindowView& view, int layer_width, int layer_height);
    // A window of a size of its own, as an interactive host's view is: the
    // picture may lie partly or wholly outside it.
    OverlayWindow(vhost::Host& host, const WindowView& view, int layer_width, int layer_height, int window_width,
                  int window_height);
    ~OverlayWindow();
    OverlayWindow(const OverlayWindow&) = delete;
    OverlayWindow& operator=(const OverlayWindow&) = delete;

    vhost::Host& HostRef() { return host_; }
    const WindowView& View() const { return view_; }
    int Width() const { return width_; }
    int Height() const { return height_; }

    // A new zoom, pan or window type (the picture is left as it is until the
    // next ShowFrame), and a new size in window pixels (the picture restarts as
    // the bare checkerboard).
    void SetView(const WindowView& view);
    void Resize(int window_width, int window_height);

    // The view's conversion in real numbers (the callbacks use the same maths on 16.16).
    void WindowToLayer(double& x, double& y) const;

    // Fills `rgba` with row `y` of the layer's picture: straight float RGBA,
    // the layer's width in pixels.
    using LayerRow = std::function<void(int y, float* rgba)>;
    // Paints the window: a grey checkerboard with the layer's picture
    // (width x height, asked for row by row, so no whole float copy of a
    // frame is ever held) composited over it at the window's zoom. Without
    // rows only the checkerboard.
    void ShowFrame(const LayerRow& rows, int width, int height);

    // An event record for this window, as a host fills it before sending.
    PF_EventExtra NewEvent(PF_EventType type);
    // Sends one event through the effect's entry point, as a host does: the
    // effect gets a copy of the parameter list with every change flag clear,
    // and the values it flags changed are kept in the host's list (their
    // indices appended to `changed`); anything it writes without the flag is lost.
    PF_Err SendEvent(PF_EventExtra& event, std::vector<int>* changed = nullptr);
    // Sends a draw event; the flags the effect left are returned through `flags`.
    PF_Err Draw(PF_EventOutFlags* flags = nullptr);

    // A click at `from` (window pixels) and `steps` drag events along the line
    // to `to`, the last carrying last_time. Between events the parameter values
    // the effect flagged changed are kept in the host's list and their flags cleared.
    // Gesture() plays a whole gesture through these three.
    GestureResult Gesture(PF_Point from, PF_Point to, int steps);

    // One gesture event by event, as an interactive host sends it: Press sends
    // the click, Move one drag event while the effect asks for them, Release
    // the last drag event (carrying last_time) and returns what the gesture
    // did. Move and Release do nothing once the effect stopped asking or an
    // event failed; a new Press abandons a gesture in flight.
    void Press(PF_Point at);
    PF_Err Move(PF_Point at);
    GestureResult Release(PF_Point at);
    // A click was taken and the effect still asks for drag events.
    bool Dragging() const;

    // Strokes are rasterised into the picture as they are made; a host that
    // draws the recorded strokes itself turns that off.
    void SetRasterise(bool on) { rasterise_ = on; }

    // Every stroke made on this window since it was made (or the trace cleared), in order.
    const std::vector<StrokeRecord>& Strokes() const { return strokes_; }
    void ClearStrokes() { strokes_.clear(); }
    // {"window": ..., "strokes": [...]} with window-space float coordinates.
    nlohmann::ordered_json TraceJson() const;

    // The picture as straight 8-bit RGBA, row-major, Width() x Height(), opaque.
    std::vector<uint8_t> PictureRGBA8() const;

    // Misuses of the drawing suites seen on this window (a freed path drawn
    // into, a pen passed as a path...); empty for a well-behaved effect.
    const std::vector<std::string>& Misuses() const { return misuses_; }

private:
    friend struct OverlaySuiteAccess;
    friend struct OverlayCallbacks;
    friend OverlayWindow* WindowOfContext(PF_ContextH contextH);

    struct Tag {
        uint32_t magic;
        OverlayWindow* window;
    };
    struct DrawObject {
        uint32_t magic;
        OverlayWindow* window;
        bool is_pen;
        int ledger_id;
        DRAWBOT_ColorRGBA color;
        float width;
        std::vector<PathElement> path;
    };

    struct GestureState {
        PF_EventExtra event;  // the click record travels from event to event
        GestureResult result;
        std::vector<int> changed;
        A_u_long when;  // value-initialised to 0 by emplace()
    };

    void Init(int window_width, int window_height);
    void MakeSurface(int window_width, int window_height);
    DrawObject* NewObject(bool is_pen);
    void Rasterise(const StrokeRecord& stroke);
    PF_Err SendDrag(PF_Point at, bool last);
    GestureResult FinishGesture();

    vhost::Host& host_;
    WindowView view_;
    int layer_width_, layer_height_;
    int width_ = 0, height_ = 0;
    PF_Context context_{};
    PF_ContextP context_ptr_ = nullptr;
    Tag draw_tag_{}, supplier_tag_{}, surface_tag_{};
    std::vector<std::unique_ptr<DrawObject>> objects_;
    std::vector<StrokeRecord> strokes_;
    std::vector<std::string> misuses_;
    cairo_surface_t* surface_ = nullptr;
    std::optional<GestureState> gesture_;
    bool rasterise_ = true;
};

}  // namespace voverlay
