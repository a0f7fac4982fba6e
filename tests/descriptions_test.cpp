// The editors' generated descriptions (MLT's metadata, Kdenlive's descriptors,
// Shotcut's params.js, each editor's mask variant beside the filter) against the parameter facts they are made from: every
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

const vparams::Declaration& Declared() {
    static const vparams::Declaration declared = [] {
        auto host = vtest::SetUpHost();
        return vparams::Declaration::Read(*host);
    }();
    return declared;
}

const vparams::ParamFactsList& Facts() {
    static const vparams::ParamFactsList facts(Declared());
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
        // Editors offer keys only where the effect takes them.
        EXPECT_EQ(block.find("    animation: yes\n") != std::string::npos, f.animated) << block;
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
    // Its size the declared one in a 1920x1080 frame, each side in its own axis's percent.
    EXPECT_NEAR(r[2], Facts().Get("width").dephault / 1920 * 100, 1e-3) << box[1];
    EXPECT_NEAR(r[3], Facts().Get("height").dephault / 1080 * 100, 1e-3) << box[1];
}

// The value of `var NAME = ...;` in a params.js.
nlohmann::json JsVar(const std::string& text, const std::string& name) {
    const std::string head = "var " + name + " = ";
    const size_t start = text.find(head);
    if (start == std::string::npos) return nullptr;
    const size_t end = text.find(";\n", start);
    return nlohmann::json::parse(text.substr(start + head.size(), end - start - head.size()));
}

TEST(GeneratedDescriptions, ShotcutParamsCarryDefaultsChoicesAndRanges) {
    const nlohmann::json params = JsVar(vtest::FileText(VELLORA_SHOTCUT_PARAMS_JS), "params");
    ASSERT_TRUE(params.is_object());
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

// The mask variant is the same filter inside MLT's mask_start: the same
// facts, every property under "filter.", and the filter it runs named.
TEST(GeneratedDescriptions, MaskVariantsAreTheFilterUnderMaskStart) {
    const std::string plain_js = vtest::FileText(VELLORA_SHOTCUT_PARAMS_JS);
    const std::string mask_js = vtest::FileText(VELLORA_SHOTCUT_MASK_PARAMS_JS);
    EXPECT_EQ(JsVar(mask_js, "params"), JsVar(plain_js, "params"));
    EXPECT_EQ(JsVar(plain_js, "filter").at("service"), "vellora");
    EXPECT_EQ(JsVar(plain_js, "filter").at("runs"), "");
    EXPECT_EQ(JsVar(mask_js, "filter").at("service"), "mask_start");
    EXPECT_EQ(JsVar(mask_js, "filter").at("runs"), "vellora");
    EXPECT_NE(JsVar(mask_js, "filter").at("objectName"), JsVar(plain_js, "filter").at("objectName"));
    const nlohmann::json plain_names = JsVar(plain_js, "names"), mask_names = JsVar(mask_js, "names");
    const std::vector<vmlt::FilterProperty> properties = vmlt::FilterProperties(Declared());
    EXPECT_EQ(plain_names.size(), properties.size());
    EXPECT_EQ(mask_names.size(), properties.size());

    const std::string plain_xml = vtest::FileText(VELLORA_KDENLIVE_XML);
    const std::string mask_xml = vtest::FileText(VELLORA_KDENLIVE_MASK_XML);
    EXPECT_NE(mask_xml.find("tag=\"mask_start\" id=\"mask_start-vellora\""), std::string::npos);
    EXPECT_NE(mask_xml.find("dependency=\"vellora\""), std::string::npos);
    EXPECT_NE(mask_xml.find("<parameter type=\"fixed\" name=\"filter\" value=\"vellora\">"), std::string::npos);
    for (const vmlt::FilterProperty& p : properties) {
        SCOPED_TRACE(p.name);
        EXPECT_EQ(plain_names.at(p.name), p.name);
        EXPECT_EQ(mask_names.at(p.name), "filter." + p.name);
        // Each parameter element whole, as the plain descriptor has it, but for the name.
        std::smatch element;
        ASSERT_TRUE(std::regex_search(plain_xml, element,
                                      std::regex("<parameter[^>]* name=\"" + p.name + "\"[^]*?</parameter>")));
        std::string wrapped = element.str();
        wrapped.replace(wrapped.find("name=\"" + p.name + "\""), p.name.size() + 7, "name=\"filter." + p.name + "\"");
        EXPECT_NE(mask_xml.find(wrapped), std::string::npos) << wrapped;
    }
}

}  // namespace
