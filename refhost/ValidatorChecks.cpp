// The validator's checks, their registry, and the run that isolates each check
// in a child process so a crash or a hang fails that check instead of the run.
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
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

#include <nlohmann/json.hpp>

#include "AE_EffectSuites.h"
#include "DrawbotSuites.h"
#include "HostError.h"
#include "Render.h"
#include "Validator.h"

namespace vhost {

namespace {

// ---------------------------------------------------------------------------
// What every check gets.

struct CheckContext {
    std::string module_path;
    HostApp app;
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
std::unique_ptr<Host> SetUpHost(CheckContext& ctx, const PluginModule& module) {
    auto host = std::make_unique<Host>(module, ctx.app);
    const PF_Err g = SendChecked(*host, "global set-up", ctx.findings, ctx.counters, [&]() { return host->GlobalSetup(); });
    if (g != PF_Err_NONE) ctx.findings.Add("global set-up returned " + std::to_string(g));
    CheckLedgers(*host, "global set-up", ctx.findings);
    const PF_Err p = SendChecked(*host, "parameter set-up", ctx.findings, ctx.counters, [&]() { return host->ParamsSetup(); });
    if (p != PF_Err_NONE) ctx.findings.Add("parameter set-up returned " + std::to_string(p));
    CheckLedgers(*host, "parameter set-up", ctx.findings);
    host->InData().width = 640;
    host->InData().height = 480;
    ResetParams(*host);
    return host;
}

// A parameter's declaration, to tell two loads of a module apart.
std::string Signature(const PF_ParamDef& p) {
    std::string s = std::to_string(p.param_type) + ":" + std::string(p.name, strnlen(p.name, sizeof(p.name))) + ":" +
                    std::to_string(p.flags);
    switch (p.param_type) {
        case PF_Param_POPUP:
            s += ":" + std::to_string(p.u.pd.num_choices) + ":" + std::to_string(p.u.pd.dephault);
            break;
        case PF_Param_FLOAT_SLIDER:
            s += ":" + std::to_string(p.u.fs_d.valid_min) + ":" + std::to_string(p.u.fs_d.valid_max) + ":" +
                 std::to_string(p.u.fs_d.dephault);
            break;
        case PF_Param_FIX_SLIDER:
            s += ":" + std::to_string(p.u.fd.valid_min) + ":" + std::to_string(p.u.fd.valid_max) + ":" +
                 std::to_string(p.u.fd.dephault);
            break;
        case PF_Param_POINT:
            s += ":" + std::to_string(p.u.td.x_dephault) + ":" + std::to_string(p.u.td.y_dephault);
            break;
        default:
            break;
    }
    return s;
}

FrameSpec SmallFrame(CheckContext& ctx, PixelLayout layout) {
    FrameSpec spec;
    spec.layout = layout;
    spec.width = ctx.Uniform(1, 96);
    spec.height = ctx.Uniform(1, 96);
    return spec;
}

// Window layers are this size; the rotation arm is a fifth of the height.
const int kLayerW = 320, kLayerH = 240;

WindowView View(PF_WindowType type, double zoom) {
    WindowView view;
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

PF_Point AnyPoint(CheckContext& ctx, const OverlayWindow& window) {
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
void PlayGesture(CheckContext& ctx, EventDriver& driver, const OverlayWindow& window) {
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

// ---------------------------------------------------------------------------
// Checks

int ReloadCycles(int level) {
    static const int kCycles[] = {2, 4, 6, 8, 10, 20, 35, 50, 75, 100};
    return kCycles[std::clamp(level, 1, 10) - 1];
}

void CheckReload(CheckContext& ctx) {
    const int cycles = ReloadCycles(ctx.level);
    std::string about0, signature0;
    A_u_long version0 = 0;
    PF_OutFlags flags0 = 0;
    std::vector<unsigned char> render0;
    const PixelLayout layout = HostLayouts(ctx.app).front();
    for (int i = 0; i < cycles; ++i) {
        const std::string cycle = "load " + std::to_string(i + 1);
        PluginModule module(ctx.module_path);
        ++ctx.counters.reloads;
        Host host(module, ctx.app);
        const PF_Err a = SendChecked(host, cycle + ": About", ctx.findings, ctx.counters, [&]() { return host.About(); });
        if (a != PF_Err_NONE) ctx.findings.Add(cycle + ": About returned " + std::to_string(a));
        CheckLedgers(host, cycle + ": About", ctx.findings);
        const std::string about(host.OutData().return_msg, strnlen(host.OutData().return_msg, sizeof(host.OutData().return_msg)));
        const PF_Err g = SendChecked(host, cycle + ": global set-up", ctx.findings, ctx.counters, [&]() { return host.GlobalSetup(); });
        if (g != PF_Err_NONE) ctx.findings.Add(cycle + ": global set-up returned " + std::to_string(g));
        CheckLedgers(host, cycle + ": global set-up", ctx.findings);
        const PF_Err p = SendChecked(host, cycle + ": parameter set-up", ctx.findings, ctx.counters, [&]() { return host.ParamsSetup(); });
        if (p != PF_Err_NONE) ctx.findings.Add(cycle + ": parameter set-up returned " + std::to_string(p));
        CheckLedgers(host, cycle + ": parameter set-up", ctx.findings);
        std::string signature;
        for (const PF_ParamDef& def : host.Params()) signature += Signature(def) + ";";

        host.InData().width = 64;
        host.InData().height = 48;
        ResetParams(host);
        FrameSpec spec;
        spec.layout = layout;
        spec.width = 64;
        spec.height = 48;
        std::vector<unsigned char> rendered;
        RenderChecked(host, spec, 1234, ctx.findings, ctx.counters, {}, &rendered);
        {
            OverlayWindow window(host, View(PF_Window_LAYER, 1.0), 64, 48);
            EventDriver driver(host, window, ctx.findings, ctx.counters);
            driver.Draw();
        }
        if (i == 0) {
            about0 = about;
            version0 = host.OutData().my_version;
            flags0 = host.OutData().out_flags;
            signature0 = signature;
            render0 = rendered;
            continue;
        }
        const std::string differs = cycle + ": differs from the first load (the module kept state between loads): ";
        if (about != about0) ctx.findings.Add(differs + "About text");
        if (host.OutData().my_version != version0) ctx.findings.Add(differs + "version");
        if (host.OutData().out_flags != flags0) ctx.findings.Add(differs + "output flags");
        if (signature != signature0) ctx.findings.Add(differs + "parameter list");
        if (rendered != render0) ctx.findings.Add(differs + "rendered frame");
    }
    ctx.summary = std::to_string(cycles) + " loads and unloads";
}

void CheckExports(CheckContext& ctx) {
    PluginModule module(ctx.module_path);
    using GetString = const char* (*)(int);
    const auto get = reinterpret_cast<GetString>(module.Symbol("GetStringPtr"));
    if (!get) {
        ctx.summary = "no string table exported";
        return;
    }
    int ids = 0;
    for (int id : {0, 1, 2, 9, 17, 18, 19, 255, 256, 1000, -1, -2, INT_MIN, INT_MAX, INT_MIN + 1}) {
        ++ids;
        const char* text = get(id);
        if (!text) {
            ctx.findings.Add("GetStringPtr(" + std::to_string(id) + ") returned a null pointer");
        } else if (strnlen(text, 256) == 256) {
            ctx.findings.Add("GetStringPtr(" + std::to_string(id) + ") returned a text without its end within 256 bytes");
        } else if ((id < 0 || id > 17) && text[0] != '\0') {
            ctx.findings.Add("GetStringPtr(" + std::to_string(id) + "), an id outside the table, gave \"" +
                             std::string(text) + "\" instead of the empty entry");
        }
    }
    ctx.summary = std::to_string(ids) + " string ids";
}

// Commands the effect answers; every other code must be answered with PF_Err_NONE and nothing written.
bool Answered(PF_Cmd cmd) {
    return cmd == PF_Cmd_ABOUT || cmd == PF_Cmd_GLOBAL_SETUP || cmd == PF_Cmd_PARAMS_SETUP || cmd == PF_Cmd_RENDER ||
           cmd == PF_Cmd_EVENT;
}

void SendUnanswered(CheckContext& ctx, Host& host, PF_Cmd cmd, const std::string& name) {
    World output(HostLayouts(ctx.app).front(), 16, 8);
    const std::vector<unsigned char> output_before = output.Bytes();
    PF_OutData out_before;
    std::memcpy(&out_before, &host.OutData(), sizeof(out_before));
    const std::vector<PF_ParamDef> params_before = host.Params();
    const std::string what = name + " (command " + std::to_string(cmd) + ")";
    const PF_Err err = SendChecked(host, what, ctx.findings, ctx.counters,
                                   [&]() { return host.Send(cmd, host.ParamArray(), &output.Def(), nullptr); });
    if (err != PF_Err_NONE) ctx.findings.Add(what + ": returned " + std::to_string(err) + " for a command it does not answer");
    if (std::memcmp(&out_before, &host.OutData(), sizeof(out_before)) != 0) {
        ctx.findings.Add(what + ": wrote into PF_OutData");
    }
    if (output.Bytes() != output_before) ctx.findings.Add(what + ": wrote into the output world");
    for (size_t i = 0; i < params_before.size() && i < host.Params().size(); ++i) {
        if (std::memcmp(&params_before[i], &host.Params()[i], sizeof(PF_ParamDef)) != 0) {
            ctx.findings.Add(what + ": wrote into parameter " + std::to_string(i));
        }
    }
    CheckLedgers(host, what, ctx.findings);
}

void CheckCommands(CheckContext& ctx) {
    PluginModule module(ctx.module_path);
    Host host(module, ctx.app);
    int sent = 0;
    for (int round = 0; round < 2; ++round) {
        const std::string r = round ? " (again)" : "";
        // About may come before anything else.
        PF_Err err = SendChecked(host, "About" + r, ctx.findings, ctx.counters, [&]() { return host.About(); });
        const PF_OutData& out = host.OutData();
        if (err != PF_Err_NONE) ctx.findings.Add("About" + r + ": returned " + std::to_string(err));
        if (strnlen(out.return_msg, sizeof(out.return_msg)) == sizeof(out.return_msg)) {
            ctx.findings.Add("About" + r + ": the message is not terminated within return_msg");
        } else if (out.return_msg[0] == '\0') {
            ctx.findings.Add("About" + r + ": no About text");
        }
        CheckLedgers(host, "About" + r, ctx.findings);

        err = SendChecked(host, "global set-up" + r, ctx.findings, ctx.counters, [&]() { return host.GlobalSetup(); });
        if (err != PF_Err_NONE) ctx.findings.Add("global set-up" + r + ": returned " + std::to_string(err));
        if (out.my_version == 0) ctx.findings.Add("global set-up" + r + ": no version");
        if (out.out_flags & PF_OutFlag_DISPLAY_ERROR_MESSAGE) {
            ctx.findings.Add("global set-up" + r + ": reported an error with every suite present");
        }
        if (host.IsPremiere() && host.SupportedPixelFormats().empty()) {
            ctx.findings.Add("global set-up" + r + ": registered no pixel format under Premiere");
        }
        CheckLedgers(host, "global set-up" + r, ctx.findings);

        err = SendChecked(host, "parameter set-up" + r, ctx.findings, ctx.counters, [&]() { return host.ParamsSetup(); });
        if (err != PF_Err_NONE) ctx.findings.Add("parameter set-up" + r + ": returned " + std::to_string(err));
        if (out.num_params != static_cast<A_long>(host.Params().size())) {
            ctx.findings.Add("parameter set-up" + r + ": num_params " + std::to_string(out.num_params) + " but " +
                             std::to_string(host.Params().size()) + " parameters declared");
        }
        if ((out.out_flags & PF_OutFlag_CUSTOM_UI) && !host.UIRegistered()) {
            ctx.findings.Add("parameter set-up" + r + ": asks for a custom UI but registered none");
        }
        CheckLedgers(host, "parameter set-up" + r, ctx.findings);
        host.InData().width = 64;
        host.InData().height = 48;
        ResetParams(host);
        sent += 3;

        // A host's sequence around renders and events.
        const std::pair<PF_Cmd, const char*> before[] = {{PF_Cmd_SEQUENCE_SETUP, "sequence set-up"},
                                                         {PF_Cmd_UPDATE_PARAMS_UI, "update parameters UI"},
                                                         {PF_Cmd_FRAME_SETUP, "frame set-up"}};
        for (const auto& c : before) SendUnanswered(ctx, host, c.first, c.second);
        for (PixelLayout layout : HostLayouts(ctx.app)) {
            FrameSpec spec;
            spec.layout = layout;
            spec.width = 64;
            spec.height = 48;
            RenderChecked(host, spec, 77 + round, ctx.findings, ctx.counters);
        }
        {
            OverlayWindow window(host, View(PF_Window_LAYER, 1.0), 64, 48);
            EventDriver driver(host, window, ctx.findings, ctx.counters);
            driver.Draw();
            if (GrabSomething(driver)) driver.Drag(PF_Point{40, 30}, true);
        }
        const std::pair<PF_Cmd, const char*> after[] = {
            {PF_Cmd_FRAME_SETDOWN, "frame set-down"},   {PF_Cmd_USER_CHANGED_PARAM, "user changed a parameter"},
            {PF_Cmd_SEQUENCE_RESETUP, "sequence re-set-up"}, {PF_Cmd_SEQUENCE_FLATTEN, "sequence flatten"},
            {PF_Cmd_DO_DIALOG, "options dialog"},        {PF_Cmd_GET_EXTERNAL_DEPENDENCIES, "external dependencies"},
            {PF_Cmd_COMPLETELY_GENERAL, "completely general"}, {PF_Cmd_QUERY_DYNAMIC_FLAGS, "dynamic flags"},
            {PF_Cmd_AUDIO_SETUP, "audio set-up"},         {PF_Cmd_AUDIO_RENDER, "audio render"},
            {PF_Cmd_AUDIO_SETDOWN, "audio set-down"},     {PF_Cmd_ARBITRARY_CALLBACK, "arbitrary callback"},
            {PF_Cmd_SMART_PRE_RENDER, "smart pre-render"}, {PF_Cmd_SMART_RENDER, "smart render"},
            {PF_Cmd_SEQUENCE_SETDOWN, "sequence set-down"}, {PF_Cmd_GLOBAL_SETDOWN, "global set-down"},
            {PF_Cmd_UNUSED_0, "unused command 2"},       {25, "unknown command"},
            {1000, "unknown command"},                   {-1, "negative command"},
            {INT_MIN, "negative command"},               {INT_MAX, "unknown command"}};
        for (const auto& c : after) SendUnanswered(ctx, host, c.first, c.second);
        sent += static_cast<int>(std::size(before) + std::size(after));
    }

    // Missing records: the answered commands refuse them, the others ignore them.
    for (PF_Cmd cmd : {PF_Cmd_ABOUT, PF_Cmd_GLOBAL_SETUP, PF_Cmd_PARAMS_SETUP, PF_Cmd_RENDER, PF_Cmd_EVENT,
                       PF_Cmd_SEQUENCE_SETUP, PF_Cmd_UPDATE_PARAMS_UI}) {
        for (int which = 0; which < 3; ++which) {
            PF_InData* in = which == 1 ? &host.InData() : nullptr;
            PF_OutData* out = which == 0 ? &host.OutData() : nullptr;
            const std::string what = std::string("command ") + std::to_string(cmd) + " with " +
                                     (which == 0 ? "no PF_InData" : which == 1 ? "no PF_OutData" : "neither record");
            const PF_Err err = SendChecked(host, what, ctx.findings, ctx.counters, [&]() {
                return host.SendRaw(cmd, in, out, host.ParamArray(), nullptr, nullptr);
            });
            const PF_Err want = Answered(cmd) ? PF_Err_BAD_CALLBACK_PARAM : PF_Err_NONE;
            if (err != want) ctx.findings.Add(what + ": returned " + std::to_string(err) + ", expected " + std::to_string(want));
            CheckLedgers(host, what, ctx.findings);
            ++sent;
        }
    }
    // The refused parameter set-up left the host without a parameter list; declare it again.
    SendChecked(host, "parameter set-up", ctx.findings, ctx.counters, [&]() { return host.ParamsSetup(); });
    CheckLedgers(host, "parameter set-up", ctx.findings);
    // A render or event without its own records.
    for (int which = 0; which < 3; ++which) {
        World output(HostLayouts(ctx.app).front(), 8, 8);
        const std::string what = which == 0   ? "render without a parameter array"
                                 : which == 1 ? "render without an output world"
                                              : "event without its event record";
        const PF_Err err = SendChecked(host, what, ctx.findings, ctx.counters, [&]() {
            if (which == 0) return host.Send(PF_Cmd_RENDER, nullptr, &output.Def(), nullptr);
            if (which == 1) return host.Send(PF_Cmd_RENDER, host.ParamArray(), nullptr, nullptr);
            return host.Send(PF_Cmd_EVENT, host.ParamArray(), nullptr, nullptr);
        });
        if (err != PF_Err_NONE && err != PF_Err_BAD_CALLBACK_PARAM) {
            ctx.findings.Add(what + ": returned " + std::to_string(err) + ", allowed 0, 516");
        }
        CheckLedgers(host, what, ctx.findings);
        ++sent;
    }
    ctx.summary = std::to_string(sent) + " commands in sequence";
}

void CheckParameters(CheckContext& ctx) {
    PluginModule module(ctx.module_path);
    auto host = SetUpHost(ctx, module);
    const int sets = 10 * ctx.level;
    int by_kind[3] = {0, 0, 0};
    for (int s = 0; s < sets; ++s) {
        const ValueKind kind = static_cast<ValueKind>(ctx.Next() % 3);
        ++by_kind[static_cast<int>(kind)];
        ResetParams(*host);
        const std::string values = RandomizeParams(*host, ctx.Words(), kind);
        ++ctx.counters.parameter_sets;
        Findings local;
        for (PixelLayout layout : HostLayouts(ctx.app)) {
            FrameSpec spec = SmallFrame(ctx, layout);
            if (ctx.Next() % 4 == 0) spec.downsample = ctx.Uniform(1, 8);
            if (ctx.Next() % 4 == 0) {
                static const std::vector<PF_RationalScale> kAspects = {{1, 2}, {10, 11}, {4, 3}, {2, 1}, {4, 1}};
                spec.pixel_aspect = ctx.Choose(kAspects);
            }
            RenderChecked(*host, spec, ctx.Next(), local, ctx.counters);
        }
        {
            OverlayWindow window(*host, View(ctx.Next() & 1 ? PF_Window_LAYER : PF_Window_COMP, 1.0), kLayerW, kLayerH);
            EventDriver driver(*host, window, local, ctx.counters);
            const std::vector<PF_ParamDef> saved = host->Params();
            driver.Draw();
            PlayGesture(ctx, driver, window);
            host->Params() = saved;
        }
        for (const std::string& f : local.Items()) {
            ctx.findings.Add("parameter set " + std::to_string(s + 1) + " (" + ValueKindName(kind) + ": " + values +
                             "): " + f);
        }
    }
    ctx.summary = std::to_string(sets) + " parameter sets (" + std::to_string(by_kind[0]) + " valid, " +
                  std::to_string(by_kind[1]) + " at the ends of the ranges, " + std::to_string(by_kind[2]) +
                  " hostile)";
}

void CheckGeometry(CheckContext& ctx) {
    PluginModule module(ctx.module_path);
    auto host = SetUpHost(ctx, module);
    std::vector<FrameSpec> frames;
    const auto add = [&](int w, int h) {
        FrameSpec f;
        f.width = w;
        f.height = h;
        frames.push_back(f);
        return &frames.back();
    };
    add(1, 1);
    add(7, 3);
    add(64, 64);
    add(1920, 1080);
    add(4097, 1);
    add(64, 64)->padding = 12;
    add(33, 17)->padding = 64;
    add(64, 64)->extent = PF_Rect{5, 7, 50, 60};
    add(64, 64)->extent = PF_Rect{0, 10, 64, 64};
    add(64, 64)->extent = PF_Rect{0, 0, 64, 20};
    {
        FrameSpec* f = add(64, 64);
        f->input_width = 40;
        f->input_height = 30;
    }
    {
        FrameSpec* f = add(64, 48);
        f->input_width = 64;
        f->input_height = 1;
    }
    {
        FrameSpec* f = add(16, 16);
        f->input_width = 32;
        f->input_height = 24;
    }
    for (int d = 1; d <= 8; ++d) {
        FrameSpec* f = add((960 + d - 1) / d, (540 + d - 1) / d);
        f->downsample = d;
    }
    for (PF_RationalScale par : {PF_RationalScale{1, 2}, PF_RationalScale{10, 11}, PF_RationalScale{4, 3},
                                 PF_RationalScale{2, 1}, PF_RationalScale{4, 1}}) {
        add(96, 54)->pixel_aspect = par;
    }

    std::vector<PixelLayout> layouts = HostLayouts(ctx.app);
    const int sets = std::max(1, ctx.level / 2);
    int rendered = 0;
    for (const FrameSpec& base : frames) {
        for (PixelLayout layout : layouts) {
            for (int s = 0; s <= sets; ++s) {
                FrameSpec spec = base;
                spec.layout = layout;
                host->InData().width = spec.width * spec.downsample;
                host->InData().height = spec.height * spec.downsample;
                ResetParams(*host);
                // The defaults first, then feathered masks of any kind.
                if (s > 0) RandomizeParams(*host, ctx.Words(), s % 2 ? ValueKind::Valid : ValueKind::Snapped);
                RenderChecked(*host, spec, ctx.Next(), ctx.findings, ctx.counters);
                ++rendered;
            }
        }
    }
    if (host->IsPremiere()) {
        // A world in a format the effect did not register is refused, untouched.
        FrameSpec spec;
        spec.layout = PixelLayout::ARGB8;
        RenderChecked(*host, spec, ctx.Next(), ctx.findings, ctx.counters);
        ++rendered;
    }
    ctx.summary = std::to_string(rendered) + " frames, " + std::to_string(frames.size()) + " geometries in " +
                  std::to_string(layouts.size()) + " pixel formats";
}

void CheckEvents(CheckContext& ctx) {
    PluginModule module(ctx.module_path);
    auto host = SetUpHost(ctx, module);
    std::vector<WindowView> views;
    for (double zoom : {0.25, 0.5, 1.0, 2.0, 4.0}) {
        views.push_back(View(PF_Window_LAYER, zoom));
        views.push_back(View(PF_Window_COMP, zoom));
    }
    views.push_back(View(PF_Window_EFFECT, 1.0));
    views.push_back(View(PF_Window_NONE, 1.0));
    const int sets = 1 + ctx.level / 2;
    const int gestures = 2 * ctx.level;
    long played = 0, grabs = 0, drags = 0;
    for (const WindowView& view : views) {
        OverlayWindow window(*host, view, kLayerW, kLayerH);
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

// One command under a fault, with what it may return besides PF_Err_NONE.
struct FaultCommand {
    std::string name;
    std::function<void(const std::vector<PF_Err>& allowed, Findings& out)> run;
    // Set-up answers PF_Err_NONE whatever suite the host lacks.
    bool answers_none = false;
};

void CheckSuiteFaults(CheckContext& ctx) {
    PluginModule module(ctx.module_path);
    auto host = SetUpHost(ctx, module);
    Host& h = *host;
    FaultPlan& faults = h.Faults();
    OverlayWindow layer(h, View(PF_Window_LAYER, 1.0), kLayerW, kLayerH);
    OverlayWindow comp(h, View(PF_Window_COMP, 2.0), kLayerW, kLayerH);
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
                                    out.Add(name + ": returned " + std::to_string(err));
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
    for (PixelLayout layout : HostLayouts(ctx.app)) {
        commands.push_back(FaultCommand{std::string("render ") + PixelLayoutName(layout),
                                        [&, layout](const std::vector<PF_Err>& allowed, Findings& out) {
                                            FrameSpec spec;
                                            spec.layout = layout;
                                            spec.width = 48;
                                            spec.height = 32;
                                            RenderChecked(h, spec, 5, out, ctx.counters, allowed);
                                        }});
    }
    for (OverlayWindow* window : {&layer, &comp}) {
        commands.push_back(FaultCommand{std::string("draw in the ") + WindowTypeName(window->View().type) + " window",
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
    PluginModule module(ctx.module_path);
    auto host = SetUpHost(ctx, module);
    Host& h = *host;
    FaultPlan& faults = h.Faults();
    const int sets = 1 + ctx.level / 3;
    const int k_cap = ctx.level >= 5 ? INT_MAX : 2 * ctx.level;
    long injected = 0;
    for (PF_WindowType type : {PF_Window_LAYER, PF_Window_COMP}) {
        OverlayWindow window(h, View(type, type == PF_Window_COMP ? 2.0 : 1.0), kLayerW, kLayerH);
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
    PluginModule module(ctx.module_path);
    auto host = SetUpHost(ctx, module);
    Host& h = *host;
    FaultPlan& faults = h.Faults();
    long injected = 0;

    // The window conversions, failing at their k-th call during draws, clicks and drags.
    OverlayWindow comp(h, View(PF_Window_COMP, 2.0), kLayerW, kLayerH);
    OverlayWindow layer(h, View(PF_Window_LAYER, 0.5), kLayerW, kLayerH);
    const int k_cap = ctx.level >= 5 ? 64 : 4 * ctx.level;
    for (OverlayWindow* window : {&comp, &layer}) {
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
            ctx.findings.Add(what + ": returned " + std::to_string(err) + " instead of the host's " +
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
            ctx.findings.Add(what + ": returned " + std::to_string(err));
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
            if (err != PF_Err_NONE) ctx.findings.Add(what + ": returned " + std::to_string(err));
            CheckLedgers(h, what, ctx.findings);
            ++injected;
        }
    }

    for (PixelLayout layout : HostLayouts(ctx.app)) {
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

void CheckThreads(CheckContext& ctx) {
    PluginModule module(ctx.module_path);
    const int kThreads = 8;
    const int rounds = std::max(1, ctx.level);
    long frames = 0;
    for (int r = 0; r < rounds; ++r) {
        struct Job {
            std::unique_ptr<Host> host;
            FrameSpec spec;
            uint64_t seed = 0;
            std::vector<unsigned char> reference, got;
            Findings findings;
            ValidationCounters counters;
        };
        std::vector<Job> jobs(kThreads);
        for (int i = 0; i < kThreads; ++i) {
            Job& job = jobs[static_cast<size_t>(i)];
            job.host = SetUpHost(ctx, module);
            job.spec.layout = ctx.Choose(HostLayouts(ctx.app));
            // One frame per round is a large one, spread over every core (full HD from level 2 on).
            const bool large = i == 0;
            job.spec.width = large ? (ctx.level >= 2 ? 1920 : 640) : ctx.Uniform(16, 256);
            job.spec.height = large ? (ctx.level >= 2 ? 1080 : 360) : ctx.Uniform(16, 256);
            job.seed = ctx.Next();
            job.host->InData().width = job.spec.width;
            job.host->InData().height = job.spec.height;
            ResetParams(*job.host);
            RandomizeParams(*job.host, ctx.Words(), ctx.Next() % 4 == 0 ? ValueKind::Snapped : ValueKind::Valid);
            job.host->threads = 1;
            RenderChecked(*job.host, job.spec, job.seed, ctx.findings, ctx.counters, {}, &job.reference);
            job.host->threads = 0;  // all cores
        }
        std::atomic<int> ready{0};
        std::vector<std::thread> threads;
        for (Job& job : jobs) {
            threads.emplace_back([&job, &ready]() {
                ready.fetch_add(1);
                while (ready.load() < kThreads) std::this_thread::yield();
                try {
                    RenderChecked(*job.host, job.spec, job.seed, job.findings, job.counters, {}, &job.got);
                } catch (const std::exception& e) {
                    job.findings.Add(std::string("render on its own thread failed: ") + e.what());
                }
            });
        }
        for (std::thread& t : threads) t.join();
        for (size_t i = 0; i < jobs.size(); ++i) {
            Job& job = jobs[i];
            ctx.counters.Add(job.counters);
            const std::string what = "round " + std::to_string(r + 1) + ", thread " + std::to_string(i + 1) + ", " +
                                     job.spec.Describe();
            for (const std::string& f : job.findings.Items()) ctx.findings.Add(what + ": " + f);
            if (job.got != job.reference) {
                size_t first = 0;
                while (first < job.got.size() && first < job.reference.size() && job.got[first] == job.reference[first]) ++first;
                ctx.findings.Add(what + ": differs from the single-threaded render from byte " + std::to_string(first));
            }
            ++frames;
        }
    }
    ctx.counters.threads = std::max(ctx.counters.threads, kThreads);
    ctx.summary = std::to_string(kThreads) + " threads x " + std::to_string(rounds) + " rounds, " +
                  std::to_string(frames) + " frames byte-identical to single-threaded renders";
}

struct CheckEntry {
    CheckInfo info;
    void (*run)(CheckContext&);
};

const std::vector<CheckEntry>& Registry() {
    static const std::vector<CheckEntry> entries = {
        {{"reload", "load, set up, unload and load again; nothing kept between loads"}, CheckReload},
        {{"exports", "the exported string table answers any id without reading past its end"}, CheckExports},
        {{"commands", "every command in a host's sequence; unanswered and unknown commands write nothing"},
         CheckCommands},
        {{"parameters", "random parameter sets: valid, at the ends of the ranges, hostile"}, CheckParameters},
        {{"geometry", "frame sizes, padded rows, extent hints, small inputs, downsampling, pixel aspect"},
         CheckGeometry},
        {{"events", "draws, clicks and drags in every window at several zooms, gestures cut short"}, CheckEvents},
        {{"suite-faults", "each suite withheld, delivered null or refusing release, for every command"},
         CheckSuiteFaults},
        {{"drawing-faults", "each drawing call and each pen or path creation failing at its k-th call"},
         CheckDrawingFaults},
        {{"callback-faults", "window conversions and host callbacks failing, renders interrupted"},
         CheckCallbackFaults},
        {{"threads", "renders from 8 threads at once, each spread over all cores, byte-identical"}, CheckThreads},
    };
    return entries;
}

uint64_t Mix(uint64_t x) {
    x += 0x9E3779B97F4A7C15ull;
    x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ull;
    x = (x ^ (x >> 27)) * 0x94D049BB133111EBull;
    return x ^ (x >> 31);
}

// ---------------------------------------------------------------------------
// Isolation: each check in a child process.

nlohmann::json ToJson(const CheckResult& r) {
    const ValidationCounters& c = r.counters;
    return {{"passed", r.passed},
            {"failures", r.failures},
            {"messages", r.messages},
            {"summary", r.summary},
            {"seconds", r.seconds},
            {"counters",
             {c.commands, c.parameter_sets, c.faults, c.renders, c.events, c.reloads, c.threads}}};
}

void FromJson(const nlohmann::json& j, CheckResult& r) {
    r.passed = j.at("passed").get<bool>();
    r.failures = j.at("failures").get<int>();
    r.messages = j.at("messages").get<std::vector<std::string>>();
    r.summary = j.at("summary").get<std::string>();
    r.seconds = j.at("seconds").get<double>();
    const auto& c = j.at("counters");
    r.counters.commands = c.at(0).get<long>();
    r.counters.parameter_sets = c.at(1).get<long>();
    r.counters.faults = c.at(2).get<long>();
    r.counters.renders = c.at(3).get<long>();
    r.counters.events = c.at(4).get<long>();
    r.counters.reloads = c.at(5).get<long>();
    r.counters.threads = c.at(6).get<int>();
}

CheckResult RunIsolated(const std::string& name, const std::string& module_path, HostApp host, int level,
                        uint64_t seed, int timeout_seconds) {
    CheckResult result;
    result.name = name;
    result.host = host;
    result.seed = seed;
    int fds[2];
    if (::pipe(fds) != 0) throw HostError(std::string("cannot make a pipe for the check: ") + std::strerror(errno));
    std::fflush(stdout);
    std::fflush(stderr);
    const auto start = std::chrono::steady_clock::now();
    const pid_t pid = ::fork();
    if (pid < 0) {
        ::close(fds[0]);
        ::close(fds[1]);
        throw HostError(std::string("cannot start the check's process: ") + std::strerror(errno));
    }
    if (pid == 0) {
        ::close(fds[0]);
        const std::string text = ToJson(RunCheck(name, module_path, host, level, seed)).dump();
        size_t done = 0;
        while (done < text.size()) {
            const ssize_t n = ::write(fds[1], text.data() + done, text.size() - done);
            if (n <= 0) break;
            done += static_cast<size_t>(n);
        }
        ::close(fds[1]);
        std::fflush(stdout);
        std::fflush(stderr);
        // Library finalisers may wait for threads that did not survive the fork, so
        // leave at once. (Leak checks belong to --in-process runs, where they see every thread.)
        ::_exit(0);
    }
    ::close(fds[1]);
    std::string text;
    bool timed_out = false;
    char buf[65536];
    for (;;) {
        const double left =
            timeout_seconds - std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        if (left <= 0) {
            timed_out = true;
            break;
        }
        pollfd pfd{fds[0], POLLIN, 0};
        const int ready = ::poll(&pfd, 1, static_cast<int>(std::min(left, 1.0) * 1000) + 1);
        if (ready < 0 && errno == EINTR) continue;
        if (ready <= 0) continue;
        const ssize_t n = ::read(fds[0], buf, sizeof(buf));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        text.append(buf, static_cast<size_t>(n));
    }
    ::close(fds[0]);
    if (timed_out) ::kill(pid, SIGKILL);
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    result.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();

    bool parsed = false;
    if (!text.empty()) {
        try {
            FromJson(nlohmann::json::parse(text), result);
            parsed = true;
        } catch (const std::exception&) {
        }
    }
    std::string problem;
    if (timed_out) {
        problem = "did not finish within " + std::to_string(timeout_seconds) + " s (hung?)";
    } else if (WIFSIGNALED(status)) {
        problem = "crashed: signal " + std::to_string(WTERMSIG(status)) + " (" + strsignal(WTERMSIG(status)) + ")";
    } else if (WIFEXITED(status) && WEXITSTATUS(status) != 0) {
        problem = "its process exited with code " + std::to_string(WEXITSTATUS(status)) +
                  " (a sanitizer or leak report above?)";
    } else if (!parsed) {
        problem = "its process ended without a result";
    }
    if (!problem.empty()) {
        result.passed = false;
        result.failures += 1;
        result.messages.insert(result.messages.begin(), problem);
    }
    return result;
}

}  // namespace

const std::vector<CheckInfo>& ValidatorChecks() {
    static const std::vector<CheckInfo> infos = [] {
        std::vector<CheckInfo> v;
        for (const CheckEntry& e : Registry()) v.push_back(e.info);
        return v;
    }();
    return infos;
}

uint64_t CheckSeed(uint64_t seed, const std::string& name, HostApp host) {
    uint64_t h = 1469598103934665603ull;
    for (unsigned char c : name) h = (h ^ c) * 1099511628211ull;
    return Mix(seed ^ Mix(h) ^ (host == HostApp::Premiere ? 0x5072ull : 0x4145ull));
}

CheckResult RunCheck(const std::string& name, const std::string& module_path, HostApp host, int level,
                     uint64_t seed) {
    const auto it = std::find_if(Registry().begin(), Registry().end(),
                                 [&](const CheckEntry& e) { return e.info.name == name; });
    if (it == Registry().end()) throw HostError("unknown check '" + name + "'");
    CheckContext ctx{module_path, host, level, std::mt19937_64(CheckSeed(seed, name, host)), {}, {}, {}};
    const auto start = std::chrono::steady_clock::now();
    try {
        it->run(ctx);
    } catch (const std::exception& e) {
        ctx.findings.Add(std::string("the check could not go on: ") + e.what());
    }
    CheckResult result;
    result.name = name;
    result.host = host;
    result.seed = seed;
    result.passed = ctx.findings.Empty();
    result.failures = ctx.findings.Count();
    result.messages = ctx.findings.Items();
    result.summary = ctx.summary;
    result.counters = ctx.counters;
    result.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    return result;
}

ValidationReport RunValidator(const ValidatorOptions& options) {
    if (options.level < 1 || options.level > 10) {
        throw HostError("level " + std::to_string(options.level) + " is outside 1..10");
    }
    if (options.repeat < 1) throw HostError("repeat count " + std::to_string(options.repeat) + " must be at least 1");
    for (const std::string& name : options.only) {
        if (std::none_of(Registry().begin(), Registry().end(),
                         [&](const CheckEntry& e) { return e.info.name == name; })) {
            std::string known;
            for (const CheckEntry& e : Registry()) known += (known.empty() ? "" : ", ") + e.info.name;
            throw HostError("unknown check '" + name + "' (checks: " + known + ")");
        }
    }
    // Fail early, with the loader's words, when the module cannot be loaded at all.
    { PluginModule probe(options.module_path); }

    ValidationReport report;
    for (int r = 0; r < options.repeat; ++r) {
        const uint64_t seed = options.seed + static_cast<uint64_t>(r);
        for (const CheckEntry& entry : Registry()) {
            if (!options.only.empty() &&
                std::find(options.only.begin(), options.only.end(), entry.info.name) == options.only.end()) {
                continue;
            }
            for (HostApp app : options.hosts) {
                if (options.on_start) options.on_start(entry.info.name, app);
                CheckResult result =
                    options.isolate
                        ? RunIsolated(entry.info.name, options.module_path, app, options.level, seed,
                                      options.timeout_seconds)
                        : RunCheck(entry.info.name, options.module_path, app, options.level, seed);
                result.name = entry.info.name;
                result.host = app;
                result.seed = seed;
                report.totals.Add(result.counters);
                if (!result.passed) ++report.failed;
                if (options.on_result) options.on_result(result);
                report.results.push_back(std::move(result));
            }
        }
    }
    return report;
}

}  // namespace vhost
