// What the validator's checks share: the context each one runs in, the
// helpers that set up hosts, frames, windows and gestures, and the checks
// themselves, one family to a file.
#pragma once

#include <memory>
#include <random>
#include <string>
#include <vector>

#include "validator/Invariants.h"
#include "overlay/Overlay.h"
#include "host/PluginModule.h"

namespace vvalidator {

struct CheckContext {
    std::string module_path;
    vhost::HostApp app;
    int level;
    std::mt19937_64 rng;
    Findings findings;
    ValidationCounters counters;
    std::string summary;

    uint64_t Next() { return rng(); }
    RandomWord Words() {
        return [this]() { return rng(); };
    }
    int Uniform(int lo, int hi) { return lo + static_cast<int>(rng() % static_cast<uint64_t>(hi - lo + 1)); }
    template <class T>
    const T& Choose(const std::vector<T>& items) {
        return items[rng() % items.size()];
    }
};

// Every suite the reference host serves.
const std::vector<std::string>& AllSuites();
// The host drawing calls and the creation of pens and paths.
const std::vector<std::string>& DrawingCalls();
// The four window conversions of an event record.
const std::vector<std::string>& ConversionCalls();

// A host after the set-up sequence, each step checked, with default values for a 640x480 layer.
std::unique_ptr<vhost::Host> SetUpHost(CheckContext& ctx, const vhost::PluginModule& module);

// A small frame of random size in `layout`.
FrameSpec SmallFrame(CheckContext& ctx, vhost::PixelLayout layout);

// Window layers are this size; the rotation arm is a fifth of the height.
constexpr int kLayerW = 320, kLayerH = 240;
// A window of `type` at `zoom`; the composition window with a layer offset and a pan.
voverlay::WindowView View(PF_WindowType type, double zoom);

// `p` moved by up to `reach` on each axis.
PF_Point Jitter(CheckContext& ctx, PF_Point p, int reach);
// Anywhere in the window and well beyond it.
PF_Point AnyPoint(CheckContext& ctx, const voverlay::OverlayWindow& window);
// Clicks targets until one is taken; true when a gesture is open.
bool GrabSomething(EventDriver& driver);
// One gesture of a random kind: whole, cut short, clicked again, or with draws between.
void PlayGesture(CheckContext& ctx, EventDriver& driver, const voverlay::OverlayWindow& window);

// The checks.
void CheckReload(CheckContext& ctx);
void CheckExports(CheckContext& ctx);
void CheckCommands(CheckContext& ctx);
void CheckParameters(CheckContext& ctx);
void CheckGeometry(CheckContext& ctx);
void CheckThreads(CheckContext& ctx);
void CheckEvents(CheckContext& ctx);
void CheckSuiteFaults(CheckContext& ctx);
void CheckDrawingFaults(CheckContext& ctx);
void CheckCallbackFaults(CheckContext& ctx);

}  // namespace vvalidator
