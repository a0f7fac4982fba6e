// OBS Studio itself, run as a user runs it but unattended: a fresh HOME with a
// profile (advanced output recording FFV1 into Matroska, colour format RGB,
// the canvas the source's size), a scene collection whose one image source
// carries the Vellora filter, and obs-websocket on a free port; OBS started on
// its own Xvfb with this build's plug-in folder, the recording stopped through
// obs-websocket, OBS ended with SIGINT (SIGTERM would cut the recording).
#pragma once

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include <nlohmann/json.hpp>

#include "tests/TestSupport.h"
#include "tests/Xvfb.h"

namespace vtest {

class ObsStudioRun {
public:
    ObsStudioRun();
    const TempDir& Dir() const { return dir_; }

    // Writes the configuration: `image` (a PNG) as the source, the filter with
    // `settings` (none when null).
    void Configure(const std::string& image, int width, int height, const nlohmann::json& settings);
    // Starts OBS recording, lets it record `seconds`, stops and quits it.
    // Returns what went wrong, or "" when all of it worked.
    std::string Record(double seconds);
    // OBS started without recording, its window shown; Quit() ends it. "" or what went wrong.
    std::string Start();
    std::string Quit();
    // An obs-websocket request to the running OBS; "" or why it failed.
    std::string Request(const std::string& kind, const nlohmann::json& data = nlohmann::json::object()) const;
    const XvfbSession& Screen() const { return *xvfb_; }

    // OBS's log of the run, and its lines that name our module.
    std::string Log() const;
    std::vector<std::string> ModuleLines() const;
    // Frames OBS's log says it drew and attempted to draw while recording (the
    // difference lagged for rendering); {0, 0} when it says nothing.
    std::pair<long, long> DrawnFrames() const;
    // The recording's frame `n` as straight RGBA, width * height * 4 bytes; empty when there is none.
    std::string Frame(int n) const;

private:
    std::string Config(const std::string& name) const;
    std::string Launch(const std::string& options);

    std::unique_ptr<XvfbSession> xvfb_;
    std::unique_ptr<Process> obs_;
    TempDir dir_;
    int port_ = 0;
    int width_ = 0, height_ = 0;
    std::string recording_;
};

}  // namespace vtest
