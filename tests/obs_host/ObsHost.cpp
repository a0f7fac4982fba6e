// vellora_obs_host JOB.json: a libobs program for the tests, no OBS window.
// It starts libobs on DISPLAY, loads the modules the job names, and runs its
// steps: sources made (an exact-frames source of its own, OBS's image source,
// a scene), the filter added and its settings changed, and sources rendered
// and read back into raw RGBA files. Every step's result is one line on
// standard output; OBS's log goes to standard error.
#include <cstdarg>
#include <cstdio>
#include <exception>
#include <fstream>
#include <map>
#include <memory>
#include <stdexcept>
#include <string>

#include <nlohmann/json.hpp>

#include "tests/obs_host/ExactFrames.h"
#include "tests/obs_host/ObsSession.h"

namespace {

using nlohmann::json;

void LogLine(int level, const char* format, va_list args, void*) {
    if (level > LOG_INFO) return;
    const char* name = level <= LOG_ERROR ? "error" : level == LOG_WARNING ? "warning" : "info";
    std::fprintf(stderr, "%s: ", name);
    std::vfprintf(stderr, format, args);
    std::fputc('\n', stderr);
}

vobstest::VideoSettings Video(const json& j) {
    vobstest::VideoSettings v;
    v.width = j.value("width", v.width);
    v.height = j.value("height", v.height);
    v.fps = j.value("fps", v.fps);
    const std::string format = j.value("format", "RGBA"), space = j.value("colorspace", "srgb");
    const std::map<std::string, video_format> formats = {
        {"RGBA", VIDEO_FORMAT_RGBA}, {"BGRA", VIDEO_FORMAT_BGRA}, {"NV12", VIDEO_FORMAT_NV12},
        {"P010", VIDEO_FORMAT_P010}, {"I010", VIDEO_FORMAT_I010}};
    const std::map<std::string, video_colorspace> spaces = {
        {"srgb", VIDEO_CS_SRGB}, {"709", VIDEO_CS_709}, {"2100pq", VIDEO_CS_2100_PQ}, {"2100hlg", VIDEO_CS_2100_HLG}};
    if (!formats.count(format) || !spaces.count(space)) throw std::runtime_error("unknown video format or colour space");
    v.format = formats.at(format);
    v.colorspace = spaces.at(space);
    return v;
}

obs_data_t* Settings(const json& j) { return obs_data_create_from_json(j.dump().c_str()); }

class Job {
public:
    // Every source is shown in OBS's output, as in a scene on air: OBS draws
    // each one every frame, so a camera's frame is taken on the frame it comes.
    explicit Job(vobstest::ObsSession& session)
        : session_(session), shown_(obs_scene_create_private("everything")) {
        obs_set_output_source(0, obs_scene_get_source(shown_));
    }
    ~Job() {
        obs_set_output_source(0, nullptr);
        obs_scene_release(shown_);
        for (auto& [name, source] : sources_) obs_source_release(source);
        for (auto& [name, scene] : scenes_) obs_scene_release(scene);
    }

    void Step(const json& s) {
        const std::string what = s.at("do");
        if (what == "frames" || what == "hdr") {
            obs_source_t* source = Find(s.at("name"), true);
            if (!source) source = Add(s.at("name"), obs_source_create_private(vobstest::kExactFramesId,
                                                                             s.at("name").get<std::string>().c_str(),
                                                                             nullptr));
            if (what == "frames") {
                vobstest::OutputRgba(source, s.at("raw"), s.at("width"), s.at("height"));
            } else {
                vobstest::OutputHdr(source, s.at("width"), s.at("height"));
            }
        } else if (what == "image") {
            obs_data_t* settings = Settings({{"file", s.at("file")}});
            Add(s.at("name"), obs_source_create_private("image_source", s.at("name").get<std::string>().c_str(),
                                                         settings));
            obs_data_release(settings);
        } else if (what == "filter") {
            obs_data_t* settings = Settings(s.value("settings", json::object()));
            obs_source_t* filter = Add(s.at("name"), obs_source_create_private(
                                                         s.value("id", std::string("vellora_mask")).c_str(),
                                                         s.at("name").get<std::string>().c_str(), settings));
            obs_data_release(settings);
            obs_source_filter_add(Find(s.at("on")), filter);
        } else if (what == "update") {
            obs_data_t* settings = Settings(s.at("settings"));
            obs_source_update(Find(s.at("name")), settings);
            obs_data_release(settings);
        } else if (what == "enable") {
            obs_source_set_enabled(Find(s.at("name")), s.at("on").get<bool>());
        } else if (what == "scene") {
            obs_scene_t* scene = obs_scene_create_private(s.at("name").get<std::string>().c_str());
            scenes_[s.at("name")] = scene;
            for (const auto& item : s.at("items")) obs_scene_add(scene, Find(item));
            obs_scene_add(shown_, obs_scene_get_source(scene));
        } else if (what == "render") {
            Render(s);
        } else if (what == "list") {
            List();
        } else {
            throw std::runtime_error("unknown step '" + what + "'");
        }
    }

private:
    obs_source_t* Add(const std::string& name, obs_source_t* source) {
        if (!source) throw std::runtime_error("cannot create '" + name + "'");
        sources_[name] = source;
        if (obs_source_get_type(source) != OBS_SOURCE_TYPE_FILTER) obs_scene_add(shown_, source);
        return source;
    }

    obs_source_t* Find(const std::string& name, bool may_be_missing = false) const {
        if (sources_.count(name)) return sources_.at(name);
        if (scenes_.count(name)) return obs_scene_get_source(scenes_.at(name));
        if (may_be_missing) return nullptr;
        throw std::runtime_error("no source '" + name + "'");
    }

    // Renders on `frames` video frames in a row, and writes the last.
    void Render(const json& s) {
        obs_source_t* source = Find(s.at("source"));
        vobstest::Picture picture;
        for (int i = 0; i < s.value("frames", 1); ++i) {
            session_.WaitFrame();
            picture = session_.Render(source);
        }
        const std::string out = s.at("out");
        std::ofstream file(out, std::ios::binary);
        file.write(reinterpret_cast<const char*>(picture.rgba.data()), static_cast<std::streamsize>(picture.rgba.size()));
        if (!file) throw std::runtime_error("cannot write " + out);
        std::printf("rendered %s %u %u\n", out.c_str(), picture.width, picture.height);
    }

    // What OBS's "add filter" menu and properties dialog read of the filter.
    static void List() {
        const char* id = nullptr;
        for (size_t i = 0; obs_enum_filter_types(i, &id); ++i) {
            if (std::string(id) != "vellora_mask") continue;
            std::printf("filter %s \"%s\" flags %u\n", id, obs_source_get_display_name(id),
                        obs_get_source_output_flags(id));
            obs_properties_t* props = obs_get_source_properties(id);
            for (obs_property_t* p = obs_properties_first(props); p; obs_property_next(&p)) {
                std::printf("property %s %d \"%s\"", obs_property_name(p), static_cast<int>(obs_property_get_type(p)),
                            obs_property_description(p));
                for (size_t k = 0; k < obs_property_list_item_count(p); ++k) {
                    std::printf(" %s=\"%s\"", obs_property_list_item_string(p, k), obs_property_list_item_name(p, k));
                }
                std::printf("\n");
            }
            obs_properties_destroy(props);
        }
    }

    vobstest::ObsSession& session_;
    obs_scene_t* shown_;
    std::map<std::string, obs_source_t*> sources_;
    std::map<std::string, obs_scene_t*> scenes_;
};

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s JOB.json\n", argv[0]);
        return 2;
    }
    try {
        std::ifstream in(argv[1]);
        const json job = json::parse(in);
        base_set_log_handler(LogLine, nullptr);
        vobstest::ObsSession session(Video(job.value("video", json::object())));
        vobstest::RegisterExactFrames();
        for (const auto& m : job.value("modules", json::array())) session.LoadModule(m.at(0), m.at(1));
        {
            Job run(session);
            for (const auto& step : job.at("steps")) run.Step(step);
        }
        std::fflush(stdout);
        return 0;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "vellora_obs_host: %s\n", e.what());
    }
    return 1;
}
