// --command-log: every render command sent, one JSON line each.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "host/Host.h"

namespace vclip {

// One render command as --command-log writes it.
struct LoggedCommand {
    std::optional<long> frame;  // unset for a still
    vhost::CommandRecord record;
};
// Throws naming --command-log when the file cannot be written.
void CheckCommandLog(const std::string& path);
// One JSON line per command, written whole.
void WriteCommandLog(const std::string& path, const std::vector<LoggedCommand>& commands);

}  // namespace vclip
