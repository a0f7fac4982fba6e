#include "tests/ObsHostRun.h"

#include <fstream>

namespace vtest {

vimaging::Image TestFrame(int width, int height, unsigned seed, bool opaque) {
    vimaging::Image image = vimaging::Image::Make(width, height, vimaging::SampleType::U8);
    unsigned state = seed * 2654435761u + 1;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            state = state * 1103515245u + 12345u;
            uint8_t* p = &image.u8[(static_cast<size_t>(y) * width + x) * 4];
            p[0] = static_cast<uint8_t>(x * 255 / std::max(width - 1, 1));
            p[1] = static_cast<uint8_t>(y * 255 / std::max(height - 1, 1));
            p[2] = static_cast<uint8_t>(state >> 16);
            // Every alpha from 0 to 255 somewhere, and whole opaque runs.
            p[3] = opaque || (x / 8 + y / 8 + seed) % 3 == 0 ? 255 : static_cast<uint8_t>(state >> 24);
        }
    }
    return image;
}

nlohmann::json ParamsOfSettings(const nlohmann::json& settings, int width, int height) {
    nlohmann::json params = nlohmann::json::object();
    for (const auto& [key, value] : settings.items()) {
        if (key != "origin_x" && key != "origin_y") params[key] = value;
    }
    if (settings.contains("origin_x") || settings.contains("origin_y")) {
        params["origin"] = {settings.value("origin_x", width / 2.0), settings.value("origin_y", height / 2.0)};
    }
    return params;
}

std::string Difference(const Bytes& got, const Bytes& expected, int width) {
    if (got.size() != expected.size()) {
        return std::to_string(got.size()) + " bytes instead of " + std::to_string(expected.size());
    }
    size_t count = 0, first = 0;
    for (size_t i = 0; i < got.size(); ++i) {
        if (got[i] != expected[i] && count++ == 0) first = i;
    }
    if (count == 0) return "";
    const size_t pixel = first / 4;
    return std::to_string(count) + " bytes differ, first at (" + std::to_string(pixel % width) + ", " +
           std::to_string(pixel / width) + ") channel " + std::to_string(first % 4) + ": " +
           std::to_string(got[first]) + " instead of " + std::to_string(expected[first]);
}

ObsHostRun::ObsHostRun() : xvfb_(std::make_unique<XvfbSession>(640, 480)) {}

std::string ObsHostRun::WriteFrame(const std::string& name, const vimaging::Image& image) {
    std::ofstream(dir_.Path(name + ".rgba"), std::ios::binary)
        .write(reinterpret_cast<const char*>(image.u8.data()), static_cast<std::streamsize>(image.u8.size()));
    vimaging::WriteImage(dir_.Path(name + ".png"), image);
    return dir_.Path(name + ".rgba");
}

CliRun ObsHostRun::Run(const nlohmann::json& video, const nlohmann::json& steps) {
    const nlohmann::json job = {
        {"video", video},
        {"modules", nlohmann::json::array({nlohmann::json::array({VELLORA_OBS_MODULE_PATH, std::string(
                                                                  VELLORA_OBS_PLUGINS_DATA) + "/vellora-obs"}),
                                           nlohmann::json::array({"/usr/lib/x86_64-linux-gnu/obs-plugins/image-source.so",
                                                                  "/usr/share/obs/obs-plugins/image-source"})})},
        {"steps", steps}};
    std::ofstream(dir_.Path("job.json")) << job.dump(1);
    // Under ASan, unwinding the stack on every malloc (fast_unwind_on_malloc=0)
    // deadlocks in libgcc's unwinder, which Mesa's threads enter holding its
    // lock: the host hung until killed. And libobs and Mesa lose memory at exit
    // from libraries unloaded by then, which LSan can neither name nor be told
    // apart from ours. So no leak check in this process; ASan's and UBSan's
    // other checks stay on, and the embedded renderer's leaks are checked in
    // its own tests.
    return RunShell(xvfb_->Env() +
                        "ASAN_OPTIONS=\"${ASAN_OPTIONS:-}:fast_unwind_on_malloc=1:detect_leaks=0\" timeout -s KILL 100 '"
                    VELLORA_OBS_HOST_PATH "' " + dir_.Arg("job.json"), false);
}

Bytes ObsHostRun::Reference(const std::string& name, const nlohmann::json& params) {
    const std::string n = std::to_string(references_++);
    std::ofstream(dir_.Path("params" + n + ".json")) << params.dump();
    const CliRun run = RunCli("render " + dir_.Arg(name + ".png") + " " + dir_.Arg("reference" + n + ".png") +
                              " --host premiere --depth 8 -q --params " + dir_.Arg("params" + n + ".json"));
    EXPECT_EQ(run.status, 0) << run.out;
    if (run.status != 0) return {};
    return vimaging::ReadImage(dir_.Path("reference" + n + ".png")).u8;
}

Bytes ObsHostRun::Read(const std::string& name) const {
    const std::string text = FileText(dir_.Path(name));
    return Bytes(text.begin(), text.end());
}

}  // namespace vtest
