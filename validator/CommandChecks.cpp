// Checks of the command sequence and of random parameter sets.
#include <algorithm>
#include <atomic>
#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <functional>
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

// Commands the effect answers; every other code must be answered with PF_Err_NONE and nothing written.
bool Answered(PF_Cmd cmd) {
    return cmd == PF_Cmd_ABOUT || cmd == PF_Cmd_GLOBAL_SETUP || cmd == PF_Cmd_PARAMS_SETUP || cmd == PF_Cmd_RENDER ||
           cmd == PF_Cmd_EVENT;
}

void SendUnanswered(CheckContext& ctx, vhost::Host& host, PF_Cmd cmd, const std::string& name) {
    vhost::World output(HostLayouts(ctx.app).front(), 16, 8);
    const std::vector<unsigned char> output_before = output.Bytes();
    PF_OutData out_before;
    std::memcpy(&out_before, &host.OutData(), sizeof(out_before));
    const std::vector<PF_ParamDef> params_before = host.Params();
    const std::string what = name + " (command " + std::to_string(cmd) + ")";
    const PF_Err err = SendChecked(host, what, ctx.findings, ctx.counters,
                                   [&]() { return host.Send(cmd, host.ParamArray(), &output.Def(), nullptr); });
    if (err != PF_Err_NONE) ctx.findings.Add(what + ": returned " + vhost::DescribeError(err) + " for a command it does not answer");
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

// One set-up command and what its answer must hold: each check gives a problem, or "" when there is none.
struct SetUpStep {
    const char* name;
    PF_Err (vhost::Host::*send)();
    std::vector<std::function<std::string(vhost::Host&)>> checks;
};

const std::vector<SetUpStep>& SetUpSteps() {
    static const std::vector<SetUpStep> kSteps = {
        // About may come before anything else.
        {"About",
         &vhost::Host::About,
         {[](vhost::Host& h) -> std::string {
             const PF_OutData& out = h.OutData();
             if (strnlen(out.return_msg, sizeof(out.return_msg)) == sizeof(out.return_msg)) {
                 return "the message is not terminated within return_msg";
             }
             return out.return_msg[0] == '\0' ? "no About text" : "";
         }}},
        {"global set-up",
         &vhost::Host::GlobalSetup,
         {[](vhost::Host& h) -> std::string { return h.OutData().my_version == 0 ? "no version" : ""; },
          [](vhost::Host& h) -> std::string {
              return (h.OutData().out_flags & PF_OutFlag_DISPLAY_ERROR_MESSAGE)
                         ? "reported an error with every suite present"
                         : "";
          },
          [](vhost::Host& h) -> std::string {
              return h.IsPremiere() && h.SupportedPixelFormats().empty() ? "registered no pixel format under Premiere"
                                                                         : "";
          }}},
        {"parameter set-up",
         &vhost::Host::ParamsSetup,
         {[](vhost::Host& h) -> std::string {
              const A_long declared = static_cast<A_long>(h.Params().size());
              if (h.OutData().num_params == declared) return "";
              return "num_params " + std::to_string(h.OutData().num_params) + " but " + std::to_string(declared) +
                     " parameters declared";
          },
          [](vhost::Host& h) -> std::string {
              return (h.OutData().out_flags & PF_OutFlag_CUSTOM_UI) && !h.UIRegistered()
                         ? "asks for a custom UI but registered none"
                         : "";
          }}},
    };
    return kSteps;
}

// About, global and parameter set-up, each answered and checked; `r` marks a second round.
int SendSetUp(CheckContext& ctx, vhost::Host& host, const std::string& r) {
    for (const SetUpStep& step : SetUpSteps()) {
        const std::string what = step.name + r;
        const PF_Err err = SendChecked(host, what, ctx.findings, ctx.counters, [&]() { return (host.*step.send)(); });
        if (err != PF_Err_NONE) ctx.findings.Add(what + ": returned " + vhost::DescribeError(err));
        for (const auto& check : step.checks) {
            const std::string problem = check(host);
            if (!problem.empty()) ctx.findings.Add(what + ": " + problem);
        }
        CheckLedgers(host, what, ctx.findings);
    }
    host.InData().width = 64;
    host.InData().height = 48;
    ResetParams(host);
    return static_cast<int>(SetUpSteps().size());
}

// What a host sends before renders and events, and after them; the last ones are no commands at all.
const std::pair<PF_Cmd, const char*> kBeforeRenders[] = {{PF_Cmd_SEQUENCE_SETUP, "sequence set-up"},
                                                         {PF_Cmd_UPDATE_PARAMS_UI, "update parameters UI"},
                                                         {PF_Cmd_FRAME_SETUP, "frame set-up"}};
const std::pair<PF_Cmd, const char*> kAfterRenders[] = {
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

// A host's sequence around renders and events; returns the commands it counts.
int SendHostSequence(CheckContext& ctx, vhost::Host& host, int round) {
    for (const auto& c : kBeforeRenders) SendUnanswered(ctx, host, c.first, c.second);
    for (vhost::PixelLayout layout : HostLayouts(ctx.app)) {
        FrameSpec spec;
        spec.layout = layout;
        spec.width = 64;
        spec.height = 48;
        RenderChecked(host, spec, 77 + round, ctx.findings, ctx.counters);
    }
    {
        voverlay::OverlayWindow window(host, View(PF_Window_LAYER, 1.0), 64, 48);
        EventDriver driver(host, window, ctx.findings, ctx.counters);
        driver.Draw();
        if (GrabSomething(driver)) driver.Drag(PF_Point{40, 30}, true);
    }
    for (const auto& c : kAfterRenders) SendUnanswered(ctx, host, c.first, c.second);
    return static_cast<int>(std::size(kBeforeRenders) + std::size(kAfterRenders));
}

// Missing records: the answered commands refuse them, the others ignore them.
int SendWithoutRecords(CheckContext& ctx, vhost::Host& host) {
    int sent = 0;
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
            if (err != want) ctx.findings.Add(what + ": returned " + vhost::DescribeError(err) + ", expected " + vhost::DescribeError(want));
            CheckLedgers(host, what, ctx.findings);
            ++sent;
        }
    }
    return sent;
}

// A render or event without its own records.
int SendWithoutOwnRecords(CheckContext& ctx, vhost::Host& host) {
    int sent = 0;
    for (int which = 0; which < 3; ++which) {
        vhost::World output(HostLayouts(ctx.app).front(), 8, 8);
        const std::string what = which == 0   ? "render without a parameter array"
                                 : which == 1 ? "render without an output world"
                                              : "event without its event record";
        const PF_Err err = SendChecked(host, what, ctx.findings, ctx.counters, [&]() {
            if (which == 0) return host.Send(PF_Cmd_RENDER, nullptr, &output.Def(), nullptr);
            if (which == 1) return host.Send(PF_Cmd_RENDER, host.ParamArray(), nullptr, nullptr);
            return host.Send(PF_Cmd_EVENT, host.ParamArray(), nullptr, nullptr);
        });
        if (err != PF_Err_NONE && err != PF_Err_BAD_CALLBACK_PARAM) {
            ctx.findings.Add(what + ": returned " + vhost::DescribeError(err) + ", allowed 0, 516");
        }
        CheckLedgers(host, what, ctx.findings);
        ++sent;
    }
    return sent;
}

}  // namespace

void CheckCommands(CheckContext& ctx) {
    vhost::PluginModule module(ctx.module_path);
    vhost::Host host(module, ctx.app);
    int sent = 0;
    for (int round = 0; round < 2; ++round) {
        sent += SendSetUp(ctx, host, round ? " (again)" : "");
        sent += SendHostSequence(ctx, host, round);
    }
    sent += SendWithoutRecords(ctx, host);
    // The refused parameter set-up left the host without a parameter list; declare it again.
    SendChecked(host, "parameter set-up", ctx.findings, ctx.counters, [&]() { return host.ParamsSetup(); });
    CheckLedgers(host, "parameter set-up", ctx.findings);
    sent += SendWithoutOwnRecords(ctx, host);
    ctx.summary = std::to_string(sent) + " commands in sequence";
}

void CheckParameters(CheckContext& ctx) {
    vhost::PluginModule module(ctx.module_path);
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
        for (vhost::PixelLayout layout : HostLayouts(ctx.app)) {
            FrameSpec spec = SmallFrame(ctx, layout);
            if (ctx.Next() % 4 == 0) spec.downsample = ctx.Uniform(1, 8);
            if (ctx.Next() % 4 == 0) {
                static const std::vector<PF_RationalScale> kAspects = {{1, 2}, {10, 11}, {4, 3}, {2, 1}, {4, 1}};
                spec.pixel_aspect = ctx.Choose(kAspects);
            }
            RenderChecked(*host, spec, ctx.Next(), local, ctx.counters);
        }
        {
            voverlay::OverlayWindow window(*host, View(ctx.Next() & 1 ? PF_Window_LAYER : PF_Window_COMP, 1.0), kLayerW, kLayerH);
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

}  // namespace vvalidator
