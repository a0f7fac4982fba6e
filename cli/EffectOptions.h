// The options every command that renders or shows the effect shares, on the
// command line: `render`, `overlay`, `drag` and `view` add them with
// AddEffectOptions, resolve them with ResolveEffectOptions (clip/EffectSetup.h)
// and turn them into a set-up host with EffectSession.
#pragma once

#include <string>

#include <CLI/CLI.hpp>

#include "cli/Parse.h"
#include "clip/EffectSetup.h"

namespace vcli {

// Resolved and loaded below the command line (clip/), named here as every command names them.
using vclip::EffectOptions;
using vclip::ResolvedEffect;
using vclip::ResolveEffectOptions;
using vclip::FollowInputDepth;
using vclip::PrintWarnings;
using vclip::PrintWarning;
using vclip::DescribeError;
using vclip::DeclarationOf;
using vclip::EffectSession;
using vclip::InputImage;
using vclip::LoadInputWorld;

// The options' help lists what the plug-in declares (choices, ranges,
// defaults): it is read from the module when help is asked for.
void AddEffectOptions(CLI::App* app, EffectOptions& options);
// --max-pixels and --max-memory: what reading one input file may cost (the
// read budget, see imaging/ReadBudget.h). AddEffectOptions adds them.
void AddReadBudgetOptions(CLI::App* app);
// The positional INPUT every rendering command takes: a file or the test card.
void AddInputArgument(CLI::App* app, std::string& input);

}  // namespace vcli
