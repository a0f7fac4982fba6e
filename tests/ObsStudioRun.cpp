#include "tests/ObsStudioRun.h"

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <thread>

namespace vtest {

namespace {

// A TCP port nobody listens on now (the kernel's choice), for obs-websocket.
int FreePort() {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof address;
    int port = 0;
    if (fd >= 0 && ::bind(fd, reinterpret_cast<sockaddr*>(&address), size) == 0 &&
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &size) == 0) {
        port = ntohs(address.sin_port);
    }
    if (fd >= 0) ::close(fd);
    return port;
}

void Write(const std::string& path, const std::string& text) {
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    std::ofstream(path) << text;
}

// The largest file in `folder`, and its size; "" when there is none.
std::string Newest(const std::string& folder, uintmax_t* size) {
    std::string found;
    *size = 0;
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(folder, ec)) {
        if (entry.file_size(ec) >= *size) {
            *size = entry.file_size(ec);
            found = entry.path();
        }
    }
    return found;
}

}  // namespace

ObsStudioRun::ObsStudioRun() : port_(FreePort()) {}

std::string ObsStudioRun::Config(const std::string& name) const { return dir_.Path("home/.config/obs-studio/" + name); }

void ObsStudioRun::Configure(const std::string& image, int width, int height, const nlohmann::json& settings) {
    width_ = width;
    height_ = height;
    // FirstRun: no first-run wizard, which would also block quitting.
    Write(Config("global.ini"), "[General]\nFirstRun=true\nEnableAutoUpdates=false\n"
                                "[Basic]\nProfile=P\nProfileDir=P\nSceneCollection=C\nSceneCollectionFile=C\n"
                                "[OBSWebSocket]\nFirstLoad=false\nServerEnabled=true\nServerPort=" +
                                    std::to_string(port_) +
                                    "\nAlertsEnabled=false\nAuthRequired=false\nServerPassword=\n");
    std::ostringstream profile;
    profile << "[General]\nName=P\n[Video]\nBaseCX=" << width << "\nBaseCY=" << height << "\nOutputCX=" << width
            << "\nOutputCY=" << height << "\nFPSType=0\nFPSCommon=30\nColorFormat=RGB\nColorSpace=sRGB\nColorRange=Full\n"
            << "[Output]\nMode=Advanced\n[AdvOut]\nRecType=FFmpeg\nFFOutputToFile=true\nFFFilePath="
            << dir_.Path("rec") << "\nFFExtension=mkv\nFFFormat=matroska\nFFFormatMimeType=video/x-matroska\n"
            << "FFVEncoderId=61\nFFVEncoder=ffv1\nFFVGOPSize=1\nFFUseRescale=false\nFFIgnoreCompat=true\n"
            << "FFAEncoderId=86018\nFFAEncoder=aac\nFFAudioMixes=1\n";
    Write(Config("basic/profiles/P/basic.ini"), profile.str());
    std::filesystem::create_directories(dir_.Path("rec"));
    const nlohmann::json item = {{"name", "image"}, {"id", 1}, {"visible", true}, {"pos", {{"x", 0}, {"y", 0}}},
                                 {"scale", {{"x", 1}, {"y", 1}}}, {"align", 5}, {"bounds_type", 0}};
    const nlohmann::json filter = {{"id", "vellora_mask"}, {"versioned_id", "vellora_mask"}, {"name", "Vellora Mask"},
                                   {"settings", settings}};
    const nlohmann::json collection = {
        {"name", "C"}, {"current_scene", "S"}, {"current_program_scene", "S"}, {"scene_order", {{{"name", "S"}}}},
        {"sources",
         {{{"id", "scene"}, {"versioned_id", "scene"}, {"name", "S"}, {"settings", {{"items", {item}}, {"id_counter", 1}}}},
          {{"id", "image_source"}, {"versioned_id", "image_source"}, {"name", "image"},
           {"settings", {{"file", image}}}, {"filters", settings.is_null() ? nlohmann::json::array() : nlohmann::json{filter}}}}}};
    Write(Config("basic/scenes/C.json"), collection.dump(2));
}

std::string ObsStudioRun::Launch(const std::string& options) {
    if (!port_) return "no free port for obs-websocket";
    xvfb_ = std::make_unique<XvfbSession>(1280, 1024);  // tall enough for the whole properties dialog
    if (xvfb_->Display().empty()) return "Xvfb did not start";
    obs_ = std::make_unique<Process>(
        "cd '" + dir_.Dir() + "' && exec env HOME='" + dir_.Path("home") + "' " + xvfb_->Env() +
            "OBS_PLUGINS_PATH='" VELLORA_OBS_PLUGINS "' OBS_PLUGINS_DATA_PATH='" VELLORA_OBS_PLUGINS_DATA
            "' obs --disable-updater --multi --collection C --profile P --scene S " + options,
        dir_.Path("obs.err"));
    return "";
}

std::string ObsStudioRun::Request(const std::string& kind, const nlohmann::json& data) const {
    const CliRun run = RunShell("'" VELLORA_SOURCE_DIR "/tests/obs_studio/obs_request.py' " + std::to_string(port_) +
                                " " + kind + " '" + data.dump() + "'");
    return run.status == 0 ? "" : kind + " failed: " + run.out;
}

std::string ObsStudioRun::Start() {
    std::string problem = Launch("");
    // Up once obs-websocket answers.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(40);
    while (problem.empty() && !obs_->Ended()) {
        if (Request("GetVersion").empty()) return "";
        if (std::chrono::steady_clock::now() > deadline) problem = "OBS did not answer on obs-websocket";
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
    }
    return problem.empty() ? "OBS ended at its start" : problem;
}

std::string ObsStudioRun::Quit() {
    if (!obs_) return "OBS was not started";
    obs_->Signal(SIGINT);
    if (obs_->Ended(30000)) return "";
    obs_->Signal(SIGKILL);
    obs_->Ended(-1);
    return "OBS did not quit on SIGINT";
}

std::string ObsStudioRun::Record(double seconds) {
    std::string problem = Launch("--startrecording");
    // Recording once the file grows; then the time asked for.
    uintmax_t size = 0;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(40);
    while (problem.empty() && size < 100000 && std::chrono::steady_clock::now() < deadline && !obs_->Ended()) {
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        recording_ = Newest(dir_.Path("rec"), &size);
    }
    if (problem.empty() && size < 100000) problem = "OBS did not start recording";
    if (problem.empty()) {
        std::this_thread::sleep_for(std::chrono::milliseconds(static_cast<int>(seconds * 1000)));
        // The recording is complete once StopRecord has answered.
        problem = Request("StopRecord");
    }
    const std::string quit = obs_ ? Quit() : "";
    return problem.empty() ? quit : problem;
}

std::string ObsStudioRun::Log() const {
    std::string text;
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(Config("logs"), ec)) text += FileText(entry.path());
    return text;
}

std::vector<std::string> ObsStudioRun::ModuleLines() const {
    std::vector<std::string> lines;
    std::istringstream log(Log());
    for (std::string line; std::getline(log, line);) {
        if (line.find("[vellora-obs]") != std::string::npos) lines.push_back(line);
    }
    return lines;
}

std::pair<long, long> ObsStudioRun::DrawnFrames() const {
    // "Total drawn frames: 600", with " (612 attempted)" when some lagged.
    std::smatch m;
    const std::string log = Log();
    if (!std::regex_search(log, m, std::regex("Total drawn frames: (\\d+)(?: \\((\\d+) attempted\\))?"))) return {0, 0};
    const long drawn = std::stol(m[1].str());
    return {drawn, m[2].matched ? std::stol(m[2].str()) : drawn};
}

std::string ObsStudioRun::Frame(int n) const {
    const std::string out = dir_.Path("frame" + std::to_string(n) + ".rgba");
    const CliRun decoded = RunShell("ffmpeg -v error -i '" + recording_ + "' -vf 'select=eq(n\\," + std::to_string(n) +
                                    ")' -frames:v 1 -f rawvideo -pix_fmt rgba -y '" + out + "'");
    if (decoded.status != 0) return "";
    const std::string bytes = FileText(out);
    return bytes.size() == static_cast<size_t>(width_) * height_ * 4 ? bytes : "";
}

}  // namespace vtest
