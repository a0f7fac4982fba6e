#include "fuzz/drivers/EntryDriver.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

#include "api/AE_EffectSuites.h"
#include "api/DrawbotSuites.h"
#include "fuzz/drivers/Bytes.h"
#include "fuzz/drivers/DriverSupport.h"
#include "host/Host.h"
#include "host/HostError.h"
#include "overlay/Overlay.h"

namespace vfuzz {

namespace {

using vvalidator::FrameSpec;
using vhost::HostApp;
using vhost::PixelLayout;
using vvalidator::ValueKind;

uint64_t Mix(uint64_t x) {
    x += 0x9E3779B97F4A7C15ull;
    x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ull;
    x = (x ^ (x >> 27)) * 0x94D049BB133111EBull;
    return x ^ (x >> 31);
}

enum class Command { About, GlobalSetup, ParamsSetup, Render, Draw, Gesture, Other, RenderAndGesture };
const char* const kCommandNames[] = {"About",   "global set-up", "parameter set-up", "render",
                                     "draw",    "gesture",       "unanswered command", "render and gesture"};

enum class FaultKind { None, Withheld, NullSuite, FailingRelease, NoBasicSuite, FailCall, Abort, NullDrawingRef };

const char* const kSuites[] = {kPFANSISuite,         kPFPixelFormatSuite,   kPFIterate8Suite,
                               kPFIterate16Suite,    kPFEffectCustomUISuite, kPFEffectCustomUIOverlayThemeSuite,
                               kDRAWBOT_DrawSuite,   kDRAWBOT_SupplierSuite, kDRAWBOT_SurfaceSuite,
                               kDRAWBOT_PathSuite};
const char* const kDrawingCalls[] = {"PF_GetDrawingReference", "GetSupplier", "GetSurface", "NewPen", "NewPath",
                                     "MoveTo", "LineTo", "AddArc", "Close", "StrokePath", "PF_StrokePath",
                                     "RetainObject", "ReleaseObject"};
const char* const kConversions[] = {"layer_to_comp", "comp_to_layer", "source_to_frame", "frame_to_source"};
const char* const kHostCalls[] = {"iterate", "GetPixelFormat", "add_param", "register_ui",
                                  "AddSupportedPixelFormat", "ClearSupportedPixelFormats"};

const PF_WindowType kWindows[] = {PF_Window_LAYER, PF_Window_COMP,   PF_Window_LAYER, PF_Window_COMP,
                                  PF_Window_EFFECT, PF_Window_NONE, PF_Window_LAYER, PF_Window_COMP};
const double kZooms[] = {1.0, 0.5, 2.0, 0.25, 3.0, 1.5};
const PF_RationalScale kAspects[] = {{1, 1}, {1, 2}, {10, 11}, {4, 3}, {2, 1}, {4, 1}};

const int kLayerW = 64, kLayerH = 48;

struct Event {
    int kind;  // 0 click, 1 drag, 2 last drag, 3 draw, 4 click during the gesture
    int dx, dy;
};

struct Plan {
    HostApp app = HostApp::AfterEffects;
    Command command = Command::About;
    PF_Cmd other_cmd = 0;
    FaultKind fault = FaultKind::None;
    std::string fault_target;  // suite or call name
    int k = 1;
    bool onward = false;
    long abort_rows = -1;
    FrameSpec frame;
    PF_WindowType window = PF_Window_LAYER;
    double zoom = 1.0;
    std::vector<Event> events;
    ValueKind values = ValueKind::Valid;
    std::vector<uint16_t> value_words;
    uint64_t pixel_seed = 0;
};

Plan Decode(const uint8_t* data, size_t size) {
    Bytes in(data, size);
    Plan plan;
    const uint8_t head = in.Byte();
    plan.app = (head & 1) ? HostApp::Premiere : HostApp::AfterEffects;
    plan.command = static_cast<Command>((head >> 1) % 8);
    if (plan.command == Command::Other) {
        const uint8_t c = in.Byte();
        // Anything but the five answered commands, negative and huge codes included.
        static const PF_Cmd kOthers[] = {2, 3, 5, 6, 7, 8, 9, 10, 12, 13, 14, 16, 17, 18, 19, 20, 21, 22, 23, 24, 25,
                                         -1, 1000, INT32_MIN, INT32_MAX};
        plan.other_cmd = Pick(kOthers, c);
    }

    const uint8_t f = in.Byte(), f1 = in.Byte(), f2 = in.Byte();
    switch (f % 16) {
        case 6: plan.fault = FaultKind::Withheld; plan.fault_target = Pick(kSuites, f1); break;
        case 7: plan.fault = FaultKind::NullSuite; plan.fault_target = Pick(kSuites, f1); break;
        case 8: plan.fault = FaultKind::FailingRelease; plan.fault_target = Pick(kSuites, f1); break;
        case 9: plan.fault = FaultKind::NoBasicSuite; break;
        case 10: plan.fault = FaultKind::FailCall; plan.fault_target = Pick(kDrawingCalls, f1); plan.k = 1 + f2 % 48; break;
        case 11: plan.fault = FaultKind::FailCall; plan.fault_target = Pick(kConversions, f1); plan.k = 1 + f2 % 16; break;
        case 12: plan.fault = FaultKind::FailCall; plan.fault_target = Pick(kHostCalls, f1); plan.k = 1 + f2 % 12; break;
        case 13: plan.fault = FaultKind::Abort; plan.abort_rows = f1 % 64; break;
        case 14: plan.fault = FaultKind::NullDrawingRef; break;
        default: break;
    }
    plan.onward = (f2 & 0x80) != 0;

    const uint8_t g[8] = {in.Byte(), in.Byte(), in.Byte(), in.Byte(), in.Byte(), in.Byte(), in.Byte(), in.Byte()};
    FrameSpec& s = plan.frame;
    const std::vector<PixelLayout> layouts = vvalidator::HostLayouts(plan.app);
    s.layout = layouts[g[0] % layouts.size()];
    if (plan.app == HostApp::Premiere && (g[0] & 0x80)) s.layout = PixelLayout::ARGB8;  // a format it did not register
    s.width = 1 + g[1] % 48;
    s.height = 1 + g[2] % 48;
    if (g[3] % 4 == 0) {
        s.input_width = 1 + (g[3] >> 2) % s.width;
        s.input_height = 1 + g[6] % s.height;
    } else if (g[3] % 4 == 1) {
        s.input_width = s.width + (g[3] >> 2) % 7;
        s.input_height = s.height + (g[3] >> 5);
    }
    s.padding = static_cast<size_t>(g[4] % 4) * 4;
    if (g[5] % 4 == 0) {
        const int l = (g[5] >> 2) % s.width, t = g[6] % s.height;
        const int r = l + 1 + (g[6] >> 4) % (s.width - l), b = t + 1 + (g[5] >> 5) % (s.height - t);
        s.extent = PF_Rect{l, t, r, b};
    }
    s.downsample = 1 + g[7] % 8;
    s.pixel_aspect = Pick(kAspects, g[7] >> 3);

    plan.window = Pick(kWindows, in.Byte());
    plan.zoom = Pick(kZooms, in.Byte());
    const int n = in.Byte() % 9;
    for (int i = 0; i < n; ++i) {
        const uint8_t t = in.Byte();
        const int8_t x = static_cast<int8_t>(in.Byte()), y = static_cast<int8_t>(in.Byte());
        plan.events.push_back(Event{t % 5, x * 2, y * 2});
    }
    plan.values = static_cast<ValueKind>(in.Byte() % 3);
    for (int i = 0; i < 40; ++i) plan.value_words.push_back(in.Short());

    uint64_t h = 1469598103934665603ull;
    for (size_t i = 0; i < size; ++i) h = (h ^ data[i]) * 1099511628211ull;
    plan.pixel_seed = h;
    return plan;
}

std::string Describe(const Plan& plan) {
    std::string s = std::string(vhost::HostAppName(plan.app)) + ", " + kCommandNames[static_cast<int>(plan.command)];
    if (plan.command == Command::Other) s += " " + std::to_string(plan.other_cmd);
    switch (plan.fault) {
        case FaultKind::None: break;
        case FaultKind::Withheld: s += ", \"" + plan.fault_target + "\" withheld"; break;
        case FaultKind::NullSuite: s += ", \"" + plan.fault_target + "\" delivered null"; break;
        case FaultKind::FailingRelease: s += ", \"" + plan.fault_target + "\" refusing release"; break;
        case FaultKind::NoBasicSuite: s += ", no basic suite"; break;
        case FaultKind::FailCall:
            s += ", " + plan.fault_target + " failing at call " + std::to_string(plan.k) + (plan.onward ? " and after" : "");
            break;
        case FaultKind::Abort: s += ", stopped after " + std::to_string(plan.abort_rows) + " rows"; break;
        case FaultKind::NullDrawingRef: s += ", null drawing reference"; break;
    }
    s += ", frame " + plan.frame.Describe() + ", " + voverlay::WindowTypeName(plan.window) + " window at zoom " +
         std::to_string(plan.zoom) + ", " + std::to_string(plan.events.size()) + " events, values " +
         vvalidator::ValueKindName(plan.values);
    return s;
}

bool SuiteFault(const Plan& plan) {
    return plan.fault == FaultKind::Withheld || plan.fault == FaultKind::NullSuite ||
           plan.fault == FaultKind::NoBasicSuite;
}

void ApplyFault(const Plan& plan, vhost::FaultPlan& faults) {
    faults.Clear();
    switch (plan.fault) {
        case FaultKind::None: break;
        case FaultKind::Withheld: faults.withheld_suites.insert(plan.fault_target); break;
        case FaultKind::NullSuite: faults.null_suites.insert(plan.fault_target); break;
        case FaultKind::FailingRelease: faults.failing_releases.insert(plan.fault_target); break;
        case FaultKind::NoBasicSuite: faults.no_basic_suite = true; break;
        case FaultKind::FailCall: faults.FailCall(plan.fault_target, plan.k, plan.onward); break;
        case FaultKind::Abort: faults.abort_after_rows = plan.abort_rows; break;
        case FaultKind::NullDrawingRef: faults.null_drawing_reference = true; break;
    }
}

void CheckSetupResult(const std::string& what, PF_Err err, const std::vector<PF_Err>& allowed, vvalidator::Findings& f) {
    if (err != PF_Err_NONE && std::find(allowed.begin(), allowed.end(), err) == allowed.end()) {
        f.Add(what + ": returned " + std::to_string(err));
    }
}

void PlayEvents(const Plan& plan, vhost::Host& host, vvalidator::Findings& findings, vvalidator::ValidationCounters& counters,
                const std::vector<PF_Err>& allowed, bool refused) {
    voverlay::WindowView view;
    view.type = plan.window;
    view.zoom = plan.zoom;
    if (plan.window == PF_Window_COMP) {
        view.layer_offset_x = 11;
        view.layer_offset_y = 7;
    }
    voverlay::OverlayWindow window(host, view, kLayerW, kLayerH);
    vvalidator::EventDriver driver(host, window, findings, counters);
    driver.SetAllowed(allowed);
    driver.SetRefusedReleases(refused);
    const int cx = window.Width() / 2, cy = window.Height() / 2;
    if (plan.command == Command::Draw) {
        driver.Draw();
        return;
    }
    for (const Event& e : plan.events) {
        const PF_Point at{cx + e.dx, cy + e.dy};
        switch (e.kind) {
            case 0: driver.Click(at); break;
            case 1: driver.Drag(at, false); break;
            case 2: driver.Drag(at, true); break;
            case 3: driver.Draw(); break;
            case 4: driver.Click(at, true); break;
        }
    }
}

// A set-up command sent and checked: its result among `allowed`, the ledgers balanced.
template <class Send>
void SetUpStep(vhost::Host& host, const std::string& what, Send send, const std::vector<PF_Err>& allowed,
               vvalidator::Findings& findings, vvalidator::ValidationCounters& counters) {
    CheckSetupResult(what, vvalidator::SendChecked(host, what, findings, counters, send), allowed, findings);
    vvalidator::CheckLedgers(host, what, findings);
}

// A command that must leave PF_OutData as it was (`about`: unless it succeeds).
template <class Send>
void SendKeepingOutData(vhost::Host& host, const std::string& what, Send send, const std::vector<PF_Err>& allowed,
                        bool about, vvalidator::Findings& findings, vvalidator::ValidationCounters& counters) {
    PF_OutData before;
    std::memcpy(&before, &host.OutData(), sizeof(before));
    const PF_Err err = vvalidator::SendChecked(host, what, findings, counters, send);
    CheckSetupResult(what, err, allowed, findings);
    if (about) {
        if (err != PF_Err_NONE &&
            std::strncmp(before.return_msg, host.OutData().return_msg, sizeof(before.return_msg)) != 0) {
            findings.Add("About failed yet changed return_msg");
        }
    } else if (std::memcmp(&before, &host.OutData(), sizeof(before)) != 0) {
        findings.Add(what + " wrote into PF_OutData");
    }
    vvalidator::CheckLedgers(host, what, findings);
}

// Global and parameter set-up, then the plan's frame size and parameter values.
void SetUpSession(const Plan& plan, vhost::Host& host, vvalidator::Findings& findings,
                  vvalidator::ValidationCounters& counters) {
    SetUpStep(host, "global set-up", [&]() { return host.GlobalSetup(); }, {}, findings, counters);
    SetUpStep(host, "parameter set-up", [&]() { return host.ParamsSetup(); }, {}, findings, counters);
    host.InData().width = plan.frame.width * plan.frame.downsample;
    host.InData().height = plan.frame.height * plan.frame.downsample;
    vvalidator::ResetParams(host);
    size_t word = 0;
    vvalidator::RandomizeParams(host,
                                [&]() {
                                    const uint16_t w = plan.value_words[word % plan.value_words.size()];
                                    return Mix((static_cast<uint64_t>(word++) << 16) | w);
                                },
                                plan.values);
}

// The errors the planted fault lets a command return.
std::vector<PF_Err> AllowedErrors(const Plan& plan, const vhost::FaultPlan& faults) {
    std::vector<PF_Err> allowed;
    if (SuiteFault(plan)) allowed.push_back(PF_Err_BAD_CALLBACK_PARAM);
    if (plan.fault == FaultKind::FailCall) allowed.push_back(faults.injected_error);
    if (plan.fault == FaultKind::Abort) allowed.push_back(PF_Interrupt_CANCEL);
    return allowed;
}

void SendCommand(const Plan& plan, vhost::Host& host, vvalidator::Findings& findings,
                 vvalidator::ValidationCounters& counters) {
    const vhost::FaultPlan& faults = host.Faults();
    const bool refused = plan.fault == FaultKind::FailCall && plan.fault_target == "ReleaseObject";
    const std::vector<PF_Err> allowed = AllowedErrors(plan, faults);
    switch (plan.command) {
        case Command::About:
            SendKeepingOutData(host, "About", [&]() { return host.About(); }, allowed, true, findings, counters);
            break;
        case Command::GlobalSetup:
            // Global set-up answers PF_Err_NONE whatever the host lacks.
            SetUpStep(host, "global set-up", [&]() { return host.GlobalSetup(); }, {}, findings, counters);
            break;
        case Command::ParamsSetup:
            SetUpStep(host, "parameter set-up", [&]() { return host.ParamsSetup(); },
                      plan.fault == FaultKind::FailCall ? std::vector<PF_Err>{faults.injected_error}
                                                        : std::vector<PF_Err>{},
                      findings, counters);
            break;
        case Command::Render:
        case Command::RenderAndGesture:
            vvalidator::RenderChecked(host, plan.frame, plan.pixel_seed, findings, counters, allowed, nullptr, refused);
            if (plan.command == Command::RenderAndGesture) PlayEvents(plan, host, findings, counters, allowed, refused);
            break;
        case Command::Draw:
        case Command::Gesture:
            PlayEvents(plan, host, findings, counters, allowed, refused);
            break;
        case Command::Other:
            SendKeepingOutData(host, "command " + std::to_string(plan.other_cmd),
                               [&]() { return host.Send(plan.other_cmd, host.ParamArray(), nullptr, nullptr); }, {},
                               false, findings, counters);
            break;
    }
}

}  // namespace

std::string DescribeInput(const uint8_t* data, size_t size) { return Describe(Decode(data, size)); }

vvalidator::Findings RunInput(const vhost::PluginModule& module, const uint8_t* data, size_t size) {
    const Plan plan = Decode(data, size);
    vvalidator::Findings findings;
    vvalidator::ValidationCounters counters;
    try {
        vhost::Host host(module, plan.app);
        host.threads = 1;
        SetUpSession(plan, host, findings, counters);
        ApplyFault(plan, host.Faults());
        SendCommand(plan, host, findings, counters);
    } catch (const std::exception& e) {
        findings.Add(std::string("the session could not go on: ") + e.what());
    }
    return findings;
}

namespace {

class EntryDriver : public Driver {
public:
    std::string Run(const uint8_t* data, size_t size) override {
        const vvalidator::Findings findings = RunInput(EffectModule(), data, size);
        if (findings.Empty()) return {};
        std::string text = "the plug-in failed a host check (" + DescribeInput(data, size) + "):";
        for (const std::string& f : findings.Items()) text += "\n  " + f;
        return text;
    }
};

}  // namespace

std::unique_ptr<Driver> MakeEntryDriver() { return std::make_unique<EntryDriver>(); }

}  // namespace vfuzz
