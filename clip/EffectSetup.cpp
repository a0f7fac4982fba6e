#include "clip/EffectSetup.h"

#include <cstdio>
#include <stdexcept>

#include "files/AtomicFile.h"
#include "params/EffectParams.h"
#include "params/ParamFacts.h"
#include "support/InputError.h"

namespace vclip {
using vparse::ParseInteger;
using vparse::ParsePoint;
using vparse::ParseRanged;
using vparse::Trim;

namespace {

using vsupport::InputError;

int Rank(vimaging::SampleType type) { return type == vimaging::SampleType::U8 ? 0 : type == vimaging::SampleType::U16 ? 1 : 2; }

}  // namespace

ResolvedEffect ResolveEffectOptions(const EffectOptions& o) {
    ResolvedEffect r;
    r.host_app = vhost::ParseHostApp(Trim(o.host), "--host");

    const std::string depth = Trim(o.depth);
    r.depth_given = !depth.empty();
    const bool ae = r.host_app == vhost::HostApp::AfterEffects;
    if (depth.empty() || depth == "8") {
        r.layout = ae ? vhost::PixelLayout::ARGB8 : vhost::PixelLayout::BGRA8;
    } else if (depth == "16" && ae) {
        r.layout = vhost::PixelLayout::ARGB16;
    } else if (depth == "float" && !ae) {
        r.layout = vhost::PixelLayout::BGRA32F;
    } else if (depth == "float") {
        throw InputError("--depth float needs --host premiere (After Effects renders 8 or 16-bit worlds)");
    } else if (depth == "16") {
        throw InputError("--depth 16 needs --host ae (Premiere renders 8-bit or float BGRA frames)");
    } else {
        throw InputError("--depth '" + o.depth + "' is not a depth (expected 8, 16 or float)");
    }
    r.file_type = vimaging::WorldSampleType(r.layout);

    r.downsample = static_cast<int>(ParseInteger(o.downsample, "--downsample", 1, 64));
    r.threads = static_cast<int>(ParseInteger(o.threads, "--threads", 0, 256));

    const vparse::Ratio par = vparse::ParseRatio(o.par, "--par", 1, 1000);
    r.pixel_aspect = PF_RationalScale{static_cast<A_long>(par.num), static_cast<A_u_long>(par.den)};

    // The values are held to what the module declares.
    r.module_path = o.module.empty() ? vhost::DefaultModulePath() : o.module;
    r.declared = DeclarationOf(r.module_path, r.host_app);
    const vparams::Declaration& declared = r.declared;

    vparams::EffectValues& v = r.values;
    if (!o.params_file.empty()) {
        const std::string text = vfiles::ReadTextFile(o.params_file, vparams::kMaxParamsBytes, "--params");
        v = vparams::EffectValuesFromJsonText(text, {}, "--params: '" + o.params_file + "'", declared);
    }
    const std::vector<vparams::ParamEntry>& table = vparams::ParamTable();
    for (size_t i = 0; i < table.size(); ++i) {
        const vparams::ParamEntry& e = table[i];
        const EffectOptions::Param& given = o.params[i];
        const std::string option = e.option;
        if (e.flag) {
            if (given.on) v.*e.flag = true;
            if (given.off) v.*e.flag = false;
            continue;
        }
        if (given.text.empty()) continue;
        if (e.choice) {
            try {
                v.*e.choice = declared.ParseChoice(e.index, Trim(given.text));
            } catch (const std::runtime_error& error) {  // the declaration's list of choices
                throw InputError(option + ": " + error.what());
            }
        } else if (e.number_y) {
            double x = 0, y = 0;
            ParsePoint(given.text, option, x, y);
            v.*e.number = x;
            v.*e.number_y = y;
        } else {
            const char* unit = vparams::UnitWord(e.units);
            v.*e.number = ParseRanged(given.text, option, declared.Min(e.index), declared.Max(e.index),
                                      *unit ? std::string(" ") + unit : std::string());
        }
    }
    return r;
}

void FollowInputDepth(ResolvedEffect& effect, vimaging::SampleType input, const std::string& input_name) {
    using vhost::PixelLayout;
    using vimaging::SampleType;
    const bool ae = effect.host_app == vhost::HostApp::AfterEffects;
    const std::string name = "'" + input_name + "'";
    if (!effect.depth_given) {
        effect.file_type = input;
        if (input == SampleType::U8) {
            effect.layout = ae ? PixelLayout::ARGB8 : PixelLayout::BGRA8;
        } else {
            effect.layout = ae ? PixelLayout::ARGB16 : PixelLayout::BGRA32F;
        }
        if (ae && input == SampleType::F32) {
            effect.warnings.push_back(name + " holds float samples and After Effects renders at most 16 bits: values "
                                      "outside 0..1 are clamped (--host premiere renders float)");
        }
        return;
    }
    effect.file_type = vimaging::WorldSampleType(effect.layout);
    if (Rank(effect.file_type) < Rank(input)) {
        effect.warnings.push_back(std::string("--depth ") + (effect.file_type == SampleType::U8 ? "8" : "16") + ": " +
                                  name + " holds " + vimaging::SampleTypeName(input) + " samples; they are rounded to " +
                                  (effect.file_type == SampleType::U8 ? "8" : "16") + " bits" +
                                  (input == SampleType::F32 ? " and values outside 0..1 are clamped" : ""));
    }
}

void PrintWarning(const std::string& warning) { std::fprintf(stderr, "vellora: warning: %s\n", warning.c_str()); }

void PrintWarnings(const ResolvedEffect& effect) {
    for (const std::string& warning : effect.warnings) PrintWarning(warning);
}

}  // namespace vclip
