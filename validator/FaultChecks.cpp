// Checks under injected faults: suites withheld or refused, drawing calls and
// host callbacks failing, renders interrupted.
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

#include "host/ApiNames.h"
#include "api/AE_EffectSuites.h"
#include "validator/Checks.h"
#include "api/DrawbotSuites.h"
#include "host/HostError.h"
#include "host/Render.h"

namespace vvalidator {

namespace {

// One command under a fault, with what it may return besides PF_Err_NONE.
struct FaultCommand {
    std::string name;
    std::function<void(const std::vector<PF_Err>& allowed, Findings& out)> run;
    // Set-up answers PF_Err_NONE whatever suite the host lacks.
    bool answers_none = false;
};

}  // namespace

void CheckSuiteFaults(CheckContext& ctx) {
    vhost::PluginModule module(ctx.module_path);
    auto host = SetUpHost(ctx, module);
    vhost::Host& h = *host;
    vhost::FaultPlan& faults = h.Faults();
    voverlay::OverlayWindow layer(h, View(PF_Window_LAYER, 1.0), kLayerW, kLayerH);
    voverlay::OverlayWindow comp(h, View(PF_Window_COMP, 2.0), kLayerW, kLayerH);
    const auto reset = [&]() {
        faults.Clear();
        h.InData().width = kLayerW;
        h.InData().height = kLayerH;
        ResetParams(h);
    };

    const auto simple = [&](const std::string& name, const std::function<PF_Err()>& send) {
        return FaultCommand{name, [&, name, send](const std::vector<PF_Err>& allowed, Findings& out) {
                                // The host's own text, which a failed About must leave alone.
                                std::snprintf(h.OutData().return_msg, sizeof(h.OutData().return_msg), "host text");
                                PF_OutData before;
                                std::memcpy(&before, &h.OutData(), sizeof(before));
                                const PF_Err err = SendChecked(h, name, out, ctx.counters, send);
                                if (err != PF_Err_NONE && std::find(allowed.begin(), allowed.end(), err) == allowed.end()) {
                                    out.Add(name + ": returned " + vhost::DescribeError(err));
                                }
                                if (name == "About" && err != PF_Err_NONE &&
                                    std::strncmp(before.return_msg, h.OutData().return_msg, sizeof(before.return_msg)) != 0) {
                                    out.Add(name + ": failed yet changed return_msg");
                                }
                                if (name == "About" && err == PF_Err_NONE &&
                                    std::strncmp(before.return_msg, h.OutData().return_msg, sizeof(before.return_msg)) == 0) {
                                    out.Add(name + ": reported success without an About text");
                                }
                                CheckLedgers(h, name, out);
                            }};
    };
    std::vector<FaultCommand> commands;
    commands.push_back(simple("About", [&]() { return h.About(); }));
    commands.push_back(simple("global set-up", [&]() { return h.GlobalSetup(); }));
    commands.back().answers_none = true;
    commands.push_back(simple("parameter set-up", [&]() { return h.ParamsSetup(); }));
    commands.back().answers_none = true;
    for (vhost::PixelLayout layout : HostLayouts(ctx.app)) {
        commands.push_back(FaultCommand{std::string("render ") + PixelLayoutName(layout),
                                        [&, layout](const std::vector<PF_Err>& allowed, Findings& out) {
                                            FrameSpec spec;
                                            spec.layout = layout;
                                            spec.width = 48;
                                            spec.height = 32;
                                            RenderChecked(h, spec, 5, out, ctx.counters, allowed);
                                        }});
    }
    for (voverlay::OverlayWindow* window : {&layer, &comp}) {
        commands.push_back(FaultCommand{std::string("draw in the ") + voverlay::WindowTypeName(window->View().type) + " window",
                                        [&, window](const std::vector<PF_Err>& allowed, Findings& out) {
                                            EventDriver driver(h, *window, out, ctx.counters);
                                            driver.SetAllowed(allowed);
                                            driver.Draw();
                                        }});
    }
    // Handle positions come from a draw without faults.
    std::vector<PF_Point> targets;
    {
        EventDriver driver(h, layer, ctx.findings, ctx.counters);
        driver.Draw();
        targets = driver.Targets();
    }
    commands.push_back(FaultCommand{"click", [&](const std::vector<PF_Err>& allowed, Findings& out) {
                                        EventDriver driver(h, layer, out, ctx.counters);
                                        driver.SetAllowed(allowed);
                                        for (const PF_Point& t : targets) {
                                            if (driver.Click(t)) break;
                                        }
                                    }});
    commands.push_back(FaultCommand{"drag", [&](const std::vector<PF_Err>& allowed, Findings& out) {
                                        // The grab without the fault, the drag under it.
                                        const std::set<std::string> withheld = faults.withheld_suites;
                                        const std::set<std::string> nulls = faults.null_suites;
                                        const std::set<std::string> releases = faults.failing_releases;
                                        const bool no_basic = faults.no_basic_suite;
                                        faults.withheld_suites.clear();
                                        faults.null_suites.clear();
                                        faults.failing_releases.clear();
                                        faults.no_basic_suite = false;
                                        EventDriver driver(h, layer, out, ctx.counters);
                                        bool grabbed = false;
                                        for (const PF_Point& t : targets) {
                                            if ((grabbed = driver.Click(t))) break;
                                        }
                                        faults.withheld_suites = withheld;
                                        faults.null_suites = nulls;
                                        faults.failing_releases = releases;
                                        faults.no_basic_suite = no_basic;
                                        driver.SetAllowed(allowed);
                                        if (grabbed) driver.Drag(PF_Point{kLayerW / 2 + 20, kLayerH / 2 - 30}, true);
                                    }});

    const std::vector<PF_Err> missing = {PF_Err_BAD_CALLBACK_PARAM};
    long injected = 0;
    const auto inject = [&](const FaultCommand& command, const std::string& fault, const std::vector<PF_Err>& allowed) {
        Findings local;
        command.run(allowed, local);
        ctx.findings.Merge(local, fault + ": ");
        ++injected;
        if (command.name == "parameter set-up") {
            // Put the parameter list back for the commands after it.
            faults.Clear();
            SendChecked(h, "parameter set-up", ctx.findings, ctx.counters, [&]() { return h.ParamsSetup(); });
            CheckLedgers(h, "parameter set-up after a fault", ctx.findings);
        }
    };
    static const char* const kModes[] = {"withheld", "delivered as a null pointer", "refusing its release"};
    for (const FaultCommand& command : commands) {
        for (const std::string& suite : AllSuites()) {
            for (int mode = 0; mode < 3; ++mode) {
                reset();
                if (mode == 0) faults.withheld_suites.insert(suite);
                if (mode == 1) faults.null_suites.insert(suite);
                if (mode == 2) faults.failing_releases.insert(suite);
                inject(command, "\"" + suite + "\" " + kModes[mode],
                       mode == 2 || command.answers_none ? std::vector<PF_Err>{} : missing);
            }
        }
        reset();
        faults.no_basic_suite = true;
        inject(command, "no basic suite", command.answers_none ? std::vector<PF_Err>{} : missing);
    }
    reset();
    ctx.counters.faults += injected;
    ctx.summary = std::to_string(injected) + " faults: " + std::to_string(AllSuites().size()) +
                  " suites withheld, delivered null or refusing release, and no basic suite, for " +
                  std::to_string(commands.size()) + " commands";
}

void CheckDrawingFaults(CheckContext& ctx) {
    vhost::PluginModule module(ctx.module_path);
    auto host = SetUpHost(ctx, module);
    vhost::Host& h = *host;
    vhost::FaultPlan& faults = h.Faults();
    const int sets = 1 + ctx.level / 3;
    const int k_cap = ctx.level >= 5 ? INT_MAX : 2 * ctx.level;
    long injected = 0;
    for (PF_WindowType type : {PF_Window_LAYER, PF_Window_COMP}) {
        voverlay::OverlayWindow window(h, View(type, type == PF_Window_COMP ? 2.0 : 1.0), kLayerW, kLayerH);
        for (int s = 0; s <= sets; ++s) {
            faults.Clear();
            h.InData().width = kLayerW;
            h.InData().height = kLayerH;
            ResetParams(h);
            if (s > 0) RandomizeParams(h, ctx.Words(), ValueKind::Valid);
            std::map<std::string, int> counts;
            {
                EventDriver driver(h, window, ctx.findings, ctx.counters);
                driver.Draw();
                for (const std::string& call : DrawingCalls()) counts[call] = faults.Calls(call);
            }
            for (const std::string& call : DrawingCalls()) {
                const int n = std::min(counts[call], k_cap);
                const int runs = n > 0 ? n + 1 : 0;
                for (int k = 1; k <= runs; ++k) {
                    // k == n + 1: every call fails from the first on.
                    faults.Clear();
                    std::string fault;
                    if (k <= n) {
                        faults.FailCall(call, k, false);
                        fault = call + " failing at its call " + std::to_string(k) + " of " + std::to_string(counts[call]);
                    } else {
                        faults.FailCall(call, 1, true);
                        fault = call + " failing at every call";
                    }
                    Findings local;
                    EventDriver driver(h, window, local, ctx.counters);
                    driver.SetRefusedReleases(call == "ReleaseObject");
                    driver.Draw();
                    ctx.findings.Merge(local, fault + ": ");
                    ++injected;
                }
            }
            faults.Clear();
            faults.null_drawing_reference = true;
            {
                Findings local;
                EventDriver driver(h, window, local, ctx.counters);
                driver.Draw();
                ctx.findings.Merge(local, "a null drawing reference: ");
                ++injected;
            }
        }
    }
    faults.Clear();
    ctx.counters.faults += injected;
    ctx.summary = std::to_string(injected) + " drawing faults (each drawing call, pen and path failing at its k-th call)";
}

void CheckCallbackFaults(CheckContext& ctx) {
    vhost::PluginModule module(ctx.module_path);
    auto host = SetUpHost(ctx, module);
    vhost::Host& h = *host;
    vhost::FaultPlan& faults = h.Faults();
    long injected = 0;

    // The window conversions, failing at their k-th call during draws, clicks and drags.
    voverlay::OverlayWindow comp(h, View(PF_Window_COMP, 2.0), kLayerW, kLayerH);
    voverlay::OverlayWindow layer(h, View(PF_Window_LAYER, 0.5), kLayerW, kLayerH);
    const int k_cap = ctx.level >= 5 ? 64 : 4 * ctx.level;
    for (voverlay::OverlayWindow* window : {&comp, &layer}) {
        faults.Clear();
        h.InData().width = kLayerW;
        h.InData().height = kLayerH;
        ResetParams(h);
        // A point that grabs a handle, found without faults.
        std::optional<PF_Point> grab;
        {
            EventDriver driver(h, *window, ctx.findings, ctx.counters);
            driver.Draw();
            for (const PF_Point& t : driver.Targets()) {
                if (driver.Click(t)) {
                    grab = t;
                    driver.Drag(t, true);
                    break;
                }
            }
        }
        const PF_Point to1{window->Width() / 3, window->Height() / 4};
        const PF_Point to2{window->Width() / 2, window->Height() / 5};
        enum Phase { kDraw, kClick, kDrag };
        for (const std::string& call : ConversionCalls()) {
            for (Phase phase : {kDraw, kClick, kDrag}) {
                if (phase != kDraw && !grab) continue;
                int n = 0;
                for (int k = 0; k <= n; ++k) {
                    // k == 0 counts the calls the event makes; then each fails in turn.
                    faults.Clear();
                    ResetParams(h);
                    Findings local;
                    EventDriver driver(h, *window, local, ctx.counters);
                    if (phase == kDrag && !driver.Click(*grab)) break;
                    const int base = faults.Calls(call);
                    if (k > 0) faults.FailCall(call, base + k, false);
                    if (phase == kDraw) {
                        driver.Draw();
                    } else if (phase == kClick) {
                        driver.Click(*grab);
                    } else {
                        driver.Drag(to1, false);
                        driver.Drag(to2, true);
                    }
                    if (k == 0) {
                        n = std::min(faults.Calls(call) - base, k_cap);
                    } else {
                        ++injected;
                    }
                    if (driver.GestureOpen()) {
                        faults.Clear();
                        driver.Drag(to2, true);
                    }
                    static const char* const kPhases[] = {"draw", "click", "drag"};
                    ctx.findings.Merge(local, call + (k > 0 ? " failing at call " + std::to_string(k) : std::string(" counted")) +
                                                  " of a " + kPhases[phase] + ": ");
                }
            }
        }
    }

    // The host's own callbacks.
    faults.Clear();
    ResetParams(h);
    for (int k = 1; k <= static_cast<int>(h.Params().size()); ++k) {
        faults.Clear();
        faults.FailCall("add_param", k, false);
        const std::string what = "parameter set-up with add_param failing at call " + std::to_string(k);
        const PF_Err err = SendChecked(h, what, ctx.findings, ctx.counters, [&]() { return h.ParamsSetup(); });
        if (faults.Calls("add_param") >= k && err != faults.injected_error) {
            ctx.findings.Add(what + ": returned " + vhost::DescribeError(err) + " instead of the host's " +
                             std::to_string(faults.injected_error));
        }
        CheckLedgers(h, what, ctx.findings);
        ++injected;
    }
    {
        faults.Clear();
        faults.FailCall("register_ui", 1, false);
        const std::string what = "parameter set-up with register_ui failing";
        const PF_Err err = SendChecked(h, what, ctx.findings, ctx.counters, [&]() { return h.ParamsSetup(); });
        if (faults.Calls("register_ui") >= 1 && err != faults.injected_error) {
            ctx.findings.Add(what + ": returned " + vhost::DescribeError(err));
        }
        CheckLedgers(h, what, ctx.findings);
        ++injected;
    }
    faults.Clear();
    SendChecked(h, "parameter set-up", ctx.findings, ctx.counters, [&]() { return h.ParamsSetup(); });
    CheckLedgers(h, "parameter set-up", ctx.findings);
    if (h.IsPremiere()) {
        for (const char* call : {"ClearSupportedPixelFormats", "AddSupportedPixelFormat"}) {
            faults.Clear();
            faults.FailCall(call, 1, true);
            const std::string what = std::string("global set-up with ") + call + " failing";
            const PF_Err err = SendChecked(h, what, ctx.findings, ctx.counters, [&]() { return h.GlobalSetup(); });
            if (err != PF_Err_NONE) ctx.findings.Add(what + ": returned " + vhost::DescribeError(err));
            CheckLedgers(h, what, ctx.findings);
            ++injected;
        }
    }

    for (vhost::PixelLayout layout : HostLayouts(ctx.app)) {
        FrameSpec spec;
        spec.layout = layout;
        spec.width = 96;
        spec.height = 64;
        h.InData().width = spec.width;
        h.InData().height = spec.height;
        ResetParams(h);
        // The pixel pass failing, or the user stopping it at any row.
        Findings local;
        faults.Clear();
        faults.FailCall("iterate", 1, true);
        RenderChecked(h, spec, 9, local, ctx.counters, {faults.injected_error});
        ctx.findings.Merge(local, "iterate failing: ");
        ++injected;
        for (long rows : {0L, 1L, 17L, 63L}) {
            Findings stopped;
            faults.Clear();
            faults.abort_after_rows = rows;
            RenderChecked(h, spec, 9, stopped, ctx.counters, {PF_Interrupt_CANCEL});
            ctx.findings.Merge(stopped, "the user stopping the render after " + std::to_string(rows) + " rows: ");
            ++injected;
        }
        if (h.IsPremiere()) {
            Findings unknown;
            faults.Clear();
            faults.FailCall("GetPixelFormat", 1, true);
            RenderChecked(h, spec, 9, unknown, ctx.counters, {faults.injected_error, PF_Err_BAD_CALLBACK_PARAM});
            ctx.findings.Merge(unknown, "GetPixelFormat failing: ");
            ++injected;
        }
    }
    faults.Clear();
    ctx.counters.faults += injected;
    ctx.summary = std::to_string(injected) +
                  " faults of the window conversions, parameter declaration, pixel pass, interruption and pixel formats";
}

}  // namespace vvalidator
