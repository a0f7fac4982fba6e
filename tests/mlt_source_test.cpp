// The MLT filter's properties read through MLT's own animation, frame after
// frame from the same properties as the filter reads them in a render, and
// compared with a first read of the same text.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include <framework/mlt.h>
#include <nlohmann/json.hpp>

#include "mlt/FilterProperties.h"
#include "mlt/MltPropertySource.h"
#include "params/EffectParams.h"
#include "support/InputError.h"
#include "tests/TestSupport.h"

namespace {

constexpr int kWidth = 640, kHeight = 360;

const vparams::Declaration& Declared() {
    static const vparams::Declaration declared = [] {
        auto host = vtest::SetUpHost();
        return vparams::Declaration::Read(*host);
    }();
    return declared;
}

class MltSource : public ::testing::Test {
protected:
    MltSource() {
        profile_ = mlt_profile_init(nullptr);
        profile_->width = kWidth;
        profile_->height = kHeight;
        props_ = NewProperties();
    }
    ~MltSource() override {
        mlt_properties_close(props_);
        mlt_profile_close(profile_);
    }

    mlt_properties NewProperties() {
        mlt_properties props = mlt_properties_new();
        mlt_properties_set_data(props, "_profile", profile_, 0, nullptr, nullptr);
        return props;
    }

    static vparams::EffectValues Read(mlt_properties props, int frame, int length) {
        return vmlt::ValuesFromProperties(vmlt::MltPropertySource(props, frame, length), Declared(), kWidth, kHeight);
    }

    // The values at `frame` from properties that have never been read.
    vparams::EffectValues FirstRead(const char* name, const char* text, int frame, int length) {
        mlt_properties props = NewProperties();
        mlt_properties_set(props, name, text);
        vparams::EffectValues values = Read(props, frame, length);
        mlt_properties_close(props);
        return values;
    }

    static std::string Json(const vparams::EffectValues& v) {
        return vparams::EffectValuesToJson(v, Declared()).dump();
    }

    mlt_profile profile_;
    mlt_properties props_;
};

// MLT writes a parsed animation's text back from its keys; a key past the
// clip's end came back as one number, and every later frame was refused.
TEST_F(MltSource, KeysPastTheClipsEndAreFollowedOnEveryFrame) {
    const char* text = "0=100 100 200 200;50=300 300 200 200";
    mlt_properties_set(props_, "rect", text);
    double last_x = 0;
    for (int frame = 0; frame < 10; ++frame) {
        SCOPED_TRACE("frame " + std::to_string(frame));
        vparams::EffectValues values;
        ASSERT_NO_THROW(values = Read(props_, frame, 10));
        EXPECT_EQ(Json(values), Json(FirstRead("rect", text, frame, 10)));
        EXPECT_GT(*values.origin_x, last_x);  // the key at 50 still pulls it along
        last_x = *values.origin_x;
    }
    EXPECT_STREQ(mlt_properties_get(props_, "_vellora.given.rect"), text);
}

TEST_F(MltSource, TextSetAfterAReadIsTheOneRead) {
    mlt_properties_set(props_, "rect", "0=100 100 200 200;50=300 300 200 200");
    Read(props_, 3, 10);
    mlt_properties_set(props_, "rect", "10 20 30 40");
    const vparams::EffectValues values = Read(props_, 3, 10);
    EXPECT_EQ(*values.origin_x, 25);
    EXPECT_EQ(*values.height, 40);
    // And a bad text set after a good one is refused, not hidden by the old one.
    mlt_properties_set(props_, "rect", "abc");
    EXPECT_THROW(Read(props_, 3, 10), vsupport::InputError);
}

// Smooth keys ("~=") interpolate through a curve that can leave the range
// between keys inside it; such frames are held at the range's end. A key
// outside the range is still refused.
TEST_F(MltSource, SmoothKeysOvershootingTheRangeAreHeldAtItsEnd) {
    const char* text = "0~=0;2~=100;20~=100";  // peaks near 107 at frame 8
    mlt_properties_set(props_, "opacity", text);
    int overshooting = 0;
    for (int frame = 0; frame <= 20; ++frame) {
        mlt_properties raw = NewProperties();
        mlt_properties_set(raw, "opacity", text);
        const double animated = mlt_properties_anim_get_double(raw, "opacity", frame, 21);
        mlt_properties_close(raw);
        vparams::EffectValues values;
        ASSERT_NO_THROW(values = Read(props_, frame, 21)) << "frame " << frame;
        if (animated > 100) {
            ++overshooting;
            EXPECT_EQ(*values.opacity, 100) << "frame " << frame;
        } else {
            EXPECT_DOUBLE_EQ(*values.opacity, animated) << "frame " << frame;
        }
    }
    EXPECT_GT(overshooting, 0) << "these keys no longer overshoot in MLT: pick others";

    mlt_properties_set(props_, "opacity", "0~=0;4~=120");
    EXPECT_THROW(Read(props_, 0, 21), vsupport::InputError);
}

}  // namespace
