#include "host/Host.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <thread>

#include "api/FixedPoint.h"
#include "host/CoreSuites.h"
#include "host/HostError.h"
#include "support/InputError.h"
#include "support/Text.h"
#include "host/RenderSuites.h"

namespace vhost {

namespace {

thread_local Host* t_current = nullptr;

std::string SuiteKey(const std::string& name, int version) { return name + " v" + std::to_string(version); }

const A_long kApplIdAfterEffects = 0x46585443;  // 'FXTC'

}  // namespace

ScopedCurrentHost::ScopedCurrentHost(Host& host) : previous_(t_current) { t_current = &host; }
ScopedCurrentHost::~ScopedCurrentHost() { t_current = previous_; }

HostApp ParseHostApp(const std::string& name, const std::string& option) {
    const std::string lower = vtext::Lower(name);
    if (lower == "ae" || lower == "aftereffects" || lower == "after-effects") return HostApp::AfterEffects;
    if (lower == "premiere" || lower == "pr" || lower == "ppro") return HostApp::Premiere;
    throw vsupport::InputError(option + ": unknown host '" + name + "' (expected 'ae' or 'premiere')");
}

const char* HostAppName(HostApp app) { return app == HostApp::Premiere ? "premiere" : "ae"; }

A_long ApplicationId(HostApp app) { return app == HostApp::Premiere ? PF_APPL_ID_PREMIERE : kApplIdAfterEffects; }

// The basic suite and the PF_InData callbacks: plain C functions that find
// their host through Host::Current().
struct BasicSuiteAccess {
    static Host* CallingHost(PF_ProgPtr effect_ref) {
        Host* host = Host::Current();
        return host && static_cast<void*>(host) == effect_ref ? host : nullptr;
    }

    static SPErr AcquireSuite(const char* name, int32_t version, const void** suite) {
        Host* host = Host::Current();
        if (!suite) return kSPSuiteNotFoundError;
        if (!host || !name) {
            *suite = nullptr;
            return kSPSuiteNotFoundError;
        }
        FaultPlan& faults = host->faults_;
        const void* found = host->FindSuite(name, version);
        if (!found || faults.withheld_suites.count(name)) {
            *suite = nullptr;
            return kSPSuiteNotFoundError;
        }
        if (faults.null_suites.count(name)) {
            *suite = nullptr;
            return kSPNoError;
        }
        // A pointer handed out is a reference held, even when the host also reports an error.
        *suite = found;
        host->suite_ledger_.Acquired(name, version);
        if (faults.erroring_suites.count(name)) {
            return faults.injected_error;
        }
        return kSPNoError;
    }

    static SPErr ReleaseSuite(const char* name, int32_t version) {
        Host* host = Host::Current();
        if (!host || !name) return kSPSuiteNotFoundError;
        host->suite_ledger_.Released(name, version);
        if (!host->FindSuite(name, version)) return kSPSuiteNotFoundError;
        if (host->faults_.failing_releases.count(name)) return host->faults_.injected_error;
        return kSPNoError;
    }

    static PF_Err CheckoutParam(PF_ProgPtr effect_ref, PF_ParamIndex index, A_long, A_long, A_u_long,
                                PF_ParamDef* param) {
        Host* host = CallingHost(effect_ref);
        if (!host || !param) return PF_Err_BAD_CALLBACK_PARAM;
        if (index < 0 || index >= static_cast<PF_ParamIndex>(host->params_.size())) return PF_Err_INVALID_INDEX;
        *param = host->params_[static_cast<size_t>(index)];
        return PF_Err_NONE;
    }

    static PF_Err CheckinParam(PF_ProgPtr effect_ref, PF_ParamDef* param) {
        return CallingHost(effect_ref) && param ? PF_Err_NONE : PF_Err_BAD_CALLBACK_PARAM;
    }

    static PF_Err AddParam(PF_ProgPtr effect_ref, PF_ParamIndex index, PF_ParamDefPtr def) {
        Host* host = CallingHost(effect_ref);
        if (!host || !def) return PF_Err_BAD_CALLBACK_PARAM;
        if (host->faults_.ShouldFail("add_param")) return host->faults_.injected_error;
        if (host->current_cmd_ != PF_Cmd_PARAMS_SETUP) return PF_Err_INVALID_CALLBACK;
        // Only appending is supported, as -1 asks.
        if (index != -1) return PF_Err_INVALID_INDEX;
        if (def->param_type < PF_Param_LAYER || def->param_type > PF_Param_FLOAT_SLIDER) {
            return PF_Err_UNRECOGNIZED_PARAM_TYPE;
        }
        PF_ParamDef copy = *def;
        copy.name[sizeof(copy.name) - 1] = '\0';
        host->params_.push_back(copy);
        host->param_ids_.push_back(def->uu.id);
        return PF_Err_NONE;
    }

    static PF_Err RegisterUI(PF_ProgPtr effect_ref, PF_CustomUIInfo* info) {
        Host* host = CallingHost(effect_ref);
        if (!host || !info) return PF_Err_BAD_CALLBACK_PARAM;
        if (host->faults_.ShouldFail("register_ui")) return host->faults_.injected_error;
        host->ui_info_ = *info;
        host->ui_registered_ = true;
        return PF_Err_NONE;
    }

    static PF_Err Abort(PF_ProgPtr effect_ref) {
        Host* host = CallingHost(effect_ref);
        return host ? host->CheckAbort() : PF_Err_BAD_CALLBACK_PARAM;
    }

    static PF_Err Progress(PF_ProgPtr effect_ref, A_long current, A_long total) {
        Host* host = CallingHost(effect_ref);
        if (!host) return PF_Err_BAD_CALLBACK_PARAM;
        host->ReportProgress(current, total);
        return host->CheckAbort();
    }
};

Host::Host(const PluginModule& module, HostApp app) : module_(module), app_(app) {
    basic_suite_.AcquireSuite = &BasicSuiteAccess::AcquireSuite;
    basic_suite_.ReleaseSuite = &BasicSuiteAccess::ReleaseSuite;
    utils_.ansi = HostAnsiCallbacks();

    in_data_.inter.checkout_param = &BasicSuiteAccess::CheckoutParam;
    in_data_.inter.checkin_param = &BasicSuiteAccess::CheckinParam;
    in_data_.inter.add_param = &BasicSuiteAccess::AddParam;
    in_data_.inter.abort = &BasicSuiteAccess::Abort;
    in_data_.inter.progress = &BasicSuiteAccess::Progress;
    in_data_.inter.register_ui = &BasicSuiteAccess::RegisterUI;
    in_data_.utils = &utils_;
    in_data_.effect_ref = static_cast<PF_ProgPtr>(this);
    in_data_.quality = 1;
    in_data_.version = (13u << 16) | 28u;
    in_data_.appl_id = ApplicationId(app);
    in_data_.time_step = 1;
    in_data_.local_time_step = 1;
    in_data_.total_time = 1;
    in_data_.time_scale = 30;
    in_data_.downsample_x = PF_RationalScale{1, 1};
    in_data_.downsample_y = PF_RationalScale{1, 1};
    in_data_.pixel_aspect_ratio = PF_RationalScale{1, 1};
    in_data_.pica_basicP = &basic_suite_;

    // Index 0: the layer the effect is applied to.
    PF_ParamDef layer{};
    layer.param_type = PF_Param_LAYER;
    std::strncpy(layer.name, "Input layer", sizeof(layer.name) - 1);
    params_.push_back(layer);
    param_ids_.push_back(0);
    in_data_.num_params = 1;

    RegisterCoreSuites(*this);
    RegisterRenderSuites(*this);
}

Host::~Host() = default;

Host* Host::Current() { return t_current; }

int Host::IterateThreads() const {
    const int n = threads > 0 ? threads : static_cast<int>(std::thread::hardware_concurrency());
    return std::max(n, 1);
}

RenderPool& Host::Pool() {
    const int wanted = IterateThreads();
    if (!pool_ || pool_threads_ != wanted) {
        pool_.reset();
        pool_ = std::make_unique<RenderPool>(wanted - 1);
        pool_threads_ = wanted;
    }
    return *pool_;
}

void Host::RegisterSuite(const std::string& name, int version, const void* suite) {
    suites_[SuiteKey(name, version)] = Registered{suite};
}

const void* Host::FindSuite(const std::string& name, int version) const {
    const auto it = suites_.find(SuiteKey(name, version));
    return it == suites_.end() ? nullptr : it->second.suite;
}

PF_Err Host::Send(PF_Cmd cmd, PF_ParamDef** params, PF_LayerDef* output, void* extra) {
    return SendRaw(cmd, &in_data_, &out_data_, params, output, extra);
}

PF_Err Host::SendRaw(PF_Cmd cmd, PF_InData* in_data, PF_OutData* out_data, PF_ParamDef** params,
                     PF_LayerDef* output, void* extra) {
    // Restored after, so a host may drive another from inside a callback.
    ScopedCurrentHost scope(*this);
    const PF_Cmd previous_cmd = current_cmd_;
    PF_OutData* const previous_out = active_out_;
    current_cmd_ = cmd;
    active_out_ = out_data;
    progress_rows_ = 0;
    in_data_.pica_basicP = faults_.no_basic_suite ? nullptr : &basic_suite_;
    if (cmd == PF_Cmd_PARAMS_SETUP) {
        // The effect declares its parameters afresh.
        params_.resize(1);
        param_ids_.resize(1);
        ui_registered_ = false;
        ui_info_ = PF_CustomUIInfo{};
    } else if (cmd == PF_Cmd_GLOBAL_SETUP) {
        pixel_format_calls_.clear();
    }
    in_data_.num_params = static_cast<A_long>(params_.size());

    CommandRecord record;
    if (record_commands && in_data) {
        record.cmd = cmd;
        record.current_time = in_data->current_time;
        record.time_step = in_data->time_step;
        record.local_time_step = in_data->local_time_step;
        record.total_time = in_data->total_time;
        record.time_scale = in_data->time_scale;
    }

    PF_Err err = PF_Err_NONE;
    try {
        err = module_.Call(cmd, in_data, out_data, params, output, extra);
    } catch (...) {
        current_cmd_ = previous_cmd;
        active_out_ = previous_out;
        throw HostError("plug-in '" + module_.Path() + "' let a C++ exception escape from command " +
                        std::to_string(cmd));
    }
    current_cmd_ = previous_cmd;
    active_out_ = previous_out;
    if (record_commands && in_data) {
        record.result = err;
        commands_.push_back(record);
    }
    if (cmd == PF_Cmd_PARAMS_SETUP) {
        in_data_.num_params = static_cast<A_long>(params_.size());
    }
    return err;
}

PF_Err Host::About() { return Send(PF_Cmd_ABOUT, nullptr, nullptr, nullptr); }

PF_Err Host::GlobalSetup() { return Send(PF_Cmd_GLOBAL_SETUP, nullptr, nullptr, nullptr); }

PF_Err Host::ParamsSetup() { return Send(PF_Cmd_PARAMS_SETUP, nullptr, nullptr, nullptr); }

PF_ParamDef** Host::ParamArray() {
    param_ptrs_.clear();
    for (PF_ParamDef& param : params_) param_ptrs_.push_back(&param);
    return param_ptrs_.data();
}

std::string Host::LedgerReport() const {
    std::vector<std::string> problems = suite_ledger_.Problems();
    for (std::string& p : object_ledger_.Problems()) problems.push_back(std::move(p));
    std::string report;
    for (const std::string& p : problems) report += (report.empty() ? "" : "; ") + p;
    return report;
}

void Host::ResetParam(size_t index, int layer_width, int layer_height) {
    if (index == 0 || index >= params_.size()) return;
    PF_ParamDef& p = params_[index];
    switch (p.param_type) {
        case PF_Param_POPUP:
            p.u.pd.value = p.u.pd.dephault;
            break;
        case PF_Param_CHECKBOX:
            p.u.bd.value = p.u.bd.dephault;
            break;
        case PF_Param_FLOAT_SLIDER:
            p.u.fs_d.value = p.u.fs_d.dephault;
            break;
        case PF_Param_FIX_SLIDER:
            p.u.fd.value = p.u.fd.dephault;
            break;
        case PF_Param_ANGLE:
            p.u.ad.value = p.u.ad.dephault;
            break;
        case PF_Param_POINT: {
            // x_dephault is 16.16 percent; 16.16 percent of a pixel count is 16.16 pixels.
            const auto at = [](PF_Fixed percent, int size) {
                return vfixed::SaturateWhole(std::round(percent / 100.0 * size));
            };
            p.u.td.x_value = at(p.u.td.x_dephault, layer_width);
            p.u.td.y_value = at(p.u.td.y_dephault, layer_height);
            break;
        }
        default:
            break;
    }
}

void Host::ResetParams(int layer_width, int layer_height) {
    for (size_t i = 1; i < params_.size(); ++i) ResetParam(i, layer_width, layer_height);
}

void Host::RecordPixelFormatCall(PrPixelFormat format) { pixel_format_calls_.push_back(format); }

size_t Host::KnownBufferSize(const char* dst) const {
    if (dst && (dst == out_data_.return_msg || (active_out_ && dst == active_out_->return_msg))) {
        return sizeof(out_data_.return_msg);
    }
    return 0;
}

std::vector<PrPixelFormat> Host::SupportedPixelFormats() const {
    std::vector<PrPixelFormat> formats;
    for (PrPixelFormat call : pixel_format_calls_) {
        if (call == 0) {
            formats.clear();
        } else if (std::find(formats.begin(), formats.end(), call) == formats.end()) {
            formats.push_back(call);
        }
    }
    return formats;
}

void Host::SetWorldPixelFormat(const PF_EffectWorld* world, PrPixelFormat format) { world_formats_[world] = format; }

PrPixelFormat Host::WorldPixelFormat(const PF_EffectWorld* world) const {
    const auto it = world_formats_.find(world);
    return it == world_formats_.end() ? PrPixelFormat_BGRA_4444_8u : it->second;
}

PF_Err Host::ReportProgress(A_long current, A_long total) {
    long seen = progress_rows_.load();
    while (current > seen && !progress_rows_.compare_exchange_weak(seen, current)) {
    }
    if (on_progress) {
        std::lock_guard<std::mutex> lock(progress_mutex_);
        on_progress(current, total);
    }
    return PF_Err_NONE;
}

PF_Err Host::CheckAbort() {
    const long after = faults_.abort_after_rows;
    if (after >= 0 && progress_rows_.load() >= after) return PF_Interrupt_CANCEL;
    if (abort_requested) {
        std::lock_guard<std::mutex> lock(progress_mutex_);
        if (abort_requested()) return PF_Interrupt_CANCEL;
    }
    return PF_Err_NONE;
}

}  // namespace vhost
