// The options every command that renders or shows the effect shares: host and
// depth, the effect's parameters in the units its controls show, the frame's
// scale, threads, and the plug-in module. `render`, `overlay` and `drag` add
// them with AddEffectOptions and turn them into a set-up host with EffectSession.
#pragma once

#include <memory>
#include <string>

#include <CLI/CLI.hpp>

#include "ApiNames.h"
#include "EffectParams.h"
#include "Host.h"
#include "ImageIO.h"
#include "PluginModule.h"
#include "World.h"

namespace vcli {

// As typed; checked by ResolveEffectOptions so every bad value gets one clear line.
struct EffectOptions {
    std::string host = "ae";
    std::string depth = "8";
    std::string mask, mode, falloff;
    std::string origin;  // "X,Y"
    std::string width, height, feather, angle, opacity;
    bool invert = false;
    bool no_invert = false;
    std::string params_file;
    std::string downsample = "1";
    std::string par = "1/1";
    std::string threads = "0";
    std::string module;
};

void AddEffectOptions(CLI::App* app, EffectOptions& options);

struct ResolvedEffect {
    vhost::HostApp host_app = vhost::HostApp::AfterEffects;
    vhost::PixelLayout layout = vhost::PixelLayout::ARGB8;
    // --params file first, then the command-line options over it.
    vhost::EffectValues values;
    int downsample = 1;
    PF_RationalScale pixel_aspect{1, 1};
    int threads = 0;  // 0 = all cores
    std::string module_path;
};

// Throws vhost::HostError naming the option and the value.
ResolvedEffect ResolveEffectOptions(const EffectOptions& options);

// An image file, or the built-in card for "testcard:" / "testcard:WxH".
vhost::Image LoadInputImage(const std::string& name);

// The plug-in loaded into a host that has run About, global and parameter
// set-up, with the resolved values applied for a layer of the given
// full-resolution size (the origin defaults to its centre).
class EffectSession {
public:
    EffectSession(const ResolvedEffect& effect, int layer_width, int layer_height);
    vhost::Host& Host() { return *host_; }
    const vhost::PluginModule& Module() const { return *module_; }

private:
    std::unique_ptr<vhost::PluginModule> module_;
    std::unique_ptr<vhost::Host> host_;
};

// A finite number from an option's text; throws HostError naming the option otherwise.
double ParseNumber(const std::string& text, const std::string& option);

using vhost::DescribeError;

// Throws HostError naming the module when `host` holds a suite, pen or path it was not given back.
void RequireBalancedLedgers(const vhost::Host& host, const std::string& module_path);

}  // namespace vcli
