// Fault injection: what the host should withhold or refuse, so every failure
// path of a plug-in can be driven through its real entry point.
#pragma once

#include <atomic>
#include <map>
#include <mutex>
#include <set>
#include <string>

#include "api/AE_Effect.h"

namespace vhost {

class FaultPlan {
public:
    // AcquireSuite answers "not found" for these suite names.
    std::set<std::string> withheld_suites;
    // AcquireSuite reports success but delivers a null pointer.
    std::set<std::string> null_suites;
    // AcquireSuite reports an error yet still delivers the suite (the ledger counts it as held).
    std::set<std::string> erroring_suites;
    // ReleaseSuite reports an error (the release is still counted).
    std::set<std::string> failing_releases;
    // PF_InData carries no basic suite at all.
    bool no_basic_suite = false;
    // PF_GetDrawingReference hands back a null reference.
    bool null_drawing_reference = false;
    // The host's abort check reports a user interruption from this progress row on (-1: never).
    long abort_after_rows = -1;
    // Error code a failing host call returns.
    PF_Err injected_error = PF_Err_INTERNAL_STRUCT_DAMAGED;

    // The k-th call (1-based) of the named host call fails, and, when `onward`,
    // every later one too. Names are the host API's: "add_param", "register_ui",
    // "NewPen", "NewPath", "MoveTo", "LineTo", "AddArc", "Close", "StrokePath",
    // "PF_StrokePath", "GetSupplier", "GetSurface", "RetainObject", "ReleaseObject",
    // "layer_to_comp", "comp_to_layer", "source_to_frame", "frame_to_source",
    // "iterate", "GetPixelFormat", ...
    void FailCall(const std::string& call, int k, bool onward = false);
    // Counts one call of `call`; true when that call is to fail.
    bool ShouldFail(const std::string& call);
    // How often `call` has been made since the plan was last cleared.
    int Calls(const std::string& call) const;
    void Clear();

private:
    struct Rule {
        int k;
        bool onward;
    };
    mutable std::mutex mutex_;
    std::map<std::string, Rule> rules_;
    std::map<std::string, int> calls_;
};

}  // namespace vhost
