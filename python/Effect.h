// `vellora.Effect`: the effect kept in hosts of its own for the frames of a
// clip, with values fixed at creation and keys that move them frame by
// frame, computed as `vellora render --keys` computes a clip's.
#pragma once

#include <memory>

#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>

#include "parse/Parse.h"
#include "params/Keyframes.h"
#include "python/FrameRender.h"

namespace vpython {

class Effect {
public:
    // `keys`: None, a dict in the --keys format, or a path to such a file.
    Effect(const pybind11::object& host, const pybind11::object& keys, const pybind11::object& fps,
           const pybind11::object& downsample, const pybind11::object& pixel_aspect, const pybind11::object& threads,
           const pybind11::dict& values);

    // The frame at `time` seconds, or at clip frame `frame_number` (its time
    // then that frame's at the effect's fps); the keys at that frame, then
    // `values` over them.
    pybind11::array Render(const pybind11::object& frame, const pybind11::object& time,
                           const pybind11::object& frame_number, const pybind11::kwargs& values);

private:
    void RefuseKeyed(const pybind11::dict& values) const;

    std::unique_ptr<HostPool> pool_;
    FrameOptions options_;
    vparse::FrameRate rate_;
    vparams::EffectValues base_;
    vparams::Keyframes keys_;
};

}  // namespace vpython
