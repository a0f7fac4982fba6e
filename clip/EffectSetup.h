// The options every command that renders or shows the effect shares, as
// typed and as resolved: host and depth, the effect's parameters (one per row
// of the parameter table, held to what the plug-in declares), the frame's
// scale, threads, and the plug-in module. Below the command line, so anything
// that reads such values (a clip, a fuzz program) resolves them the one way.
#pragma once

#include <string>
#include <vector>

#include "clip/EffectSession.h"
#include "clip/InputImage.h"
#include "parse/Parse.h"
#include "host/ApiNames.h"
#include "host/Host.h"
#include "imaging/ImageIO.h"
#include "params/EffectValues.h"
#include "params/ParamTable.h"

namespace vclip {

// As typed; checked by ResolveEffectOptions so every bad value gets one clear
// line. An option left empty was not given (the command line refuses "").
struct EffectOptions {
    std::string host = "ae";
    std::string depth;  // empty: the input's own where the host allows it
    // One per row of vparams::ParamTable(): the option's text, or for a
    // checkbox whether --NAME or --no-NAME was given.
    struct Param {
        std::string text;
        bool on = false, off = false;
    };
    std::vector<Param> params = std::vector<Param>(vparams::ParamTable().size());
    std::string params_file;
    std::string downsample = "1";
    std::string par = "1/1";
    std::string threads = "0";
    std::string module;
};

struct ResolvedEffect {
    vhost::HostApp host_app = vhost::HostApp::AfterEffects;
    vhost::PixelLayout layout = vhost::PixelLayout::ARGB8;
    // Whether --depth chose the layout; if not, FollowInputDepth may change it.
    bool depth_given = false;
    // The depth results are written at: --depth's, else the input's.
    vimaging::SampleType file_type = vimaging::SampleType::U8;
    // Lossy conversions the user asked for, one line each, for the command to print.
    std::vector<std::string> warnings;
    // What the module declares, checked against the table.
    vparams::Declaration declared;
    // --params file first, then the command-line options over it; unset values are the declared defaults.
    vparams::EffectValues values;
    int downsample = 1;
    PF_RationalScale pixel_aspect{1, 1};
    int threads = 0;  // 0 = all cores
    std::string module_path;
};

// Loads the module to learn what it declares, then checks the values against
// it. Throws vsupport::InputError naming the option and the value
// (vhost::HostError when the module fails). Without --depth the frame is
// 8-bit until FollowInputDepth sees the input.
ResolvedEffect ResolveEffectOptions(const EffectOptions& options);

// Without --depth, the input's depth where the host has it: 16-bit files
// render at 16 bits under After Effects and at float under Premiere, float
// files at float under Premiere and at 16 bits under After Effects (with a
// warning that values outside 0..1 are clamped). With --depth, a warning when
// it is narrower than the input. `input_name` names the input in warnings.
void FollowInputDepth(ResolvedEffect& effect, vimaging::SampleType input, const std::string& input_name);

// Prints each of `effect`'s warnings as one line on standard error.
void PrintWarnings(const ResolvedEffect& effect);
void PrintWarning(const std::string& warning);

using vhost::DescribeError;

}  // namespace vclip
