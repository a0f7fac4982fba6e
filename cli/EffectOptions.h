// The options every command that renders or shows the effect shares: host and
// depth, the effect's parameters in the units its controls show, the frame's
// scale, threads, and the plug-in module. `render`, `overlay` and `drag` add
// them with AddEffectOptions and turn them into a set-up host with EffectSession.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <CLI/CLI.hpp>

#include "host/ApiNames.h"
#include "params/EffectParams.h"
#include "host/Host.h"
#include "imaging/ImageIO.h"
#include "host/PluginModule.h"
#include "host/World.h"

namespace vcli {

// As typed; checked by ResolveEffectOptions so every bad value gets one clear
// line. An option left empty was not given (the command line refuses "").
struct EffectOptions {
    std::string host = "ae";
    std::string depth;  // empty: the input's own where the host allows it
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
    // Whether --depth chose the layout; if not, FollowInputDepth may change it.
    bool depth_given = false;
    // The depth results are written at: --depth's, else the input's.
    vimaging::SampleType file_type = vimaging::SampleType::U8;
    // Lossy conversions the user asked for, one line each, for the command to print.
    std::vector<std::string> warnings;
    // --params file first, then the command-line options over it.
    vparams::EffectValues values;
    int downsample = 1;
    PF_RationalScale pixel_aspect{1, 1};
    int threads = 0;  // 0 = all cores
    std::string module_path;
};

// Throws vhost::HostError naming the option and the value. Without --depth
// the frame is 8-bit until FollowInputDepth sees the input.
ResolvedEffect ResolveEffectOptions(const EffectOptions& options);

// Without --depth, the input's depth where the host has it: 16-bit files
// render at 16 bits under After Effects and at float under Premiere, float
// files at float under Premiere and at 16 bits under After Effects (with a
// warning that values outside 0..1 are clamped). With --depth, a warning when
// it is narrower than the input. `input_name` names the input in warnings.
void FollowInputDepth(ResolvedEffect& effect, vimaging::SampleType input, const std::string& input_name);

// An input by name: an image file, read on demand, or the built-in card for
// "testcard:" / "testcard:WxH" (an 8-bit input as far as depth goes).
class InputImage {
public:
    explicit InputImage(const std::string& name);
    const std::string& Name() const { return name_; }
    int Width() const;
    int Height() const;
    vimaging::SampleType Type() const;
    // The file's channels, windows and metadata; null for the card.
    std::shared_ptr<const vimaging::ImageSource> Source() const;
    // Straight RGBA into a world of the input's size, or as an image; either once.
    void ReadInto(vhost::World& world);
    vimaging::Image Read();

private:
    std::string name_;
    std::optional<vimaging::ImageReader> file_;
    int card_width_ = 0, card_height_ = 0;
};

// An image file, or the built-in card for "testcard:" / "testcard:WxH".
vimaging::Image LoadInputImage(const std::string& name);

// The input as a world of `effect`'s layout, scaled down first when it asks
// (the full-resolution size is the input's). Then prints the effect's
// warnings: after the input has proved readable, so a refusal stays one line.
vhost::World LoadInputWorld(InputImage& input, const ResolvedEffect& effect);

// Prints each of `effect`'s warnings as one line on standard error.
void PrintWarnings(const ResolvedEffect& effect);
void PrintWarning(const std::string& warning);

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

// `text` without the spaces and tabs around it: options take " 8" as "8".
std::string Trim(const std::string& text);

// A decimal number from an option's text, spaces around it ignored ("1e-400"
// is 0); throws HostError naming the option for anything else ("0x10", "inf").
double ParseNumber(const std::string& text, const std::string& option);

// A CLI11 check that refuses an empty value: an empty option is a mistake, not the default.
CLI::Validator NonEmpty();

using vhost::DescribeError;

// Throws HostError naming the module when `host` holds a suite, pen or path it was not given back.
void RequireBalancedLedgers(const vhost::Host& host, const std::string& module_path);

}  // namespace vcli
