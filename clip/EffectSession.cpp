#include "clip/EffectSession.h"

#include "clip/EffectSetup.h"
#include "params/EffectParams.h"

namespace vclip {

vparams::Declaration DeclarationOf(const std::string& module_path, vhost::HostApp app) {
    const vhost::PluginModule module(module_path);
    vhost::Host host(module, app);
    return vparams::SetUpChecked(host);
}

EffectSession::EffectSession(const ResolvedEffect& effect, int layer_width, int layer_height) {
    module_ = std::make_unique<vhost::PluginModule>(effect.module_path);
    host_ = std::make_unique<vhost::Host>(*module_, effect.host_app);
    host_->threads = effect.threads;
    declared_ = vparams::SetUpChecked(*host_);
    vparams::ApplyEffectValues(*host_, effect.values, layer_width, layer_height);
}

}  // namespace vclip
