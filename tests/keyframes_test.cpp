// Keys by frame: how each kind of parameter moves between its keys, what a
// key file may not say, and the time a host sends with each frame's render.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "host/HostError.h"
#include "host/Render.h"
#include "params/EffectParams.h"
#include "params/Keyframes.h"
#include "params/ParamTable.h"
#include "params/StrictJson.h"
#include "support/InputError.h"
#include "tests/TestSupport.h"

namespace {

using vparams::EffectValues;
using vparams::Keyframes;

// Ranges and choice names are the built effect's declaration.
Keyframes Keys(const std::string& text, const std::string& source) {
    static const vparams::Declaration declared = vparams::Declaration::Read(*vtest::SetUpHost());
    return Keyframes::FromJsonText(text, source, declared);
}

// The example of the documentation.
const char kExample[] =
    R"({"width": [{"frame": 1, "value": 300}, {"frame": 25, "value": 900, "interpolation": "hold"},
                  {"frame": 40, "value": 500}],
        "origin": [{"frame": 1, "value": [100, 200]}, {"frame": 25, "value": [640, 360]}]})";

TEST(Keyframes, NumbersAndPointsMoveLinearlyOrHoldByStretch) {
    const Keyframes keys = Keys(kExample, "keys");
    const auto at = [&](long frame) { return keys.At(frame, EffectValues{}); };

    EXPECT_EQ(at(0).width, 300.0);    // before the first key
    EXPECT_EQ(at(1).width, 300.0);
    EXPECT_EQ(at(13).width, 600.0);   // halfway from 300 to 900
    EXPECT_EQ(at(25).width, 900.0);
    EXPECT_EQ(at(39).width, 900.0);   // held from 25
    EXPECT_EQ(at(40).width, 500.0);
    EXPECT_EQ(at(1000).width, 500.0);  // after the last key

    EXPECT_EQ(*at(13).origin_x, 370.0);  // each coordinate on its own line
    EXPECT_EQ(*at(13).origin_y, 280.0);
    EXPECT_EQ(*at(7).origin_x, 100.0 + 540.0 * 6 / 24);
    EXPECT_EQ(*at(30).origin_x, 640.0);
    EXPECT_EQ(*at(30).origin_y, 360.0);

    // Parameters without keys keep the values they are given.
    EffectValues base;
    base.height = 123.0;
    base.falloff = 5;
    EXPECT_EQ(keys.At(13, base).height, 123.0);
    EXPECT_EQ(keys.At(13, base).falloff, 5);
    EXPECT_TRUE(keys.Has("width"));
    EXPECT_FALSE(keys.Has("height"));
}

TEST(Keyframes, PopupsAndTheCheckboxHoldEvenOnALinearStretch) {
    const Keyframes keys = Keys(
        R"({"mask_type": [{"frame": 0, "value": "ellipse", "interpolation": "linear"}, {"frame": 10, "value": 2}],
            "falloff": [{"frame": 0, "value": 1}, {"frame": 4, "value": "gaussian"}],
            "invert": [{"frame": 3, "value": true}, {"frame": 6, "value": false}],
            "angle": [{"frame": 0, "value": -90}, {"frame": 4, "value": 450}]})",
        "keys");
    EXPECT_EQ(keys.At(9, {}).mask_type, 1);
    EXPECT_EQ(keys.At(10, {}).mask_type, 2);
    EXPECT_EQ(keys.At(3, {}).falloff, 1);
    EXPECT_EQ(keys.At(4, {}).falloff, 5);
    EXPECT_EQ(keys.At(2, {}).invert, true);  // the first key's value, before it too
    EXPECT_EQ(keys.At(5, {}).invert, true);
    EXPECT_EQ(keys.At(6, {}).invert, false);
    // Degrees as given: no wrapping to the short way round.
    EXPECT_EQ(keys.At(2, {}).angle, 180.0);
}

// Every frame of a linear stretch between two different popup or checkbox
// values holds the first, both ways round: none is half-way to the next.
TEST(Keyframes, ChoicesHoldOnEveryFrameOfALinearStretchEitherWay) {
    const Keyframes keys = Keys(
        R"({"invert": [{"frame": 1, "value": false}, {"frame": 9, "value": true}, {"frame": 17, "value": false}],
            "composite_mode": [{"frame": 1, "value": 1}, {"frame": 9, "value": 4}, {"frame": 17, "value": 2}]})",
        "keys");
    for (long f = 1; f <= 20; ++f) {
        SCOPED_TRACE(f);
        const bool second = f >= 9 && f < 17;
        EXPECT_EQ(*keys.At(f, {}).invert, second);
        EXPECT_EQ(*keys.At(f, {}).composite_mode, f < 9 ? 1 : second ? 4 : 2);
    }
}

TEST(Keyframes, AKeysFrameGetsItsOwnValueAndStretchesStayBetweenTheirKeys) {
    const Keyframes keys = Keys(
        R"({"opacity": [{"frame": 0, "value": 0.1}, {"frame": 3, "value": 99.7}, {"frame": 7, "value": 0.3}]})", "k");
    EXPECT_EQ(keys.At(0, {}).opacity, 0.1);
    EXPECT_EQ(keys.At(3, {}).opacity, 99.7);
    EXPECT_EQ(keys.At(7, {}).opacity, 0.3);
    for (long f = 0; f <= 7; ++f) {
        const double v = *keys.At(f, {}).opacity;
        EXPECT_GE(v, 0.1) << f;
        EXPECT_LE(v, 99.7) << f;
    }
}

TEST(Keyframes, RefusalsNameTheParameterTheFrameAndTheReason) {
    struct Case {
        const char* json;
        std::vector<const char*> named;
    };
    const Case cases[] = {
        {R"({"widht": [{"frame": 1, "value": 3}]})", {"unknown parameter 'widht'", "width"}},
        {R"({"width": [{"frame": 25, "value": 20000}]})", {"'width' at frame 25", "20000", "out of range"}},
        {R"({"opacity": [{"frame": 2, "value": -1}]})", {"'opacity' at frame 2", "out of range (0 to 100)"}},
        {R"({"origin": [{"frame": 4, "value": [1, 40000]}]})", {"'origin' at frame 4", "40000", "out of range"}},
        {R"({"origin": [{"frame": 4, "value": 5}]})", {"'origin' at frame 4", "[x, y]"}},
        {R"({"width": [{"frame": 9, "value": 1}, {"frame": 3, "value": 2}]})",
         {"'width' at frame 3", "out of frame order", "frame 9"}},
        {R"({"width": [{"frame": 3, "value": 1}, {"frame": 3, "value": 2}]})", {"'width' at frame 3", "same frame"}},
        {R"({"height": [{"frame": 5}]})", {"'height' at frame 5", "no \"value\""}},
        {R"({"height": [{"value": 5}]})", {"'height' key 1", "no \"frame\""}},
        {R"({"height": [{"frame": 2.5, "value": 5}]})", {"'height' key 1", "whole number", "2.5"}},
        {R"({"height": [{"frame": 1, "value": 5, "interpolation": "ease"}]})",
         {"'height' at frame 1", "\"linear\" or \"hold\"", "ease"}},
        {R"({"height": [{"frame": 1, "value": 5, "ease": 1}]})", {"'height' at frame 1", "unknown member \"ease\""}},
        {R"({"height": []})", {"'height' has no keys"}},
        {R"({"height": 5})", {"'height' must be an array of keys"}},
        {R"({"mask_type": [{"frame": 8, "value": "circle"}]})", {"'mask_type' at frame 8", "circle"}},
        {R"({"falloff": [{"frame": 8, "value": 7}]})", {"'falloff' at frame 8", "1 to 6"}},
        {R"({"invert": [{"frame": 8, "value": 1}]})", {"'invert' at frame 8", "true or false"}},
        {R"({"width": [{"frame": 1, "value": 3}], "width": []})", {"'width' is given twice"}},
        {R"([1, 2])", {"expected a JSON object"}},
        {R"({"width": [)", {"not valid JSON"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.json);
        try {
            Keys(c.json, "--keys 'k.json'");
            ADD_FAILURE() << "accepted";
        } catch (const vsupport::InputError& e) {
            const std::string what = e.what();
            EXPECT_EQ(what.rfind("--keys 'k.json'", 0), 0u) << what;
            for (const char* part : c.named) EXPECT_NE(what.find(part), std::string::npos) << what;
        }
    }
}

// A bad value reads the same in a parameters file and a key file: only where
// it is differs (the key file adds the frame).
TEST(ParamValues, ParamsAndKeyFilesRefuseABadValueInTheSameWords) {
    const vparams::Declaration declared = vparams::Declaration::Read(*vtest::SetUpHost());
    const struct {
        const char* key;
        const char* value;
        const char* reason;
    } cases[] = {
        {"width", "15000.5", "15000.5 is out of range (0 to 15000)"},
        {"width", "\"wide\"", "\"wide\" is not a number"},
        {"opacity", "-1e-07", "-1e-07 is out of range (0 to 100)"},
        {"origin", "[1, 40000]", "y 40000 is out of range (-32767 to 32767)"},
        {"origin", "5", "5 is not [x, y] in layer pixels"},
        {"invert", "1", "1 is not true or false"},
        {"falloff", "7", "7 is not a name or a number from 1 to 6"},
        // Not a wrap-around into the list (4294967297 is 1 in 32 bits).
        {"falloff", "4294967297", "4294967297 is not a name or a number from 1 to 6"},
        {"mask_type", "\"circle\"", "unknown mask type 'circle' (expected one of: ellipse, rectangle)"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.value);
        const auto refusal = [](const std::function<void()>& read) -> std::string {
            try {
                read();
            } catch (const vsupport::InputError& e) {
                return e.what();
            }
            return "accepted";
        };
        EXPECT_EQ(refusal([&] {
                      vparams::EffectValuesFromJsonText(std::string("{\"") + c.key + "\": " + c.value + "}", {},
                                                        "p.json", declared);
                  }),
                  std::string("p.json: '") + c.key + "': " + c.reason);
        EXPECT_EQ(refusal([&] {
                      Keys(std::string("{\"") + c.key + "\": [{\"frame\": 3, \"value\": " + c.value + "}]}", "k.json");
                  }),
                  std::string("k.json: '") + c.key + "' at frame 3: " + c.reason);
    }
}

// Nesting is refused past the limit as the parser reaches it, naming the
// file, at any depth of input and however the brackets are balanced.
TEST(ParamValues, NestingIsCountedByTheParser) {
    const vparams::JsonLimits limits{1 << 20, 4, "a test file"};
    const auto parse = [&](const std::string& text) -> std::string {
        try {
            vparams::ParseStrictJson(text, "n.json", limits);
        } catch (const vsupport::InputError& e) {
            return e.what();
        }
        return "accepted";
    };
    const std::string too_deep = "n.json nests arrays or objects more than 4 deep, far more than a test file";
    EXPECT_EQ(parse(R"({"a": [[{"b": 1}]]})"), "accepted");
    EXPECT_EQ(parse(R"({"a": [[{"b": []}]]})"), too_deep);
    EXPECT_EQ(parse(R"(["[[[[[", {"{{{{": ["]]]]"]}])"), "accepted");
    EXPECT_EQ(parse(std::string(100000, '[')), too_deep);
    EXPECT_EQ(parse(std::string(100000, '{')).rfind("n.json is not valid JSON", 0), 0u);
    EXPECT_EQ(parse(R"({"a": 1, "b": {"a": 2}, "a": 3})"), "n.json: key 'a' is given twice");
}

// The time fields of PF_InData as the effect receives them, read from the
// host's record of the command it sent.
TEST(FrameTime, EachRenderCarriesTheTimeItWasGivenAndTheHostRecordsIt) {
    auto host = vtest::SetUpHost();
    host->record_commands = true;
    vhost::World input(vhost::PixelLayout::ARGB8, 8, 8), output(vhost::PixelLayout::ARGB8, 8, 8);
    vhost::FrameSettings settings;
    for (A_long frame : {0, 7, 2000}) {
        settings.time = vhost::FrameTime{frame * 1001, 1001, 30000, 2001 * 1001};
        ASSERT_EQ(vhost::RenderFrame(*host, input, output, settings), PF_Err_NONE);
        const vhost::CommandRecord& sent = host->Commands().back();
        EXPECT_EQ(sent.cmd, PF_Cmd_RENDER);
        EXPECT_EQ(sent.current_time, frame * 1001);
        EXPECT_EQ(sent.time_step, 1001);
        EXPECT_EQ(sent.local_time_step, 1001);
        EXPECT_EQ(sent.time_scale, 30000u);
        EXPECT_EQ(sent.total_time, 2001 * 1001);
    }
    EXPECT_EQ(host->Commands().size(), 3u);
    settings.time = vhost::FrameTime{0, 0, 25, 0};
    EXPECT_THROW(vhost::RenderFrame(*host, input, output, settings), vhost::HostError);
}

}  // namespace
