// What every call of the module shares: the parameters' facts, the pool of
// hosts `vellora.render` takes from, and one render (or
// window picture) from array to new array.
#pragma once

#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>

#include "params/ParamFacts.h"
#include "python/FrameRender.h"

namespace vpython {

// Made on first use (at import), kept for the life of the process.
HostPool& SharedPool();
const vparams::ParamFactsList& Facts();

// `frame` (anything NumPy reads as an array) rendered into a new array, the
// interpreter free for other threads meanwhile. Throws the Python error of
// any refusal; nothing is returned then.
pybind11::array RenderArray(HostPool& pool, const pybind11::object& frame, const FrameOptions& options,
                            const vparams::EffectValues& values);

// The window picture `vellora overlay` draws of `frame`: a new opaque
// (height, width, 4) uint8 array, the interpreter free meanwhile.
pybind11::array OverlayArray(HostPool& pool, const pybind11::object& frame, const FrameOptions& options,
                             const vparams::EffectValues& values);

}  // namespace vpython
