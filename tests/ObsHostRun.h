// The OBS filter's tests drive libobs through vellora_obs_host (tests/obs_host/)
// under an X server of their own, and compare its pictures with
// `vellora render --host premiere --depth 8` of the same frame and values.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "imaging/ImageIO.h"
#include "tests/TestSupport.h"
#include "tests/Xvfb.h"

namespace vtest {

using Bytes = std::vector<uint8_t>;

// Straight RGBA whose colour and alpha vary over x and y and with `seed`;
// opaque everywhere when asked.
vimaging::Image TestFrame(int width, int height, unsigned seed, bool opaque = false);

// The --params JSON that sets what OBS settings `settings` set: the same keys,
// but the origin's two as one point (an unset coordinate the layer's centre).
nlohmann::json ParamsOfSettings(const nlohmann::json& settings, int width, int height);

// Where two pictures differ: empty when they are equal byte for byte.
std::string Difference(const Bytes& got, const Bytes& expected, int width);

class ObsHostRun {
public:
    ObsHostRun();
    bool Ready() const { return xvfb_ && !xvfb_->Display().empty(); }
    const TempDir& Dir() const { return dir_; }

    // A frame written as the raw file the host reads and as a PNG for `vellora render`.
    std::string WriteFrame(const std::string& name, const vimaging::Image& image);
    // Runs the job (`video` and `steps`; the built module added); its output and log.
    CliRun Run(const nlohmann::json& video, const nlohmann::json& steps);
    // A raw picture the host wrote.
    Bytes Picture(const std::string& name) const { return Read(name); }
    // `vellora render` of the PNG `name` under `params`, as straight RGBA.
    Bytes Reference(const std::string& name, const nlohmann::json& params);

private:
    Bytes Read(const std::string& name) const;
    TempDir dir_;
    std::unique_ptr<XvfbSession> xvfb_;
    int references_ = 0;
};

}  // namespace vtest
