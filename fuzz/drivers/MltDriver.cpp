// The MLT filter's properties as an editor's project file carries them (rect
// and animation strings, popup names, numbers, flags), set on real MLT
// properties and read through MLT's own animation, as the filter reads them.
// Input: a byte for the frame, a byte for the clip's length, then pairs of a
// name (a byte picking one of the filter's properties, or past them a name
// of its own up to a NUL) and its value up to a NUL.
//
// Promises held: the values are refused only as input errors naming the
// property; accepted values stay in the declared ranges; reading again, at
// the same frame, with MLT's parse cached, gives the same values; and the
// rect's origin is its centre, in the profile's pixels or its percent.
#include <memory>
#include <string>
#include <vector>

#include <framework/mlt.h>
#include <nlohmann/json.hpp>

#include "fuzz/drivers/Bytes.h"
#include "fuzz/drivers/DriverSupport.h"
#include "mlt/FilterProperties.h"
#include "mlt/MltPropertySource.h"
#include "params/EffectParams.h"
#include "support/InputError.h"

namespace vfuzz {

namespace {

class MltDriver : public Driver {
public:
    MltDriver() : properties_(vmlt::FilterProperties(Declared())) {
        // No factory: the properties and their animation need only the
        // profile, for key times written as clock times.
        profile_ = mlt_profile_init(nullptr);
        profile_->width = kLayerWidth;
        profile_->height = kLayerHeight;
        profile_->frame_rate_num = 25;
        profile_->frame_rate_den = 1;
    }
    ~MltDriver() override { mlt_profile_close(profile_); }

    std::string Run(const uint8_t* data, size_t size) override {
        Bytes in(data, size);
        const int position = in.Byte();
        const int length = in.Byte() + 1;
        std::unique_ptr<mlt_properties_s, void (*)(mlt_properties)> props(mlt_properties_new(), mlt_properties_close);
        mlt_properties_set_data(props.get(), "_profile", profile_, 0, nullptr, nullptr);
        std::string given;
        while (!in.Empty()) {
            const uint8_t pick = in.Byte();
            const std::string name = pick < properties_.size() ? properties_[pick].name : in.Until('\0');
            const std::string value = in.Until('\0');
            mlt_properties_set(props.get(), name.c_str(), value.c_str());
            given += " " + name + "='" + value + "'";
        }
        return Guarded([&]() -> std::string {
            vparams::EffectValues values;
            try {
                values = Read(props.get(), position, length);
            } catch (const vsupport::InputError& e) {
                if (std::string(e.what()).find("property '") == std::string::npos) {
                    return std::string("a refusal that names no property: ") + e.what() + " for" + given;
                }
                return {};
            }
            if (std::string bad = OutOfRange(values, Declared()); !bad.empty()) return bad + " for" + given;
            const std::string first = vparams::EffectValuesToJson(values, Declared()).dump();
            const std::string again = vparams::EffectValuesToJson(Read(props.get(), position, length), Declared()).dump();
            if (again != first) return "read as " + first + ", then as " + again + " for" + given;
            return RectOrigin(props.get(), position, length, values, given);
        });
    }

    std::string Dictionary() const override {
        std::string dict;
        for (const vmlt::FilterProperty& p : properties_) dict += DictionaryWord(p.name);
        for (const char* word : {"=", ";", "|=", "~=", "$=", "%", " ", "00:00:01.000", "0.5", "-1", "1e308", "nan",
                                 "inf", "ellipse", "rectangle", "gaussian", "intersect", "0x10"}) {
            dict += DictionaryWord(word);
        }
        return dict;
    }

private:
    static vparams::EffectValues Read(mlt_properties props, int position, int length) {
        return vmlt::ValuesFromProperties(vmlt::MltPropertySource(props, position, length), Declared(), kLayerWidth,
                                          kLayerHeight);
    }

    // The origin read from a plain rect (no keys, no percent) is its centre.
    static std::string RectOrigin(mlt_properties props, int position, int length, const vparams::EffectValues& values,
                                  const std::string& given) {
        const char* text = mlt_properties_get(props, vmlt::kRectName);
        if (!text || std::string(text).find_first_of("=%;") != std::string::npos || !values.origin_x) return {};
        const mlt_rect r = mlt_properties_anim_get_rect(props, vmlt::kRectName, position, length);
        const double x = r.x + r.w / 2, y = r.y + r.h / 2;
        if (*values.origin_x != x || *values.origin_y != y) {
            return "rect '" + std::string(text) + "' gave the origin " + std::to_string(*values.origin_x) + "," +
                   std::to_string(*values.origin_y) + ", not its centre, for" + given;
        }
        return {};
    }

    std::vector<vmlt::FilterProperty> properties_;
    mlt_profile profile_ = nullptr;
};

}  // namespace

std::unique_ptr<Driver> MakeMltDriver() { return std::make_unique<MltDriver>(); }

}  // namespace vfuzz
