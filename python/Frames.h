// NumPy frames in and out: an array checked and described for the renderer,
// and the new array a result is written into.
#pragma once

#include <pybind11/numpy.h>

#include "python/FrameRender.h"

namespace vpython {

// The (H, W, 4) frame in `array`, any strides. Throws pybind11::type_error
// for a dtype the effect has no depth for, pybind11::value_error for a shape
// that is not (H, W, 4) with H and W from 1 to what a world holds.
FrameView ViewOf(const pybind11::array& array);

// A new C-ordered (H, W, 4) array of the frame's dtype, the size its result
// has, in memory kept from earlier results where one of its size is idle.
pybind11::array ResultArray(const pybind11::array& frame, const FrameView& view, int downsample);

}  // namespace vpython
