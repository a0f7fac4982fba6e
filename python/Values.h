// The effect's values as Python hands them over, by the names --params uses,
// read through the parameters' facts: what a value may be is never decided
// here, only how a Python object spells it.
#pragma once

#include <pybind11/pybind11.h>

#include "params/EffectValues.h"
#include "params/ParamFacts.h"

namespace vpython {

// `base` with every keyword of `values` set; None leaves a value as it is.
// Throws ParamError (a ValueError in Python) naming the parameter for a value
// out of range or an unknown name, pybind11::type_error for a value of the
// wrong type.
vparams::EffectValues ReadValues(const pybind11::dict& values, const vparams::ParamFactsList& facts,
                                 vparams::EffectValues base);

// One value in Python's terms: a choice's name, a number, an (x, y) tuple, a bool.
pybind11::object ValueObject(const vparams::ParamFacts& facts, const vparams::KeyValue& value);

}  // namespace vpython
