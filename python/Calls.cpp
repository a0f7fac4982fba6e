#include "python/Calls.h"

#include <cstring>
#include <string>
#include <vector>

#include "python/Frames.h"
#include "python/OverlayPicture.h"

namespace py = pybind11;

namespace vpython {

HostPool& SharedPool() {
    static HostPool pool;
    return pool;
}

const vparams::ParamFactsList& Facts() {
    static const vparams::ParamFactsList facts(SharedPool().Declared());
    return facts;
}

namespace {

py::array FrameArray(const py::object& frame) {
    py::array array = py::array::ensure(frame);
    if (!array) {
        throw py::type_error("frame: expected an (height, width, 4) array, got " +
                             std::string(py::str(py::type::of(frame).attr("__name__"))));
    }
    return array;
}

}  // namespace

py::array RenderArray(HostPool& pool, const py::object& frame, const FrameOptions& options,
                      const vparams::EffectValues& values) {
    py::array array = FrameArray(frame);
    const FrameView view = ViewOf(array);
    CheckBudget(view);  // before the result is allocated
    py::array result = ResultArray(array, view, options.downsample);
    void* out = result.mutable_data();
    {
        // `array` holds the frame's memory until the render is done.
        py::gil_scoped_release free;
        pool.Render(view, options, values, out);
    }
    return result;
}

py::array OverlayArray(HostPool& pool, const py::object& frame, const FrameOptions& options,
                       const vparams::EffectValues& values) {
    py::array array = FrameArray(frame);
    const FrameView view = ViewOf(array);
    CheckBudget(view);
    std::vector<uint8_t> picture;
    {
        py::gil_scoped_release free;
        picture = OverlayPicture(pool, view, options, values);
    }
    py::array_t<uint8_t> result({py::ssize_t{view.height}, py::ssize_t{view.width}, py::ssize_t{4}});
    std::memcpy(result.mutable_data(), picture.data(), picture.size());
    return std::move(result);
}

}  // namespace vpython
