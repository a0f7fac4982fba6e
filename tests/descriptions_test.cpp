// The editors' generated descriptions (MLT's metadata, Kdenlive's descriptor,
// Shotcut's params.js) against the parameter facts they are made from: every
// choice in order with its default, each checkbox's default, each range, and
// Kdenlive's default box centred where the origin's default puts it.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <algorithm>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "mlt/FilterProperties.h"
#include "params/ParamFacts.h"
#include "tests/TestFiles.h"
#include "support/Text.h"
#include "tests/TestSupport.h"

namespace {

using vparams::ParamFacts;
using vparams::ValueKind;

// In the rectangle, not a property of their own.
bool InRect(const ParamFacts& f) {
    const std::vector<std::string>& keys = vmlt::RectKeys();
    return std::find(keys.begin(), keys.end(), f.key) != keys.end();
}

const vparams::ParamFactsList& Facts() {
    static const vparams::ParamFactsList facts = [] {
        auto host = vtest::SetUpHost();
        return vparams::ParamFactsList(vparams::Declaration::Read(*host));
    }();
    return facts;
}

// The block of MLT's metadata that describes `key`, up to the next parameter.
std::string YamlBlock(const std::string& yaml, const std::string& key) {
    const size_t start = yaml.find("  - identifier: " + key + "\n");
    if (start == std::string::npos) return "";
    const size_t end = yaml.find("  - identifier: ", start + 1);
    return yaml.substr(start, end == std::string::npos ? std::string::npos : end - start);
}

TEST(GeneratedDescriptions, MltMetadataListsEveryChoiceDefaultAndRange) {
    const std::string yaml = vtest::FileText(VELLORA_MLT_DATA "/vellora/filter_vellora.yml");
    for (const ParamFacts& f : Facts().All()) {
        if (InRect(f)) continue;
        const std::string block = YamlBlock(yaml, f.key);
        ASSERT_FALSE(block.empty()) << f.key;
        if (f.kind == ValueKind::Choice) {
            std::string values;
            for (const std::string& name : vparams::ChoiceNames(f)) values += "      - " + name + "\n";
            EXPECT_NE(block.find("    values:\n" + values), std::string::npos) << block;
            EXPECT_NE(block.find("    default: " + vparams::DefaultText(f) + "\n"), std::string::npos) << block;
        } else if (f.kind == ValueKind::Number) {
            EXPECT_NE(block.find("    default: " + vparams::DefaultText(f) + "\n    minimum: " + vtext::Exact(f.min) +
                                 "\n    maximum: " + vtext::Exact(f.max) + "\n"),
                      std::string::npos)
                << block;
            if (!f.unit.empty()) {
                EXPECT_NE(block.find("    unit: " + f.unit + "\n"), std::string::npos) << block;
            }
        } else {
            EXPECT_NE(block.find("    default: " + vparams::DefaultText(f) + "\n"), std::string::npos) << block;
        }
    }
}

TEST(GeneratedDescriptions, KdenliveDescriptorsDefaultsAndItsBoxCentredOnTheOrigin) {
    const std::string xml = vtest::FileText(VELLORA_KDENLIVE_XML);
    for (const ParamFacts& f : Facts().All()) {
        if (InRect(f)) continue;
        std::smatch m;
        ASSERT_TRUE(std::regex_search(xml, m, std::regex("name=\"" + f.key + "\"[^>]* default=\"([^\"]*)\"")))
            << f.key;
        EXPECT_EQ(m[1].str(), vparams::DefaultText(f)) << f.key;
        if (f.kind == ValueKind::Choice) {
            std::string list;
            for (const std::string& name : vparams::ChoiceNames(f)) list += (list.empty() ? "" : ";") + name;
            EXPECT_NE(xml.find("paramlist=\"" + list + "\""), std::string::npos) << f.key;
        }
    }
    // "X% Y% W% H%" of the frame: the box's centre is the origin's default.
    std::smatch box;
    ASSERT_TRUE(std::regex_search(xml, box, std::regex("type=\"animatedrect\" name=\"rect\" default=\"([^\"]*)\"")));
    std::istringstream words(box[1].str());
    double r[4];
    for (double& v : r) {
        std::string word;
        words >> word;
        ASSERT_EQ(word.back(), '%') << box[1];
        v = std::stod(word);
    }
    // No second "Opacity" beside the box: Kdenlive's own field would write a fifth number that does nothing.
    EXPECT_NE(xml.find(box[0].str() + " opacity=\"false\""), std::string::npos);
    const ParamFacts& origin = Facts().Get("origin");
    EXPECT_NEAR(r[0] + r[2] / 2, origin.default_x, 1e-4) << box[1];
    EXPECT_NEAR(r[1] + r[3] / 2, origin.default_y, 1e-4) << box[1];
    EXPECT_GT(r[2], 0);
    EXPECT_GT(r[3], 0);
}

TEST(GeneratedDescriptions, ShotcutParamsCarryDefaultsChoicesAndRanges) {
    std::string text = vtest::FileText(VELLORA_SHOTCUT_PARAMS_JS);
    const size_t start = text.find('{');
    ASSERT_NE(start, std::string::npos);
    const nlohmann::json params = nlohmann::json::parse(text.substr(start, text.rfind('}') - start + 1));
    for (const ParamFacts& f : Facts().All()) {
        if (f.kind == ValueKind::Point) continue;
        ASSERT_TRUE(params.contains(f.key)) << f.key;
        const nlohmann::json& p = params.at(f.key);
        EXPECT_EQ(p.at("label"), f.label);
        EXPECT_EQ(p.at("animatable"), f.animated) << f.key;
        switch (f.kind) {
            case ValueKind::Choice:
                EXPECT_EQ(p.at("choices").get<std::vector<std::string>>(), vparams::ChoiceNames(f));
                EXPECT_EQ(p.at("labels").get<std::vector<std::string>>(), vparams::ChoiceLabels(f));
                EXPECT_EQ(p.at("defaultValue"), vparams::DefaultText(f)) << f.key;
                break;
            case ValueKind::Flag:
                // A checkbox added with its default: not inverted.
                EXPECT_EQ(p.at("defaultValue"), f.dephault != 0) << f.key;
                break;
            default:
                EXPECT_EQ(p.at("defaultValue").get<double>(), f.dephault) << f.key;
                EXPECT_EQ(p.at("minimum").get<double>(), f.min) << f.key;
                EXPECT_EQ(p.at("maximum").get<double>(), f.max) << f.key;
                break;
        }
    }
}

}  // namespace
