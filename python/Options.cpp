#include "python/Options.h"

#include <cmath>
#include <limits>
#include <string>

#include "embed/EmbeddedEffect.h"
#include "host/HostError.h"

namespace py = pybind11;

namespace vpython {

namespace {

// The command's own ranges for --downsample, --par and --threads.
constexpr long kMaxDownsample = 64;
constexpr long kMaxAspectTerm = 1000;
constexpr long kMaxThreads = 256;

long ReadWhole(const py::object& o, const std::string& name, long lo, long hi) {
    if (py::isinstance<py::bool_>(o) || !PyIndex_Check(o.ptr())) {
        throw py::type_error(name + ": expected a whole number, got " +
                             std::string(py::str(py::type::of(o).attr("__name__"))));
    }
    const long long v = py::int_(o).cast<long long>();
    if (v < lo || v > hi) {
        throw py::value_error(name + ": " + std::to_string(v) + " is out of range (" + std::to_string(lo) + " to " +
                              std::to_string(hi) + ")");
    }
    return static_cast<long>(v);
}

}  // namespace

FrameOptions ReadOptions(const py::object& host, const py::object& downsample, const py::object& pixel_aspect,
                         const py::object& threads) {
    FrameOptions o;
    if (!py::isinstance<py::str>(host)) throw py::type_error("host: expected 'premiere' or 'ae'");
    o.app = vhost::ParseHostApp(host.cast<std::string>(), "host");
    o.downsample = static_cast<int>(ReadWhole(downsample, "downsample", 1, kMaxDownsample));
    o.threads = static_cast<int>(ReadWhole(threads, "threads", 0, kMaxThreads));
    if (PyIndex_Check(pixel_aspect.ptr()) && !py::isinstance<py::bool_>(pixel_aspect)) {
        o.pixel_aspect = {static_cast<A_long>(ReadWhole(pixel_aspect, "pixel_aspect", 1, kMaxAspectTerm)), 1};
        return o;
    }
    if (!py::isinstance<py::sequence>(pixel_aspect) || py::isinstance<py::str>(pixel_aspect) ||
        py::len(pixel_aspect) != 2) {
        throw py::type_error("pixel_aspect: expected (numerator, denominator), e.g. (10, 11)");
    }
    const py::sequence par = py::reinterpret_borrow<py::sequence>(pixel_aspect);
    o.pixel_aspect = {static_cast<A_long>(ReadWhole(par[0], "pixel_aspect numerator", 1, kMaxAspectTerm)),
                      static_cast<A_u_long>(ReadWhole(par[1], "pixel_aspect denominator", 1, kMaxAspectTerm))};
    return o;
}

double ReadSeconds(const py::object& seconds, const char* name) {
    if (py::isinstance<py::bool_>(seconds) || !PyNumber_Check(seconds.ptr()) || PyComplex_Check(seconds.ptr()) ||
        py::isinstance<py::str>(seconds)) {
        throw py::type_error(std::string(name) + ": expected seconds as a number");
    }
    const double v = py::float_(seconds).cast<double>();
    // A host's time fields hold 2^31 ticks of 1/30000 s: about 19 hours.
    const double limit = static_cast<double>(std::numeric_limits<A_long>::max()) / vembed::kTimeScale;
    if (!std::isfinite(v) || std::fabs(v) > limit) {
        throw py::value_error(std::string(name) + ": " + std::string(py::repr(seconds)) +
                              " is not a time a host can send (finite, within " + std::to_string(limit) + " s)");
    }
    return v;
}

vhost::FrameTime StillTime(double seconds) {
    return vhost::FrameTime{vembed::HostTime(seconds, vembed::kTimeScale), 1, vembed::kTimeScale, 0};
}

vparse::FrameRate ReadFrameRate(const py::object& fps) {
    if (py::isinstance<py::bool_>(fps)) throw py::type_error("fps: expected a number or 'N/D'");
    const std::string text = py::isinstance<py::str>(fps) ? fps.cast<std::string>() : std::string(py::str(fps));
    return vparse::ParseFrameRate(text, "fps");
}

}  // namespace vpython
