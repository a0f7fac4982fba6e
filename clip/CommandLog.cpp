#include "clip/CommandLog.h"

#include <nlohmann/json.hpp>

#include "host/ApiNames.h"
#include "files/AtomicFile.h"

namespace vclip {

void CheckCommandLog(const std::string& path) {
    if (!path.empty()) vfiles::FindOutputTarget(path, true, "--command-log");
}

void WriteCommandLog(const std::string& path, const std::vector<LoggedCommand>& commands) {
    std::string text;
    for (const LoggedCommand& c : commands) {
        nlohmann::ordered_json j;
        const char* name = vhost::CommandName(c.record.cmd);
        j["command"] = name ? name : std::to_string(c.record.cmd);
        if (c.frame) j["frame"] = *c.frame;
        j["current_time"] = c.record.current_time;
        j["time_step"] = c.record.time_step;
        j["time_scale"] = c.record.time_scale;
        j["total_time"] = c.record.total_time;
        j["result"] = c.record.result;
        text += j.dump() + "\n";
    }
    vfiles::WriteTextAtomically(path, text, "--command-log");
}

}  // namespace vclip
