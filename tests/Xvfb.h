// An X server of a test's own (Xvfb) for the programs with windows: it picks
// a free display itself, and gives xdotool and screenshots on that display.
#pragma once

#include <memory>
#include <string>

#include "tests/TestSupport.h"

namespace vtest {

class XvfbSession {
public:
    // A screen of `width` x `height` at 24 bits; Display() is empty when Xvfb did not start.
    XvfbSession(int width, int height);
    ~XvfbSession();
    XvfbSession(const XvfbSession&) = delete;
    XvfbSession& operator=(const XvfbSession&) = delete;

    const std::string& Display() const { return display_; }
    // Shell words before a command to run on this display. A session bus
    // nobody answers on: with none, a program under X starts one of its own
    // that outlives it (one dbus-daemon per window test).
    std::string Env() const { return "DISPLAY=" + display_ + " DBUS_SESSION_BUS_ADDRESS=unix:path=/nonexistent "; }
    // `xdotool ARGS` on this display: its output; a failing call is a test failure.
    std::string Xdo(const std::string& args) const;
    // The screen, or the area at (x, y) of `w` x `h`, without the pointer, as
    // a PNG at `path`; a failure is a test failure.
    bool Screenshot(const std::string& path) const { return Screenshot(path, 0, 0, width_, height_); }
    bool Screenshot(const std::string& path, int x, int y, int w, int h) const;
    // Keeps the PNG at `path` as VELLORA_BUILD_DIR/screenshots/NAME for a person to look at.
    static bool Keep(const std::string& path, const std::string& name);

private:
    int width_, height_;
    std::unique_ptr<Process> server_;
    std::string display_;
};

}  // namespace vtest
