#include "host/ApiNames.h"
#include "validator/Invariants.h"

#include <algorithm>
#include <cfloat>
#include <climits>
#include <cmath>
#include <cstring>
#include <limits>
#include <sstream>

#include "host/HostError.h"
#include "host/Render.h"

namespace vvalidator {

void Findings::Add(const std::string& what) {
    ++count_;
    if (items_.size() < kKept) items_.push_back(what);
}

void Findings::Merge(const Findings& other, const std::string& prefix) {
    for (const std::string& item : other.items_) Add(prefix + item);
    const int rest = other.count_ - static_cast<int>(other.items_.size());
    if (rest > 0) count_ += rest;
}

void ValidationCounters::Add(const ValidationCounters& o) {
    commands += o.commands;
    parameter_sets += o.parameter_sets;
    faults += o.faults;
    renders += o.renders;
    events += o.events;
    reloads += o.reloads;
    threads = std::max(threads, o.threads);
}

namespace {

std::string Num(double v) {
    char buf[48];
    std::snprintf(buf, sizeof(buf), "%.9g", v);
    return buf;
}

std::string CodeList(const std::vector<PF_Err>& codes) {
    std::string s;
    for (PF_Err c : codes) s += (s.empty() ? "" : ", ") + std::to_string(c);
    return s;
}

bool Contains(const std::vector<PF_Err>& codes, PF_Err err) {
    return std::find(codes.begin(), codes.end(), err) != codes.end();
}

double Unit(uint64_t word) { return static_cast<double>(word >> 11) * 0x1.0p-53; }

}  // namespace

// ---------------------------------------------------------------------------
// Ledgers and sending

void CheckLedgers(vhost::Host& host, const std::string& what, Findings& findings, bool refused_releases) {
    vhost::SuiteLedger& suites = host.Suites();
    if (!suites.Balanced()) {
        for (const std::string& p : suites.Problems()) findings.Add(what + ": suite " + p);
        suites.Reset();
    }
    vhost::ObjectLedger& objects = host.Objects();
    if (!objects.Balanced()) {
        for (const std::string& p : objects.Problems()) {
            // A release the host refused leaves its object held; that is the host's doing.
            if (refused_releases && p.find("still holds") != std::string::npos) continue;
            findings.Add(what + ": " + p);
        }
        objects.Reset();
    }
}

PF_Err SendChecked(vhost::Host& host, const std::string& what, Findings& findings, ValidationCounters& counters,
                   const std::function<PF_Err()>& send) {
    ++counters.commands;
    PF_InData before;
    std::memcpy(&before, &host.InData(), sizeof(before));
    PF_Err err = PF_Err_INTERNAL_STRUCT_DAMAGED;
    try {
        err = send();
    } catch (const vhost::HostError& e) {
        findings.Add(what + ": " + e.what());
        return err;
    } catch (const std::exception& e) {
        findings.Add(what + ": the host failed: " + e.what());
        return err;
    }
    // The host itself refreshes these two on every command; nothing else may change.
    before.pica_basicP = host.InData().pica_basicP;
    before.num_params = host.InData().num_params;
    if (std::memcmp(&before, &host.InData(), sizeof(before)) != 0) {
        findings.Add(what + ": the effect wrote into PF_InData");
        std::memcpy(&host.InData(), &before, sizeof(before));
    }
    return err;
}

// ---------------------------------------------------------------------------
// Frames

std::string FrameSpec::Describe() const {
    std::string s = std::string(PixelLayoutName(layout)) + " " + std::to_string(width) + "x" + std::to_string(height);
    if ((input_width && input_width != width) || (input_height && input_height != height)) {
        s += " from a " + std::to_string(input_width ? input_width : width) + "x" +
             std::to_string(input_height ? input_height : height) + " input";
    }
    if (padding) s += ", rows padded by " + std::to_string(padding) + " bytes";
    if (extent) {
        s += ", extent hint (" + std::to_string(extent->left) + "," + std::to_string(extent->top) + ")-(" +
             std::to_string(extent->right) + "," + std::to_string(extent->bottom) + ")";
    }
    if (downsample != 1) s += ", downsample 1/" + std::to_string(downsample);
    if (pixel_aspect.num != 1 || pixel_aspect.den != 1) {
        s += ", pixel aspect " + std::to_string(pixel_aspect.num) + "/" + std::to_string(pixel_aspect.den);
    }
    if (premiere_format) {
        char code[5];
        for (int i = 0; i < 4; ++i) code[i] = static_cast<char>((*premiere_format >> (8 * i)) & 0xFF);
        code[4] = '\0';
        s += ", reported as '" + std::string(code) + "'";
    }
    return s;
}

std::vector<vhost::PixelLayout> HostLayouts(vhost::HostApp app) {
    if (app == vhost::HostApp::Premiere) return {vhost::PixelLayout::BGRA8, vhost::PixelLayout::BGRA32F};
    return {vhost::PixelLayout::ARGB8, vhost::PixelLayout::ARGB16};
}

namespace {

PrPixelFormat ReportedFormat(const FrameSpec& spec) {
    return spec.premiere_format.value_or(PremiereFormatOf(spec.layout));
}

int InputWidth(const FrameSpec& s) { return s.input_width > 0 ? s.input_width : s.width; }
int InputHeight(const FrameSpec& s) { return s.input_height > 0 ? s.input_height : s.height; }

// Input pixels: colours anything (the effect must copy them bit for bit, odd
// floats included), alpha within the format's range.
void FillInput(vhost::World& world, uint64_t seed) {
    std::mt19937_64 rng(seed);
    std::vector<unsigned char>& bytes = world.Bytes();
    for (size_t i = 0; i < bytes.size(); i += 8) {
        const uint64_t w = rng();
        std::memcpy(&bytes[i], &w, std::min<size_t>(8, bytes.size() - i));
    }
    if (world.Layout() == vhost::PixelLayout::ARGB16) {
        for (int y = 0; y < world.Height(); ++y) {
            auto* p = reinterpret_cast<A_u_short*>(world.Row(y));
            for (int i = 0; i < world.Width() * 4; ++i) p[i] = static_cast<A_u_short>(p[i] % 32769u);
        }
    } else if (world.Layout() == vhost::PixelLayout::BGRA32F) {
        static const float kOdd[] = {std::numeric_limits<float>::quiet_NaN(), std::numeric_limits<float>::infinity(),
                                     -std::numeric_limits<float>::infinity(), -0.0f, 1e30f, -5.0f, 1e-42f, 2.5f};
        for (int y = 0; y < world.Height(); ++y) {
            auto* p = reinterpret_cast<float*>(world.Row(y));
            for (int x = 0; x < world.Width(); ++x, p += 4) {
                for (int c = 0; c < 3; ++c) {
                    const uint64_t w = rng();
                    p[c] = (w & 15) == 0 ? kOdd[(w >> 4) & 7] : static_cast<float>(Unit(w) * 1.5 - 0.25);
                }
                const uint64_t w = rng();
                p[3] = (w & 7) == 0 ? static_cast<float>((w >> 3) & 1) : static_cast<float>(Unit(w));
            }
        }
    }
}

void FillNoise(vhost::World& world, uint64_t seed) {
    std::mt19937_64 rng(seed);
    std::vector<unsigned char>& bytes = world.Bytes();
    for (size_t i = 0; i < bytes.size(); i += 8) {
        const uint64_t w = rng();
        std::memcpy(&bytes[i], &w, std::min<size_t>(8, bytes.size() - i));
    }
}

// Byte offsets of the colour channels and of alpha within one pixel.
struct ChannelLayout {
    size_t colour[3];
    size_t colour_size;
    size_t alpha;
};

ChannelLayout Channels(vhost::PixelLayout layout) {
    switch (layout) {
        case vhost::PixelLayout::ARGB8:
            return {{1, 2, 3}, 1, 0};
        case vhost::PixelLayout::BGRA8:
            return {{0, 1, 2}, 1, 3};
        case vhost::PixelLayout::ARGB16:
            return {{2, 4, 6}, 2, 0};
        case vhost::PixelLayout::BGRA32F:
            return {{0, 4, 8}, 4, 12};
    }
    return {{1, 2, 3}, 1, 0};
}

void CheckRenderedPixels(const FrameSpec& spec, const vhost::World& input, const vhost::World& in_before, const vhost::World& out_before,
                         const vhost::World& output, PF_Err err, const std::string& what, Findings& findings) {
    if (input.Bytes() != in_before.Bytes()) findings.Add(what + ": the input world was written");

    const size_t bpp = BytesPerPixel(spec.layout);
    const ChannelLayout ch = Channels(spec.layout);
    const int in_w = input.Width(), in_h = input.Height();
    const PF_Rect extent = output.Def().extent_hint;
    const bool float_path = spec.layout == vhost::PixelLayout::BGRA32F;
    // A failed render (other than a user interruption, which may stop midway) leaves the output alone.
    const bool must_be_untouched = err != PF_Err_NONE && err != PF_Interrupt_CANCEL;
    // A render that succeeded covers the extent hint wherever the input has pixels. The
    // float pass counts rows from the buffer's first row, so it is held to this only
    // when the hint starts there.
    const bool must_cover = err == PF_Err_NONE && (!float_path || extent.top == 0);

    int padding_rows = 0, unwritten = 0, recoloured = 0, bad_alpha = 0, stray = 0, changed = 0;
    std::string first_unwritten, first_recoloured, first_bad_alpha, first_stray;
    for (int y = 0; y < output.Height(); ++y) {
        const unsigned char* row = output.Row(y);
        const unsigned char* row0 = out_before.Row(y);
        const size_t tight = static_cast<size_t>(output.Width()) * bpp;
        if (std::memcmp(row + tight, row0 + tight, output.RowBytes() - tight) != 0) ++padding_rows;
        for (int x = 0; x < output.Width(); ++x) {
            const unsigned char* p = row + static_cast<size_t>(x) * bpp;
            const unsigned char* p0 = row0 + static_cast<size_t>(x) * bpp;
            const std::string at = "(" + std::to_string(x) + "," + std::to_string(y) + ")";
            if (std::memcmp(p, p0, bpp) == 0) {
                if (must_cover && x >= extent.left && x < extent.right && y >= extent.top && y < extent.bottom &&
                    x < in_w && y < in_h) {
                    if (unwritten++ == 0) first_unwritten = at;
                }
                continue;
            }
            ++changed;
            if (x >= in_w || y >= in_h) {
                if (stray++ == 0) first_stray = at;
                continue;
            }
            const unsigned char* s = input.PixelBytes(x, y);
            bool same_colour = true;
            for (size_t c = 0; c < 3; ++c) {
                same_colour &= std::memcmp(p + ch.colour[c], s + ch.colour[c], ch.colour_size) == 0;
            }
            if (!same_colour && recoloured++ == 0) first_recoloured = at;
            bool alpha_ok = true;
            std::string alpha_text;
            if (spec.layout == vhost::PixelLayout::ARGB16) {
                A_u_short a;
                std::memcpy(&a, p + ch.alpha, sizeof(a));
                alpha_ok = a <= 32768;
                alpha_text = std::to_string(a);
            } else if (spec.layout == vhost::PixelLayout::BGRA32F) {
                float a;
                std::memcpy(&a, p + ch.alpha, sizeof(a));
                alpha_ok = std::isfinite(a) && a >= 0.0f && a <= 1.0f;
                alpha_text = Num(a);
            }
            if (!alpha_ok && bad_alpha++ == 0) first_bad_alpha = at + " is " + alpha_text;
        }
    }
    if (padding_rows) findings.Add(what + ": the padding of " + std::to_string(padding_rows) + " row(s) was written");
    if (must_be_untouched && changed) {
        findings.Add(what + ": returned " + vhost::DescribeError(err) + " yet wrote " + std::to_string(changed) +
                     " pixel(s)");
    }
    if (unwritten) {
        findings.Add(what + ": " + std::to_string(unwritten) + " pixel(s) the host asked for were not written, first " +
                     first_unwritten);
    }
    if (stray) {
        findings.Add(what + ": " + std::to_string(stray) + " pixel(s) beyond the input were written, first " +
                     first_stray);
    }
    if (recoloured) {
        findings.Add(what + ": colour channels differ from the input's in " + std::to_string(recoloured) +
                     " pixel(s), first " + first_recoloured);
    }
    if (bad_alpha) {
        findings.Add(what + ": alpha outside the format's range in " + std::to_string(bad_alpha) +
                     " pixel(s); alpha at " + first_bad_alpha);
    }
}

}  // namespace

std::vector<PF_Err> AllowedRenderResults(const vhost::Host& host, const FrameSpec& spec) {
    // A host's iterate refuses an input that does not hold every output pixel.
    const bool smaller = InputWidth(spec) < spec.width || InputHeight(spec) < spec.height;
    if (host.IsPremiere()) {
        const PrPixelFormat format = ReportedFormat(spec);
        if (format == PrPixelFormat_BGRA_4444_32f) return {PF_Err_NONE};
        if (format == PrPixelFormat_BGRA_4444_8u) {
            return smaller ? std::vector<PF_Err>{PF_Err_NONE, PF_Err_BAD_CALLBACK_PARAM}
                           : std::vector<PF_Err>{PF_Err_NONE};
        }
        return {PF_Err_UNRECOGNIZED_PARAM_TYPE};
    }
    return smaller ? std::vector<PF_Err>{PF_Err_NONE, PF_Err_BAD_CALLBACK_PARAM} : std::vector<PF_Err>{PF_Err_NONE};
}

PF_Err RenderChecked(vhost::Host& host, const FrameSpec& spec, uint64_t pixel_seed, Findings& findings,
                     ValidationCounters& counters, const std::vector<PF_Err>& allowed,
                     std::vector<unsigned char>* output_bytes, bool refused_releases) {
    const std::string what = "render of " + spec.Describe();
    vhost::World input(spec.layout, InputWidth(spec), InputHeight(spec), spec.padding);
    vhost::World output(spec.layout, spec.width, spec.height, spec.padding);
    FillInput(input, pixel_seed);
    FillNoise(output, pixel_seed ^ 0x9E3779B97F4A7C15ull);
    if (spec.extent) output.SetExtentHint(*spec.extent);
    const vhost::World in_before = input.Clone();
    const vhost::World out_before = output.Clone();

    ++counters.renders;
    vhost::FrameSettings settings;
    settings.downsample = spec.downsample;
    settings.pixel_aspect = spec.pixel_aspect;
    settings.premiere_format = ReportedFormat(spec);
    PrepareFrame(host, input, output, settings);
    const PF_Err err = SendChecked(host, what, findings, counters, [&]() { return SendRender(host, output, settings); });
    std::vector<PF_Err> ok = AllowedRenderResults(host, spec);
    ok.insert(ok.end(), allowed.begin(), allowed.end());
    if (!Contains(ok, err)) {
        findings.Add(what + ": returned " + vhost::DescribeError(err) + ", allowed " + CodeList(ok));
    }
    CheckRenderedPixels(spec, input, in_before, out_before, output, err, what, findings);
    CheckLedgers(host, what, findings, refused_releases);
    if (output_bytes) *output_bytes = output.Bytes();
    return err;
}

// ---------------------------------------------------------------------------
// Parameter values

const char* ValueKindName(ValueKind kind) {
    switch (kind) {
        case ValueKind::Valid:
            return "valid";
        case ValueKind::Snapped:
            return "at the ends of the ranges";
        case ValueKind::Hostile:
            return "hostile";
    }
    return "?";
}

namespace {

const PF_Fixed kOne = 65536;

PF_Fixed FixedIn(uint64_t word, double lo, double hi) {
    const double v = lo + Unit(word) * (hi - lo);
    return static_cast<PF_Fixed>(std::llround(std::clamp(v, -32768.0, 32767.0) * kOne));
}

const double kHostileDoubles[] = {0.0,
                                  -0.0,
                                  -1.0,
                                  -15000.0,
                                  -1e6,
                                  std::numeric_limits<double>::quiet_NaN(),
                                  -std::numeric_limits<double>::quiet_NaN(),
                                  std::numeric_limits<double>::infinity(),
                                  -std::numeric_limits<double>::infinity(),
                                  DBL_MAX,
                                  -DBL_MAX,
                                  std::numeric_limits<double>::denorm_min(),
                                  -std::numeric_limits<double>::denorm_min(),
                                  DBL_MIN / 4.0,
                                  1e-310,
                                  15000.001,
                                  1e300,
                                  static_cast<double>(FLT_MAX) * 4.0,
                                  static_cast<double>(FLT_MAX),
                                  0.5,
                                  1e-30};
const A_long kHostileFixed[] = {0,       -1,       -kOne,    INT_MIN,   INT_MAX,  INT_MIN + 1,
                                INT_MAX - 1, 101 * kOne, 200 * kOne, -100 * kOne, 0x7FFF0000, 1};
const A_long kHostileChoices[] = {0, -1, INT_MIN, INT_MAX, 127, -128, 256, 65536, 0x7FFF};

template <class T, size_t N>
T Pick(const T (&table)[N], uint64_t word) {
    return table[word % N];
}

std::string DescribeParam(const PF_ParamDef& p) {
    switch (p.param_type) {
        case PF_Param_POPUP:
            return std::to_string(p.u.pd.value);
        case PF_Param_CHECKBOX:
            return std::to_string(p.u.bd.value);
        case PF_Param_FLOAT_SLIDER:
            return Num(p.u.fs_d.value);
        case PF_Param_FIX_SLIDER:
            return Num(p.u.fd.value / 65536.0);
        case PF_Param_ANGLE:
            return Num(p.u.ad.value / 65536.0);
        case PF_Param_POINT:
            return "(" + Num(p.u.td.x_value / 65536.0) + "," + Num(p.u.td.y_value / 65536.0) + ")";
        default:
            return "-";
    }
}

}  // namespace

std::string RandomizeParams(vhost::Host& host, const RandomWord& next, ValueKind kind) {
    std::vector<PF_ParamDef>& params = host.Params();
    std::string text;
    for (size_t i = 1; i < params.size(); ++i) {
        PF_ParamDef& p = params[i];
        // Hostile sets mix hostile values with ordinary ones, as a damaged project would.
        const bool hostile = kind == ValueKind::Hostile && (next() & 1);
        const bool snapped = kind == ValueKind::Snapped;
        const uint64_t w = next();
        switch (p.param_type) {
            case PF_Param_POPUP: {
                const A_long n = std::max<A_long>(1, p.u.pd.num_choices);
                p.u.pd.value = hostile ? Pick(kHostileChoices, w)
                               : snapped ? ((w & 1) ? n : 1)
                                         : 1 + static_cast<A_long>(w % static_cast<uint64_t>(n));
                if (hostile && (w >> 32) % 3 == 0) p.u.pd.value = n + 1;
                break;
            }
            case PF_Param_CHECKBOX:
                p.u.bd.value = hostile ? ((w & 2) ? Pick(kHostileChoices, w >> 8) : 2) : static_cast<A_long>(w & 1);
                break;
            case PF_Param_FLOAT_SLIDER: {
                const double lo = p.u.fs_d.valid_min, hi = p.u.fs_d.valid_max;
                if (hostile) {
                    p.u.fs_d.value = Pick(kHostileDoubles, w);
                } else if (snapped) {
                    p.u.fs_d.value = (w & 1) ? hi : lo;
                } else if (w & 1) {
                    p.u.fs_d.value = lo + Unit(next()) * (hi - lo);
                } else {
                    // Most masks people make are a few hundred pixels across.
                    const double u = Unit(next());
                    p.u.fs_d.value = lo + u * u * std::min(hi - lo, 800.0);
                }
                break;
            }
            case PF_Param_FIX_SLIDER: {
                const PF_Fixed lo = p.u.fd.valid_min, hi = p.u.fd.valid_max;
                p.u.fd.value = hostile  ? Pick(kHostileFixed, w)
                               : snapped ? ((w & 1) ? hi : lo)
                                         : static_cast<PF_Fixed>(lo + static_cast<int64_t>(Unit(next()) *
                                                                                           (static_cast<double>(hi) - lo)));
                break;
            }
            case PF_Param_ANGLE:
                p.u.ad.value = hostile  ? Pick(kHostileFixed, w)
                               : snapped ? ((w & 1) ? 360 * kOne : 0)
                                         : FixedIn(next(), -720.0, 720.0);
                break;
            case PF_Param_POINT:
                if (hostile) {
                    p.u.td.x_value = Pick(kHostileFixed, w);
                    p.u.td.y_value = Pick(kHostileFixed, w >> 16);
                } else if (snapped) {
                    p.u.td.x_value = (w & 1) ? 1920 * kOne : 0;
                    p.u.td.y_value = (w & 2) ? 1080 * kOne : 0;
                } else {
                    p.u.td.x_value = FixedIn(next(), -256.0, 2304.0);
                    p.u.td.y_value = FixedIn(next(), -256.0, 1344.0);
                }
                break;
            default:
                break;
        }
        text += (text.empty() ? "" : " ") + std::to_string(i) + "=" + DescribeParam(p);
    }
    return text;
}

void ResetParams(vhost::Host& host) {
    const PF_InData& in = host.InData();
    host.ResetParams(in.width > 0 ? in.width : 640, in.height > 0 ? in.height : 480);
}

// ---------------------------------------------------------------------------
// Overlay events

namespace {

bool IsOverlayWindow(PF_WindowType type) { return type == PF_Window_COMP || type == PF_Window_LAYER; }

// Empty when the value is one the parameter may hold, else why not.
std::string OutOfRange(const PF_ParamDef& decl, const PF_ParamDef& p) {
    switch (p.param_type) {
        case PF_Param_POPUP:
            return p.u.pd.value >= 1 && p.u.pd.value <= decl.u.pd.num_choices ? "" : "is not one of the choices";
        case PF_Param_CHECKBOX:
            return p.u.bd.value == 0 || p.u.bd.value == 1 ? "" : "is neither on nor off";
        case PF_Param_FLOAT_SLIDER:
            if (std::isnan(p.u.fs_d.value)) return "is not a number";
            return p.u.fs_d.value >= decl.u.fs_d.valid_min && p.u.fs_d.value <= decl.u.fs_d.valid_max
                       ? ""
                       : "is outside " + Num(decl.u.fs_d.valid_min) + ".." + Num(decl.u.fs_d.valid_max);
        case PF_Param_FIX_SLIDER:
            return p.u.fd.value >= decl.u.fd.valid_min && p.u.fd.value <= decl.u.fd.valid_max
                       ? ""
                       : "is outside " + Num(decl.u.fd.valid_min / 65536.0) + ".." +
                             Num(decl.u.fd.valid_max / 65536.0);
        case PF_Param_ANGLE:
            // A turned handle gives a bearing in [0, 360).
            return p.u.ad.value >= 0 && p.u.ad.value < 360 * kOne ? "" : "is outside [0, 360)";
        default:
            return "";
    }
}

std::string Point(PF_Point p) { return "(" + std::to_string(p.h) + "," + std::to_string(p.v) + ")"; }

A_long ToPixel(float v) {
    if (!std::isfinite(v)) return 0;
    return static_cast<A_long>(std::clamp(std::lround(v), -1000000L, 1000000L));
}

}  // namespace

EventDriver::EventDriver(vhost::Host& host, voverlay::OverlayWindow& window, Findings& findings, ValidationCounters& counters)
    : host_(host), window_(window), findings_(findings), counters_(counters) {}

PF_Err EventDriver::Send(PF_EventExtra& event, const std::string& what) {
    before_ = host_.Params();
    const size_t misuses = window_.Misuses().size();
    ++counters_.events;
    std::vector<int> changed;
    const PF_Err err =
        SendChecked(host_, what, findings_, counters_, [&]() { return window_.SendEvent(event, &changed); });
    if (err != PF_Err_NONE && !Contains(allowed_, err)) {
        findings_.Add(what + ": returned " + vhost::DescribeError(err) + ", allowed 0" +
                      (allowed_.empty() ? "" : ", " + CodeList(allowed_)));
    }
    CheckLedgers(host_, what, findings_, refused_releases_);
    for (size_t i = misuses; i < window_.Misuses().size(); ++i) {
        findings_.Add(what + ": misused the drawing suites: " + window_.Misuses()[i]);
    }
    CheckParams(what, changed);
    last_err_ = err;
    return err;
}

// The host took the values flagged changed into its list; each must be one the
// parameter may hold, as a saved project keeps it.
void EventDriver::CheckParams(const std::string& what, const std::vector<int>& changed) {
    const std::vector<PF_ParamDef>& params = host_.Params();
    for (int index : changed) {
        const size_t i = static_cast<size_t>(index);
        if (i == 0 || i >= params.size() || i >= before_.size()) {
            findings_.Add(what + ": flagged parameter " + std::to_string(index) + ", which the effect did not declare");
            continue;
        }
        const std::string why = OutOfRange(before_[i], params[i]);
        if (!why.empty()) {
            findings_.Add(what + ": parameter " + std::to_string(i) + " (" + std::string(before_[i].name) +
                          ") was set to " + DescribeParam(params[i]) + ", which " + why);
        }
    }
}

PF_Err EventDriver::Draw() {
    PF_EventExtra event = window_.NewEvent(PF_Event_DRAW);
    const size_t first = window_.Strokes().size();
    const std::string what = std::string("draw event in the ") + voverlay::WindowTypeName(window_.View().type) +
                             " window at zoom " + Num(window_.View().zoom);
    const PF_Err err = Send(event, what);
    const bool handled = (event.evt_out_flags & PF_EO_HANDLED_EVENT) != 0;
    const std::vector<voverlay::StrokeRecord>& strokes = window_.Strokes();
    if (!IsOverlayWindow(window_.View().type)) {
        if (event.evt_out_flags != PF_EO_NONE) findings_.Add(what + ": set evt_out_flags in a window without an overlay");
        if (strokes.size() != first) findings_.Add(what + ": drew in a window without an overlay");
    } else if (err == PF_Err_NONE && !handled) {
        findings_.Add(what + ": did not mark the draw event handled");
    }
    targets_.clear();
    bool reported = false;
    for (size_t s = first; s < strokes.size(); ++s) {
        const std::vector<voverlay::PathElement>& path = strokes[s].path;
        double sx = 0, sy = 0;
        int n = 0;
        for (const voverlay::PathElement& e : path) {
            if (e.kind == voverlay::PathElement::Kind::Close) continue;
            const bool finite = std::isfinite(e.x) && std::isfinite(e.y) &&
                                (e.kind != voverlay::PathElement::Kind::Arc ||
                                 (std::isfinite(e.radius) && std::isfinite(e.start) && std::isfinite(e.sweep)));
            if (!finite && !reported) {
                findings_.Add(what + ": stroke " + std::to_string(s - first + 1) + " has a coordinate that is not a number");
                reported = true;
            }
            if (e.kind == voverlay::PathElement::Kind::Arc) targets_.push_back(PF_Point{ToPixel(e.x), ToPixel(e.y)});
            sx += e.x;
            sy += e.y;
            ++n;
        }
        // Corner squares and the opacity marker: their centres are handles.
        if (n > 0 && n <= 5) {
            targets_.push_back(PF_Point{ToPixel(static_cast<float>(sx / n)), ToPixel(static_cast<float>(sy / n))});
        }
    }
    return err;
}

bool EventDriver::Click(PF_Point at, bool during_gesture) {
    PF_EventExtra event = window_.NewEvent(PF_Event_DO_CLICK);
    const bool continuing = during_gesture && gesture_open_;
    if (continuing) {
        event.u.do_click = click_;
    } else {
        // A host's record of a new click: whatever the slots held, the effect must not rely on them.
        std::memset(&event.u.do_click, 0, sizeof(event.u.do_click));
        for (int i = 0; i < 4; ++i) event.u.do_click.continue_refcon[i] = static_cast<A_intptr_t>(0x5A5A0000 + i);
        event.u.do_click.num_clicks = 1;
    }
    event.u.do_click.screen_point = at;
    event.u.do_click.last_time = 0;
    const PF_DoClickEventInfo sent = event.u.do_click;
    const std::string what = std::string(continuing ? "click during a gesture" : "click") + " at " + Point(at) +
                             " in the " + voverlay::WindowTypeName(window_.View().type) + " window at zoom " +
                             Num(window_.View().zoom);
    const PF_Err err = Send(event, what);
    const bool handled = (event.evt_out_flags & PF_EO_HANDLED_EVENT) != 0;
    const PF_DoClickEventInfo& got = event.u.do_click;
    if (!IsOverlayWindow(window_.View().type) && handled) {
        findings_.Add(what + ": took a click in a window without an overlay");
    }
    if (continuing) {
        if (err == PF_Err_NONE && IsOverlayWindow(window_.View().type) && event.e_type != PF_Event_DRAG) {
            findings_.Add(what + ": a click arriving while a gesture is open was not handled as a drag");
        }
    } else if (!handled) {
        if (got.send_drag != sent.send_drag ||
            std::memcmp(got.continue_refcon, sent.continue_refcon, sizeof(sent.continue_refcon)) != 0) {
            findings_.Add(what + ": a click the effect did not take changed the click record");
        }
    } else if (!got.send_drag) {
        findings_.Add(what + ": took the click but asked for no drag events");
    }
    click_ = got;
    gesture_open_ = (handled || continuing) && got.send_drag;
    if (handled && !continuing) ++grabs_;
    return handled;
}

void EventDriver::Drag(PF_Point at, bool last) {
    if (!gesture_open_) return;
    PF_EventExtra event = window_.NewEvent(PF_Event_DRAG);
    event.u.do_click = click_;
    event.u.do_click.screen_point = at;
    event.u.do_click.last_time = last ? 1 : 0;
    const std::string what = std::string(last ? "last drag" : "drag") + " to " + Point(at) + " in the " +
                             voverlay::WindowTypeName(window_.View().type) + " window at zoom " + Num(window_.View().zoom);
    const PF_Err err = Send(event, what);
    ++drags_;
    click_ = event.u.do_click;
    if (last) {
        if (err == PF_Err_NONE && IsOverlayWindow(window_.View().type) && click_.send_drag) {
            findings_.Add(what + ": the gesture's last event left send_drag set");
        }
        gesture_open_ = false;
    } else {
        gesture_open_ = click_.send_drag != 0;
    }
}

}  // namespace vvalidator
