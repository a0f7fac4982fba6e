// The MLT filter "vellora" driven by MLT inside this process, so the sanitizer
// builds watch the filter's own code and MLT's threads around it: melt cannot
// load it beside their runtimes. The repository holds only our module, and the
// clip is a producer of this program's own. Frames must equal, byte for byte,
// `vellora render --host premiere --depth 8` with the same values.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include <dlfcn.h>
#include <unistd.h>

#if defined(__SANITIZE_THREAD__)
#define VELLORA_THREAD_SANITIZER 1
#elif defined(__has_feature)
#if __has_feature(thread_sanitizer)
#define VELLORA_THREAD_SANITIZER 1
#endif
#endif
#ifndef VELLORA_THREAD_SANITIZER
#define VELLORA_THREAD_SANITIZER 0
#endif

#include "imaging/ImageIO.h"

extern "C" {
#include <framework/mlt.h>
}

namespace {

using Bytes = std::vector<uint8_t>;
using Values = std::vector<std::pair<std::string, std::string>>;

// A scratch folder, removed with what it holds.
class Scratch {
public:
    Scratch() {
        char name[] = "/tmp/vellora-mlt-XXXXXX";
        if (::mkdtemp(name)) dir_ = name;
    }
    ~Scratch() {
        if (!dir_.empty()) std::system(("rm -rf '" + dir_ + "'").c_str());
    }
    Scratch(const Scratch&) = delete;
    Scratch& operator=(const Scratch&) = delete;
    std::string Path(const std::string& name) const { return dir_ + "/" + name; }

private:
    std::string dir_;
};

// MLT's log, kept so a test can see what the filter said.
std::mutex log_mutex;
std::string log_text;

void KeepLog(void*, int level, const char* format, va_list args) {
    if (level > MLT_LOG_WARNING) return;
    char line[2048];
    std::vsnprintf(line, sizeof line, format, args);
    std::lock_guard<std::mutex> lock(log_mutex);
    log_text += line;
}

std::string TakeLog() {
    std::lock_guard<std::mutex> lock(log_mutex);
    return std::exchange(log_text, std::string());
}

// MLT for the whole program, from a repository holding our module alone.
class MltEnvironment : public ::testing::Environment {
public:
    void SetUp() override {
        const std::string module = repository_.Path("libmltvellora.so");
        ASSERT_EQ(::symlink(VELLORA_MLT_MODULE, module.c_str()), 0);
#if VELLORA_THREAD_SANITIZER
        // ThreadSanitizer's atexit forgets which library registered a handler and
        // calls the module's exit guard after mlt_factory_close has unloaded it.
        ASSERT_NE(::dlopen(module.c_str(), RTLD_NOW | RTLD_NODELETE), nullptr) << ::dlerror();
#endif
        ASSERT_NE(mlt_factory_init(repository_.Path("").c_str()), nullptr);
        mlt_log_set_level(MLT_LOG_WARNING);
        mlt_log_set_callback(KeepLog);
    }
    void TearDown() override { mlt_factory_close(); }

private:
    Scratch repository_;
};

// The clip's pixels: colour and alpha vary over x and y, or one flat colour,
// which scales to the same pixels in any box filter.
uint8_t Sample(bool flat, int x, int y, int w, int h, int c) {
    if (flat) return static_cast<uint8_t>(c == 0 ? 0x33 : c == 1 ? 0x66 : c == 2 ? 0xcc : 0xff);
    switch (c) {
        case 0: return static_cast<uint8_t>(x * 255 / (w - 1));
        case 1: return static_cast<uint8_t>(y * 255 / (h - 1));
        case 2: return static_cast<uint8_t>(x * 7 + y * 13);
        default: return static_cast<uint8_t>(x * 11 + y * 5 + 20);
    }
}

Bytes Picture(bool flat, int w, int h) {
    Bytes pixels(static_cast<size_t>(w) * h * 4);
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            for (int c = 0; c < 4; ++c) pixels[(static_cast<size_t>(y) * w + x) * 4 + c] = Sample(flat, x, y, w, h, c);
        }
    }
    return pixels;
}

// The threads that made pictures, so a test can see whose they were.
std::mutex threads_mutex;
std::set<std::thread::id> picture_threads;

// A producer needing no module: the picture at whatever size is asked for.
int ProduceImage(mlt_frame frame, uint8_t** image, mlt_image_format* format, int* width, int* height, int) {
    {
        std::lock_guard<std::mutex> lock(threads_mutex);
        picture_threads.insert(std::this_thread::get_id());
    }
    auto producer = static_cast<mlt_producer>(mlt_frame_pop_service(frame));
    const bool flat = producer->child != nullptr;
    mlt_profile profile = mlt_service_profile(MLT_PRODUCER_SERVICE(producer));
    if (*width <= 0 || *height <= 0) *width = profile->width, *height = profile->height;
    const Bytes pixels = Picture(flat, *width, *height);
    auto* buffer = static_cast<uint8_t*>(mlt_pool_alloc(static_cast<int>(pixels.size())));
    std::copy(pixels.begin(), pixels.end(), buffer);
    mlt_frame_set_image(frame, buffer, static_cast<int>(pixels.size()), mlt_pool_release);
    *image = buffer;
    *format = mlt_image_rgba;
    return 0;
}

int ProduceFrame(mlt_producer producer, mlt_frame_ptr frame, int) {
    *frame = mlt_frame_init(MLT_PRODUCER_SERVICE(producer));
    mlt_frame_set_position(*frame, mlt_producer_position(producer));
    mlt_frame_push_service(*frame, producer);
    mlt_frame_push_get_image(*frame, ProduceImage);
    mlt_producer_prepare_next(producer);
    return 0;
}

// A clip of `length` frames at 25 fps through the filter, with `values`
// set as a project file carries them.
class Clip {
public:
    Clip(int w, int h, int length, const Values& values, bool flat = false) {
        profile_ = mlt_profile_init(nullptr);
        profile_->width = w, profile_->height = h;
        profile_->frame_rate_num = 25, profile_->frame_rate_den = 1;
        profile_->sample_aspect_num = profile_->sample_aspect_den = 1;
        profile_->display_aspect_num = w, profile_->display_aspect_den = h;
        profile_->progressive = 1;
        producer_ = mlt_producer_new(profile_);
        producer_->get_frame = ProduceFrame;
        // mlt_producer_new's struct is the maker's to free, as a module's close does.
        producer_->close_object = producer_;
        producer_->close = [](void* p) {
            auto producer = static_cast<mlt_producer>(p);
            producer->close = nullptr;
            mlt_producer_close(producer);
            std::free(producer);
        };
        producer_->child = flat ? this : nullptr;
        mlt_properties_set_int(MLT_PRODUCER_PROPERTIES(producer_), "length", length);
        mlt_producer_set_in_and_out(producer_, 0, length - 1);
        filter_ = mlt_factory_filter(profile_, "vellora", nullptr);
        if (!filter_) return;
        for (const auto& v : values) Set(v.first, v.second);
        mlt_producer_attach(producer_, filter_);
    }
    ~Clip() {
        if (filter_) mlt_filter_close(filter_);
        mlt_producer_close(producer_);
        mlt_profile_close(profile_);
    }
    Clip(const Clip&) = delete;
    Clip& operator=(const Clip&) = delete;

    bool Made() const { return filter_ != nullptr; }
    void Set(const std::string& name, const std::string& value) {
        mlt_properties_set(MLT_FILTER_PROPERTIES(filter_), name.c_str(), value.c_str());
    }
    mlt_producer Producer() const { return producer_; }
    mlt_profile Profile() const { return profile_; }

    // Frame `position` as straight RGBA at w x h (0: the profile's); empty when MLT gave none.
    Bytes Frame(int position, int w = 0, int h = 0) {
        mlt_producer_seek(producer_, position);
        mlt_frame frame = nullptr;
        if (mlt_service_get_frame(MLT_PRODUCER_SERVICE(producer_), &frame, 0) || !frame) return {};
        Bytes out = Image(frame, w ? w : profile_->width, h ? h : profile_->height);
        mlt_frame_close(frame);
        return out;
    }

    static Bytes Image(mlt_frame frame, int w, int h) {
        uint8_t* image = nullptr;
        mlt_image_format format = mlt_image_rgba;
        if (mlt_frame_get_image(frame, &image, &format, &w, &h, 0) || !image || format != mlt_image_rgba) return {};
        return Bytes(image, image + static_cast<size_t>(w) * h * 4);
    }

private:
    mlt_profile profile_ = nullptr;
    mlt_producer producer_ = nullptr;
    mlt_filter filter_ = nullptr;
};

// `vellora render` of the clip's picture, one file per frame in `frames` (with --keys) or one still.
class Reference {
public:
    Reference(int w, int h, bool flat = false) {
        vimaging::Image still = vimaging::Image::Make(w, h, vimaging::SampleType::U8);
        still.u8 = Picture(flat, w, h);
        vimaging::WriteImage(scratch_.Path("still.png"), still);
    }
    std::string Path(const std::string& name) const { return scratch_.Path(name); }

    Bytes Still(const std::string& options) {
        return Run(options, "ref.png") ? vimaging::ReadImage(Path("ref.png")).u8 : Bytes();
    }
    std::vector<Bytes> Frames(const std::string& options, int count) {
        std::string list = "0-" + std::to_string(count - 1);
        std::vector<Bytes> frames;
        if (!Run(options + " --frames " + list, "ref.%02d.png")) return frames;
        for (int f = 0; f < count; ++f) {
            char name[32];
            std::snprintf(name, sizeof name, "ref.%02d.png", f);
            frames.push_back(vimaging::ReadImage(Path(name)).u8);
        }
        return frames;
    }

private:
    bool Run(const std::string& options, const std::string& out) {
        const std::string command = "cd '" + Path("") + "' && env -u VELLORA_MODULE '" VELLORA_CLI_PATH "' render '" +
                                    Path("still.png") + "' '" + Path(out) + "' --host premiere --depth 8 -q" + options +
                                    " 2>&1";
        std::string said;
        FILE* pipe = ::popen(command.c_str(), "r");
        if (!pipe) return false;
        char buffer[4096];
        for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) said.append(buffer, n);
        const int status = ::pclose(pipe);
        EXPECT_EQ(status, 0) << command << "\n" << said;
        return status == 0;
    }
    Scratch scratch_;
};

// Keys at frames 0 to 5, each as an editor saves it: the rect keyed in MLT's
// "X Y W H", the others as numbers, the falloff a constant.
const Values kKeyed = {
    {"rect", "0=10 8 40 30;4=30 20 50 36"},
    {"angle", "0=0;5=45"},
    {"feather", "0=2;2=2;5=10"},
    {"opacity", "0=100;3|=70;5=40"},
    {"falloff", "cubic"},
    {"mask_type", "rectangle"},
    {"composite_mode", "intersect"},
};
// The same as vellora's keys: the rect's corner and size as a centre and size.
const char kKeyedJson[] = R"({
 "origin": [{"frame": 0, "value": [30, 23]}, {"frame": 4, "value": [55, 38]}],
 "width": [{"frame": 0, "value": 40}, {"frame": 4, "value": 50}],
 "height": [{"frame": 0, "value": 30}, {"frame": 4, "value": 36}],
 "angle": [{"frame": 0, "value": 0}, {"frame": 5, "value": 45}],
 "feather": [{"frame": 0, "value": 2}, {"frame": 2, "value": 2}, {"frame": 5, "value": 10}],
 "opacity": [{"frame": 0, "value": 100}, {"frame": 3, "value": 70, "interpolation": "hold"}, {"frame": 5, "value": 40}]})";
const char kKeyedOptions[] = " --mask rectangle --mode intersect --falloff cubic";
const int kW = 96, kH = 64, kFrames = 6;

std::vector<Bytes> KeyedFrames(Clip& clip) {
    std::vector<Bytes> frames;
    for (int f = 0; f < kFrames; ++f) frames.push_back(clip.Frame(f));
    return frames;
}

TEST(MltInProcess, KeyedValuesMatchVelloraRenderOnEveryFrame) {
    Clip clip(kW, kH, kFrames, kKeyed);
    ASSERT_TRUE(clip.Made()) << TakeLog();
    Reference reference(kW, kH);
    FILE* keys = std::fopen(reference.Path("keys.json").c_str(), "w");
    ASSERT_NE(keys, nullptr);
    std::fputs(kKeyedJson, keys);
    std::fclose(keys);
    const std::vector<Bytes> expected = reference.Frames(std::string(kKeyedOptions) + " --keys keys.json", kFrames);
    ASSERT_EQ(expected.size(), static_cast<size_t>(kFrames));
    const std::vector<Bytes> frames = KeyedFrames(clip);
    for (int f = 0; f < kFrames; ++f) EXPECT_TRUE(frames[f] == expected[f]) << "frame " << f;
    // Pulled again, backwards: the cached parses give the same frames.
    for (int f = kFrames - 1; f >= 0; --f) EXPECT_TRUE(clip.Frame(f) == expected[f]) << "again, frame " << f;
    EXPECT_EQ(TakeLog(), "");
}

// A key past the clip's end still pulls the box along; smooth keys (~=) take
// MLT's own curve, not a line between them.
TEST(MltInProcess, KeysPastTheEndAndSmoothKeysFollowMltsAnimation) {
    const int w = 80, h = 60;
    Reference reference(w, h);
    Clip past(w, h, 4, {{"rect", "0=10 10 20 20;50=60 35 20 20"}});
    ASSERT_TRUE(past.Made());
    for (int f = 0; f < 4; ++f) {
        const std::string origin = std::to_string(20 + f) + "," + std::to_string(20 + f * 0.5);
        EXPECT_TRUE(past.Frame(f) == reference.Still(" --origin " + origin + " --width 20 --height 20")) << "frame " << f;
    }

    const char angles[] = "0~=0;3~=90;6~=30";
    Clip smooth(w, h, 7, {{"angle", angles}, {"rect", "10 10 50 30"}});
    ASSERT_TRUE(smooth.Made());
    mlt_properties curve = mlt_properties_new();
    mlt_properties_set(curve, "angle", angles);
    double off_line = 0;
    for (int f : {1, 2, 4, 5}) {
        const double angle = mlt_properties_anim_get_double(curve, "angle", f, 7);
        off_line = std::max(off_line, std::abs(angle - (f < 3 ? f * 30.0 : 90 - (f - 3) * 20.0)));
        char option[64];
        std::snprintf(option, sizeof option, " --angle %.17g", angle);
        EXPECT_TRUE(smooth.Frame(f) == reference.Still(std::string(option) + " --origin 35,25 --width 50 --height 30"))
            << "frame " << f << " at " << angle << " degrees";
    }
    EXPECT_GT(off_line, 1.0) << "no curve between smooth keys";
    mlt_properties_close(curve);
    EXPECT_EQ(TakeLog(), "");
}

// An editor's preview asks for less than the profile: the mask is scaled to
// it, as vellora renders at --downsample.
TEST(MltInProcess, PreviewSmallerThanTheProfileMatchesDownsample) {
    const int w = 160, h = 120;
    Reference reference(w, h, true);
    Clip clip(w, h, 1, {{"rect", "31 25 75 45"}, {"angle", "20"}, {"feather", "6"}, {"falloff", "gamma"}}, true);
    ASSERT_TRUE(clip.Made());
    for (const int n : {1, 2, 4}) {
        const Bytes frame = clip.Frame(0, w / n, h / n);
        EXPECT_EQ(frame.size(), static_cast<size_t>(w / n) * (h / n) * 4) << "1/" << n;
        EXPECT_TRUE(frame == reference.Still(" --origin 68.5,47.5 --width 75 --height 45 --angle 20 --feather 6"
                                             " --falloff gamma --downsample " + std::to_string(n)))
            << "differs from --downsample " << n;
    }
}

// A refused value is named in MLT's log and the frame comes out as MLT gave
// it; once the value is put right the same filter draws again.
TEST(MltInProcess, RefusedValuesPassFramesThroughAndTheFilterRecovers) {
    const int w = 48, h = 32;
    const Bytes unchanged = Picture(false, w, h);
    Reference reference(w, h);
    const Bytes drawn = reference.Still(" --origin 14,11 --width 20 --height 14");
    ASSERT_NE(drawn, unchanged);
    const struct {
        const char* name;
        const char* value;
        const char* named;
        const char* fixed;  // the effect's default, as an editor sets it back
    } bad[] = {
        {"falloff", "wobbly", "property 'falloff' = 'wobbly'", "linear"},
        {"rect", "1 2 3", "property 'rect' = '1 2 3': expected \"X Y W H\"", "4 4 20 14"},
        {"rect", "0=4 4 20 14;xx=9 9 20 14", "key time 'xx'", "0=4 4 20 14;9=4 4 20 14"},
        {"feather", "0=5;1.2.3=9", "key time '1.2.3' is not a frame or a time", "0=0;9=0"},
        {"opacity", "0=50;1=101", "'101' is out of range", "100"},
        {"mask_type", "circle", "'circle' is not one of ellipse or rectangle", "ellipse"},
    };
    for (const auto& b : bad) {
        SCOPED_TRACE(std::string(b.name) + "=" + b.value);
        Clip clip(w, h, 2, {{"rect", "4 4 20 14"}, {b.name, b.value}});
        ASSERT_TRUE(clip.Made());
        EXPECT_TRUE(clip.Frame(0) == unchanged);
        EXPECT_TRUE(clip.Frame(1) == unchanged);
        const std::string log = TakeLog();
        EXPECT_NE(log.find(b.named), std::string::npos) << log;
        EXPECT_NE(log.find("the frame passes through unchanged"), std::string::npos) << log;
        clip.Set(b.name, b.fixed);
        EXPECT_TRUE(clip.Frame(1) == drawn) << TakeLog();
    }
}

// Several filters, each on a thread of its own, give what one thread gives.
TEST(MltInProcess, FiltersOnSeveralThreadsAtOnceMatchOneThread) {
    Clip single(kW, kH, kFrames, kKeyed);
    ASSERT_TRUE(single.Made());
    const std::vector<Bytes> expected = KeyedFrames(single);
    const int threads = 4;
    std::vector<std::vector<Bytes>> got(threads);
    std::vector<std::thread> workers;
    for (int t = 0; t < threads; ++t) {
        workers.emplace_back([&got, t] {
            Clip clip(kW, kH, kFrames, kKeyed);
            for (int round = 0; round < 3; ++round) {
                for (int f = 0; f < kFrames; ++f) got[t].push_back(clip.Frame((f + t) % kFrames));
            }
        });
    }
    for (std::thread& w : workers) w.join();
    for (int t = 0; t < threads; ++t) {
        ASSERT_EQ(got[t].size(), static_cast<size_t>(3 * kFrames));
        for (size_t i = 0; i < got[t].size(); ++i) {
            EXPECT_TRUE(got[t][i] == expected[(i + t) % kFrames]) << "thread " << t << ", pull " << i;
        }
    }
}

// The clip's frames as MLT's parallel renderer (real_time < 0) makes them:
// taken from the producer in order on one thread, their images rendered by
// several threads at once, all through the one filter.
std::vector<Bytes> RenderOnWorkers(Clip& clip, int frames, int threads = 3) {
    std::vector<mlt_frame> taken;
    for (int f = 0; f < frames; ++f) {
        mlt_producer_seek(clip.Producer(), f);
        mlt_frame frame = nullptr;
        if (mlt_service_get_frame(MLT_PRODUCER_SERVICE(clip.Producer()), &frame, 0) || !frame) break;
        taken.push_back(frame);
    }
    std::vector<Bytes> out(taken.size());
    std::atomic<size_t> next{0};
    std::vector<std::thread> workers;
    const int w = clip.Profile()->width, h = clip.Profile()->height;
    for (int t = 0; t < threads; ++t) {
        workers.emplace_back([&] {
            for (size_t i; (i = next++) < taken.size();) out[i] = Clip::Image(taken[i], w, h);
        });
    }
    for (std::thread& worker : workers) worker.join();
    for (mlt_frame frame : taken) mlt_frame_close(frame);
    return out;
}

TEST(MltInProcess, OneFiltersFramesOnWorkerThreadsMatchOneThread) {
    Clip single(kW, kH, kFrames, kKeyed);
    ASSERT_TRUE(single.Made());
    const std::vector<Bytes> expected = KeyedFrames(single);
    Clip clip(kW, kH, kFrames, kKeyed);
    ASSERT_TRUE(clip.Made());
    {
        std::lock_guard<std::mutex> lock(threads_mutex);
        picture_threads.clear();
    }
    const std::vector<Bytes> frames = RenderOnWorkers(clip, kFrames);
    ASSERT_EQ(frames.size(), static_cast<size_t>(kFrames));
    {
        std::lock_guard<std::mutex> lock(threads_mutex);
        EXPECT_EQ(picture_threads.count(std::this_thread::get_id()), 0u) << "the workers must render, not this thread";
        EXPECT_FALSE(picture_threads.empty());
        std::printf("frames rendered on %zu worker threads\n", picture_threads.size());
    }
    for (int f = 0; f < kFrames; ++f) EXPECT_TRUE(frames[f] == expected[f]) << "frame " << f;
    EXPECT_EQ(TakeLog(), "");

    // Refused on every worker at once: each frame passes through, the reason is
    // said once. Afresh in several filters: each one's first report is where
    // the workers meet.
    Values refused = kKeyed;
    refused.emplace_back("feather", "0=1;x=2");
    const Bytes unchanged = Picture(false, kW, kH);
    for (int round = 0; round < 8; ++round) {
        SCOPED_TRACE("filter " + std::to_string(round));
        Clip bad(kW, kH, kFrames, refused);
        ASSERT_TRUE(bad.Made());
        const std::vector<Bytes> passed = RenderOnWorkers(bad, kFrames);
        ASSERT_EQ(passed.size(), static_cast<size_t>(kFrames));
        for (int f = 0; f < kFrames; ++f) EXPECT_TRUE(passed[f] == unchanged) << "frame " << f;
        const std::string log = TakeLog();
        const size_t said = log.find("key time 'x'");
        EXPECT_NE(said, std::string::npos) << log;
        EXPECT_EQ(log.find("key time 'x'", said + 1), std::string::npos) << log;
    }
}

}  // namespace

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    ::testing::AddGlobalTestEnvironment(new MltEnvironment);
    return RUN_ALL_TESTS();
}
