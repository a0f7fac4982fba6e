#include "python/Effect.h"

#include <cmath>
#include <limits>
#include <string>

#include "files/AtomicFile.h"
#include "python/Frames.h"
#include "python/Calls.h"
#include "python/Options.h"
#include "python/Values.h"

namespace py = pybind11;

namespace vpython {

namespace {

vparams::Keyframes ReadKeys(const py::object& keys, const vparams::Declaration& declared) {
    if (keys.is_none()) return {};
    if (py::isinstance<py::dict>(keys)) {
        const std::string text = py::module_::import("json").attr("dumps")(keys).cast<std::string>();
        return vparams::Keyframes::FromJsonText(text, "keys", declared);
    }
    if (!py::isinstance<py::str>(keys) && !py::hasattr(keys, "__fspath__")) {
        throw py::type_error("keys: expected a dict in the --keys format or the path of such a file");
    }
    const std::string path = py::module_::import("os").attr("fsdecode")(keys).cast<std::string>();
    const std::string text = vfiles::ReadTextFile(path, vparams::kMaxKeysBytes, "keys");
    return vparams::Keyframes::FromJsonText(text, "keys '" + path + "'", declared);
}

}  // namespace

Effect::Effect(const py::object& host, const py::object& keys, const py::object& fps, const py::object& downsample,
               const py::object& pixel_aspect, const py::object& threads, const py::dict& values)
    : options_(ReadOptions(host, downsample, pixel_aspect, threads)), rate_(ReadFrameRate(fps)) {
    pool_ = std::make_unique<HostPool>();
    keys_ = ReadKeys(keys, pool_->Declared());
    RefuseKeyed(values);
    base_ = ReadValues(values, Facts(), {});
}

void Effect::RefuseKeyed(const py::dict& values) const {
    for (const auto& item : values) {
        const std::string key = py::str(item.first).cast<std::string>();
        if (keys_.Has(key) && !item.second.is_none()) {
            throw py::value_error(key + " has keys; give its value one way (keys or " + key + "=)");
        }
    }
}

py::array Effect::Render(const py::object& frame, const py::object& time, const py::object& frame_number,
                         const py::kwargs& values) {
    if (!time.is_none() && !frame_number.is_none()) throw py::type_error("give time or frame_number, not both");
    RefuseKeyed(values);
    long number = 0;
    FrameOptions options = options_;
    const auto step = static_cast<double>(rate_.step);
    if (!frame_number.is_none()) {
        if (py::isinstance<py::bool_>(frame_number) || !PyIndex_Check(frame_number.ptr())) {
            throw py::type_error("frame_number: expected a whole number");
        }
        const long long n = py::int_(frame_number).cast<long long>();
        if (n < 0 || n > std::numeric_limits<A_long>::max() / rate_.step) {
            throw py::value_error("frame_number: " + std::to_string(n) + " lies outside the time a host can send");
        }
        number = static_cast<long>(n);
        options.time = {static_cast<A_long>(number * rate_.step), static_cast<A_long>(rate_.step),
                        static_cast<A_u_long>(rate_.scale), 0};
    } else {
        const double seconds = time.is_none() ? 0.0 : ReadSeconds(time, "time");
        const double ticks = std::round(seconds * static_cast<double>(rate_.scale));
        if (!(std::fabs(ticks) <= std::numeric_limits<A_long>::max())) {
            throw py::value_error("time: lies outside the time a host can send at this fps");
        }
        number = static_cast<long>(std::floor(ticks / step + 0.5));
        options.time = {static_cast<A_long>(ticks), static_cast<A_long>(rate_.step),
                        static_cast<A_u_long>(rate_.scale), 0};
    }
    const vparams::EffectValues at = ReadValues(values, Facts(), keys_.At(number, base_));
    return RenderArray(*pool_, frame, options, at);
}

}  // namespace vpython
