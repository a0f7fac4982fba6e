// The frei0r filter through its C interface, as a video host calls it once
// it has loaded vellora.so: instances of any size made and destroyed in any
// order, parameters set by any index to any double (NaN, infinities,
// denormals, huge), read back, and frames updated at any time.
//
// Promises held: sizes the filter cannot render are refused; an unknown
// index or a NaN changes nothing; every value read back is a number; colour
// passes through every update; an update in place gives what one into
// another buffer gives.
#include <dlfcn.h>

#include <climits>
#include <cmath>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

extern "C" {
#include <frei0r.h>
}

#include "fuzz/drivers/Bytes.h"
#include "fuzz/drivers/DriverSupport.h"
#include "host/HostError.h"

namespace vfuzz {

namespace {

// Frames updated at most this large, so an input stays a few renders long.
constexpr unsigned kMaxUpdatePixels = 48 * 48;
constexpr size_t kMaxInstances = 4;
constexpr int kMaxSteps = 32;

const unsigned kAwkwardSizes[] = {0u, 1u, 2u, 3u, 65536u, 1u << 29, 1u << 30, (1u << 30) + 1, 1u << 31, UINT_MAX};

struct Api {
    decltype(&f0r_init) init;
    decltype(&f0r_get_plugin_info) plugin_info;
    decltype(&f0r_get_param_info) param_info;
    decltype(&f0r_construct) construct;
    decltype(&f0r_destruct) destruct;
    decltype(&f0r_set_param_value) set;
    decltype(&f0r_get_param_value) get;
    decltype(&f0r_update) update;
};

template <class F>
void Find(void* handle, const char* name, F& function) {
    function = reinterpret_cast<F>(::dlsym(handle, name));
    if (!function) throw vhost::HostError(Frei0rModulePath() + " has no " + name);
}

Api Load() {
    void* handle = ::dlopen(Frei0rModulePath().c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle) throw vhost::HostError(std::string("cannot load the frei0r filter: ") + ::dlerror());
    Api api{};
    Find(handle, "f0r_init", api.init);
    Find(handle, "f0r_get_plugin_info", api.plugin_info);
    Find(handle, "f0r_get_param_info", api.param_info);
    Find(handle, "f0r_construct", api.construct);
    Find(handle, "f0r_destruct", api.destruct);
    Find(handle, "f0r_set_param_value", api.set);
    Find(handle, "f0r_get_param_value", api.get);
    Find(handle, "f0r_update", api.update);
    if (api.init() != 1) throw vhost::HostError("the frei0r filter did not start");
    return api;
}

struct Instance {
    f0r_instance_t handle;
    unsigned width, height;
};

bool SameBits(double a, double b) { return std::memcmp(&a, &b, sizeof a) == 0; }

class Frei0rDriver : public Driver {
public:
    Frei0rDriver() : api_(Load()) {
        f0r_plugin_info_t info{};
        api_.plugin_info(&info);
        params_ = info.num_params;
    }

    std::string Run(const uint8_t* data, size_t size) override {
        Bytes in(data, size);
        std::vector<Instance> live;
        std::string problem;
        for (int step = 0; step < kMaxSteps && !in.Empty() && problem.empty(); ++step) {
            problem = Step(in, live);
        }
        for (const Instance& i : live) api_.destruct(i.handle);
        return problem;
    }

private:
    std::string Step(Bytes& in, std::vector<Instance>& live) {
        const uint8_t op = in.Byte();
        Instance* target = live.empty() ? nullptr : &live[in.Byte() % live.size()];
        const f0r_instance_t handle = target ? target->handle : nullptr;
        const int index = static_cast<int>(in.Byte() % (params_ + 4)) - 2;
        switch (op % 8) {
            case 0: {
                if (live.size() >= kMaxInstances) return {};
                const unsigned w = SizeFrom(in), h = SizeFrom(in);
                const f0r_instance_t made = api_.construct(w, h);
                // Frames past 2^30 a side are refused, and may be sooner (rows
                // of 2^29 pixels pass a 32-bit byte count); ordinary ones never.
                const bool possible = w >= 1 && h >= 1 && w <= (1u << 30) && h <= (1u << 30);
                const bool ordinary = w >= 1 && h >= 1 && w <= 16384 && h <= 16384;
                if (made && !possible) {
                    api_.destruct(made);
                    return "a filter was made for " + std::to_string(w) + "x" + std::to_string(h) + " frames";
                }
                if (!made && ordinary) return "no filter was made for " + std::to_string(w) + "x" + std::to_string(h);
                if (made) live.push_back({made, w, h});
                return {};
            }
            case 1:
                if (target) {
                    api_.destruct(handle);
                    live.erase(live.begin() + (target - live.data()));
                }
                return {};
            case 2:
            case 3: {
                double value = in.Double();
                const double before = Get(handle, index);
                api_.set(handle, &value, index);
                const double after = Get(handle, index);
                const bool known = index >= 0 && index < params_;
                if ((!known || std::isnan(value)) && !SameBits(before, after)) {
                    return "setting parameter " + std::to_string(index) + " to " + std::to_string(value) +
                           " changed it from " + std::to_string(before) + " to " + std::to_string(after);
                }
                if (handle && known && !std::isfinite(after)) {
                    return "parameter " + std::to_string(index) + " set to " + std::to_string(value) + " reads " +
                           std::to_string(after);
                }
                return {};
            }
            case 4: {
                f0r_param_info_t info{nullptr, -1, nullptr};
                api_.param_info(&info, index);
                const bool known = index >= 0 && index < params_;
                if (known != (info.name != nullptr)) return "parameter " + std::to_string(index) + " is described wrongly";
                if (known && info.type != F0R_PARAM_BOOL && info.type != F0R_PARAM_DOUBLE) {
                    return "parameter " + std::to_string(index) + " has type " + std::to_string(info.type);
                }
                api_.param_info(nullptr, index);
                return {};
            }
            default:
                if (!target || static_cast<unsigned long long>(target->width) * target->height > kMaxUpdatePixels) {
                    api_.update(handle, in.Double(), nullptr, nullptr);
                    return {};
                }
                return Update(in, *target);
        }
    }

    static unsigned SizeFrom(Bytes& in) {
        const uint8_t b = in.Byte();
        return b < 240 ? 1u + b % 48 : Pick(kAwkwardSizes, b);
    }

    // A sentinel the filter must leave alone for an unknown index or instance.
    double Get(f0r_instance_t handle, int index) {
        double value = -12345.0;
        api_.get(handle, &value, index);
        return value;
    }

    std::string Update(Bytes& in, const Instance& target) {
        const double time = in.Double();
        const size_t pixels = static_cast<size_t>(target.width) * target.height;
        std::vector<uint32_t> frame(pixels), out(pixels, 0xdeadbeefu);
        const uint32_t seed = in.Word();
        for (size_t i = 0; i < pixels; ++i) {
            uint32_t x = seed ^ static_cast<uint32_t>(i * 2654435761u);
            x ^= x >> 15;
            x *= 0x2c1b3c6du;
            frame[i] = x ^ (x >> 12);
        }
        api_.update(target.handle, time, frame.data(), out.data());
        for (size_t i = 0; i < pixels; ++i) {
            // RGBA bytes in memory: the fourth is alpha.
            if (std::memcmp(&frame[i], &out[i], 3) != 0) {
                return "the colour of pixel " + std::to_string(i) + " of a " + std::to_string(target.width) + "x" +
                       std::to_string(target.height) + " frame changed at time " + std::to_string(time);
            }
        }
        std::vector<uint32_t> in_place = frame;
        api_.update(target.handle, time, in_place.data(), in_place.data());
        if (in_place != out) {
            return "an update in place differs from one into another buffer (" + std::to_string(target.width) + "x" +
                   std::to_string(target.height) + ", time " + std::to_string(time) + ")";
        }
        return {};
    }

    Api api_;
    int params_ = 0;
};

}  // namespace

std::unique_ptr<Driver> MakeFrei0rDriver() { return std::make_unique<Frei0rDriver>(); }

}  // namespace vfuzz
