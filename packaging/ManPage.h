// The vellora(1) man page, in roff, from the command line's own definitions.
#pragma once

#include <string>

#include "packaging/CliModel.h"

namespace vpackaging {

// Where each installed part is: the plug-in module the command loads, the
// frei0r and MLT filters, MLT's metadata, Kdenlive's descriptors and
// Shotcut's filter folders (each the filter's and its mask variant's), the
// bash completion and the documentation folder.
struct InstalledPaths {
    std::string module, frei0r, mlt, mlt_yaml, kdenlive, kdenlive_mask, shotcut, shotcut_mask, completion, docs;
};

std::string ManPage(const CliModel& cli, const std::string& version, const InstalledPaths& paths);

}  // namespace vpackaging
