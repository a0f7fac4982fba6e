// Helpers shared by the validator's checks.
#include <algorithm>
#include <atomic>
#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdio>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <thread>

#include "host/ApiNames.h"
#include "api/AE_EffectSuites.h"
#include "validator/Checks.h"
#include "api/DrawbotSuites.h"
#include "host/HostError.h"
#include "host/Render.h"

namespace vvalidator {


// Every suite the reference host serves.
const std::vector<std::string>& AllSuites() {
    static const std::vector<std::string> names = {
        kPFANSISuite,         kPFPixelFormatSuite,   kPFIterate8Suite,       kPFIterate16Suite,
        kPFEffectCustomUISuite, kPFEffectCustomUIOverlayThemeSuite, kDRAWBOT_DrawSuite, kDRAWBOT_SupplierSuite,
        kDRAWBOT_SurfaceSuite, kDRAWBOT_PathSuite};
    return names;
}

// The host drawing calls and the creation of pens and paths.
const std::vector<std::string>& DrawingCalls() {
    static const std::vector<std::string> names = {
        "PF_GetDrawingReference", "GetSupplier", "GetSurface", "NewPen",     "NewPath",     "MoveTo",   "LineTo",
        "AddArc",                 "Close",       "StrokePath", "PF_StrokePath", "RetainObject", "ReleaseObject"};
    return names;
}

const std::vector<std::string>& ConversionCalls() {
    static const std::vector<std::string> names = {"layer_to_comp", "comp_to_layer", "source_to_frame",
                                                   "frame_to_source"};
    return names;
}

// A host after the set-up sequence, each step checked.
std::unique_ptr<vhost::Host> SetUpHost(CheckContext& ctx, const vhost::PluginModule& module) {
    auto host = std::make_unique<vhost::Host>(module, ctx.app);
    const PF_Err g = SendChecked(*host, "global set-up", ctx.findings, ctx.counters, [&]() { return host->GlobalSetup(); });
    if (g != PF_Err_NONE) ctx.findings.Add("global set-up returned " + vhost::DescribeError(g));
    CheckLedgers(*host, "global set-up", ctx.findings);
    const PF_Err p = SendChecked(*host, "parameter set-up", ctx.findings, ctx.counters, [&]() { return host->ParamsSetup(); });
    if (p != PF_Err_NONE) ctx.findings.Add("parameter set-up returned " + vhost::DescribeError(p));
    CheckLedgers(*host, "parameter set-up", ctx.findings);
    host->InData().width = 640;
    host->InData().height = 480;
    ResetParams(*host);
    return host;
}

FrameSpec SmallFrame(CheckContext& ctx, vhost::PixelLayout layout) {
    FrameSpec spec;
    spec.layout = layout;
    spec.width = ctx.Uniform(1, 96);
    spec.height = ctx.Uniform(1, 96);
    return spec;
}

voverlay::WindowView View(PF_WindowType type, double zoom) {
    voverlay::WindowView view;
    view.type = type;
    view.zoom = zoom;
    if (type == PF_Window_COMP) {
        view.layer_offset_x = 37;
        view.layer_offset_y = 21;
        view.pan_x = -13;
        view.pan_y = 8;
    }
    return view;
}

PF_Point Jitter(CheckContext& ctx, PF_Point p, int reach) {
    return PF_Point{p.h + ctx.Uniform(-reach, reach), p.v + ctx.Uniform(-reach, reach)};
}

PF_Point AnyPoint(CheckContext& ctx, const voverlay::OverlayWindow& window) {
    // Anywhere in the window and well beyond it.
    return PF_Point{ctx.Uniform(-window.Width(), 2 * window.Width()), ctx.Uniform(-window.Height(), 2 * window.Height())};
}

// Clicks targets until one is taken; true when a gesture is open.
bool GrabSomething(EventDriver& driver) {
    for (const PF_Point& t : driver.Targets()) {
        if (driver.Click(t)) return true;
    }
    return false;
}

// One gesture of a random kind. Returns the number of events sent.
void PlayGesture(CheckContext& ctx, EventDriver& driver, const voverlay::OverlayWindow& window) {
    const std::vector<PF_Point>& targets = driver.Targets();
    const PF_Point start = targets.empty() || ctx.Next() % 4 == 0 ? AnyPoint(ctx, window)
                                                                  : Jitter(ctx, ctx.Choose(targets), 18);
    const int kind = static_cast<int>(ctx.Next() % 5);
    if (!driver.Click(start)) return;
    const int steps = ctx.Uniform(1, 6);
    const PF_Point end = AnyPoint(ctx, window);
    for (int i = 1; i <= steps; ++i) {
        const PF_Point at{start.h + (end.h - start.h) * i / steps, start.v + (end.v - start.v) * i / steps};
        const bool last = i == steps;
        if (kind == 1 && last) {
            // Cut short: the host never sends the last event.
            driver.Drag(at, false);
            driver.Abandon();
            return;
        }
        if (kind == 2 && i == 1) {
            // The user clicks again before the gesture is over.
            driver.Click(at, true);
            continue;
        }
        if (kind == 3 && i == 1) driver.Draw();
        driver.Drag(at, last);
    }
    if (kind == 4) driver.Draw();
}

}  // namespace vvalidator
