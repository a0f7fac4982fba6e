// The built frei0r filter loaded as a video host loads it: its exports, its
// parameter contract, and many instances updated from many threads at once.
#include <dlfcn.h>
// frei0r.h declares C functions without saying so.
extern "C" {
#include <frei0r.h>
}
#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <cstdio>
#include <limits>
#include <memory>
#include <set>
#include <string>
#include <thread>
#include <vector>

namespace {

// The filter's C API, resolved from the built file.
struct FilterApi {
    void* handle = nullptr;
    decltype(&f0r_get_param_info) param_info = nullptr;
    decltype(&f0r_construct) construct = nullptr;
    decltype(&f0r_destruct) destruct = nullptr;
    decltype(&f0r_set_param_value) set = nullptr;
    decltype(&f0r_get_param_value) get = nullptr;
    decltype(&f0r_update) update = nullptr;

    FilterApi() {
        handle = dlopen(VELLORA_FREI0R_PATH, RTLD_NOW | RTLD_LOCAL);
        if (!handle) return;
        param_info = reinterpret_cast<decltype(param_info)>(dlsym(handle, "f0r_get_param_info"));
        construct = reinterpret_cast<decltype(construct)>(dlsym(handle, "f0r_construct"));
        destruct = reinterpret_cast<decltype(destruct)>(dlsym(handle, "f0r_destruct"));
        set = reinterpret_cast<decltype(set)>(dlsym(handle, "f0r_set_param_value"));
        get = reinterpret_cast<decltype(get)>(dlsym(handle, "f0r_get_param_value"));
        update = reinterpret_cast<decltype(update)>(dlsym(handle, "f0r_update"));
    }
    bool Complete() const { return handle && param_info && construct && destruct && set && get && update; }
    double Get(f0r_instance_t instance, int index) const {
        double v = std::numeric_limits<double>::quiet_NaN();
        get(instance, &v, index);
        return v;
    }
    void Set(f0r_instance_t instance, int index, double v) const { set(instance, &v, index); }
};

const FilterApi& Api() {
    static const FilterApi api;
    return api;
}

using Instance = std::unique_ptr<void, void (*)(void*)>;
Instance Make(unsigned w, unsigned h) { return Instance(Api().construct(w, h), Api().destruct); }

// A frame whose colour and alpha vary with position and `seed`.
std::vector<uint32_t> Frame(int w, int h, unsigned seed) {
    std::vector<uint32_t> px(static_cast<size_t>(w) * h);
    for (size_t i = 0; i < px.size(); ++i) px[i] = static_cast<uint32_t>(((i + 1) * 2654435761u) ^ ((seed + 1) * 40503u)) | 0x80000000u;
    return px;
}

TEST(Frei0rFilter, ExportsOnlyTheFrei0rApi) {
    ASSERT_TRUE(Api().Complete()) << dlerror();
    FILE* nm = popen(("nm -D --defined-only '" VELLORA_FREI0R_PATH "' 2>&1"), "r");
    ASSERT_NE(nm, nullptr);
    char line[512];
    int exported = 0;
    while (fgets(line, sizeof(line), nm)) {
        const std::string symbol = line;
        const std::string name = symbol.substr(symbol.rfind(' ') + 1);
        ++exported;
        EXPECT_EQ(name.rfind("f0r_", 0), 0u) << "exported: " << name;
    }
    EXPECT_EQ(pclose(nm), 0);
    EXPECT_GE(exported, 8);
}

TEST(Frei0rFilter, ParametersFollowTheContractAndHoldBadValues) {
    ASSERT_TRUE(Api().Complete()) << dlerror();
    const char* const names[] = {"mask_type", "composite_mode", "origin_x", "origin_y", "width", "height",
                                 "angle",     "feather",        "opacity",  "invert",   "falloff"};
    for (int i = 0; i < 11; ++i) {
        f0r_param_info_t info{};
        Api().param_info(&info, i);
        ASSERT_NE(info.name, nullptr) << i;
        EXPECT_STREQ(info.name, names[i]);
        EXPECT_EQ(info.type, i == 9 ? F0R_PARAM_BOOL : F0R_PARAM_DOUBLE) << names[i];
        ASSERT_NE(info.explanation, nullptr);
        EXPECT_GT(std::string(info.explanation).size(), 10u) << names[i];
    }

    // Defaults are the effect's own, in each frame size's units.
    for (const auto& size : {std::pair<unsigned, unsigned>{640, 360}, {75, 41}}) {
        Instance f = Make(size.first, size.second);
        ASSERT_TRUE(f);
        const double w = size.first, h = size.second;
        EXPECT_LT(Api().Get(f.get(), 0), 0.5);                           // ellipse
        EXPECT_EQ(std::floor(Api().Get(f.get(), 1) * 4), 3);            // create
        EXPECT_DOUBLE_EQ(Api().Get(f.get(), 2) * w, w / 2);
        EXPECT_DOUBLE_EQ(Api().Get(f.get(), 3) * h, h / 2);
        EXPECT_DOUBLE_EQ(Api().Get(f.get(), 4) * w, 300);
        EXPECT_DOUBLE_EQ(Api().Get(f.get(), 5) * h, 200);
        EXPECT_EQ(Api().Get(f.get(), 6), 0);
        EXPECT_EQ(Api().Get(f.get(), 7), 0);
        EXPECT_DOUBLE_EQ(Api().Get(f.get(), 8), 1);
        EXPECT_EQ(Api().Get(f.get(), 9), 0);
        EXPECT_EQ(std::floor(Api().Get(f.get(), 10) * 6), 0);           // linear
    }

    // Outside 0..1: the same formula, held to the declared ranges; NaN keeps the value.
    Instance f = Make(64, 32);
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    struct Case { int index; double set, expect; };
    for (const Case& c : {Case{1, 7, 0.75}, Case{1, -3, 0}, Case{10, 2.5, 5.0 / 6}, Case{4, 400, 15000.0 / 64},
                          Case{5, -1, 0}, Case{7, inf, 15000.0 / 64}, Case{8, 3, 1}, Case{8, -0.5, 0},
                          Case{2, -0.5, -0.5}, Case{3, 1e9, 32767.0 / 32}, Case{6, -200, -32767.0 / 360},
                          Case{0, 7, 1}, Case{9, 0.7, 1}}) {
        Api().Set(f.get(), c.index, c.set);
        EXPECT_NEAR(Api().Get(f.get(), c.index), c.expect, 1e-12) << names[c.index] << " = " << c.set;
        Api().Set(f.get(), c.index, nan);
        EXPECT_NEAR(Api().Get(f.get(), c.index), c.expect, 1e-12) << names[c.index] << " after NaN";
    }
}

// Many instances of odd and tiny sizes, each updated from several threads at
// once while parameters are set, give exactly the frames of serial updates.
TEST(Frei0rThreads, ParallelUpdatesOnOneAndManyInstancesMatchSerialOnes) {
    ASSERT_TRUE(Api().Complete()) << dlerror();
    struct Job {
        Instance filter{nullptr, Api().destruct};
        int w, h;
        std::vector<uint32_t> in, expected;
    };
    const std::pair<int, int> sizes[] = {{1, 1}, {3, 3}, {75, 41}, {160, 90}, {33, 200}};
    std::vector<Job> jobs;
    for (const auto& s : sizes) {
        Job job;
        job.w = s.first;
        job.h = s.second;
        job.filter = Make(static_cast<unsigned>(job.w), static_cast<unsigned>(job.h));
        ASSERT_TRUE(job.filter);
        const double values[] = {1, 0.9, 0.45, 0.55, 0.7, 0.6, 0.1, 0.08, 0.9, 1, 0.5};
        for (int i = 0; i < 11; ++i) Api().Set(job.filter.get(), i, values[i]);
        job.in = Frame(job.w, job.h, static_cast<unsigned>(jobs.size()));
        job.expected.assign(job.in.size(), 0);
        Api().update(job.filter.get(), 0.0, job.in.data(), job.expected.data());
        jobs.push_back(std::move(job));
    }
    // The 1x1 frame is not left as it was: the mask did something to it.
    EXPECT_NE(jobs[0].expected, jobs[0].in);

    std::atomic<bool> go{false};
    std::atomic<int> mismatches{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 8; ++t) {
        threads.emplace_back([&, t]() {
            while (!go.load()) std::this_thread::yield();
            for (int round = 0; round < 6; ++round) {
                // Threads 0-3 share the largest frame; the others spread over all.
                Job& job = jobs[t < 4 ? 3 : static_cast<size_t>(t + round) % jobs.size()];
                std::vector<uint32_t> out(job.in.size(), 0);
                Api().update(job.filter.get(), round / 30.0, job.in.data(), out.data());
                if (out != job.expected) mismatches.fetch_add(1);
                // NaN keeps every value: setting it races with the updates but changes nothing.
                Api().Set(job.filter.get(), round % 11, std::numeric_limits<double>::quiet_NaN());
                (void)Api().Get(job.filter.get(), round % 11);
            }
        });
    }
    go.store(true);
    for (std::thread& t : threads) t.join();
    EXPECT_EQ(mismatches.load(), 0);
}

}  // namespace
