#include "obs/ObsText.h"

#include <algorithm>
#include <stdexcept>

namespace vobs {

namespace {

// What a point's two controls add to its label.
constexpr const char* kCoordinateNames[2] = {"X", "Y"};

}  // namespace

std::string SettingKey(const vparams::ParamFacts& facts, int coordinate) {
    if (facts.kind == vparams::ValueKind::Point) return facts.entry->frei0r[coordinate == 0 ? 0 : 1].name;
    return facts.key;
}

std::string LabelKey(const vparams::ParamFacts& facts, int coordinate) { return SettingKey(facts, coordinate); }

std::string HelpKey(const vparams::ParamFacts& facts) { return facts.key + ".help"; }

std::string ChoiceKey(const vparams::ParamFacts& facts, size_t choice) {
    return facts.key + "." + facts.choices.at(choice).name;
}

std::string UnitKey(const vparams::ParamFacts& facts) { return "unit." + facts.unit; }

std::vector<std::pair<std::string, std::string>> EnglishTexts(const vparams::ParamFactsList& list) {
    std::vector<std::pair<std::string, std::string>> texts = {
        {kTextFilterName, "Vellora Mask"},
        {kTextOriginHelp, "In the source's own pixels from its top-left corner; left unset, the source's centre."},
        {kTextRefused,
         "This source is high-precision or HDR. Vellora Mask renders 8-bit SDR sources only, so it passes this one "
         "through unmasked."},
    };
    std::vector<std::string> units;
    for (const vparams::ParamFacts& f : list.All()) {
        if (f.kind == vparams::ValueKind::Point) {
            for (int c = 0; c < 2; ++c) texts.emplace_back(LabelKey(f, c), f.label + " " + kCoordinateNames[c]);
        } else {
            texts.emplace_back(LabelKey(f), f.label);
        }
        texts.emplace_back(HelpKey(f), f.help);
        for (size_t k = 0; k < f.choices.size(); ++k) texts.emplace_back(ChoiceKey(f, k), f.choices[k].label);
        if (!f.unit.empty() && std::find(units.begin(), units.end(), f.unit) == units.end()) {
            units.push_back(f.unit);
            texts.emplace_back(UnitKey(f), f.unit);
        }
    }
    return texts;
}

std::string LocaleFile(const std::vector<std::pair<std::string, std::string>>& texts) {
    std::string file;
    for (const auto& [key, text] : texts) {
        std::string escaped;
        for (char c : text) {
            // OBS reads \n, \t, \r and \" back; it has no escape for a backslash itself.
            if (c == '\\') throw std::runtime_error("the text of '" + key + "' holds a backslash");
            if (c == '"') escaped += "\\\"";
            else if (c == '\n') escaped += "\\n";
            else escaped += c;
        }
        file += key + "=\"" + escaped + "\"\n";
    }
    return file;
}

}  // namespace vobs
