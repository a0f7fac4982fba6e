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

#include <array>
#include <cstddef>
#include <string>
#include <vector>

#include <nlohmann/json_fwd.hpp>

#include "params/EffectParams.h"

namespace vparams {

enum class ParamKind { Number, Point, Popup, Checkbox };
enum class Interpolation { Linear, Hold };

// Whether values of this kind move smoothly between keys; the others hold.
bool Interpolates(ParamKind kind);

// A value of any kind: a number in [0]; a point's x and y; a popup's 1-based
// choice; a checkbox's 0 or 1.
using KeyValue = std::array<double, 2>;

// What keys need to know of one parameter.
struct KeyableParam {
    const char* name;  // as --params names it
    ParamKind kind;
    double min, max;   // numbers and each coordinate of a point; popups 1..choices
    int (*parse_choice)(const std::string&);  // popups by name; null otherwise
    void (*assign)(EffectValues&, const KeyValue&);
};

// Every parameter that can take keys, in the order of the host's list.
const std::vector<KeyableParam>& KeyableParams();
// The parameter of that name, or null.
const KeyableParam* FindKeyableParam(const std::string& name);

struct Key {
    long frame = 0;
    KeyValue value{0.0, 0.0};
    Interpolation interpolation = Interpolation::Linear;
};

struct Track {
    const KeyableParam* param = nullptr;
    std::vector<Key> keys;  // strictly increasing frames, at least one
};

// The value of `track` at `frame`. Between two keys a linear stretch of an
// interpolating kind gives the straight line between them; at a key, its own
// value exactly.
KeyValue ValueAt(const Track& track, long frame);

// A key file is small next to the frames it animates; far larger is not one.
constexpr size_t kMaxKeysBytes = 64u << 20;
constexpr int kMaxKeysDepth = 8;

class Keyframes {
public:
    Keyframes() = default;
    // Throws HostError starting with `source_name`, naming the parameter, the
    // frame and the reason for anything it refuses: unknown names, malformed
    // keys, keys out of frame order, values outside the parameter's range.
    static Keyframes FromJson(const nlohmann::json& json, const std::string& source_name);
    // The same from JSON text, which must be one object with each member once.
    static Keyframes FromJsonText(const std::string& text, const std::string& source_name);

    bool Empty() const { return tracks_.empty(); }
    bool Has(const std::string& name) const;
    const std::vector<Track>& Tracks() const { return tracks_; }

    // `base` with every keyed parameter set to its value at `frame`.
    EffectValues At(long frame, EffectValues base) const;

private:
    std::vector<Track> tracks_;
};

}  // namespace vparams
