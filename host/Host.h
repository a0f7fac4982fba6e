// The reference host: one effect instance of one loaded plug-in module, with
// the records, suites and callbacks a host of the effect API supplies.
//
// Suite functions of the API carry no context pointer, so the host that is
// currently dispatching a command on this thread is reachable through
// Host::Current(). Every command goes through Host::Send, which sets it.
#pragma once

#include <atomic>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "api/AE_Effect.h"
#include "api/AE_EffectSuites.h"
#include "host/Faults.h"
#include "host/Ledger.h"
#include "host/PluginModule.h"

namespace vhost {

enum class HostApp { AfterEffects, Premiere };

// "ae" / "premiere", as a user typed it for `option` ("--host", "host");
// throws InputError naming the option and the value otherwise.
HostApp ParseHostApp(const std::string& name, const std::string& option);
const char* HostAppName(HostApp app);

// 'FXTC' for After Effects-like hosts, 'PrMr' for Premiere.
A_long ApplicationId(HostApp app);

class RenderPool;

// One command as the host sent it: the time fields of its PF_InData, and the
// plug-in's answer.
struct CommandRecord {
    PF_Cmd cmd = -1;
    A_long current_time = 0;
    A_long time_step = 0;
    A_long local_time_step = 0;
    A_long total_time = 0;
    A_u_long time_scale = 0;
    PF_Err result = PF_Err_NONE;
};

class Host {
public:
    Host(const PluginModule& module, HostApp app);
    ~Host();
    Host(const Host&) = delete;
    Host& operator=(const Host&) = delete;

    // The host dispatching a command on this thread, or null.
    static Host* Current();

    HostApp App() const { return app_; }
    bool IsPremiere() const { return app_ == HostApp::Premiere; }
    const PluginModule& Module() const { return module_; }

    PF_InData& InData() { return in_data_; }
    PF_OutData& OutData() { return out_data_; }
    FaultPlan& Faults() { return faults_; }
    SuiteLedger& Suites() { return suite_ledger_; }
    ObjectLedger& Objects() { return object_ledger_; }
    // What the ledgers hold unbalanced, joined by "; "; empty when every suite,
    // pen and path taken was given back exactly once.
    std::string LedgerReport() const;

    // Makes a suite available through the basic suite. `suite` must outlive the host.
    void RegisterSuite(const std::string& name, int version, const void* suite);

    // Sends one command through the module's entry point with this host's
    // records (a null record pointer can be forced for robustness tests).
    PF_Err Send(PF_Cmd cmd, PF_ParamDef** params, PF_LayerDef* output, void* extra);
    PF_Err SendRaw(PF_Cmd cmd, PF_InData* in_data, PF_OutData* out_data, PF_ParamDef** params, PF_LayerDef* output,
                   void* extra);

    // The set-up sequence of a host: About, global set-up, parameter set-up.
    PF_Err About();
    PF_Err GlobalSetup();
    PF_Err ParamsSetup();

    // Parameters as the host holds them after set-up: index 0 is the input
    // layer, then every parameter the effect declared, in order.
    std::vector<PF_ParamDef>& Params() { return params_; }
    // Ids given at declaration (uu.id of each declared parameter; the layer's is 0).
    const std::vector<A_long>& ParamIds() const { return param_ids_; }
    // The array handed to the entry point; rebuilt on every call so it always
    // points at Params().
    PF_ParamDef** ParamArray();
    // Declared parameters back to their defaults, as a host sets them when the
    // effect is applied to a layer of this size: a point's default is a
    // percentage of the layer, held in layer pixels.
    void ResetParams(int layer_width, int layer_height);
    void ResetParam(size_t index, int layer_width, int layer_height);
    bool UIRegistered() const { return ui_registered_; }
    const PF_CustomUIInfo& RegisteredUI() const { return ui_info_; }

    // Premiere's pixel-format suite: what the effect registered, in call order
    // ("clear" entries are recorded as 0).
    const std::vector<PrPixelFormat>& PixelFormatCalls() const { return pixel_format_calls_; }
    // The formats supported after those calls.
    std::vector<PrPixelFormat> SupportedPixelFormats() const;
    // The format GetPixelFormat reports for a world (default 'bgra').
    void SetWorldPixelFormat(const PF_EffectWorld* world, PrPixelFormat format);
    PrPixelFormat WorldPixelFormat(const PF_EffectWorld* world) const;

    // Progress of the current command as the plug-in or the iterate suites report it.
    std::function<void(A_long current, A_long total)> on_progress;
    // Polled by the abort callback; true asks the plug-in to stop.
    std::function<bool()> abort_requested;

    // When true, every command sent is kept in Commands(); off by default, so a
    // filter that renders for hours keeps nothing.
    bool record_commands = false;
    const std::vector<CommandRecord>& Commands() const { return commands_; }

    // Thread count of the iterate suites (0 = all cores).
    int threads = 0;
    // `threads` resolved: at least 1.
    int IterateThreads() const;
    // The iterate suites' threads, started on the first pass that needs them
    // and again only when `threads` changes.
    RenderPool& Pool();

    // Callbacks of PF_InData.inter, exposed so suites can share them.
    // Both are safe to call from several threads at once.
    PF_Err ReportProgress(A_long current, A_long total);
    PF_Err CheckAbort();

    // Used by the pixel-format suite: records one call (0 = clear).
    void RecordPixelFormatCall(PrPixelFormat format);
    // Size of `dst` when the host knows it (the return_msg of the command in
    // flight), else 0; lets the host's sprintf stay inside that buffer.
    size_t KnownBufferSize(const char* dst) const;

private:
    friend struct BasicSuiteAccess;
    struct Registered {
        const void* suite;
    };

    const PluginModule& module_;
    HostApp app_;
    PF_InData in_data_{};
    PF_OutData out_data_{};
    SPBasicSuite basic_suite_{};
    PF_UtilCallbacks utils_{};
    FaultPlan faults_;
    SuiteLedger suite_ledger_;
    ObjectLedger object_ledger_;
    std::map<std::string, Registered> suites_;  // keyed "name v<version>"
    std::vector<PF_ParamDef> params_;
    std::vector<A_long> param_ids_;
    std::vector<PF_ParamDef*> param_ptrs_;
    bool ui_registered_ = false;
    PF_CustomUIInfo ui_info_{};
    std::vector<PrPixelFormat> pixel_format_calls_;
    std::map<const PF_EffectWorld*, PrPixelFormat> world_formats_;
    std::atomic<long> progress_rows_{0};
    std::mutex progress_mutex_;
    PF_Cmd current_cmd_ = -1;
    PF_OutData* active_out_ = nullptr;
    std::unique_ptr<RenderPool> pool_;
    int pool_threads_ = 0;
    std::vector<CommandRecord> commands_;

public:
    // Used by the basic suite's C callbacks.
    const void* FindSuite(const std::string& name, int version) const;
};

// Makes `host` the current host of this thread for the scope's lifetime (restoring
// the previous one after). Send sets it for each command; tests set it to call
// suite functions outside one.
class ScopedCurrentHost {
public:
    explicit ScopedCurrentHost(Host& host);
    ~ScopedCurrentHost();
    ScopedCurrentHost(const ScopedCurrentHost&) = delete;
    ScopedCurrentHost& operator=(const ScopedCurrentHost&) = delete;

private:
    Host* previous_;
};

// Suites supplied by the other parts of the host core; Host's constructor calls
// each. The drawing suites come with the host's windows (Overlay.h): a host
// that opens none, such as a video filter, serves none.
void RegisterCoreSuites(Host& host);    // ANSI, pixel format
void RegisterRenderSuites(Host& host);  // Iterate8, iterate16

}  // namespace vhost
