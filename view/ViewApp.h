// `vellora view`: the reference host as a person works in it. A window shows
// the layer rendered through the effect over a checkerboard, the overlay the
// effect draws on every redraw, and the effect controls made from the host's
// parameter list; mouse gestures reach the effect as click and drag events.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "host/Host.h"
#include "imaging/ImageIO.h"
#include "overlay/Overlay.h"
#include "host/World.h"

namespace vview {

// A module loaded into a host that has run its set-up, as the window needs one.
class Session {
public:
    virtual ~Session() = default;
    virtual vhost::Host& Host() = 0;
};
// Opens a fresh session for a host application; the window switches hosts through it.
using SessionFactory = std::function<std::unique_ptr<Session>(vhost::HostApp app)>;

// Saving as `vellora render` writes, which the command line knows: with the
// input's channels and metadata, at the depth render would write.
struct FrameSaver {
    // The sample type render writes a frame of this host and depth at.
    std::function<vimaging::SampleType(vhost::HostApp, vhost::PixelLayout)> file_type;
    struct Saved {
        std::string render_options;         // what `vellora render` needs to make the same file
        std::vector<std::string> warnings;  // what the file could not keep
    };
    // Writes a full-resolution frame; throws naming the file (InputError or
    // HostError by cause, as imaging/AtomicFile.h says).
    std::function<Saved(const std::string& path, const vhost::World& frame, vhost::HostApp, vhost::PixelLayout)>
        save;
};

struct ViewOptions {
    std::string input_name;  // shown in the title, and the default name to save under
    vhost::HostApp host_app = vhost::HostApp::AfterEffects;
    vhost::PixelLayout layout = vhost::PixelLayout::ARGB8;
    PF_RationalScale pixel_aspect{1, 1};
    int downsample = 1;  // the view's resolution; gestures go lower still
    // Window type, layer offset, and the pan added to where the picture starts.
    voverlay::WindowView view;
    bool zoom_given = false;  // view.zoom rather than fitting the picture to the window
    int width = 1280, height = 800;
    bool report = false;    // JSON lines on standard output
    std::string save_path;  // where Ctrl+S saves; empty: ask the first time
    FrameSaver saver;       // without one, the window cannot save
};

// Says why no window can open when the environment names no display, else nothing.
std::string MissingDisplayError();

class ViewApp {
public:
    // Opens the window on `session` (already holding the values to start with)
    // and renders the first frame. Throws HostError when it cannot.
    ViewApp(const ViewOptions& options, vimaging::Image input, std::unique_ptr<Session> session,
            SessionFactory open_session);
    ~ViewApp();
    ViewApp(const ViewApp&) = delete;
    ViewApp& operator=(const ViewApp&) = delete;

    // Runs until the window closes; returns the exit status.
    int Run();

    // What the event loop does with the mouse in the picture and on every
    // redraw, reachable so benchmarks time exactly that.
    void Press(int x, int y, bool pan = false);
    void Motion(int x, int y);
    void Release(int x, int y);
    void Update();

    struct Timing {
        double update_ms = 0;  // the whole redraw: render if needed, overlay, upload, present
        double render_ms = 0;  // its render, 0 when none was needed
        int downsample = 0;    // of that render
    };
    const Timing& LastUpdate() const;
    // Where pixel (0, 0) of the picture is in the window, and the zoom.
    int OriginX() const;
    int OriginY() const;
    double Zoom() const;
    vhost::Host& Host();

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace vview
