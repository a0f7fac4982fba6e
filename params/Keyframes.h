// Parameter values that change over a clip: keys by frame, per parameter, by
// the names --params uses. A parameter's kind decides how its value moves
// between keys: numbers and the point interpolate (the point per coordinate),
// popups and the checkbox hold, as hosts animate them.
//
// The key file is a JSON object whose members are parameters, each an array
// of keys in frame order: {"frame": N, "value": V, "interpolation": "linear"
// or "hold"}; the interpolation, linear by default, is that of the stretch
// that starts at the key. Before the first key and after the last the value
// stays.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include <nlohmann/json_fwd.hpp>

#include "params/EffectValues.h"
#include "params/ParamTable.h"
#include "params/ParamValue.h"

namespace vparams {

enum class Interpolation { Linear, Hold };

struct Key {
    long frame = 0;
    KeyValue value{0.0, 0.0};
    Interpolation interpolation = Interpolation::Linear;
};

struct Track {
    const ParamEntry* param = nullptr;  // its row of the parameter table
    std::vector<Key> keys;  // strictly increasing frames, at least one
};

// Whether a parameter of this type moves smoothly between keys (numbers and
// the point); popups and the checkbox hold, as hosts animate them.
bool Interpolates(PF_ParamType type);

// The value of `track` at `frame`. Between two keys a linear stretch of an
// interpolating parameter gives the straight line between them; at a key, its
// own value exactly.
KeyValue ValueAt(const Track& track, long frame);

// A key file is small next to the frames it animates; far larger is not one.
constexpr size_t kMaxKeysBytes = 64u << 20;
constexpr int kMaxKeysDepth = 8;

class Keyframes {
public:
    Keyframes() = default;
    // Throws InputError starting with `source_name`, naming the parameter, the
    // frame and the reason for anything it refuses: unknown names, malformed
    // keys, keys out of frame order, values outside the range the plug-in
    // declares (`declared`).
    static Keyframes FromJson(const nlohmann::json& json, const std::string& source_name,
                              const Declaration& declared);
    // The same from JSON text, which must be one object with each member once.
    static Keyframes FromJsonText(const std::string& text, const std::string& source_name,
                                  const Declaration& declared);

    bool Empty() const { return tracks_.empty(); }
    bool Has(const std::string& key) const;  // by its --params key
    const std::vector<Track>& Tracks() const { return tracks_; }

    // `base` with every keyed parameter set to its value at `frame`.
    EffectValues At(long frame, EffectValues base) const;

private:
    std::vector<Track> tracks_;
};

}  // namespace vparams
