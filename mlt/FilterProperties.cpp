#include "mlt/FilterProperties.h"

#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "host/HostError.h"
#include "params/ParamFacts.h"
#include "params/ParamValue.h"
#include "support/InputError.h"
#include "support/Text.h"

namespace vmlt {

namespace {

using vhost::HostError;
using vsupport::InputError;
using vtext::Trim;

// The values of an animation's keys ("5", "0=5;24=10", "00:00:01.000~=5"),
// or of a plain value: whatever follows each key's "=".
std::vector<std::string> KeyValues(const std::string& text) {
    std::vector<std::string> values;
    size_t start = 0;
    while (start <= text.size()) {
        size_t end = text.find(';', start);
        if (end == std::string::npos) end = text.size();
        const std::string item = text.substr(start, end - start);
        const size_t eq = item.find('=');
        const std::string value = Trim(eq == std::string::npos ? item : item.substr(eq + 1));
        // MLT allows a ";" after the last key.
        if (!(value.empty() && end == text.size() && !values.empty())) values.push_back(value);
        start = end + 1;
    }
    return values;
}

// Whether `word` is one whole number, with a "%" after it where allowed.
bool IsNumber(const std::string& word, bool percent_ok) {
    if (word.empty()) return false;
    const char* begin = word.c_str();
    char* end = nullptr;
    errno = 0;
    const double v = std::strtod(begin, &end);
    if (end == begin || !std::isfinite(v)) return false;
    if (percent_ok && *end == '%') ++end;
    return *end == '\0';
}

// A key's numbers as MLT splits them: each after optional spaces and ended by
// one space or comma. "1 2,,3 4" holds an empty field, which MLT reads as 0
// and shifts the rest, so it is kept here (as "") to be refused.
std::vector<std::string> Words(const std::string& text) {
    const auto space = [](char c) { return std::isspace(static_cast<unsigned char>(c)) != 0; };
    std::vector<std::string> words;
    size_t i = 0;
    while (true) {
        while (i < text.size() && space(text[i])) ++i;
        if (i == text.size()) break;
        const size_t start = i;
        while (i < text.size() && !space(text[i]) && text[i] != ',') ++i;
        words.push_back(text.substr(start, i - start));
        if (i < text.size()) ++i;
    }
    return words;
}

[[noreturn]] void Refuse(const std::string& name, const std::string& text, const std::string& why) {
    throw InputError("property '" + name + "' = '" + text + "': " + why);
}

// Whether `time` is a key time MLT reads: a frame ("25", "-1" from the end) or
// a clock ("00:00:01.000", "00:00:01:05"), with "|" (hold) or "~" (smooth)
// after it. MLT itself reads anything else as frame 0 and says nothing, so a
// typo would move a key to the start unseen.
bool IsKeyTime(std::string time) {
    if (!time.empty() && (time.back() == '|' || time.back() == '~')) time.pop_back();
    size_t i = !time.empty() && time[0] == '-' ? 1 : 0;
    int groups = 0;
    bool fraction = false;
    while (true) {
        const size_t from = i;
        while (i < time.size() && std::isdigit(static_cast<unsigned char>(time[i]))) ++i;
        if (i == from) return false;
        ++groups;
        if (i == time.size()) return groups <= 4;
        if (fraction) return false;
        if (time[i] == '.' || time[i] == ',') {
            fraction = true;
        } else if (time[i] != ':' || time[0] == '-') {
            return false;
        }
        ++i;
    }
}

// Refuses a key whose time MLT would take as frame 0.
void CheckKeyTimes(const std::string& name, const std::string& text) {
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find(';', start);
        if (end == std::string::npos) end = text.size();
        const std::string item = text.substr(start, end - start);
        const size_t eq = item.find('=');
        if (eq != std::string::npos && !IsKeyTime(Trim(item.substr(0, eq)))) {
            Refuse(name, text,
                   "key time '" + Trim(item.substr(0, eq)) +
                       "' is not a frame or a time (write 25=... or 00:00:01.000=..., '|' or '~' before '=')");
        }
        start = end + 1;
    }
}


// A rectangle's X Y W H in the profile's pixels: those given as fractions of
// the profile (MLT reads "10%" as 0.1) scaled by its size.
std::vector<double> InPixels(std::vector<double> r, const std::vector<bool>& fraction, int width, int height) {
    for (size_t i = 0; i < 4; ++i) {
        if (fraction[i]) r[i] *= i % 2 ? height : width;
    }
    return r;
}

struct Frame {
    const vparams::ParamFactsList& facts;
    int width, height;  // the profile's
};

// A value between keys, as MLT's animation gives it. Smooth keys ("~=") can
// overshoot the range between keys inside it (opacity 0, 100, 100 at frames
// 0, 2, 20 peaks near 107): held at the range's end; the keys are checked.
vparams::KeyValue AtFrame(const vparams::ParamFacts& f, const vparams::KeyValue& value) {
    return vparams::CheckValue(f, vparams::HeldValue(f, value));
}

// X Y W H as the values the rectangle stands for (RectKeys: its centre, width
// and height): a key's checked, or the frame's held in range and stored in `into`.
void StoreRect(const std::vector<double>& r, const vparams::ParamFactsList& facts, vparams::EffectValues* into) {
    const vparams::KeyValue parts[] = {{r[0] + r[2] / 2, r[1] + r[3] / 2}, {r[2], 0.0}, {r[3], 0.0}};
    for (size_t i = 0; i < 3; ++i) {
        const vparams::ParamFacts& f = facts.Get(RectKeys()[i]);
        if (into) {
            vparams::StoreParamValue(*f.entry, AtFrame(f, parts[i]), *into);
        } else {
            vparams::CheckValue(f, parts[i]);
        }
    }
}

// One property's text to its value in `values`; every key checked, not only
// those reached so far. Throws InputError, or ParamError for a value refused.
void ReadProperty(const FilterProperty& p, const std::string& text, const PropertySource& source, const Frame& frame,
                  vparams::EffectValues& values) {
    const std::vector<std::string> keys = KeyValues(text);
    if (!p.animated && (keys.size() != 1 || text.find('=') != std::string::npos)) {
        Refuse(p.name, text, "cannot be keyframed");
    }
    CheckKeyTimes(p.name, text);
    if (p.kind == PropertyKind::Rect) {
        const bool percent = text.find('%') != std::string::npos;
        const std::vector<bool> fraction(4, percent);
        for (const std::string& key : keys) {
            const std::vector<std::string> words = Words(key);
            bool ok = words.size() == 4 || words.size() == 5;
            for (const std::string& w : words) ok = ok && IsNumber(w, true);
            if (!ok) Refuse(p.name, text, "expected \"X Y W H\" in pixels at every key");
            std::vector<double> r(4);
            for (size_t i = 0; i < 4; ++i) {
                // MLT's readers scale every number once the text holds a "%".
                if ((words[i].back() == '%') != percent) {
                    Refuse(p.name, text, "'" + words[i] + "' mixes pixels and percent: write X Y W H all in one");
                }
                r[i] = std::strtod(words[i].c_str(), nullptr) / (percent ? 100.0 : 1.0);
            }
            StoreRect(InPixels(r, fraction, frame.width, frame.height), frame.facts, nullptr);
        }
        StoreRect(InPixels(source.rect_at(p.name.c_str()), fraction, frame.width, frame.height), frame.facts, &values);
        return;
    }
    const vparams::ParamFacts& f = frame.facts.At(p.entry->index);
    const std::string first = Trim(keys.front());
    switch (p.kind) {
        case PropertyKind::Number:
            for (const std::string& key : keys) {
                if (!IsNumber(key, false)) Refuse(p.name, text, "expected a number at every key");
                vparams::CheckValue(f, {std::strtod(key.c_str(), nullptr), 0.0});
            }
            vparams::StoreParamValue(*f.entry, AtFrame(f, {source.number_at(p.name.c_str()), 0.0}), values);
            break;
        case PropertyKind::Choice:
            vparams::StoreParamValue(*f.entry, vparams::ParseValue(f, first), values);
            break;
        case PropertyKind::Flag:
            if (first != "0" && first != "1") Refuse(p.name, text, "expected 0 or 1");
            vparams::StoreParamValue(*f.entry, {first == "1" ? 1.0 : 0.0, 0.0}, values);
            break;
        case PropertyKind::Rect: break;
    }
}

}  // namespace

const std::vector<std::string>& RectKeys() {
    static const std::vector<std::string> keys = {"origin", "width", "height"};
    return keys;
}

std::vector<FilterProperty> FilterProperties(const vparams::Declaration& declared) {
    for (const std::string& key : RectKeys()) {
        if (!vparams::FindKey(key)) throw HostError("the parameter table has no '" + key + "' for the rectangle");
    }
    std::vector<FilterProperty> list;
    for (const vparams::ParamEntry& e : vparams::ParamTable()) {
        const bool animated = (declared[e.index].flags & PF_ParamFlag_CANNOT_TIME_VARY) == 0;
        if (e.key == RectKeys()[0]) {
            list.push_back({kRectName, PropertyKind::Rect, nullptr, animated});
            continue;
        }
        bool in_rect = false;
        for (const std::string& key : RectKeys()) in_rect = in_rect || key == e.key;
        if (in_rect) continue;
        const PropertyKind kind = e.choice ? PropertyKind::Choice : e.flag ? PropertyKind::Flag : PropertyKind::Number;
        list.push_back({e.key, kind, &e, animated});
    }
    return list;
}

vparams::EffectValues ValuesFromProperties(const PropertySource& source, const vparams::Declaration& declared,
                                           int width, int height) {
    const vparams::ParamFactsList facts(declared);
    vparams::EffectValues values;
    for (const FilterProperty& p : FilterProperties(declared)) {
        const char* given = source.text(p.name.c_str());
        if (!given) continue;
        const std::string raw = given;  // reading the animation may change the properties
        try {
            ReadProperty(p, raw, source, {facts, width, height}, values);
        } catch (const vparams::ParamError& e) {
            // The rectangle stands for three values: its refusal names the one.
            Refuse(p.name, raw, p.kind == PropertyKind::Rect ? e.what() : "'" + e.Value() + "' is " + e.Reason());
        }
    }
    return values;
}

}  // namespace vmlt
