#include "tests/Xvfb.h"

#include <signal.h>

namespace vtest {

XvfbSession::XvfbSession(int width, int height) : width_(width), height_(height) {
    // -displayfd writes the number of the display it found free on the pipe once it listens.
    const std::string screen = std::to_string(width) + "x" + std::to_string(height) + "x24";
    server_ = std::make_unique<Process>("exec Xvfb -displayfd 3 -screen 0 " + screen +
                                        " -nolisten tcp -noreset 3>&1 >/dev/null");
    std::string number;
    if (server_->ReadLine(number, 15000) && !number.empty()) display_ = ":" + number;
}

XvfbSession::~XvfbSession() {
    // Asked to end, the server removes its lock file and frees the display number.
    server_->Signal(SIGTERM);
    server_->Ended(5000);
}

std::string XvfbSession::Xdo(const std::string& args) const {
    const CliRun run = RunShell(Env() + "xdotool " + args, false);
    EXPECT_EQ(run.status, 0) << "xdotool " << args << ": " << run.err;
    return run.out;
}

bool XvfbSession::Screenshot(const std::string& path, int x, int y, int w, int h) const {
    const CliRun grab = RunShell("ffmpeg -loglevel error -y -f x11grab -draw_mouse 0 -video_size " +
                                 std::to_string(w) + "x" + std::to_string(h) + " -i '" + display_ + "+" +
                                 std::to_string(x) + "," + std::to_string(y) + "' -frames:v 1 '" + path + "'");
    EXPECT_EQ(grab.status, 0) << grab.out;
    return grab.status == 0;
}

bool XvfbSession::Keep(const std::string& path, const std::string& name) {
    const std::string kept = std::string(VELLORA_BUILD_DIR) + "/screenshots/" + name;
    RunShell("mkdir -p '" VELLORA_BUILD_DIR "/screenshots' && cp '" + path + "' '" + kept + "'");
    return !FileText(kept).empty();
}

}  // namespace vtest
