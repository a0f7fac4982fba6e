// libobs started without its window, on the X server of DISPLAY (EGL on X11,
// Mesa's software renderer under Xvfb): video at a given size, format and
// colour space, the OBS modules a test names, and sources rendered into an
// 8-bit RGBA texture and read back exactly.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include <obs.h>

namespace vobstest {

struct VideoSettings {
    uint32_t width = 640, height = 360;
    uint32_t fps = 60;
    video_format format = VIDEO_FORMAT_RGBA;
    video_colorspace colorspace = VIDEO_CS_SRGB;
};

struct Picture {
    uint32_t width = 0, height = 0;
    std::vector<uint8_t> rgba;  // rows tight
};

class ObsSession {
public:
    // Throws std::runtime_error saying what did not start.
    explicit ObsSession(const VideoSettings& video);
    ~ObsSession();
    ObsSession(const ObsSession&) = delete;
    ObsSession& operator=(const ObsSession&) = delete;

    // Opens and starts the module at `path` with its data folder; throws when it does not load.
    void LoadModule(const std::string& path, const std::string& data);

    // Returns once OBS's video thread has begun a new frame.
    void WaitFrame() const;
    // `source` drawn alone over transparent black, straight, with no blending
    // and no sRGB conversion, at its own size; empty when it has none.
    Picture Render(obs_source_t* source);

private:
    void* display_ = nullptr;
    gs_texrender_t* texrender_ = nullptr;
    gs_stagesurf_t* stage_ = nullptr;
};

}  // namespace vobstest
