// Work run in a child process of its own, so that a crash, a hang or a module
// that ends the process fails that work only, at once and named as such.
#pragma once

#include <functional>
#include <string>

namespace vvalidator {

struct ChildOutcome {
    // What the work returned, when it returned at all.
    bool reported = false;
    std::string text;
    // Why there is no result, in words ("crashed: signal 11 (Segmentation fault)",
    // "the module ended the process with exit(0)", ...); empty when reported.
    std::string problem;
    bool timed_out = false;  // killed after the timeout: the module hangs
    double seconds = 0;
};

// Runs `work` in a forked child and hands back its text. The work counts as
// done only when it returned: a child that calls exit(), is killed by a signal,
// or ends any other way without a result is a problem, reported as soon as the
// child is gone; one still running after `timeout_seconds` is killed.
ChildOutcome RunInChild(const std::function<std::string()>& work, int timeout_seconds);


}  // namespace vvalidator
