#include "params/ParamFacts.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdlib>

#include "support/Text.h"

namespace vparams {

namespace {

ValueKind KindOf(PF_ParamType type) {
    switch (type) {
        case PF_Param_POPUP: return ValueKind::Choice;
        case PF_Param_POINT: return ValueKind::Point;
        case PF_Param_CHECKBOX: return ValueKind::Flag;
        default: return ValueKind::Number;
    }
}

// One whole finite number and nothing else.
bool ReadNumber(const std::string& word, double& out) {
    const std::string w = vtext::Trim(word);
    if (w.empty()) return false;
    char* end = nullptr;
    errno = 0;
    out = std::strtod(w.c_str(), &end);
    return end == w.c_str() + w.size() && std::isfinite(out);
}

std::string RangeText(const ParamFacts& f) {
    std::string text = vtext::Exact(f.min) + " to " + vtext::Exact(f.max);
    if (!f.unit.empty()) text += " " + f.unit;
    return text;
}

double Ranged(const ParamFacts& f, double v, const std::string& given, const char* coordinate) {
    if (!std::isfinite(v) || v < f.min || v > f.max) {
        throw ParamError(f.key, given, std::string(coordinate) + "out of range (" + RangeText(f) + ")");
    }
    return v;
}

// The option's help: the table's words, then the choices, range and default.
std::string HelpOf(const ParamFacts& f) {
    const std::string help = f.entry->help;
    switch (f.kind) {
        case ValueKind::Choice:
            return help + ": " + vtext::Join(ChoiceNames(f), ", ", " or ") + " [" + DefaultText(f) + "]";
        case ValueKind::Point:
            if (f.default_x == 50 && f.default_y == 50) return help + " [layer centre]";
            return help + " [" + vtext::Exact(f.default_x) + "%, " + vtext::Exact(f.default_y) + "% of the layer]";
        case ValueKind::Flag: return help;
        case ValueKind::Number: break;
    }
    return help + (f.declared_range ? ", " + vtext::Exact(f.min) + " to " + vtext::Exact(f.max) : "") + " [" + DefaultText(f) + "]";
}

}  // namespace

const char* UnitWord(Units units) {
    switch (units) {
        case Units::Pixels:
        case Units::LayerPixels: return "pixels";
        case Units::Degrees: return "degrees";
        case Units::Percent: return "percent";
        case Units::None: break;
    }
    return "";
}

ParamError::ParamError(std::string key, std::string value, std::string reason)
    : vsupport::InputError(key + ": '" + value + "' is " + reason), key_(std::move(key)), value_(std::move(value)),
      reason_(std::move(reason)) {}

ParamFactsList::ParamFactsList(const Declaration& declared) {
    for (const ParamEntry& e : ParamTable()) {
        const DeclaredParam& d = declared[e.index];
        ParamFacts f;
        f.entry = &e;
        f.index = e.index;
        f.key = e.key;
        f.label = d.name;
        f.kind = KindOf(e.type);
        f.units = e.units;
        f.unit = UnitWord(e.units);
        f.min = declared.Min(e.index);
        f.max = declared.Max(e.index);
        f.declared_range = d.has_range;
        f.dephault = d.dephault;
        f.default_x = d.default_x;
        f.default_y = d.default_y;
        f.precision = d.precision;
        f.animated = (d.flags & PF_ParamFlag_CANNOT_TIME_VARY) == 0;
        for (size_t k = 1; k <= d.choices.size(); ++k) {
            f.choices.push_back({declared.ChoiceName(e.index, static_cast<int>(k)), d.choices[k - 1]});
        }
        f.help = HelpOf(f);
        f.box_text = d.box_text;
        facts_.push_back(std::move(f));
    }
}

const ParamFacts* ParamFactsList::Find(const std::string& key) const {
    for (const ParamFacts& f : facts_) {
        if (f.key == key) return &f;
    }
    return nullptr;
}

const ParamFacts& ParamFactsList::Get(const std::string& key) const {
    if (const ParamFacts* f = Find(key)) return *f;
    throw ParamError(key, key, "not a parameter (expected " + vtext::Join(Keys()) + ")");
}

std::vector<std::string> ParamFactsList::Keys() const {
    std::vector<std::string> keys;
    for (const ParamFacts& f : facts_) keys.push_back(f.key);
    return keys;
}

const ParamFacts& ParamFactsList::At(int index) const {
    for (const ParamFacts& f : facts_) {
        if (f.index == index) return f;
    }
    throw ParamError(std::to_string(index), std::to_string(index), "not a parameter's index");
}

std::vector<std::string> ChoiceNames(const ParamFacts& f) {
    std::vector<std::string> names;
    for (const ChoiceFacts& c : f.choices) names.push_back(c.name);
    return names;
}

std::vector<std::string> ChoiceLabels(const ParamFacts& f) {
    std::vector<std::string> labels;
    for (const ChoiceFacts& c : f.choices) labels.push_back(c.label);
    return labels;
}

std::string DefaultText(const ParamFacts& f) {
    if (f.kind == ValueKind::Choice) return ChoiceName(f, static_cast<int>(f.dephault));
    return vtext::Exact(f.dephault);
}

std::string OptionHelp(const ParamEntry& entry, const Declaration& declared) {
    return ParamFactsList(declared).At(entry.index).help;
}

std::string Frei0rHelp(const ParamEntry& entry, const Frei0rParam& param, const Declaration& declared) {
    const ParamFactsList facts(declared);
    const ParamFacts& f = facts.At(entry.index);
    if (f.kind != ValueKind::Choice) return param.help;
    std::vector<std::string> words;
    for (const std::string& label : ChoiceLabels(f)) words.push_back(vtext::Lower(label));
    if (param.map == Frei0rMap::Switch && words.size() == 2) {
        return std::string(param.help) + "below 0.5 " + words[0] + ", otherwise " + words[1];
    }
    std::string help = std::string(param.help) + "floor(v*" + std::to_string(words.size()) + ")";
    for (size_t k = 0; k < words.size(); ++k) help += (k ? ", " : " ") + std::to_string(k) + " " + words[k];
    return help;
}

std::string ChoiceName(const ParamFacts& f, int value) {
    if (value < 1 || value > static_cast<int>(f.choices.size())) return "unknown";
    return f.choices[static_cast<size_t>(value - 1)].name;
}

KeyValue ParseValue(const ParamFacts& f, const std::string& given) {
    const std::string text = vtext::Trim(given);
    double v = 0;
    switch (f.kind) {
        case ValueKind::Choice: {
            const std::string lower = vtext::Lower(text);
            for (size_t k = 0; k < f.choices.size(); ++k) {
                if (lower == f.choices[k].name) return {static_cast<double>(k + 1), 0.0};
            }
            // Compared as doubles: a huge number must not wrap into the list.
            if (ReadNumber(text, v) && v == std::floor(v) && v >= f.min && v <= f.max) return {v, 0.0};
            throw ParamError(f.key, given, "not one of " + vtext::Join(ChoiceNames(f), ", ", " or ") +
                                               " (or 1 to " + vtext::Exact(f.max) + ")");
        }
        case ValueKind::Flag: {
            const std::string lower = vtext::Lower(text);
            if (lower == "true" || lower == "1" || lower == "yes" || lower == "on") return {1.0, 0.0};
            if (lower == "false" || lower == "0" || lower == "no" || lower == "off") return {0.0, 0.0};
            throw ParamError(f.key, given, "not true or false");
        }
        case ValueKind::Point: {
            std::string spaced = text;
            std::replace(spaced.begin(), spaced.end(), ',', ' ');
            const size_t gap = spaced.find_first_of(" \t");
            double x = 0, y = 0;
            if (gap == std::string::npos || !ReadNumber(spaced.substr(0, gap), x) ||
                !ReadNumber(spaced.substr(gap), y)) {
                throw ParamError(f.key, given, "not X,Y in layer pixels");
            }
            return {Ranged(f, x, given, "x "), Ranged(f, y, given, "y ")};
        }
        case ValueKind::Number:
            if (!ReadNumber(text, v)) throw ParamError(f.key, given, "not a number");
            return {Ranged(f, v, given, ""), 0.0};
    }
    return {0.0, 0.0};
}

KeyValue CheckValue(const ParamFacts& f, const KeyValue& value) {
    const std::string given = FormatValue(f, value);
    switch (f.kind) {
        case ValueKind::Choice:
        case ValueKind::Flag:
            if (!(value[0] == std::floor(value[0]) && value[0] >= f.min && value[0] <= f.max)) {
                throw ParamError(f.key, vtext::Exact(value[0]),
                                 f.kind == ValueKind::Flag ? std::string("not true or false")
                                                           : "not a choice from 1 to " + vtext::Exact(f.max));
            }
            return {value[0], 0.0};
        case ValueKind::Point:
            return {Ranged(f, value[0], given, "x "), Ranged(f, value[1], given, "y ")};
        case ValueKind::Number:
            return {Ranged(f, value[0], given, ""), 0.0};
    }
    return value;
}

KeyValue HeldValue(const ParamFacts& f, const KeyValue& value) {
    const KeyValue fallback = DefaultValue(f);
    KeyValue held = value;
    for (size_t i = 0; i < 2; ++i) {
        if (std::isnan(held[i])) {
            // A point's default is the effect's to place: its NaN stays, for the caller to leave unset.
            if (f.kind != ValueKind::Point) held[i] = fallback[i];
            continue;
        }
        held[i] = std::clamp(held[i], f.min, f.max);
        if (f.kind == ValueKind::Choice || f.kind == ValueKind::Flag) held[i] = std::round(held[i]);
    }
    if (f.kind != ValueKind::Point) held[1] = 0.0;
    return held;
}

std::string FormatValue(const ParamFacts& f, const KeyValue& value) {
    switch (f.kind) {
        case ValueKind::Choice: {
            const std::string name = value[0] == std::floor(value[0]) && std::fabs(value[0]) < 1e9
                                         ? ChoiceName(f, static_cast<int>(value[0]))
                                         : "unknown";
            return name == "unknown" ? vtext::Exact(value[0]) : name;
        }
        case ValueKind::Flag: return value[0] != 0.0 ? "true" : "false";
        case ValueKind::Point: return vtext::Exact(value[0]) + "," + vtext::Exact(value[1]);
        case ValueKind::Number: break;
    }
    return vtext::Exact(value[0]);
}

KeyValue DefaultValue(const ParamFacts& f) {
    if (f.kind == ValueKind::Point) return {f.default_x, f.default_y};
    return {f.dephault, 0.0};
}

}  // namespace vparams
