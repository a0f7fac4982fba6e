// Owns one loaded plug-in module for its whole lifetime: opens it, finds its
// entry point, and closes it again on destruction. An effect linked into the
// host's own binary is wrapped the same way, so it is driven through the same door.
#pragma once

#include <string>

#include "api/AE_Effect.h"

namespace vhost {

typedef PF_Err (*EntryPointFuncPtr)(PF_Cmd cmd, PF_InData* in_data, PF_OutData* out_data, PF_ParamDef* params[],
                                    PF_LayerDef* output, void* extra);

class PluginModule {
public:
    // Throws HostError naming the file when it cannot be opened or lacks EntryPointFunc.
    explicit PluginModule(const std::string& path);
    // An entry point linked into this binary; `name` stands for the file in messages.
    PluginModule(EntryPointFuncPtr entry, const std::string& name);
    ~PluginModule();
    PluginModule(const PluginModule&) = delete;
    PluginModule& operator=(const PluginModule&) = delete;

    PF_Err Call(PF_Cmd cmd, PF_InData* in_data, PF_OutData* out_data, PF_ParamDef* params[], PF_LayerDef* output,
                void* extra) const;
    // Any exported symbol, or null.
    void* Symbol(const char* name) const;
    const std::string& Path() const { return path_; }

private:
    std::string path_;
    void* handle_ = nullptr;
    EntryPointFuncPtr entry_ = nullptr;
};

// The module the tools use when none is named: $VELLORA_MODULE, else Vellora.so
// beside the running executable, else the installed one in kInstalledModuleDir
// (relative to the executable's folder). With neither there, the path beside.
std::string DefaultModulePath();
extern const char* const kInstalledModuleDir;

}  // namespace vhost
