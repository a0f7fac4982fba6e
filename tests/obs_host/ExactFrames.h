// A source of the test host's own, as a camera is to OBS: asynchronous video
// whose frames the test hands over byte for byte, shown as soon as they come.
#pragma once

#include <cstdint>
#include <string>

#include <obs.h>

namespace vobstest {

constexpr const char* kExactFramesId = "vellora_test_frames";

void RegisterExactFrames();
// The raw RGBA file `path` (straight, rows tight) as the source's next frame.
void OutputRgba(obs_source_t* source, const std::string& path, uint32_t width, uint32_t height);
// A 10-bit HDR frame (P010, Rec. 2100 PQ) of mid grey.
void OutputHdr(obs_source_t* source, uint32_t width, uint32_t height);

}  // namespace vobstest
