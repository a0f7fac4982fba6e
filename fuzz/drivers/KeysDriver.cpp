// Key files, --frames lists and frame patterns, through the code a clip
// render runs on them. Input: the --frames text, a newline, an output
// pattern's file name, a newline, then the --keys file's bytes.
//
// Promises held: a frame list names the same frames written back as the
// tools describe it; a pattern's folder lists exactly the frames written by
// its names; keyed values stay in the declared ranges, equal each key at its
// frame, hold outside the keys and between hold keys, and lie between the
// two keys of a linear stretch; the host takes every frame's values.
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "clip/FramePattern.h"
#include "fuzz/drivers/Bytes.h"
#include "fuzz/drivers/DriverSupport.h"
#include "fuzz/drivers/Scratch.h"
#include "host/Host.h"
#include "host/HostError.h"
#include "params/EffectParams.h"
#include "params/Keyframes.h"
#include "support/InputError.h"

namespace vfuzz {

namespace {

// Enough frames to meet every stretch of a small key file; a clip's own length adds nothing.
constexpr size_t kFramesChecked = 48;

std::string Frames(const std::string& text, std::vector<long>& frames) {
    try {
        frames = vclip::ParseFrameList(text, "--frames");
    } catch (const vsupport::InputError&) {
        frames.clear();
        return {};
    }
    const std::string described = vclip::DescribeFrames(frames);
    if (vclip::ParseFrameList(described, "--frames") != frames) {
        return "--frames '" + text + "' is described as '" + described + "', which names other frames";
    }
    // The runs a clip plans with name the same frames, found by index and by number.
    const vclip::FrameList list = vclip::ParseFrames(text, "--frames");
    if (list.Size() != frames.size() || list.Describe() != described) {
        return "--frames '" + text + "' plans " + std::to_string(list.Size()) + " frames as " + list.Describe();
    }
    const size_t step = std::max<size_t>(1, frames.size() / 4096);
    std::vector<long> every_third;
    for (size_t i = 0; i < frames.size(); i += step) {
        const bool follows = i > 0 && frames[i - 1] == frames[i] - 1;
        if (list.At(i) != frames[i] || !list.Contains(frames[i]) || list.Contains(frames[i] - 1) != follows) {
            return "--frames '" + text + "': frame " + std::to_string(i) + " of the plan is not " +
                   std::to_string(frames[i]);
        }
        if (i % 3 == 0) every_third.push_back(frames[i]);
    }
    // Without: what is left after taking some frames away, as a set difference gives it.
    const vclip::FrameList left = list.Without(vclip::FrameList::Of(every_third));
    if (left.Size() != frames.size() - every_third.size()) {
        return "--frames '" + text + "' without " + std::to_string(every_third.size()) + " of its frames leaves " +
               std::to_string(left.Size());
    }
    for (long f : every_third) {
        if (left.Contains(f)) return "--frames '" + text + "' without frame " + std::to_string(f) + " still holds it";
    }
    return {};
}

// Writes the files of a few frames into an empty folder and lists them back.
std::string Pattern(const std::string& name, const std::vector<long>& frames) {
    // Names the system cannot hold are not the tools' to judge.
    if (name.empty() || name.size() > 200 || name.find('/') != std::string::npos ||
        name.find('\0') != std::string::npos) {
        return {};
    }
    const std::string folder = ScratchDir() + "seq/";
    ::mkdir(folder.c_str(), 0700);
    std::optional<vclip::FramePattern> pattern;
    try {
        pattern = vclip::FramePattern::Parse(folder + name, "OUTPUT");
    } catch (const vsupport::InputError&) {
        return {};
    }
    if (!pattern) return {};
    std::vector<long> written;
    std::string problem;
    for (size_t i = 0; i < frames.size() && i < 8; ++i) {
        const std::string path = pattern->Path(frames[i]);
        FILE* f = std::fopen(path.c_str(), "wb");
        if (!f) continue;  // "." or ".." and the like
        std::fclose(f);
        written.push_back(frames[i]);
    }
    const std::vector<long> listed = pattern->FramesOnDisk();
    if (listed != written) {
        problem = "pattern '" + name + "' wrote frames " + vclip::DescribeFrames(written) + " but lists " +
                  vclip::DescribeFrames(listed);
    }
    for (long f : written) ::unlink(pattern->Path(f).c_str());
    return problem;
}

double Get(const vparams::EffectValues& v, const vparams::ParamEntry& e, int axis) {
    if (e.choice) return *(v.*e.choice);
    if (e.flag) return *(v.*e.flag) ? 1.0 : 0.0;
    return axis == 0 ? *(v.*e.number) : *(v.*e.number_y);
}

// What one track promises at `frame`, given the value the keys gave there.
std::string CheckTrack(const vparams::Track& track, long frame, const vparams::EffectValues& values) {
    const vparams::ParamEntry& e = *track.param;
    const std::vector<vparams::Key>& keys = track.keys;
    const int axes = e.number_y ? 2 : 1;
    const auto at = std::upper_bound(keys.begin(), keys.end(), frame,
                                     [](long f, const vparams::Key& k) { return f < k.frame; });
    // A key's value as the parameter holds it: popups a choice, the checkbox on or off.
    const auto held = [&](double v) { return e.choice ? static_cast<int>(v) : e.flag ? (v != 0.0 ? 1.0 : 0.0) : v; };
    for (int axis = 0; axis < axes; ++axis) {
        const double got = Get(values, e, axis);
        const std::string where = std::string(e.key) + " at frame " + std::to_string(frame) + " is " +
                                  std::to_string(got);
        if (at == keys.begin()) {
            if (got != held(keys.front().value[axis])) return where + ", not the first key's value before it";
            continue;
        }
        const vparams::Key& before = *(at - 1);
        const double v0 = before.value[axis];
        const bool holds = at == keys.end() || before.frame == frame ||
                           before.interpolation == vparams::Interpolation::Hold || !vparams::Interpolates(e.type);
        if (holds) {
            if (got != held(v0)) return where + ", not the held value " + std::to_string(held(v0));
            continue;
        }
        const double v1 = at->value[axis];
        const double slack = 1e-12 * std::max(std::fabs(v0), std::fabs(v1));
        if (got < std::min(v0, v1) - slack || got > std::max(v0, v1) + slack) {
            return where + ", outside its stretch " + std::to_string(v0) + ".." + std::to_string(v1);
        }
    }
    return {};
}

class KeysDriver : public Driver {
public:
    KeysDriver() : host_(EffectModule(), vhost::HostApp::AfterEffects) { vparams::SetUpChecked(host_); }

    std::string Run(const uint8_t* data, size_t size) override {
        Bytes in(data, size);
        const std::string frames_text = in.Until('\n');
        const std::string pattern_text = in.Until('\n');
        const std::string keys_text = in.Rest();
        return Guarded([&]() -> std::string {
            std::vector<long> frames;
            if (std::string bad = Frames(frames_text, frames); !bad.empty()) return bad;
            if (std::string bad = Pattern(pattern_text, frames); !bad.empty()) return bad;

            vparams::Keyframes keys;
            try {
                keys = vparams::Keyframes::FromJsonText(keys_text, "--keys 'fuzz.json'", Declared());
            } catch (const vsupport::InputError&) {
                return {};
            }
            std::set<long> checked(frames.begin(), frames.begin() + std::min(frames.size(), kFramesChecked));
            for (const vparams::Track& track : keys.Tracks()) {
                for (size_t i = 0; i < track.keys.size() && checked.size() < 4 * kFramesChecked; ++i) {
                    const long f = track.keys[i].frame;
                    checked.insert({f - 1, f, f + 1});
                    if (i + 1 < track.keys.size()) checked.insert(f + (track.keys[i + 1].frame - f) / 2);
                }
            }
            for (long frame : checked) {
                const vparams::EffectValues values = keys.At(frame, {});
                if (std::string bad = OutOfRange(values, Declared()); !bad.empty()) {
                    return "at frame " + std::to_string(frame) + ": " + bad;
                }
                for (const vparams::Track& track : keys.Tracks()) {
                    if (std::string bad = CheckTrack(track, frame, values); !bad.empty()) return bad;
                }
                vparams::ApplyEffectValues(host_, values, kLayerWidth, kLayerHeight);
            }
            return {};
        });
    }

    std::string Dictionary() const override {
        std::string dict = JsonWords();
        for (const char* word : {"\"frame\":", "\"value\":", "\"interpolation\":", "\"linear\"", "\"hold\"", "%04d",
                                 "%d", "%%", "####", "#", "-", ",", "999999999", "\n"}) {
            dict += DictionaryWord(word);
        }
        return dict;
    }

private:
    vhost::Host host_;
};

}  // namespace

std::unique_ptr<Driver> MakeKeysDriver() { return std::make_unique<KeysDriver>(); }

}  // namespace vfuzz
