// The keyword arguments every render takes besides the effect's values
// (host, time, downsample, pixel_aspect, threads), read and held to the
// ranges `vellora render` holds its options to.
#pragma once

#include <pybind11/pybind11.h>

#include "parse/Parse.h"
#include "python/FrameRender.h"

namespace vpython {

// Whole-frame settings from Python objects; throws pybind11::value_error or
// type_error naming the argument.
FrameOptions ReadOptions(const pybind11::object& host, const pybind11::object& downsample,
                         const pybind11::object& pixel_aspect, const pybind11::object& threads);

// Seconds as a finite float; throws naming `name`.
double ReadSeconds(const pybind11::object& seconds, const char* name);

// The time of a lone frame at `seconds`, in the embedded effect's time scale.
vhost::FrameTime StillTime(double seconds);

// Frames a second: a number or "30000/1001" as --fps takes it.
vparse::FrameRate ReadFrameRate(const pybind11::object& fps);

}  // namespace vpython
