// Checks of the module itself: loading and unloading, and its exported string table.
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

int ReloadCycles(int level) {
    static const int kCycles[] = {2, 4, 6, 8, 10, 20, 35, 50, 75, 100};
    return kCycles[std::clamp(level, 1, 10) - 1];
}

}  // namespace

void CheckReload(CheckContext& ctx) {
    const int cycles = ReloadCycles(ctx.level);
    std::string about0, signature0;
    A_u_long version0 = 0;
    PF_OutFlags flags0 = 0;
    std::vector<unsigned char> render0;
    const vhost::PixelLayout layout = HostLayouts(ctx.app).front();
    for (int i = 0; i < cycles; ++i) {
        const std::string cycle = "load " + std::to_string(i + 1);
        vhost::PluginModule module(ctx.module_path);
        ++ctx.counters.reloads;
        vhost::Host host(module, ctx.app);
        const PF_Err a = SendChecked(host, cycle + ": About", ctx.findings, ctx.counters, [&]() { return host.About(); });
        if (a != PF_Err_NONE) ctx.findings.Add(cycle + ": About returned " + vhost::DescribeError(a));
        CheckLedgers(host, cycle + ": About", ctx.findings);
        const std::string about(host.OutData().return_msg, strnlen(host.OutData().return_msg, sizeof(host.OutData().return_msg)));
        const PF_Err g = SendChecked(host, cycle + ": global set-up", ctx.findings, ctx.counters, [&]() { return host.GlobalSetup(); });
        if (g != PF_Err_NONE) ctx.findings.Add(cycle + ": global set-up returned " + vhost::DescribeError(g));
        CheckLedgers(host, cycle + ": global set-up", ctx.findings);
        const PF_Err p = SendChecked(host, cycle + ": parameter set-up", ctx.findings, ctx.counters, [&]() { return host.ParamsSetup(); });
        if (p != PF_Err_NONE) ctx.findings.Add(cycle + ": parameter set-up returned " + vhost::DescribeError(p));
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
            voverlay::OverlayWindow window(host, View(PF_Window_LAYER, 1.0), 64, 48);
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
    vhost::PluginModule module(ctx.module_path);
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

}  // namespace vvalidator
