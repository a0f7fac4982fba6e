// `vellora render` on a clip: an image sequence (or one still under animated
// values) rendered frame by frame, each frame one render command with its
// time and its keyed values, several frames in flight through one loaded
// module, every output written whole.
#pragma once

#include <string>
#include <vector>

#include <CLI/CLI.hpp>

#include "cli/EffectOptions.h"
#include "clip/CommandLog.h"

namespace vcli {

// As typed; an option left empty was not given.
struct ClipOptions {
    std::string frames;
    std::string keys;
    std::string fps;
    std::string jobs;
    std::string progress;
    bool skip_existing = false;
    std::string command_log;
};

void AddClipOptions(CLI::App* app, ClipOptions& options);

// Whether the command names a clip: a frame pattern in INPUT or OUTPUT, or --frames.
bool IsClip(const std::string& input, const std::string& output, const ClipOptions& clip);

// A still render refuses the options only a clip uses, naming the first given.
void RefuseClipOptions(const ClipOptions& clip);

// Renders the clip: the steps of clip/, in order. Throws InputError (or
// HostError) for anything found wrong before the first frame is written, and
// for a frame that fails (after saying which frames are complete); throws
// ExitStatus 130 or 143 after SIGINT or SIGTERM.
void RenderClip(const std::string& input, const std::string& output, const EffectOptions& effect,
                const ClipOptions& clip, bool quiet);

// --command-log, which a still render writes too.
using vclip::CheckCommandLog;
using vclip::LoggedCommand;
using vclip::WriteCommandLog;

}  // namespace vcli
