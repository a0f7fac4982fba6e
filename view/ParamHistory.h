// The values of a host's parameter list, whatever the effect declared, kept
// apart from the host so they survive a change of host, and the undo history
// of the changes a user makes to them.
#pragma once

#include <string>
#include <vector>

#include "host/Host.h"

namespace vview {

// Each declared parameter's value(s) as the host holds them (16.16 values as
// their integers), so a restore is exact.
struct ParamValue {
    PF_ParamType type = PF_Param_NO_DATA;
    double a = 0, b = 0;  // a point's x and y; every other kind uses `a`
    bool operator==(const ParamValue& o) const { return type == o.type && a == o.a && b == o.b; }
};
using ParamSnapshot = std::vector<ParamValue>;

ParamSnapshot CaptureParams(vhost::Host& host);
// Writes the values back into the host's list, where index and kind still match.
void RestoreParams(vhost::Host& host, const ParamSnapshot& snapshot);

class ParamHistory {
public:
    struct Change {
        std::string label;
        ParamSnapshot before, after;
    };

    // A change from `before` to `after`; a change that changed nothing is not kept.
    // Recording drops whatever could have been redone.
    void Record(std::string label, ParamSnapshot before, ParamSnapshot after);

    bool CanUndo() const { return done_ > 0; }
    bool CanRedo() const { return done_ < changes_.size(); }
    // The change undone or redone (apply its `before` or `after`), or null.
    const Change* Undo();
    const Change* Redo();
    // The label of the change Undo or Redo would act on ("" when none).
    std::string NextUndo() const { return CanUndo() ? changes_[done_ - 1].label : std::string(); }
    std::string NextRedo() const { return CanRedo() ? changes_[done_].label : std::string(); }

private:
    std::vector<Change> changes_;
    size_t done_ = 0;
};

}  // namespace vview
