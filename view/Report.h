// The `--report` lines: one JSON object a line on standard output, for
// scripts and tests that drive the window ("ready" when the view settles or
// moves, "gesture", "saved", "save_failed", "exit").
#pragma once

#include <nlohmann/json.hpp>

#include "view/ViewState.h"

namespace vview {

class Reporter {
public:
    explicit Reporter(bool enabled) : enabled_(enabled) {}

    // Writes the line and flushes it; nothing without --report.
    void Line(const nlohmann::ordered_json& line) const;
    // A "ready" line when the view's origin, zoom or window differ from the last one reported.
    void View(ViewState& state);

private:
    bool enabled_;
    bool reported_ = false;
    int x_ = 0, y_ = 0;
    double zoom_ = 0;
    PF_WindowType type_ = PF_Window_LAYER;
};

}  // namespace vview
