#include "view/ParamHistory.h"

namespace vview {

ParamSnapshot CaptureParams(vhost::Host& host) {
    const std::vector<PF_ParamDef>& params = host.Params();
    ParamSnapshot snapshot(params.size());
    for (size_t i = 1; i < params.size(); ++i) {
        const PF_ParamDef& p = params[i];
        ParamValue& v = snapshot[i];
        v.type = p.param_type;
        switch (p.param_type) {
            case PF_Param_POPUP: v.a = p.u.pd.value; break;
            case PF_Param_CHECKBOX: v.a = p.u.bd.value; break;
            case PF_Param_FLOAT_SLIDER: v.a = p.u.fs_d.value; break;
            case PF_Param_FIX_SLIDER: v.a = p.u.fd.value; break;
            case PF_Param_ANGLE: v.a = p.u.ad.value; break;
            case PF_Param_POINT:
                v.a = p.u.td.x_value;
                v.b = p.u.td.y_value;
                break;
            default: break;
        }
    }
    return snapshot;
}

void RestoreParams(vhost::Host& host, const ParamSnapshot& snapshot) {
    std::vector<PF_ParamDef>& params = host.Params();
    for (size_t i = 1; i < params.size() && i < snapshot.size(); ++i) {
        PF_ParamDef& p = params[i];
        const ParamValue& v = snapshot[i];
        if (v.type != p.param_type) continue;
        // Integer kinds were captured from integers, so the casts are exact.
        switch (p.param_type) {
            case PF_Param_POPUP: p.u.pd.value = static_cast<PF_ParamValue>(v.a); break;
            case PF_Param_CHECKBOX: p.u.bd.value = static_cast<PF_ParamValue>(v.a); break;
            case PF_Param_FLOAT_SLIDER: p.u.fs_d.value = v.a; break;
            case PF_Param_FIX_SLIDER: p.u.fd.value = static_cast<PF_Fixed>(v.a); break;
            case PF_Param_ANGLE: p.u.ad.value = static_cast<PF_Fixed>(v.a); break;
            case PF_Param_POINT:
                p.u.td.x_value = static_cast<PF_Fixed>(v.a);
                p.u.td.y_value = static_cast<PF_Fixed>(v.b);
                break;
            default: break;
        }
    }
}

void ParamHistory::Record(std::string label, ParamSnapshot before, ParamSnapshot after) {
    if (before == after) return;
    changes_.resize(done_);
    changes_.push_back(Change{std::move(label), std::move(before), std::move(after)});
    done_ = changes_.size();
}

const ParamHistory::Change* ParamHistory::Undo() {
    if (!CanUndo()) return nullptr;
    return &changes_[--done_];
}

const ParamHistory::Change* ParamHistory::Redo() {
    if (!CanRedo()) return nullptr;
    return &changes_[done_++];
}

}  // namespace vview
