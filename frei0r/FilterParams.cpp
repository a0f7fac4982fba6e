#include "frei0r/FilterParams.h"

// frei0r.h declares C functions without saying so.
extern "C" {
#include <frei0r.h>
}

#include <algorithm>
#include <cmath>
#include <memory>

#include "embed/EmbeddedEffect.h"
#include "host/Host.h"

namespace vfrei0r {

namespace {

using vparams::Frei0rMap;

// Choice k (0-based) of n for floor(v * n), held to the list.
int Choice(double v, int n) { return static_cast<int>(std::clamp(std::floor(v * n), 0.0, n - 1.0)); }

// The frei0r value that maps back to choice k of n: k / n, or just above it
// where k / n * n rounds below k.
double ChoiceValue(int k, int n) {
    double v = static_cast<double>(k) / n;
    while (std::floor(v * n) < k) v = std::nextafter(v, 1.0);
    return v;
}

struct List {
    vparams::Declaration declared;
    std::vector<ParamInfo> params;
};

List MakeList() {
    vhost::Host host(vembed::LinkedEffect(), vhost::HostApp::Premiere);
    List list;
    list.declared = vparams::SetUpChecked(host);
    for (const vparams::ParamEntry& entry : vparams::ParamTable()) {
        for (int axis = 0; axis < 2; ++axis) {
            const vparams::Frei0rParam& f = entry.frei0r[axis];
            if (!f.name) continue;
            const int type = entry.type == PF_Param_CHECKBOX ? F0R_PARAM_BOOL : F0R_PARAM_DOUBLE;
            list.params.push_back({f.name, type, vparams::Frei0rHelp(entry, f, list.declared), &entry, &f, axis});
        }
    }
    return list;
}

const List& TheList() {
    static const List list = MakeList();
    return list;
}

// The effect's units for one frei0r unit.
double Factor(const ParamInfo& p, int width, int height) {
    switch (p.mapping->map) {
        case Frei0rMap::FrameWidth:
            return width;
        case Frei0rMap::FrameHeight:
            return height;
        default:
            return p.mapping->factor;
    }
}

}  // namespace

int ParamCount() {
    int count = 0;
    for (const vparams::ParamEntry& entry : vparams::ParamTable()) {
        for (const vparams::Frei0rParam& f : entry.frei0r) count += f.name ? 1 : 0;
    }
    return count;
}

const std::vector<ParamInfo>& Params() { return TheList().params; }
const vparams::Declaration& Declared() { return TheList().declared; }

const ParamInfo* FindParam(int index) {
    try {
        const std::vector<ParamInfo>& params = Params();
        return index >= 0 && index < static_cast<int>(params.size()) ? &params[static_cast<size_t>(index)] : nullptr;
    } catch (...) {
        return nullptr;
    }
}

void SetParam(vparams::EffectValues& values, int index, double v, const vparams::Declaration& declared, int width,
              int height) {
    const ParamInfo* p = FindParam(index);
    if (std::isnan(v) || !p) return;
    const vparams::ParamEntry& e = *p->entry;
    switch (p->mapping->map) {
        case Frei0rMap::Switch:
            if (e.flag) values.*e.flag = v >= 0.5;
            if (e.choice) values.*e.choice = v < 0.5 ? 1 : 2;
            break;
        case Frei0rMap::Choice:
            values.*e.choice = Choice(v, static_cast<int>(declared.Max(e.index))) + 1;
            break;
        case Frei0rMap::None:
            break;
        default: {
            std::optional<double> vparams::EffectValues::*number = p->axis ? e.number_y : e.number;
            values.*number = std::clamp(v * Factor(*p, width, height), declared.Min(e.index), declared.Max(e.index));
            break;
        }
    }
}

double GetParam(const vparams::EffectValues& values, int index, const vparams::Declaration& declared, int width,
                int height) {
    const ParamInfo* p = FindParam(index);
    if (!p) return 0.0;
    const vparams::ParamEntry& e = *p->entry;
    switch (p->mapping->map) {
        case Frei0rMap::Switch:
            if (e.flag) return (values.*e.flag).value_or(false) ? 1.0 : 0.0;
            return (values.*e.choice).value_or(1) == 2 ? 1.0 : 0.0;
        case Frei0rMap::Choice:
            return ChoiceValue((values.*e.choice).value_or(1) - 1, static_cast<int>(declared.Max(e.index)));
        case Frei0rMap::None:
            return 0.0;
        default: {
            std::optional<double> vparams::EffectValues::*number = p->axis ? e.number_y : e.number;
            return (values.*number).value_or(0.0) / Factor(*p, width, height);
        }
    }
}

}  // namespace vfrei0r
