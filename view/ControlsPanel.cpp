#include "view/ControlsPanel.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include <imgui.h>
#include <imgui_stdlib.h>

#include "api/FixedPoint.h"
#include "params/EffectParams.h"
#include "params/ParamTable.h"
#include "support/Text.h"

namespace vview {

namespace {

// printf format for a value shown with `precision` decimals and the declared display flags.
std::string Format(int precision, int display_flags, const char* unit = "") {
    char text[32];
    std::snprintf(text, sizeof text, "%%.%df", std::clamp(precision, 0, 6));
    std::string format = text;
    if (display_flags & PF_ValueDisplayFlag_PERCENT) {
        format += "%%";
    } else if (display_flags & PF_ValueDisplayFlag_PIXEL) {
        format += " px";
    }
    return format + unit;
}


// Typed values stay in the range the effect declared valid, as a host keeps them.
double Hold(double v, double lo, double hi) { return lo < hi ? std::clamp(v, lo, hi) : v; }

bool TakesTypedValues(PF_ParamType type) {
    return type == PF_Param_FLOAT_SLIDER || type == PF_Param_FIX_SLIDER || type == PF_Param_ANGLE ||
           type == PF_Param_POINT;
}

bool Slider(double* value, double slider_min, double slider_max, double valid_min, double valid_max,
            const std::string& format) {
    if (slider_min < slider_max) {
        return ImGui::SliderScalar("##value", ImGuiDataType_Double, value, &slider_min, &slider_max, format.c_str());
    }
    // No slider declared: a drag field over the valid range (or unbounded).
    const double speed = valid_min < valid_max ? (valid_max - valid_min) / 1000.0 : 1.0;
    return ImGui::DragScalar("##value", ImGuiDataType_Double, value, static_cast<float>(speed),
                             valid_min < valid_max ? &valid_min : nullptr,
                             valid_min < valid_max ? &valid_max : nullptr, format.c_str());
}

// One control; true when the user changed the value.
// `type` is the table's, which start-up checked against the declaration.
bool DrawValue(PF_ParamDef& p, PF_ParamType type) {
    ImGui::SetNextItemWidth(-1);
    switch (type) {
        case PF_Param_POPUP: {
            const std::vector<std::string> choices = vparams::SplitChoices(p.u.pd.u.namesptr, p.u.pd.num_choices);
            const int current = p.u.pd.value - 1;
            const std::string preview = current >= 0 && current < static_cast<int>(choices.size())
                                            ? choices[static_cast<size_t>(current)]
                                            : "(choice " + std::to_string(p.u.pd.value) + ")";
            bool changed = false;
            if (ImGui::BeginCombo("##value", preview.c_str())) {
                for (size_t k = 0; k < choices.size(); ++k) {
                    if (ImGui::Selectable(choices[k].c_str(), static_cast<int>(k) == current)) {
                        p.u.pd.value = static_cast<PF_ParamValue>(k + 1);
                        changed = true;
                    }
                }
                ImGui::EndCombo();
            }
            return changed;
        }
        case PF_Param_CHECKBOX: {
            bool on = p.u.bd.value != 0;
            const std::string label = std::string(p.u.bd.u.nameptr ? p.u.bd.u.nameptr : "") + "##value";
            if (!ImGui::Checkbox(label.c_str(), &on)) return false;
            p.u.bd.value = on ? 1 : 0;
            return true;
        }
        case PF_Param_FLOAT_SLIDER: {
            PF_FloatSliderDef& d = p.u.fs_d;
            double v = d.value;
            if (!Slider(&v, d.slider_min, d.slider_max, d.valid_min, d.valid_max,
                        Format(d.precision, d.display_flags))) {
                return false;
            }
            d.value = Hold(v, d.valid_min, d.valid_max);
            return true;
        }
        case PF_Param_FIX_SLIDER: {
            PF_FixedSliderDef& d = p.u.fd;
            const double k = vfixed::kToDouble;
            double v = d.value * k;
            if (!Slider(&v, d.slider_min * k, d.slider_max * k, d.valid_min * k, d.valid_max * k,
                        Format(d.precision, d.display_flags))) {
                return false;
            }
            d.value = vfixed::FromDouble(Hold(v, d.valid_min * k, d.valid_max * k));
            return true;
        }
        case PF_Param_ANGLE: {
            PF_AngleDef& d = p.u.ad;
            const double k = vfixed::kToDouble;
            double v = d.value * k;
            if (!ImGui::DragScalar("##value", ImGuiDataType_Double, &v, 0.25f, nullptr, nullptr, "%.1f\xc2\xb0")) {
                return false;
            }
            d.value = vfixed::FromDouble(Hold(v, d.valid_min * k, d.valid_max * k));
            return true;
        }
        case PF_Param_POINT: {
            // Layer pixels at full resolution, as the host holds them.
            const double k = vfixed::kToDouble;
            double x = p.u.td.x_value * k, y = p.u.td.y_value * k;
            const float half = (ImGui::GetContentRegionAvail().x - ImGui::GetStyle().ItemSpacing.x) / 2;
            ImGui::SetNextItemWidth(half);
            bool changed = ImGui::DragScalar("##x", ImGuiDataType_Double, &x, 1.0f, nullptr, nullptr, "x %.1f");
            ImGui::SameLine();
            ImGui::SetNextItemWidth(half);
            changed |= ImGui::DragScalar("##y", ImGuiDataType_Double, &y, 1.0f, nullptr, nullptr, "y %.1f");
            if (changed) {
                p.u.td.x_value = vfixed::FromDouble(x);
                p.u.td.y_value = vfixed::FromDouble(y);
            }
            return changed;
        }
        default:
            ImGui::TextDisabled("(this kind of control is not shown)");
            return false;
    }
}

}  // namespace

std::string ChangeLabel(vhost::Host& host, const ParamSnapshot& before, const ParamSnapshot& after) {
    const std::vector<PF_ParamDef>& params = host.Params();
    int count = 0;
    std::string name;
    for (size_t i = 1; i < before.size() && i < after.size() && i < params.size(); ++i) {
        if (!(before[i] == after[i])) {
            ++count;
            name = params[i].name;
        }
    }
    return count == 1 ? name : std::to_string(count) + " controls";
}

ControlsPanel::Outcome ControlsPanel::Draw(vhost::Host& host, int layer_width, int layer_height,
                                           ParamHistory& history) {
    const ParamSnapshot before = CaptureParams(host);
    // Values changed elsewhere (a gesture, undo) are not this panel's to record.
    if (holding_ && !(before == last_after_)) held_before_ = before;
    std::string reset_label;

    if (focus_filter_) {
        ImGui::SetKeyboardFocusHere();
        focus_filter_ = false;
    }
    ImGui::SetNextItemWidth(-1);
    if (ImGui::InputTextWithHint("##filter", "Filter controls (Ctrl+F)", &filter_,
                                 ImGuiInputTextFlags_EnterReturnsTrue)) {
        focus_first_match_ = true;
    }
    if (ImGui::Button("Reset all")) {
        host.ResetParams(layer_width, layer_height);
        reset_label = "Reset all";
    }
    ImGui::Separator();

    const std::string wanted = vtext::Lower(filter_);
    bool focus_here = focus_first_match_;
    focus_first_match_ = false;
    std::vector<PF_ParamDef>& params = vparams::SetUpParams(host, "show");
    for (const vparams::ParamEntry& entry : vparams::ParamTable()) {
        const size_t i = static_cast<size_t>(entry.index);
        PF_ParamDef& p = params[i];
        if (!wanted.empty() && vtext::Lower(entry.name).find(wanted) == std::string::npos) continue;
        ImGui::PushID(static_cast<int>(i));
        ImGui::AlignTextToFramePadding();
        ImGui::TextUnformatted(entry.name);
        const char* reset = "Reset";
        ImGui::SameLine(ImGui::GetContentRegionMax().x - ImGui::CalcTextSize(reset).x -
                        ImGui::GetStyle().FramePadding.x * 2);
        if (ImGui::SmallButton(reset)) {
            host.ResetParam(i, layer_width, layer_height);
            reset_label = std::string("Reset ") + entry.name;
        }
        if (focus_here && TakesTypedValues(entry.type)) {
            ImGui::SetKeyboardFocusHere();
            focus_here = false;
        }
        DrawValue(p, entry.type);
        ImGui::PopID();
        ImGui::Spacing();
    }

    // A change is recorded once the control that made it lets go, so a slider
    // dragged across many values is one step of the history.
    Outcome outcome;
    const ParamSnapshot after = CaptureParams(host);
    outcome.changed = !(after == before);
    const bool holding = ImGui::IsAnyItemActive();
    if (holding && !holding_) held_before_ = before;
    if (!holding) {
        const ParamSnapshot& from = holding_ ? held_before_ : before;
        if (!(from == after)) {
            history.Record(reset_label.empty() ? ChangeLabel(host, from, after) : reset_label, from, after);
        }
    }
    holding_ = holding;
    last_after_ = after;
    // Typed values arrive whole: only a control held under the mouse is still moving.
    outcome.editing = holding && !ImGui::GetIO().WantTextInput && !(held_before_ == after);
    return outcome;
}

}  // namespace vview
