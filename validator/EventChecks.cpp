// Checks of overlay events: draws, clicks and drags in every window.
#include <algorithm>
#include <atomic>
#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <thread>

#include "api/AE_EffectSuites.h"
#include "validator/Checks.h"
#include "api/DrawbotSuites.h"
#include "host/HostError.h"
#include "host/Render.h"

namespace vvalidator {

void CheckEvents(CheckContext& ctx) {
    vhost::PluginModule module(ctx.module_path);
    auto host = SetUpHost(ctx, module);
    std::vector<voverlay::WindowView> views;
    for (double zoom : {0.25, 0.5, 1.0, 2.0, 4.0}) {
        views.push_back(View(PF_Window_LAYER, zoom));
        views.push_back(View(PF_Window_COMP, zoom));
    }
    views.push_back(View(PF_Window_EFFECT, 1.0));
    views.push_back(View(PF_Window_NONE, 1.0));
    const int sets = 1 + ctx.level / 2;
    const int gestures = 2 * ctx.level;
    long played = 0, grabs = 0, drags = 0;
    for (const voverlay::WindowView& view : views) {
        voverlay::OverlayWindow window(*host, view, kLayerW, kLayerH);
        for (int s = 0; s < sets; ++s) {
            host->InData().width = kLayerW;
            host->InData().height = kLayerH;
            ResetParams(*host);
            if (s > 0) RandomizeParams(*host, ctx.Words(), ValueKind::Valid);
            EventDriver driver(*host, window, ctx.findings, ctx.counters);
            driver.Draw();
            for (int g = 0; g < gestures; ++g) {
                PlayGesture(ctx, driver, window);
                ++played;
                if (g % 3 == 2) driver.Draw();
            }
            // Every handle: grab it and move it a little.
            const std::vector<PF_Point> targets = driver.Targets();
            for (const PF_Point& t : targets) {
                if (driver.Click(t)) {
                    driver.Drag(Jitter(ctx, t, 30), false);
                    driver.Drag(Jitter(ctx, t, 30), true);
                }
                ++played;
            }
            grabs += driver.Grabs();
            drags += driver.Drags();
        }
    }
    ctx.summary = std::to_string(played) + " gestures in " + std::to_string(views.size()) + " windows (" +
                  std::to_string(grabs) + " grabs, " + std::to_string(drags) + " drags)";
}

}  // namespace vvalidator
