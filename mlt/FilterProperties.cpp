#include "mlt/FilterProperties.h"

#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include <nlohmann/json.hpp>

#include "host/HostError.h"
#include "params/EffectParams.h"
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

std::vector<std::string> Words(const std::string& text) {
    std::vector<std::string> words;
    std::string word;
    for (char c : text) {
        if (std::isspace(static_cast<unsigned char>(c)) || c == ',') {
            if (!word.empty()) words.push_back(word);
            word.clear();
        } else {
            word += c;
        }
    }
    if (!word.empty()) words.push_back(word);
    return words;
}

[[noreturn]] void Refuse(const std::string& name, const std::string& text, const std::string& why) {
    throw InputError("property '" + name + "' = '" + text + "': " + why);
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
    nlohmann::json json = nlohmann::json::object();
    std::vector<nlohmann::json> checks;  // each key's values, held to the declared ranges
    for (const FilterProperty& p : FilterProperties(declared)) {
        const char* raw = source.text(p.name.c_str());
        if (!raw) continue;
        const std::string text = raw;
        const std::vector<std::string> keys = KeyValues(text);
        if (!p.animated && (keys.size() != 1 || text.find('=') != std::string::npos)) {
            Refuse(p.name, text, "cannot be keyframed");
        }
        switch (p.kind) {
            case PropertyKind::Rect: {
                for (const std::string& key : keys) {
                    const std::vector<std::string> words = Words(key);
                    bool ok = words.size() == 4 || words.size() == 5;
                    for (const std::string& w : words) ok = ok && IsNumber(w, true);
                    if (!ok) Refuse(p.name, text, "expected \"X Y W H\" in pixels at every key");
                    // Every key in range, not only those reached so far.
                    std::vector<double> k(4);
                    for (size_t i = 0; i < 4; ++i) {
                        k[i] = std::strtod(words[i].c_str(), nullptr);
                        if (words[i].back() == '%') k[i] *= (i % 2 ? height : width) / 100.0;
                    }
                    checks.push_back({{"origin", {k[0] + k[2] / 2, k[1] + k[3] / 2}}, {"width", k[2]}, {"height", k[3]}});
                }
                std::vector<double> r = source.rect_at(p.name.c_str());
                // MLT reads "10%" as 0.1: a fraction of the profile's size.
                if (text.find('%') != std::string::npos) {
                    r[0] *= width;
                    r[1] *= height;
                    r[2] *= width;
                    r[3] *= height;
                }
                json["origin"] = {r[0] + r[2] / 2, r[1] + r[3] / 2};
                json["width"] = r[2];
                json["height"] = r[3];
                break;
            }
            case PropertyKind::Number:
                for (const std::string& key : keys) {
                    if (!IsNumber(key, false)) Refuse(p.name, text, "expected a number at every key");
                    checks.push_back({{p.name, std::strtod(key.c_str(), nullptr)}});
                }
                json[p.name] = source.number_at(p.name.c_str());
                break;
            case PropertyKind::Choice: {
                const std::string value = Trim(keys.front());
                const bool digits = !value.empty() && value.find_first_not_of("0123456789") == std::string::npos;
                if (digits && value.size() < 4) {
                    json[p.name] = std::atoi(value.c_str());
                } else {
                    json[p.name] = value;
                }
                break;
            }
            case PropertyKind::Flag: {
                const std::string value = Trim(keys.front());
                if (value != "0" && value != "1") Refuse(p.name, text, "expected 0 or 1");
                json[p.name] = value == "1";
                break;
            }
        }
    }
    try {
        for (const nlohmann::json& check : checks) vparams::EffectValuesFromJson(check, {}, "vellora", declared);
        return vparams::EffectValuesFromJson(json, {}, "vellora", declared);
    } catch (const vsupport::InputError& e) {
        // Name the property the user set: the rectangle for its three parts.
        std::string text = e.what();
        for (const std::string& key : RectKeys()) {
            if (text.find("'" + key + "'") != std::string::npos) {
                const char* raw = source.text(kRectName);
                Refuse(kRectName, raw ? raw : "", text.substr(std::strlen("vellora: ")));
            }
        }
        throw;
    }
}

}  // namespace vmlt
