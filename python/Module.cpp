// The Python module `vellora`: its functions and the Effect class, bound to
// the renderer with the docstrings written from the parameters' facts.
#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include "host/HostError.h"
#include "python/Calls.h"
#include "python/Docs.h"
#include "python/Effect.h"
#include "python/Options.h"
#include "python/Values.h"
#include "support/InputError.h"

namespace py = pybind11;

namespace vpython {

namespace {

py::array Render(const py::object& frame, const py::object& host, const py::object& time,
                 const py::object& downsample, const py::object& pixel_aspect, const py::object& threads,
                 const py::kwargs& values) {
    FrameOptions options = ReadOptions(host, downsample, pixel_aspect, threads);
    options.time = StillTime(ReadSeconds(time, "time"));
    return RenderArray(SharedPool(), frame, options, ReadValues(values, Facts(), {}));
}

py::array Overlay(const py::object& frame, const py::object& host, const py::object& time,
                  const py::object& downsample, const py::object& pixel_aspect, const py::object& threads,
                  const py::kwargs& values) {
    FrameOptions options = ReadOptions(host, downsample, pixel_aspect, threads);
    options.time = StillTime(ReadSeconds(time, "time"));
    return OverlayArray(SharedPool(), frame, options, ReadValues(values, Facts(), {}));
}

const char* KindName(vparams::ValueKind kind) {
    switch (kind) {
        case vparams::ValueKind::Choice: return "choice";
        case vparams::ValueKind::Point: return "point";
        case vparams::ValueKind::Flag: return "flag";
        case vparams::ValueKind::Number: break;
    }
    return "number";
}

py::dict Parameters() {
    py::dict all;
    for (const vparams::ParamFacts& f : Facts().All()) {
        py::dict p;
        p["name"] = f.key;
        p["label"] = f.label;
        p["kind"] = KindName(f.kind);
        p["unit"] = f.unit;
        p["min"] = f.min;
        p["max"] = f.max;
        const bool point = f.kind == vparams::ValueKind::Point;
        p["default"] = point ? py::none() : ValueObject(f, vparams::DefaultValue(f));
        if (point) p["default_percent"] = py::make_tuple(f.default_x, f.default_y);
        py::list choices;
        for (const vparams::ChoiceFacts& c : f.choices) choices.append(py::make_tuple(c.name, c.label));
        p["choices"] = choices;
        p["animated"] = f.animated;
        p["help"] = f.help;
        all[py::str(f.key)] = p;
    }
    return all;
}

void TranslateErrors() {
    py::register_exception_translator([](std::exception_ptr p) {
        try {
            if (p) std::rethrow_exception(p);
        } catch (const vsupport::InputError& e) {
            PyErr_SetString(PyExc_ValueError, e.what());
        } catch (const vhost::HostError& e) {
            PyErr_SetString(PyExc_RuntimeError, e.what());
        }
    });
}

}  // namespace

}  // namespace vpython

PYBIND11_MODULE(vellora, m) {
    using namespace vpython;
    // The docstrings open with their own signatures, in Python's terms.
    py::options options;
    options.disable_function_signatures();
    TranslateErrors();
    const vparams::ParamFactsList& facts = Facts();
    m.doc() = ModuleDoc();
    m.def("render", &Render, py::arg("frame"), py::kw_only(), py::arg("host") = "premiere", py::arg("time") = 0.0,
          py::arg("downsample") = 1, py::arg("pixel_aspect") = py::make_tuple(1, 1), py::arg("threads") = 0,
          RenderDoc(facts).c_str());
    m.def("overlay", &Overlay, py::arg("frame"), py::kw_only(), py::arg("host") = "premiere", py::arg("time") = 0.0,
          py::arg("downsample") = 1, py::arg("pixel_aspect") = py::make_tuple(1, 1), py::arg("threads") = 0,
          OverlayDoc(facts).c_str());
    m.def("parameters", &Parameters, ParametersDoc().c_str());
    py::class_<Effect>(m, "Effect", EffectDoc(facts).c_str())
        .def(py::init([](const py::object& host, const py::object& keys, const py::object& fps,
                         const py::object& downsample, const py::object& pixel_aspect, const py::object& threads,
                         const py::kwargs& values) {
                 return std::make_unique<Effect>(host, keys, fps, downsample, pixel_aspect, threads, values);
             }),
             py::kw_only(), py::arg("host") = "premiere", py::arg("keys") = py::none(), py::arg("fps") = 25,
             py::arg("downsample") = 1, py::arg("pixel_aspect") = py::make_tuple(1, 1), py::arg("threads") = 0)
        .def("render", &Effect::Render, py::arg("frame"), py::arg("time") = py::none(), py::kw_only(),
             py::arg("frame_number") = py::none(), EffectRenderDoc().c_str());
}
