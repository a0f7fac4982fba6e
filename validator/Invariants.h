// The invariants a strict host holds a plug-in to after every command, and the
// tools that drive it to them: checked sends, checked renders, parameter
// values of every kind and an event driver for overlay gestures. Shared by the
// validator's checks, the fuzz driver and the tests.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "host/Host.h"
#include "overlay/Overlay.h"
#include "host/World.h"

namespace vvalidator {

// What went wrong during one check (or one fuzz input). Keeps the first few
// messages in order and counts the rest.
class Findings {
public:
    void Add(const std::string& what);
    bool Empty() const { return count_ == 0; }
    int Count() const { return count_; }
    const std::vector<std::string>& Items() const { return items_; }
    std::string First() const { return items_.empty() ? std::string() : items_.front(); }
    // Takes over another's findings, each message prefixed.
    void Merge(const Findings& other, const std::string& prefix);

private:
    static constexpr size_t kKept = 8;
    int count_ = 0;
    std::vector<std::string> items_;
};

struct ValidationCounters {
    long commands = 0;        // commands sent through the entry point
    long parameter_sets = 0;  // random parameter sets tried
    long faults = 0;          // fault scenarios injected
    long renders = 0;         // frames rendered and checked
    long events = 0;          // overlay events sent and checked
    long reloads = 0;         // times the module was opened and closed
    int threads = 0;          // most renders running at once
    void Add(const ValidationCounters& other);
};

// A source of random 64-bit words: a seeded generator in the validator, the
// input bytes in the fuzzer.
using RandomWord = std::function<uint64_t()>;

// ---------------------------------------------------------------------------
// Invariants, shared by the validator, the fuzzer and the tests.

// Every suite given back as often as it was taken; every pen and path released
// exactly once. When the host refused releases on purpose, objects may stay
// held, but none may be released more often than it was held. The ledgers are
// cleared afterwards so the next command is judged on its own.
void CheckLedgers(vhost::Host& host, const std::string& what, Findings& findings, bool refused_releases = false);

// Sends one command and turns an exception that crossed the entry point into a
// finding. Returns the command's result (PF_Err_INTERNAL_STRUCT_DAMAGED after an escape).
PF_Err SendChecked(vhost::Host& host, const std::string& what, Findings& findings, ValidationCounters& counters,
                   const std::function<PF_Err()>& send);

// One frame as a host hands it to a render.
struct FrameSpec {
    vhost::PixelLayout layout = vhost::PixelLayout::ARGB8;
    int width = 64, height = 64;              // output buffer
    int input_width = 0, input_height = 0;    // 0: as the output
    size_t padding = 0;                       // extra bytes at the end of every row, both worlds
    std::optional<PF_Rect> extent;            // output extent hint; unset: the whole output
    int downsample = 1;                       // buffers are 1/downsample of the layer
    PF_RationalScale pixel_aspect{1, 1};
    std::optional<PrPixelFormat> premiere_format;  // Premiere: what GetPixelFormat reports
    std::string Describe() const;
};

// The layouts a host renders: After Effects 8 and 16 bits, Premiere 8-bit and float BGRA.
std::vector<vhost::PixelLayout> HostLayouts(vhost::HostApp app);

// Result codes a render of `spec` may return when the host injects no fault.
std::vector<PF_Err> AllowedRenderResults(const vhost::Host& host, const FrameSpec& spec);

// Renders one frame of pseudo-random pixels (from `pixel_seed`) and checks it:
// allowed result, input world untouched, row padding untouched, each output
// pixel either left as it was or holding the input's colour bits and an alpha
// that is finite and within the format's range, every pixel the host asked for
// written when the render succeeded, and balanced ledgers. `allowed` adds codes
// to AllowedRenderResults (faults). The output bytes are returned when asked.
PF_Err RenderChecked(vhost::Host& host, const FrameSpec& spec, uint64_t pixel_seed, Findings& findings,
                     ValidationCounters& counters, const std::vector<PF_Err>& allowed = {},
                     std::vector<unsigned char>* output_bytes = nullptr, bool refused_releases = false);

// Parameter values as the effect declared them (index 0, the layer, is left alone).
enum class ValueKind { Valid, Snapped, Hostile };
const char* ValueKindName(ValueKind kind);
// Gives every declared parameter a value by its type: within its valid range,
// at one of its ends, or hostile (0, negative, NaN, infinities, the largest
// doubles and denormals for float sliders; out-of-range popup and checkbox
// values). Returns a short description of the values for messages.
std::string RandomizeParams(vhost::Host& host, const RandomWord& next, ValueKind kind);
// Puts every declared parameter back to its default for the layer size in
// PF_InData (640x480 when unset).
void ResetParams(vhost::Host& host);

// Drives overlay events through one window the way a host does and checks
// each one: allowed result, balanced ledgers, no misuse of the drawing suites,
// stroke coordinates that are numbers, the handled flag only where the effect
// may take the event, a missed click leaving the click record alone, and every
// value the effect flagged changed (which the host takes into its list) a
// number inside the parameter's declared range.
class EventDriver {
public:
    EventDriver(vhost::Host& host, voverlay::OverlayWindow& window, Findings& findings, ValidationCounters& counters);

    // Codes (besides PF_Err_NONE) the next events may return, e.g. 516 under a withheld suite.
    void SetAllowed(std::vector<PF_Err> allowed) { allowed_ = std::move(allowed); }
    // The host refuses some releases, so objects may remain held (never released twice).
    void SetRefusedReleases(bool refused) { refused_releases_ = refused; }

    PF_Err Draw();
    // Points worth clicking, from the strokes of the last draw (handle centres, corners...).
    const std::vector<PF_Point>& Targets() const { return targets_; }
    // A click at `at`; `during_gesture` sends it with send_drag still set from the open
    // gesture, as a host does when a click arrives before the gesture ended.
    // Returns whether the effect took it (a gesture is open).
    bool Click(PF_Point at, bool during_gesture = false);
    // A drag event of the open gesture; `last` carries last_time and ends it.
    void Drag(PF_Point at, bool last);
    bool GestureOpen() const { return gesture_open_; }
    // Forgets the open gesture without a last event (a gesture cut short).
    void Abandon() { gesture_open_ = false; }
    PF_Err LastResult() const { return last_err_; }
    // Clicks the effect took and drag events sent to it.
    int Grabs() const { return grabs_; }
    int Drags() const { return drags_; }

private:
    PF_Err Send(PF_EventExtra& event, const std::string& what);
    void CheckParams(const std::string& what, const std::vector<int>& changed);

    vhost::Host& host_;
    voverlay::OverlayWindow& window_;
    Findings& findings_;
    ValidationCounters& counters_;
    std::vector<PF_Err> allowed_;
    bool refused_releases_ = false;
    std::vector<PF_ParamDef> before_;
    std::vector<PF_Point> targets_;
    PF_DoClickEventInfo click_{};
    bool gesture_open_ = false;
    PF_Err last_err_ = PF_Err_NONE;
    int grabs_ = 0, drags_ = 0;
};

}  // namespace vvalidator
