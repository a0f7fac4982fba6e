// The plug-in as the commands that render or show it load it: a module in a
// host that has run the set-up sequence and checked the host's parameter
// table against what the plug-in declared.
#pragma once

#include <memory>
#include <string>

#include "host/Host.h"
#include "host/PluginModule.h"
#include "params/ParamTable.h"

namespace vclip {

struct ResolvedEffect;

// What the plug-in at `module_path` declares under `app`, checked against the
// table; throws HostError (the module is unloaded again on return).
vparams::Declaration DeclarationOf(const std::string& module_path, vhost::HostApp app);

// The plug-in loaded into a host that has run global and parameter set-up,
// with the resolved values applied for a layer of the given full-resolution
// size (unset values are the plug-in's defaults; the origin's is the centre).
class EffectSession {
public:
    EffectSession(const ResolvedEffect& effect, int layer_width, int layer_height);
    vhost::Host& Host() { return *host_; }
    const vhost::PluginModule& Module() const { return *module_; }
    const vparams::Declaration& Declared() const { return declared_; }

private:
    std::unique_ptr<vhost::PluginModule> module_;
    std::unique_ptr<vhost::Host> host_;
    vparams::Declaration declared_;
};

}  // namespace vclip
