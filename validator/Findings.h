// What a strict host found wrong, counted and kept for the report, and how
// numbers and result codes are written into the messages.
#pragma once

#include <string>
#include <vector>

#include "api/AE_Effect.h"

namespace vvalidator {

// What went wrong during one check (or one fuzz input). Keeps the first few
// messages in order and counts the rest.
class Findings {
public:
    void Add(const std::string& what);
    bool Empty() const { return count_ == 0; }
    int Count() const { return count_; }
    const std::vector<std::string>& Items() const { return items_; }
    std::string First() const { return items_.empty() ? std::string() : items_.front(); }
    // Takes over another's findings, each message prefixed.
    void Merge(const Findings& other, const std::string& prefix);

private:
    static constexpr size_t kKept = 8;
    int count_ = 0;
    std::vector<std::string> items_;
};

struct ValidationCounters {
    long commands = 0;        // commands sent through the entry point
    long parameter_sets = 0;  // random parameter sets tried
    long faults = 0;          // fault scenarios injected
    long renders = 0;         // frames rendered and checked
    long events = 0;          // overlay events sent and checked
    long reloads = 0;         // times the module was opened and closed
    int threads = 0;          // most renders running at once
    void Add(const ValidationCounters& other);
};

// A number as findings write it: up to nine significant digits.
std::string Num(double v);
// "0, 516".
std::string CodeList(const std::vector<PF_Err>& codes);
bool Contains(const std::vector<PF_Err>& codes, PF_Err err);
// A parameter's value as findings write it: "3", "12.5", "(10,20)".
std::string DescribeParam(const PF_ParamDef& p);

}  // namespace vvalidator
