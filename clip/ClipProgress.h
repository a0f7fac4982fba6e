// What a clip shows while it renders: a progress line on a terminal, or one
// JSON line per finished frame for scripts and farm managers.
#pragma once

#include <chrono>
#include <cstdio>
#include <mutex>
#include <string>

#include <nlohmann/json.hpp>

#include "imaging/LibraryMessages.h"

namespace vclip {

// "0:42", "1:02:03".
inline std::string FormatDuration(double seconds) {
    const long s = static_cast<long>(seconds + 0.5);
    char text[32];
    if (s >= 3600) {
        std::snprintf(text, sizeof(text), "%ld:%02ld:%02ld", s / 3600, s / 60 % 60, s % 60);
    } else {
        std::snprintf(text, sizeof(text), "%ld:%02ld", s / 60, s % 60);
    }
    return text;
}

// The bytes of a name as lowercase hex, two digits a byte.
inline std::string HexBytes(const std::string& bytes) {
    static const char kDigits[] = "0123456789abcdef";
    std::string hex;
    for (unsigned char c : bytes) {
        hex += kDigits[c >> 4];
        hex += kDigits[c & 15];
    }
    return hex;
}

// A finished frame as one JSON line. A file name is bytes, JSON text is
// UTF-8: a name that is not valid UTF-8 gets U+FFFD for each bad byte in
// "file", for people, and its exact bytes in "file_hex", for programs.
inline std::string FrameLine(long frame, const std::string& file, double milliseconds) {
    nlohmann::ordered_json j;
    j["frame"] = frame;
    j["file"] = file;
    j["milliseconds"] = static_cast<long>(milliseconds + 0.5);
    try {
        return j.dump();
    } catch (const nlohmann::json::exception&) {
        j["file_hex"] = HexBytes(file);
        return j.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
    }
}

// Frames done of the total, frames a second and time left, on one line of the
// terminal; or one JSON line per finished frame on standard output.
class ClipProgress {
    using Clock = std::chrono::steady_clock;

public:
    ClipProgress(bool line, bool json, size_t total) : line_(line), json_(json), total_(total), start_(Clock::now()) {}

    void FrameDone(long frame, const std::string& file, double milliseconds) {
        std::lock_guard<std::mutex> lock(mutex_);
        ++done_;
        if (json_) {
            // Nobody reading any more: the frames go on without the report.
            const std::string text = FrameLine(frame, file, milliseconds);
            if (std::fprintf(stdout, "%s\n", text.c_str()) < 0 || std::fflush(stdout) != 0) json_ = false;
        }
        if (line_) {
            const double elapsed = Elapsed();
            const double fps = elapsed > 0 ? done_ / elapsed : 0;
            const std::string left = fps > 0 ? FormatDuration(static_cast<double>(total_ - done_) / fps) : "?";
            char text[160];
            std::snprintf(text, sizeof(text), "\rvellora: %zu of %zu frames, %.1f fps, %s left\033[K", done_, total_,
                          fps, left.c_str());
            // Other frames may be reading or writing, with standard error held for the libraries' messages.
            vimaging::WriteStandardError(text);
            shown_ = true;
        }
    }
    // Input headers read of the total, before rendering, a few times a second on the terminal's line.
    void Checked(size_t read, size_t total) {
        std::lock_guard<std::mutex> lock(mutex_);
        if (!line_ || Clock::now() - last_shown_ < std::chrono::milliseconds(200)) return;
        last_shown_ = Clock::now();
        char text[160];
        std::snprintf(text, sizeof(text), "\rvellora: checking input frames, %zu of %zu\033[K", read, total);
        vimaging::WriteStandardError(text);
        shown_ = true;
    }
    // Rendering starts now: frames a second count from here.
    void Begin() {
        std::lock_guard<std::mutex> lock(mutex_);
        start_ = Clock::now();
    }
    // Clears the line; on a terminal, says how long the whole took.
    void Finish(bool complete) {
        std::lock_guard<std::mutex> lock(mutex_);
        if (!line_) return;
        if (shown_) std::fprintf(stderr, "\r\033[K");
        if (complete && done_ > 0) {
            const double elapsed = Elapsed();
            std::fprintf(stderr, "vellora: %zu frames in %.1f s, %.1f fps\n", done_, elapsed,
                         elapsed > 0 ? done_ / elapsed : 0.0);
        }
        std::fflush(stderr);
        shown_ = false;
    }

private:
    double Elapsed() const { return std::chrono::duration<double>(Clock::now() - start_).count(); }

    std::mutex mutex_;
    bool line_, json_;
    size_t total_;
    size_t done_ = 0;
    bool shown_ = false;
    Clock::time_point start_;
    Clock::time_point last_shown_{};
};

}  // namespace vclip
