#include "clip/ClipPlan.h"

#include <sys/stat.h>

#include <limits>
#include <map>
#include <utility>

#include "api/AE_Effect.h"
#include "clip/ClipReport.h"
#include "files/AtomicFile.h"
#include "params/ParamTable.h"
#include "support/InputError.h"

namespace vclip {
using vparse::Trim;

namespace {

using vsupport::InputError;

bool Exists(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0;
}

// --frames against a sequence: every frame it names must be on disk. The
// folder is listed once, however many frames the list names.
void RequireOnDisk(const FramePattern& input, const FrameList& frames, const std::string& frames_text,
                   const Poll& poll) {
    const FrameList missing = frames.Without(FrameList::Of(input.FramesOnDisk(poll)));
    if (missing.Size() == 1) {
        throw InputError("INPUT '" + input.Text() + "' has no frame " + std::to_string(missing.Front()) + ": '" +
                         input.Path(missing.Front()) + "' does not exist");
    }
    if (!missing.Empty()) {
        throw InputError("INPUT '" + input.Text() + "' lacks frames " + missing.Describe() + " of --frames " +
                         Trim(frames_text) + " (the first missing is '" + input.Path(missing.Front()) + "')");
    }
}

// The whole input sequence: no gaps, and not more frames than a clip may have.
FrameList WholeSequence(const FramePattern& input, const Poll& poll) {
    const FrameList frames = FrameList::Of(input.FramesOnDisk(poll));
    if (frames.Empty()) throw InputError("INPUT '" + input.Text() + "': no files match the pattern");
    const FrameList gaps = FrameList({{frames.Front(), frames.Back()}}).Without(frames);
    if (!gaps.Empty()) {
        throw InputError("INPUT '" + input.Text() + "' has gaps: " + FramesAre(gaps) + " missing between " +
                         std::to_string(frames.Front()) + " and " + std::to_string(frames.Back()) +
                         "; name the frames to render with --frames");
    }
    if (frames.Size() > static_cast<size_t>(kMaxClipFrames)) {
        throw InputError("INPUT '" + input.Text() + "' has more than " + std::to_string(kMaxClipFrames) +
                         " frames; render it in parts with --frames");
    }
    return frames;
}

// The frames of the list whose output name is taken (a file, a folder, a
// link, even a broken one): one listing of the folder, or where it cannot be
// listed, a look at each name.
std::vector<long> TakenOutputs(const ClipPlan& plan, const Poll& poll) {
    std::vector<long> taken;
    try {
        for (long f : plan.output.FramesOnDisk(poll)) {
            if (plan.requested.Contains(f)) taken.push_back(f);
        }
        return taken;
    } catch (const InputError&) {
        // A folder that cannot be listed (write-only) or does not exist yet: its own errors come later.
    }
    for (size_t i = 0; i < plan.requested.Size(); ++i) {
        if (i % 4096 == 0) poll();
        const long f = plan.requested.At(i);
        struct stat st {};
        if (::lstat(plan.output.Path(f).c_str(), &st) == 0) taken.push_back(f);
    }
    return taken;
}

// No output frame may be one of the input's files, under any name. Only
// outputs that exist can be; each input is looked at once.
void RefuseOverwritingInput(const ClipPlan& plan, const Poll& poll) {
    std::map<std::pair<dev_t, ino_t>, long> outputs;
    for (long f : plan.taken) {
        struct stat st {};
        if (::stat(plan.output.Path(f).c_str(), &st) == 0) outputs.emplace(std::make_pair(st.st_dev, st.st_ino), f);
    }
    if (outputs.empty()) return;
    const auto check = [&](const std::string& input) {
        struct stat st {};
        if (::stat(input.c_str(), &st) != 0) return;
        const auto hit = outputs.find({st.st_dev, st.st_ino});
        if (hit == outputs.end()) return;
        throw InputError("OUTPUT '" + plan.output.Text() + "' would overwrite the input: frame " +
                         std::to_string(hit->second) + " is written to '" + plan.output.Path(hit->second) +
                         "', which is the input file '" + input + "'");
    };
    if (!plan.input_pattern) {
        check(plan.still);
        return;
    }
    for (size_t i = 0; i < plan.requested.Size(); ++i) {
        if (i % 1024 == 0) poll();
        check(plan.input_pattern->Path(plan.requested.At(i)));
    }
}

}  // namespace

ClipPlan PlanPatterns(const std::string& input, const std::string& output, bool frames_given) {
    ClipPlan plan;
    plan.input_pattern = FramePattern::Parse(input, "INPUT");
    const std::optional<FramePattern> output_pattern = FramePattern::Parse(output, "OUTPUT");
    if (!output_pattern) {
        if (plan.input_pattern) {
            throw InputError("INPUT '" + input + "' is a frame pattern but OUTPUT '" + output +
                             "' is not; give OUTPUT one too, such as out.####.png");
        }
        throw InputError("--frames renders a clip: give OUTPUT a frame pattern, such as out.####.png");
    }
    plan.output = *output_pattern;
    if (!plan.input_pattern) {
        if (!frames_given) {
            throw InputError("OUTPUT '" + output + "' is a frame pattern but INPUT '" + input +
                             "' is one image: give INPUT a frame pattern too, or --frames to render the still "
                             "under animated values");
        }
        plan.still = input;
    }
    return plan;
}

vparams::Keyframes ReadKeys(const std::string& path, const EffectOptions& options,
                            const vparams::Declaration& declared) {
    const std::string text = vfiles::ReadTextFile(path, vparams::kMaxKeysBytes, "--keys");
    vparams::Keyframes keys = vparams::Keyframes::FromJsonText(text, "--keys '" + path + "'", declared);
    const std::vector<vparams::ParamEntry>& table = vparams::ParamTable();
    for (size_t i = 0; i < table.size(); ++i) {
        const EffectOptions::Param& given = options.params[i];
        if (!keys.Has(table[i].key) || (given.text.empty() && !given.on && !given.off)) continue;
        const std::string option = given.off ? "--no-" + std::string(table[i].option + 2) : table[i].option;
        throw InputError(option + " is given and '" + table[i].key + "' has keys in --keys '" + path +
                         "'; give its value one way");
    }
    return keys;
}

FrameList ChooseFrames(const ClipPlan& plan, const std::string& frames_text, const Poll& poll) {
    if (frames_text.empty()) return WholeSequence(*plan.input_pattern, poll);
    FrameList frames = ParseFrames(frames_text, "--frames");
    if (plan.input_pattern) RequireOnDisk(*plan.input_pattern, frames, frames_text, poll);
    return frames;
}

void CheckTimeRange(const FrameList& frames, const vparse::FrameRate& rate) {
    const long last = frames.Back();
    if ((last + 1) > std::numeric_limits<A_long>::max() / rate.step) {
        throw InputError("frame " + std::to_string(last) + " at " + std::to_string(rate.scale) + "/" +
                         std::to_string(rate.step) + " frames a second lies past the time a host can send "
                         "(2147483647 units of 1/" + std::to_string(rate.scale) + " s)");
    }
}

void PlanOutputs(ClipPlan& plan, bool skip_existing, const Poll& poll) {
    plan.taken = TakenOutputs(plan, poll);
    RefuseOverwritingInput(plan, poll);
    if (skip_existing) {
        for (long f : plan.taken) {
            if (Exists(plan.output.Path(f))) plan.existing.push_back(f);
        }
    }
    plan.frames = plan.requested.Without(FrameList::Of(plan.existing));
}

}  // namespace vclip
