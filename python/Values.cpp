#include "python/Values.h"

#include <string>

#include "params/ParamValue.h"

namespace py = pybind11;

namespace vpython {

namespace {

using vparams::KeyValue;
using vparams::ParamFacts;
using vparams::ValueKind;

bool IsBool(py::handle o) {
    return py::isinstance<py::bool_>(o) || std::string(py::str(py::type::of(o).attr("__name__"))) == "bool_";
}

// A real number, not a bool (True is not 1 pixel) nor text.
bool IsNumber(py::handle o) {
    if (IsBool(o) || py::isinstance<py::str>(o) || py::isinstance<py::bytes>(o)) return false;
    return PyNumber_Check(o.ptr()) && !PyComplex_Check(o.ptr());
}

double AsDouble(py::handle o) { return py::reinterpret_borrow<py::object>(o).cast<double>(); }

[[noreturn]] void WrongType(const ParamFacts& f, py::handle o, const char* expected) {
    throw py::type_error(f.key + ": expected " + expected + ", got " +
                         std::string(py::str(py::type::of(o).attr("__name__"))) + " " +
                         std::string(py::repr(o)));
}

KeyValue ReadValue(const ParamFacts& f, py::handle o) {
    if (py::isinstance<py::str>(o)) return vparams::ParseValue(f, o.cast<std::string>());
    switch (f.kind) {
        case ValueKind::Choice:
            if (!IsNumber(o) || IsBool(o)) WrongType(f, o, "a choice's name");
            return vparams::CheckValue(f, {AsDouble(o), 0.0});
        case ValueKind::Flag:
            if (!IsBool(o)) WrongType(f, o, "True or False");
            return {PyObject_IsTrue(o.ptr()) == 1 ? 1.0 : 0.0, 0.0};
        case ValueKind::Number:
            if (!IsNumber(o)) WrongType(f, o, "a number");
            return vparams::CheckValue(f, {AsDouble(o), 0.0});
        case ValueKind::Point:
            break;
    }
    if (!py::isinstance<py::sequence>(o) || py::len(o) != 2) WrongType(f, o, "(x, y) in layer pixels");
    const py::sequence xy = py::reinterpret_borrow<py::sequence>(o);
    if (!IsNumber(xy[0]) || !IsNumber(xy[1])) WrongType(f, o, "(x, y) in layer pixels");
    return vparams::CheckValue(f, {AsDouble(xy[0]), AsDouble(xy[1])});
}

}  // namespace

vparams::EffectValues ReadValues(const py::dict& values, const vparams::ParamFactsList& facts,
                                 vparams::EffectValues base) {
    for (const auto& item : values) {
        const ParamFacts& f = facts.Get(py::str(item.first).cast<std::string>());
        if (item.second.is_none()) continue;
        vparams::StoreParamValue(*f.entry, ReadValue(f, item.second), base);
    }
    return base;
}

py::object ValueObject(const ParamFacts& f, const KeyValue& value) {
    switch (f.kind) {
        case ValueKind::Choice: return py::str(vparams::ChoiceName(f, static_cast<int>(value[0])));
        case ValueKind::Flag: return py::bool_(value[0] != 0.0);
        case ValueKind::Point: return py::make_tuple(value[0], value[1]);
        case ValueKind::Number: break;
    }
    return py::float_(value[0]);
}

}  // namespace vpython
