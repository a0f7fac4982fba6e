#include "fuzz/drivers/DriverSupport.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <vector>

#include "fuzz/drivers/Drivers.h"
#include "host/Host.h"
#include "host/HostError.h"
#include "support/InputError.h"

namespace vfuzz {

namespace {

std::string FromEnv(const char* name, const char* fallback) {
    const char* value = std::getenv(name);
    return value && *value ? value : fallback;
}

}  // namespace

std::string EffectModulePath() { return FromEnv("VELLORA_MODULE", VELLORA_MODULE_PATH); }
std::string Frei0rModulePath() { return FromEnv("VELLORA_FREI0R", VELLORA_FREI0R_PATH); }

const vhost::PluginModule& EffectModule() {
    static const vhost::PluginModule module(EffectModulePath());
    return module;
}

const vparams::Declaration& Declared() {
    static const vparams::Declaration declared = [] {
        vhost::Host host(EffectModule(), vhost::HostApp::AfterEffects);
        return vparams::SetUpChecked(host);
    }();
    return declared;
}

std::string DictionaryWord(const std::string& word) {
    std::string line = "\"";
    for (const char c : word) {
        const unsigned char u = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            line += '\\';
            line += c;
        } else if (u < 0x20 || u >= 0x7f) {
            char hex[5];
            std::snprintf(hex, sizeof hex, "\\x%02X", u);
            line += hex;
        } else {
            line += c;
        }
    }
    return line + "\"\n";
}

std::string JsonWords() {
    std::string dict;
    for (const vparams::ParamEntry& e : vparams::ParamTable()) {
        dict += DictionaryWord("\"" + std::string(e.key) + "\":");
        const vparams::DeclaredParam& p = Declared()[e.index];
        for (size_t c = 1; c <= p.choices.size(); ++c) {
            dict += DictionaryWord("\"" + Declared().ChoiceName(e.index, static_cast<int>(c)) + "\"");
        }
    }
    for (const char* word : {"{", "}", "[", "]", ",", ":", "true", "false", "null", "-0", "1e308", "-1e308",
                             "4.9e-324", "1e999", "NaN", "Infinity", "32767.99998", "0.1", "\"\\u0000\"", "\"\\ud800\""}) {
        dict += DictionaryWord(word);
    }
    return dict;
}

std::string OutOfRange(const vparams::EffectValues& v, const vparams::Declaration& declared) {
    for (const vparams::ParamEntry& e : vparams::ParamTable()) {
        const double lo = declared.Min(e.index), hi = declared.Max(e.index);
        const auto check = [&](const auto& value) -> std::string {
            if (!value) return {};
            const double x = static_cast<double>(*value);
            if (std::isfinite(x) && x >= lo && x <= hi) return {};
            return std::string(e.key) + " was accepted as " + std::to_string(x) + ", outside " + std::to_string(lo) +
                   ".." + std::to_string(hi);
        };
        std::string bad;
        if (e.choice) bad = check(v.*e.choice);
        if (e.number && bad.empty()) bad = check(v.*e.number);
        if (e.number_y && bad.empty()) bad = check(v.*e.number_y);
        if (!bad.empty()) return bad;
    }
    return {};
}

std::string Guarded(const std::function<std::string()>& check) {
    try {
        return check();
    } catch (const vsupport::InputError& e) {
        return std::string("a refusal after the input was accepted: ") + e.what();
    } catch (const vhost::HostError& e) {
        return std::string("a refusal after the input was accepted: ") + e.what();
    } catch (const std::exception& e) {
        return std::string("an exception the tools do not expect: ") + e.what();
    } catch (...) {
        return "an exception of no known type";
    }
}

const std::vector<std::string>& DriverNames() {
    static const std::vector<std::string> names = {"entry", "params", "keys", "image", "frei0r", "mlt"};
    return names;
}

std::unique_ptr<Driver> MakeDriver(const std::string& name) {
    if (name == "entry") return MakeEntryDriver();
    if (name == "params") return MakeParamsDriver();
    if (name == "keys") return MakeKeysDriver();
    if (name == "image") return MakeImageDriver();
    if (name == "frei0r") return MakeFrei0rDriver();
    if (name == "mlt") return MakeMltDriver();
    throw vhost::HostError("no fuzz driver is called '" + name + "'");
}

}  // namespace vfuzz
