// Key files, --frames lists and frame patterns, through the code a clip
// render runs on them. Input: the --frames text, a newline, an output
// pattern's file name, a newline, then the --keys file's bytes.
//
// Promises held: a frame list names the same frames written back as the
// tools describe it; a pattern's folder lists exactly the frames written by
// its names; keyed values stay in the declared ranges, equal each key at its
// frame, hold outside the keys, between hold keys and for popups and the
// checkbox, and move between the two keys of a linear stretch from one towards
// the other, half-way at its middle; all as the file states the keys, read
// apart from the code that reads them. The host takes every frame's values.
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

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

// A key as the file states it, read here apart from the key reader, so a
// fault there shows as a difference.
struct Stated {
    long frame;
    std::array<double, 2> value;
    bool hold;
};

// The keys of one parameter in an accepted key file, in file order.
std::vector<Stated> StatedKeys(const vparams::ParamEntry& e, const nlohmann::json& keys) {
    // A number, a checkbox's true or false, a popup's name or number.
    const auto number = [&](const nlohmann::json& v) {
        return v.is_boolean() ? (v.get<bool>() ? 1.0 : 0.0)
               : v.is_string() ? Declared().ParseChoice(e.index, v.get<std::string>())
                               : v.get<double>();
    };
    std::vector<Stated> stated;
    for (const nlohmann::json& key : keys) {
        const nlohmann::json& v = key.at("value");
        stated.push_back({key.at("frame").get<long>(),
                          v.is_array() ? std::array<double, 2>{number(v[0]), number(v[1])}
                                       : std::array<double, 2>{number(v), 0.0},
                          key.value("interpolation", "linear") == "hold"});
    }
    return stated;
}

// What the key format promises of one parameter at `frame`: a key's own value
// at its frame, the first before it and the last after it; popups, the
// checkbox and a hold key keep the value until the next key; elsewhere the
// value lies between the stretch's two keys, moves from one towards the other
// frame by frame (`previous` is the value a frame earlier) and is half-way at
// the stretch's middle.
std::string CheckStated(const vparams::ParamEntry& e, const std::vector<Stated>& keys, long frame,
                        const vparams::EffectValues& values, const vparams::EffectValues& previous) {
    const bool interpolates = e.number != nullptr;
    size_t i = 0;  // the stretch is keys[i] .. keys[i + 1]
    while (i + 1 < keys.size() && keys[i + 1].frame <= frame) ++i;
    for (int axis = 0; axis < (e.number_y ? 2 : 1); ++axis) {
        const double got = Get(values, e, axis), v0 = keys[i].value[axis];
        const std::string where = std::string(e.key) + " at frame " + std::to_string(frame) + " is " +
                                  std::to_string(got);
        if (frame <= keys[i].frame || i + 1 == keys.size() || keys[i].hold || !interpolates) {
            if (got != v0) return where + ", not the value " + std::to_string(v0) + " of the key that holds";
            continue;
        }
        const Stated& next = keys[i + 1];
        const double v1 = next.value[axis], slack = 1e-9 * std::max({1.0, std::fabs(v0), std::fabs(v1)});
        if (got < std::min(v0, v1) || got > std::max(v0, v1)) {
            return where + ", outside its stretch " + std::to_string(v0) + ".." + std::to_string(v1);
        }
        const double before = frame - 1 == keys[i].frame ? v0 : Get(previous, e, axis);
        if ((v1 - v0) * (got - before) < 0) {
            return where + ", back towards " + std::to_string(v0) + " from " + std::to_string(before);
        }
        if (2 * (frame - keys[i].frame) == next.frame - keys[i].frame && std::fabs(got - (v0 + v1) / 2) > slack) {
            return where + ", not half-way between " + std::to_string(v0) + " and " + std::to_string(v1);
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
            const nlohmann::json file = nlohmann::json::parse(keys_text);
            std::vector<std::pair<const vparams::ParamEntry*, std::vector<Stated>>> stated;
            for (auto it = file.begin(); it != file.end(); ++it) {
                const vparams::ParamEntry* e = vparams::FindKey(it.key());
                if (!e || !keys.Has(it.key())) return "'" + it.key() + "' is in the file but has no track";
                stated.emplace_back(e, StatedKeys(*e, it.value()));
            }
            if (stated.size() != keys.Tracks().size()) return "the keys hold tracks the file does not name";
            std::set<long> checked(frames.begin(), frames.begin() + std::min(frames.size(), kFramesChecked));
            for (const auto& [e, track] : stated) {
                for (size_t i = 0; i < track.size() && checked.size() < 4 * kFramesChecked; ++i) {
                    const long f = track[i].frame;
                    checked.insert({f - 1, f, f + 1});
                    if (i + 1 < track.size()) checked.insert(f + (track[i + 1].frame - f) / 2);
                }
            }
            for (long frame : checked) {
                const vparams::EffectValues values = keys.At(frame, {}), previous = keys.At(frame - 1, {});
                if (std::string bad = OutOfRange(values, Declared()); !bad.empty()) {
                    return "at frame " + std::to_string(frame) + ": " + bad;
                }
                for (const auto& [e, track] : stated) {
                    if (std::string bad = CheckStated(*e, track, frame, values, previous); !bad.empty()) return bad;
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
