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

// A command sent as is: its result allowed, About's text left alone on failure and written on success.
FaultCommand SimpleCommand(CheckContext& ctx, vhost::Host& h, const std::string& name, std::function<PF_Err()> send,
                           bool answers_none = false) {
    const auto run = [&ctx, &h, name, send](const std::vector<PF_Err>& allowed, Findings& out) {
        // The host's own text, which a failed About must leave alone.
        std::snprintf(h.OutData().return_msg, sizeof(h.OutData().return_msg), "host text");
        PF_OutData before;
        std::memcpy(&before, &h.OutData(), sizeof(before));
        const PF_Err err = SendChecked(h, name, out, ctx.counters, send);
        if (err != PF_Err_NONE && std::find(allowed.begin(), allowed.end(), err) == allowed.end()) {
            out.Add(name + ": returned " + vhost::DescribeError(err));
        }
        const bool text_kept = std::strncmp(before.return_msg, h.OutData().return_msg, sizeof(before.return_msg)) == 0;
        if (name == "About" && err != PF_Err_NONE && !text_kept) out.Add(name + ": failed yet changed return_msg");
        if (name == "About" && err == PF_Err_NONE && text_kept) {
            out.Add(name + ": reported success without an About text");
        }
        CheckLedgers(h, name, out);
    };
    return FaultCommand{name, run, answers_none};
}

FaultCommand RenderCommand(CheckContext& ctx, vhost::Host& h, vhost::PixelLayout layout) {
    return FaultCommand{std::string("render ") + PixelLayoutName(layout),
                        [&ctx, &h, layout](const std::vector<PF_Err>& allowed, Findings& out) {
                            FrameSpec spec;
                            spec.layout = layout;
                            spec.width = 48;
                            spec.height = 32;
                            RenderChecked(h, spec, 5, out, ctx.counters, allowed);
                        }};
}

FaultCommand DrawCommand(CheckContext& ctx, vhost::Host& h, voverlay::OverlayWindow& window) {
    return FaultCommand{std::string("draw in the ") + voverlay::WindowTypeName(window.View().type) + " window",
                        [&ctx, &h, &window](const std::vector<PF_Err>& allowed, Findings& out) {
                            EventDriver driver(h, window, out, ctx.counters);
                            driver.SetAllowed(allowed);
                            driver.Draw();
                        }};
}

FaultCommand ClickCommand(CheckContext& ctx, vhost::Host& h, voverlay::OverlayWindow& layer,
                          const std::vector<PF_Point>& targets) {
    return FaultCommand{"click", [&ctx, &h, &layer, targets](const std::vector<PF_Err>& allowed, Findings& out) {
                            EventDriver driver(h, layer, out, ctx.counters);
                            driver.SetAllowed(allowed);
                            for (const PF_Point& t : targets) {
                                if (driver.Click(t)) break;
                            }
                        }};
}

// The suite faults of a plan, lifted until Restore.
class LiftedSuiteFaults {
public:
    explicit LiftedSuiteFaults(vhost::FaultPlan& faults)
        : faults_(faults), withheld_(faults.withheld_suites), nulls_(faults.null_suites),
          releases_(faults.failing_releases), no_basic_(faults.no_basic_suite) {
        faults.withheld_suites.clear();
        faults.null_suites.clear();
        faults.failing_releases.clear();
        faults.no_basic_suite = false;
    }
    void Restore() {
        faults_.withheld_suites = withheld_;
        faults_.null_suites = nulls_;
        faults_.failing_releases = releases_;
        faults_.no_basic_suite = no_basic_;
    }

private:
    vhost::FaultPlan& faults_;
    const std::set<std::string> withheld_, nulls_, releases_;
    const bool no_basic_;
};

// The grab without the fault, the drag under it.
FaultCommand DragCommand(CheckContext& ctx, vhost::Host& h, voverlay::OverlayWindow& layer,
                         const std::vector<PF_Point>& targets) {
    return FaultCommand{"drag", [&ctx, &h, &layer, targets](const std::vector<PF_Err>& allowed, Findings& out) {
                            LiftedSuiteFaults lifted(h.Faults());
                            EventDriver driver(h, layer, out, ctx.counters);
                            bool grabbed = false;
                            for (const PF_Point& t : targets) {
                                if ((grabbed = driver.Click(t))) break;
                            }
                            lifted.Restore();
                            driver.SetAllowed(allowed);
                            if (grabbed) driver.Drag(PF_Point{kLayerW / 2 + 20, kLayerH / 2 - 30}, true);
                        }};
}

// The ways a suite can fail, and whether the command may then fail with PF_Err_BAD_CALLBACK_PARAM.
struct SuiteFault {
    const char* label;
    std::set<std::string> vhost::FaultPlan::*suites;
    bool refusable;
};
const SuiteFault kSuiteFaults[] = {{"withheld", &vhost::FaultPlan::withheld_suites, true},
                                   {"delivered as a null pointer", &vhost::FaultPlan::null_suites, true},
                                   {"refusing its release", &vhost::FaultPlan::failing_releases, false}};

}  // namespace

void CheckSuiteFaults(CheckContext& ctx) {
    vhost::PluginModule module(ctx.module_path);
    auto host = SetUpHost(ctx, module);
    vhost::Host& h = *host;
    vhost::FaultPlan& faults = h.Faults();
    voverlay::OverlayWindow layer(h, View(PF_Window_LAYER, 1.0), kLayerW, kLayerH);
    voverlay::OverlayWindow comp(h, View(PF_Window_COMP, 2.0), kLayerW, kLayerH);

    std::vector<FaultCommand> commands = {
        SimpleCommand(ctx, h, "About", [&h]() { return h.About(); }),
        SimpleCommand(ctx, h, "global set-up", [&h]() { return h.GlobalSetup(); }, true),
        SimpleCommand(ctx, h, "parameter set-up", [&h]() { return h.ParamsSetup(); }, true)};
    for (vhost::PixelLayout layout : HostLayouts(ctx.app)) commands.push_back(RenderCommand(ctx, h, layout));
    for (voverlay::OverlayWindow* window : {&layer, &comp}) commands.push_back(DrawCommand(ctx, h, *window));
    // Handle positions come from a draw without faults.
    std::vector<PF_Point> targets;
    {
        EventDriver driver(h, layer, ctx.findings, ctx.counters);
        driver.Draw();
        targets = driver.Targets();
    }
    commands.push_back(ClickCommand(ctx, h, layer, targets));
    commands.push_back(DragCommand(ctx, h, layer, targets));

    long injected = 0;
    const auto inject = [&](const FaultCommand& command, const std::string& fault, bool refusable) {
        Findings local;
        command.run(refusable && !command.answers_none ? std::vector<PF_Err>{PF_Err_BAD_CALLBACK_PARAM}
                                                       : std::vector<PF_Err>{},
                    local);
        ctx.findings.Merge(local, fault + ": ");
        ++injected;
        if (command.name == "parameter set-up") {
            // Put the parameter list back for the commands after it.
            faults.Clear();
            SendChecked(h, "parameter set-up", ctx.findings, ctx.counters, [&]() { return h.ParamsSetup(); });
            CheckLedgers(h, "parameter set-up after a fault", ctx.findings);
        }
    };
    const auto reset = [&]() {
        faults.Clear();
        h.InData().width = kLayerW;
        h.InData().height = kLayerH;
        ResetParams(h);
    };
    for (const FaultCommand& command : commands) {
        for (const std::string& suite : AllSuites()) {
            for (const SuiteFault& mode : kSuiteFaults) {
                reset();
                (faults.*mode.suites).insert(suite);
                inject(command, "\"" + suite + "\" " + mode.label, mode.refusable);
            }
        }
        reset();
        faults.no_basic_suite = true;
        inject(command, "no basic suite", true);
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

namespace {

// A point that grabs a handle in `window`, found without faults; the gesture is closed again.
std::optional<PF_Point> FindGrab(CheckContext& ctx, vhost::Host& h, voverlay::OverlayWindow& window) {
    EventDriver driver(h, window, ctx.findings, ctx.counters);
    driver.Draw();
    for (const PF_Point& t : driver.Targets()) {
        if (driver.Click(t)) {
            driver.Drag(t, true);
            return t;
        }
    }
    return std::nullopt;
}

// The window conversions, failing at their k-th call during draws, clicks and drags; returns the faults injected.
long ConversionFaults(CheckContext& ctx, vhost::Host& h, voverlay::OverlayWindow& window, int k_cap) {
    vhost::FaultPlan& faults = h.Faults();
    faults.Clear();
    h.InData().width = kLayerW;
    h.InData().height = kLayerH;
    ResetParams(h);
    const std::optional<PF_Point> grab = FindGrab(ctx, h, window);
    const PF_Point to1{window.Width() / 3, window.Height() / 4};
    const PF_Point to2{window.Width() / 2, window.Height() / 5};
    enum Phase { kDraw, kClick, kDrag };
    static const char* const kPhases[] = {"draw", "click", "drag"};
    long injected = 0;
    for (const std::string& call : ConversionCalls()) {
        for (Phase phase : {kDraw, kClick, kDrag}) {
            if (phase != kDraw && !grab) continue;
            int n = 0;
            for (int k = 0; k <= n; ++k) {
                // k == 0 counts the calls the event makes; then each fails in turn.
                faults.Clear();
                ResetParams(h);
                Findings local;
                EventDriver driver(h, window, local, ctx.counters);
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
                ctx.findings.Merge(local, call + (k > 0 ? " failing at call " + std::to_string(k) : std::string(" counted")) +
                                              " of a " + kPhases[phase] + ": ");
            }
        }
    }
    return injected;
}

// The host's callbacks of the set-up commands failing; returns the faults injected.
long DeclarationFaults(CheckContext& ctx, vhost::Host& h) {
    vhost::FaultPlan& faults = h.Faults();
    long injected = 0;
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
        // Registering pixel formats may fail; global set-up still succeeds.
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
    return injected;
}

// One fault of a render: what it plants and the results the render may then give besides its usual ones.
struct RenderFault {
    std::string label;
    std::function<void(vhost::FaultPlan&)> plant;
    std::vector<PF_Err> allowed;
};

// The pixel pass failing, the user stopping it at any row, and (Premiere) the pixel format unknown.
std::vector<RenderFault> RenderFaults(vhost::Host& h) {
    const PF_Err injected = h.Faults().injected_error;
    std::vector<RenderFault> list = {
        {"iterate failing", [](vhost::FaultPlan& f) { f.FailCall("iterate", 1, true); }, {injected}}};
    for (long rows : {0L, 1L, 17L, 63L}) {
        list.push_back({"the user stopping the render after " + std::to_string(rows) + " rows",
                        [rows](vhost::FaultPlan& f) { f.abort_after_rows = rows; },
                        {PF_Interrupt_CANCEL}});
    }
    if (h.IsPremiere()) {
        list.push_back({"GetPixelFormat failing", [](vhost::FaultPlan& f) { f.FailCall("GetPixelFormat", 1, true); },
                        {injected, PF_Err_BAD_CALLBACK_PARAM}});
    }
    return list;
}

long RenderFaultsIn(CheckContext& ctx, vhost::Host& h, vhost::PixelLayout layout) {
    FrameSpec spec;
    spec.layout = layout;
    spec.width = 96;
    spec.height = 64;
    h.InData().width = spec.width;
    h.InData().height = spec.height;
    ResetParams(h);
    long injected = 0;
    for (const RenderFault& fault : RenderFaults(h)) {
        Findings local;
        h.Faults().Clear();
        fault.plant(h.Faults());
        RenderChecked(h, spec, 9, local, ctx.counters, fault.allowed);
        ctx.findings.Merge(local, fault.label + ": ");
        ++injected;
    }
    return injected;
}

}  // namespace

void CheckCallbackFaults(CheckContext& ctx) {
    vhost::PluginModule module(ctx.module_path);
    auto host = SetUpHost(ctx, module);
    vhost::Host& h = *host;
    long injected = 0;
    voverlay::OverlayWindow comp(h, View(PF_Window_COMP, 2.0), kLayerW, kLayerH);
    voverlay::OverlayWindow layer(h, View(PF_Window_LAYER, 0.5), kLayerW, kLayerH);
    const int k_cap = ctx.level >= 5 ? 64 : 4 * ctx.level;
    for (voverlay::OverlayWindow* window : {&comp, &layer}) injected += ConversionFaults(ctx, h, *window, k_cap);
    injected += DeclarationFaults(ctx, h);
    for (vhost::PixelLayout layout : HostLayouts(ctx.app)) injected += RenderFaultsIn(ctx, h, layout);
    h.Faults().Clear();
    ctx.counters.faults += injected;
    ctx.summary = std::to_string(injected) +
                  " faults of the window conversions, parameter declaration, pixel pass, interruption and pixel formats";
}

}  // namespace vvalidator
