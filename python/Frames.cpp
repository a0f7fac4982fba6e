#include "python/Frames.h"

#include "python/ResultMemory.h"

#include <limits>
#include <string>

namespace py = pybind11;

namespace vpython {

namespace {

std::string ShapeText(const py::array& a) {
    std::string text = "(";
    for (py::ssize_t i = 0; i < a.ndim(); ++i) text += (i ? ", " : "") + std::to_string(a.shape(i));
    return text + (a.ndim() == 1 ? ",)" : ")");
}

}  // namespace

FrameView ViewOf(const py::array& a) {
    FrameView v;
    if (a.dtype().equal(py::dtype::of<uint8_t>())) {
        v.type = vimaging::SampleType::U8;
    } else if (a.dtype().equal(py::dtype::of<uint16_t>())) {
        v.type = vimaging::SampleType::U16;
    } else if (a.dtype().equal(py::dtype::of<float>())) {
        v.type = vimaging::SampleType::F32;
    } else {
        throw py::type_error("frame has dtype " + std::string(py::str(a.dtype())) +
                             "; expected uint8, uint16 or float32 in native byte order");
    }
    if (a.ndim() != 3) {
        throw py::value_error("frame has shape " + ShapeText(a) + "; expected (height, width, 4) RGBA");
    }
    if (a.shape(2) != 4) {
        throw py::value_error("frame has " + std::to_string(a.shape(2)) +
                              " channels; expected 4 (RGBA, straight alpha)");
    }
    // A world's rows are counted in 32 bits, four float samples a pixel.
    constexpr py::ssize_t kMaxSide = std::numeric_limits<int32_t>::max() / 16;
    if (a.shape(0) < 1 || a.shape(1) < 1 || a.shape(0) > kMaxSide || a.shape(1) > kMaxSide) {
        throw py::value_error("frame has shape " + ShapeText(a) + "; its height and width must be from 1 to " +
                              std::to_string(kMaxSide));
    }
    v.data = static_cast<const unsigned char*>(a.data());
    v.height = static_cast<int>(a.shape(0));
    v.width = static_cast<int>(a.shape(1));
    for (int i = 0; i < 3; ++i) v.strides[i] = a.strides(i);
    return v;
}

py::array ResultArray(const py::array& frame, const FrameView& view, int downsample) {
    const py::ssize_t h = ResultSize(view.height, downsample), w = ResultSize(view.width, downsample);
    const auto bytes = static_cast<size_t>(h) * static_cast<size_t>(w) * 4 * static_cast<size_t>(frame.itemsize());
    void* memory = TakeResultMemory(bytes);
    py::capsule owner;
    try {
        owner = py::capsule(memory, [](void* block) { GiveResultMemory(block); });
    } catch (...) {
        GiveResultMemory(memory);
        throw;
    }
    return py::array(frame.dtype(), {h, w, py::ssize_t{4}}, {}, memory, owner);
}

}  // namespace vpython
