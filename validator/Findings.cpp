#include "validator/Findings.h"

#include <algorithm>
#include <cstdio>

#include "api/FixedPoint.h"

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

std::string DescribeParam(const PF_ParamDef& p) {
    switch (p.param_type) {
        case PF_Param_POPUP:
            return std::to_string(p.u.pd.value);
        case PF_Param_CHECKBOX:
            return std::to_string(p.u.bd.value);
        case PF_Param_FLOAT_SLIDER:
            return Num(p.u.fs_d.value);
        case PF_Param_FIX_SLIDER:
            return Num(vfixed::ToDouble(p.u.fd.value));
        case PF_Param_ANGLE:
            return Num(vfixed::ToDouble(p.u.ad.value));
        case PF_Param_POINT:
            return "(" + Num(vfixed::ToDouble(p.u.td.x_value)) + "," + Num(vfixed::ToDouble(p.u.td.y_value)) + ")";
        default:
            return "-";
    }
}

}  // namespace vvalidator
