#include "tests/obs_host/ExactFrames.h"

#include <fstream>
#include <iterator>
#include <stdexcept>
#include <vector>

#include <obs-module.h>
#include <util/platform.h>

namespace vobstest {

void RegisterExactFrames() {
    obs_source_info info = {};
    info.id = kExactFramesId;
    info.type = OBS_SOURCE_TYPE_INPUT;
    info.output_flags = OBS_SOURCE_ASYNC_VIDEO;
    info.get_name = [](void*) { return "Exact frames"; };
    info.create = [](obs_data_t*, obs_source_t* source) -> void* {
        obs_source_set_async_unbuffered(source, true);
        return source;
    };
    info.destroy = [](void*) {};
    obs_register_source(&info);
}

void OutputRgba(obs_source_t* source, const std::string& path, uint32_t width, uint32_t height) {
    std::ifstream in(path, std::ios::binary);
    std::vector<uint8_t> pixels((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (pixels.size() != size_t{width} * height * 4) throw std::runtime_error(path + " is not " + std::to_string(width) + "x" + std::to_string(height) + " RGBA");
    obs_source_frame frame = {};
    frame.data[0] = pixels.data();
    frame.linesize[0] = width * 4;
    frame.width = width;
    frame.height = height;
    frame.format = VIDEO_FORMAT_RGBA;
    frame.full_range = true;
    frame.timestamp = os_gettime_ns();
    obs_source_output_video(source, &frame);
}

void OutputHdr(obs_source_t* source, uint32_t width, uint32_t height) {
    std::vector<uint16_t> luma(size_t{width} * height, 0x8000), chroma(size_t{width} * height / 2, 0x8000);
    obs_source_frame frame = {};
    frame.data[0] = reinterpret_cast<uint8_t*>(luma.data());
    frame.data[1] = reinterpret_cast<uint8_t*>(chroma.data());
    frame.linesize[0] = frame.linesize[1] = width * 2;
    frame.width = width;
    frame.height = height;
    frame.format = VIDEO_FORMAT_P010;
    frame.trc = VIDEO_TRC_PQ;
    frame.full_range = false;
    video_format_get_parameters_for_format(VIDEO_CS_2100_PQ, VIDEO_RANGE_PARTIAL, VIDEO_FORMAT_P010,
                                           frame.color_matrix, frame.color_range_min, frame.color_range_max);
    frame.timestamp = os_gettime_ns();
    obs_source_output_video(source, &frame);
}

}  // namespace vobstest
