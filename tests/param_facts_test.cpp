// The facts every front end reads of a parameter, from the built module's
// declaration: labels, units, ranges, defaults and choices as declared, and
// values typed as text parsed, refused with the key as data, held and printed
// back to what they were.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "params/ParamFacts.h"
#include "plugin/Vellora/Vellora.h"
#include "tests/TestSupport.h"

namespace {

using vparams::ParamError;
using vparams::ParamFacts;
using vparams::ParamFactsList;
using vparams::ValueKind;

const ParamFactsList& Facts() {
    static const ParamFactsList facts = [] {
        auto host = vtest::SetUpHost();
        return ParamFactsList(vparams::Declaration::Read(*host));
    }();
    return facts;
}

// The key a refusal carries; empty when `parse` throws nothing.
template <class F>
std::string RefusedKey(F parse) {
    try {
        parse();
    } catch (const ParamError& e) {
        EXPECT_FALSE(e.Reason().empty());
        return e.Key();
    }
    return "";
}

TEST(ParamFacts, ComeFromTheDeclarationInTheHostsOrder) {
    const auto& all = Facts().All();
    ASSERT_EQ(all.size(), vparams::ParamTable().size());
    for (size_t i = 0; i < all.size(); ++i) EXPECT_EQ(all[i].index, static_cast<int>(i) + 1);

    const ParamFacts& falloff = Facts().Get("falloff");
    EXPECT_EQ(falloff.kind, ValueKind::Choice);
    EXPECT_EQ(falloff.label, "Alpha falloff");
    ASSERT_EQ(falloff.choices.size(), 6u);
    EXPECT_EQ(falloff.choices.front().name, "linear");
    EXPECT_EQ(falloff.choices.back().name, "exponential");
    EXPECT_EQ(falloff.choices[3].label, "Gamma 2.2");
    EXPECT_EQ(falloff.max, 6);

    const ParamFacts& width = Facts().Get("width");
    EXPECT_EQ(width.unit, "pixels");
    EXPECT_TRUE(width.declared_range);
    EXPECT_EQ(width.min, 0);
    EXPECT_EQ(width.max, 15000);
    EXPECT_EQ(Facts().Get("angle").unit, "degrees");
    EXPECT_EQ(Facts().Get("opacity").unit, "percent");
    // One word for both kinds of pixel.
    EXPECT_EQ(Facts().Get("origin").unit, "pixels");
    EXPECT_EQ(Facts().Get("mask_type").unit, "");

    const ParamFacts& origin = Facts().Get("origin");
    EXPECT_EQ(origin.kind, ValueKind::Point);
    EXPECT_EQ(origin.default_x, 50);
    EXPECT_EQ(origin.default_y, 50);
    EXPECT_EQ(Facts().Get("invert").kind, ValueKind::Flag);
    EXPECT_EQ(Facts().Get("invert").dephault, 0);
    EXPECT_EQ(Facts().Find("radius"), nullptr);
    EXPECT_EQ(RefusedKey([] { Facts().Get("radius"); }), "radius");
}

TEST(ParamFacts, TextParsesByKindAndPrintsBack) {
    const ParamFacts& falloff = Facts().Get("falloff");
    EXPECT_EQ(ParseValue(falloff, " Gaussian ")[0], 5);
    EXPECT_EQ(ParseValue(falloff, "6")[0], 6);
    EXPECT_EQ(FormatValue(falloff, {4, 0}), "gamma");
    EXPECT_EQ(ParseValue(Facts().Get("origin"), "640, 360"), (vparams::KeyValue{640, 360}));
    EXPECT_EQ(ParseValue(Facts().Get("origin"), "-1.5 2"), (vparams::KeyValue{-1.5, 2}));
    EXPECT_EQ(ParseValue(Facts().Get("invert"), "On")[0], 1);
    EXPECT_EQ(ParseValue(Facts().Get("invert"), "false")[0], 0);
    EXPECT_EQ(ParseValue(Facts().Get("width"), "15000")[0], 15000);
    for (const ParamFacts& f : Facts().All()) {
        const vparams::KeyValue values[] = {{f.min, f.min}, {f.max, f.max}, {f.kind == ValueKind::Number ? 0.1 : 1, 1}};
        for (const vparams::KeyValue& v : values) {
            vparams::KeyValue expected = v;
            if (f.kind != ValueKind::Point) expected[1] = 0;
            EXPECT_EQ(ParseValue(f, FormatValue(f, v)), expected) << f.key << " " << FormatValue(f, v);
        }
    }
}

TEST(ParamFacts, RefusalsCarryTheKey) {
    const auto refused = [](const char* key, const char* text) {
        return RefusedKey([&] { ParseValue(Facts().Get(key), text); });
    };
    EXPECT_EQ(refused("falloff", "sinc"), "falloff");
    EXPECT_EQ(refused("falloff", "7"), "falloff");
    EXPECT_EQ(refused("falloff", "4294967297"), "falloff");  // must not wrap onto a choice
    EXPECT_EQ(refused("falloff", "1.5"), "falloff");
    EXPECT_EQ(refused("width", "-1"), "width");
    EXPECT_EQ(refused("width", "15000.01"), "width");
    EXPECT_EQ(refused("width", "12px"), "width");
    EXPECT_EQ(refused("width", "nan"), "width");
    EXPECT_EQ(refused("width", ""), "width");
    EXPECT_EQ(refused("origin", "640"), "origin");
    EXPECT_EQ(refused("origin", "1,2,3"), "origin");
    EXPECT_EQ(refused("origin", "99999,0"), "origin");
    EXPECT_EQ(refused("invert", "maybe"), "invert");
    EXPECT_EQ(refused("opacity", "inf"), "opacity");
    const ParamFacts& width = Facts().Get("width");
    try {
        ParseValue(width, "20000");
        FAIL() << "20000 pixels taken";
    } catch (const ParamError& e) {
        EXPECT_EQ(e.Value(), "20000");
        EXPECT_NE(std::string(e.what()).find("0 to 15000 pixels"), std::string::npos) << e.what();
    }
    EXPECT_EQ(RefusedKey([&] { CheckValue(width, {-0.5, 0}); }), "width");
    EXPECT_EQ(RefusedKey([&] { CheckValue(Facts().Get("mask_type"), {3, 0}); }), "mask_type");
    EXPECT_EQ(RefusedKey([&] { CheckValue(Facts().Get("invert"), {0.5, 0}); }), "invert");
    EXPECT_EQ(RefusedKey([&] { CheckValue(width, {300, 0}); }), "");
}

TEST(ParamFacts, HeldValuesKeepToTheRange) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const ParamFacts& width = Facts().Get("width");
    EXPECT_EQ(HeldValue(width, {-5, 0})[0], 0);
    EXPECT_EQ(HeldValue(width, {1e9, 0})[0], 15000);
    EXPECT_EQ(HeldValue(width, {nan, 0})[0], width.dephault);
    const ParamFacts& falloff = Facts().Get("falloff");
    EXPECT_EQ(HeldValue(falloff, {99, 0})[0], 6);
    EXPECT_EQ(HeldValue(falloff, {2.6, 0})[0], 3);
    const vparams::KeyValue origin = HeldValue(Facts().Get("origin"), {nan, 1e9});
    EXPECT_TRUE(std::isnan(origin[0]));
    EXPECT_EQ(origin[1], Facts().Get("origin").max);
}

}  // namespace
