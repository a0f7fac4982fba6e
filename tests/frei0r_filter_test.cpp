// The built frei0r filter loaded as a video host loads it: its exports, its
// parameter contract, many instances updated from many threads at once, and
// frames sliced into bands as MLT slices them.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <limits>
#include <memory>
#include <string>
#include <thread>
#include <vector>

// frei0r.h declares C functions without saying so.
extern "C" {
#include <frei0r.h>
}

#include "tests/TestSupport.h"

namespace {

void* Filter() {
    static void* const handle = dlopen(VELLORA_FREI0R_PATH, RTLD_NOW | RTLD_LOCAL);
    return handle;
}
#define F0R(name) reinterpret_cast<decltype(&name)>(Filter() ? dlsym(Filter(), #name) : nullptr)

using Instance = std::unique_ptr<void, void (*)(void*)>;
Instance Make(unsigned w, unsigned h) { return Instance(F0R(f0r_construct)(w, h), F0R(f0r_destruct)); }
void Set(void* f, int index, double v) { F0R(f0r_set_param_value)(f, &v, index); }
double Get(void* f, int index) {
    double v = std::nan("");
    F0R(f0r_get_param_value)(f, &v, index);
    return v;
}

TEST(Frei0rFilter, ExportsOnlyTheFrei0rApi) {
    ASSERT_NE(Filter(), nullptr) << dlerror();
    const std::vector<std::string> exported = vtest::ExportedSymbols(VELLORA_FREI0R_PATH);
    EXPECT_EQ(exported.size(), 9u);
    for (const std::string& name : exported) EXPECT_EQ(name.rfind("f0r_", 0), 0u) << name;
}

TEST(Frei0rFilter, ParametersFollowTheContractAndHoldBadValues) {
    ASSERT_NE(Filter(), nullptr) << dlerror();
    const char* const names[] = {"mask_type", "composite_mode", "origin_x", "origin_y", "width", "height",
                                 "angle",     "feather",        "opacity",  "invert",   "falloff"};
    for (int i = 0; i < 11; ++i) {
        f0r_param_info_t info{};
        F0R(f0r_get_param_info)(&info, i);
        ASSERT_NE(info.name, nullptr) << i;
        EXPECT_STREQ(info.name, names[i]);
        EXPECT_EQ(info.type, i == 9 ? F0R_PARAM_BOOL : F0R_PARAM_DOUBLE) << names[i];
        ASSERT_NE(info.explanation, nullptr) << names[i];
        // Popups list the choices the plug-in declares, in its order.
        if (i == 1) {
            EXPECT_NE(std::string(info.explanation).find("floor(v*4) 0 add, 1 subtract, 2 intersect, 3 create"), std::string::npos);
        }
    }
    // Defaults are the effect's own, in each frame size's units.
    for (const unsigned w : {640u, 75u}) {
        const unsigned h = w / 2 + 1;
        Instance f = Make(w, h);
        ASSERT_TRUE(f);
        const double expected[] = {0, 3, w / 2.0, h / 2.0, 300, 200, 0, 0, 100, 0, 0};
        const double scale[] = {1, 4, double(w), double(h), double(w), double(h), 360, double(w), 100, 1, 6};
        for (int i = 0; i < 11; ++i) {
            const double v = Get(f.get(), i) * scale[i];
            EXPECT_NEAR(i == 1 || i == 10 ? std::floor(v) : v, expected[i], 1e-9) << names[i] << " at width " << w;
        }
    }
    // Outside 0..1: the same formula, held to the declared ranges; NaN keeps the value.
    Instance f = Make(64, 32);
    const double inf = std::numeric_limits<double>::infinity();
    struct Case {
        int index;
        double set, expect;
    };
    for (const Case& c : {Case{1, 7, 0.75}, Case{1, -3, 0}, Case{10, 2.5, 5.0 / 6}, Case{4, 400, 15000.0 / 64},
                          Case{5, -1, 0}, Case{7, inf, 15000.0 / 64}, Case{8, 3, 1}, Case{8, -0.5, 0},
                          Case{2, -0.5, -0.5}, Case{3, 1e9, 32767.0 / 32}, Case{6, -200, -32767.0 / 360},
                          Case{0, 7, 1}, Case{9, 0.7, 1}}) {
        Set(f.get(), c.index, c.set);
        EXPECT_NEAR(Get(f.get(), c.index), c.expect, 1e-12) << names[c.index] << " = " << c.set;
        Set(f.get(), c.index, std::nan(""));
        EXPECT_NEAR(Get(f.get(), c.index), c.expect, 1e-12) << names[c.index] << " after NaN";
    }
}

// Many instances of odd and tiny sizes, each updated from several threads at
// once while parameters are set, give exactly the frames of serial updates.
TEST(Frei0rThreads, ParallelUpdatesOnOneAndManyInstancesMatchSerialOnes) {
    ASSERT_NE(Filter(), nullptr) << dlerror();
    struct Job {
        Instance filter{nullptr, nullptr};
        std::vector<uint32_t> in, expected;
    };
    std::vector<Job> jobs;
    for (const auto& size : {std::pair<unsigned, unsigned>{1, 1}, {3, 3}, {75, 41}, {640, 360}, {33, 200}}) {
        Job job;
        job.filter = Make(size.first, size.second);
        ASSERT_TRUE(job.filter);
        const double values[] = {1, 0.9, 0.45, 0.55, 0.7, 0.6, 0.1, 0.08, 0.9, 1, 0.5};
        for (int i = 0; i < 11; ++i) Set(job.filter.get(), i, values[i]);
        job.in.resize(size_t{size.first} * size.second);
        for (size_t i = 0; i < job.in.size(); ++i) job.in[i] = uint32_t((i + jobs.size() + 1) * 2654435761u) | 1u << 31;
        job.expected.resize(job.in.size());
        F0R(f0r_update)(job.filter.get(), 0.0, job.in.data(), job.expected.data());
        jobs.push_back(std::move(job));
    }
    EXPECT_NE(jobs[0].expected, jobs[0].in) << "the mask left the 1x1 frame as it was";

    std::atomic<bool> go{false};
    std::atomic<int> mismatches{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 8; ++t) {
        threads.emplace_back([&, t]() {
            while (!go.load()) std::this_thread::yield();
            for (int round = 0; round < 16; ++round) {
                // Threads 0-3 share one instance; the others spread over all.
                Job& job = jobs[t < 4 ? 3 : static_cast<size_t>(t + round) % jobs.size()];
                std::vector<uint32_t> out(job.in.size(), 0);
                F0R(f0r_update)(job.filter.get(), round / 30.0, job.in.data(), out.data());
                if (out != job.expected) mismatches.fetch_add(1);
                // NaN keeps every value: it races with the updates but changes nothing.
                Set(job.filter.get(), round % 11, std::nan(""));
                (void)Get(job.filter.get(), round % 11);
            }
        });
    }
    go.store(true);
    for (std::thread& t : threads) t.join();
    EXPECT_EQ(mismatches.load(), 0);
}

// Alpha and colour varying with the index; the mask below changes most alphas.
std::vector<uint32_t> Pixels(size_t count, uint32_t seed) {
    std::vector<uint32_t> pixels(count);
    for (size_t i = 0; i < count; ++i) pixels[i] = uint32_t((i + seed) * 2654435761u);
    return pixels;
}

Instance Masked(unsigned w, unsigned h) {
    Instance f = Make(w, h);
    const double values[] = {1, 0.9, 0.45, 0.55, 0.7, 0.6, 0.1, 0.08, 0.9, 0, 0.5};
    for (int i = 0; f && i < 11; ++i) Set(f.get(), i, values[i]);
    return f;
}

// MLT's bands: one frame's buffers cut into equal runs of rows, each handed
// over as a frame, in turn or from several threads at once, all at the
// frame's time, with an input and an output of their own. From the second band on, every band passes
// through; a band that returned before another arrived keeps what it drew,
// since its buffer is the host's again (and never written after it returned).
TEST(Frei0rBands, EveryBandPassesThroughOnceAnotherShowsTheFrameIsSliced) {
    ASSERT_NE(Filter(), nullptr) << dlerror();
    const unsigned w = 40, rows = 10, bands = 4;
    const size_t band = size_t{w} * rows;
    const std::vector<uint32_t> in = Pixels(band * bands, 7);
    // Each band drawn alone, as a frame: what a missed band would leave.
    std::vector<std::vector<uint32_t>> alone(bands, std::vector<uint32_t>(band));
    for (unsigned b = 0; b < bands; ++b) {
        Instance f = Masked(w, rows);
        F0R(f0r_update)(f.get(), 0.0, in.data() + b * band, alone[b].data());
        ASSERT_NE(alone[b], std::vector<uint32_t>(in.begin() + b * band, in.begin() + (b + 1) * band));
    }
    const auto band_of = [&](const std::vector<uint32_t>& frame, unsigned b) {
        return std::vector<uint32_t>(frame.begin() + b * band, frame.begin() + (b + 1) * band);
    };
    const auto input_band = [&](unsigned b) { return band_of(in, b); };
    using Order = std::vector<unsigned>;
    for (const Order& order : {Order{0, 1, 2, 3}, Order{3, 1, 0, 2}, Order{2, 0, 3, 1}}) {
        Instance f = Masked(w, rows);
        for (int frame = 0; frame < 3; ++frame) {
            std::vector<uint32_t> out(in.size(), 0);
            for (const unsigned b : order) {
                F0R(f0r_update)(f.get(), frame / 25.0, in.data() + b * band, out.data() + b * band);
            }
            for (unsigned b = 0; b < bands; ++b) {
                const bool drawn = frame == 0 && b == order[0];
                EXPECT_TRUE(band_of(out, b) == (drawn ? alone[b] : input_band(b)))
                    << "bands in order " << order[0] << order[1] << order[2] << order[3] << ", frame " << frame
                    << ", band " << b;
            }
        }
    }
    // All bands at once, on fresh instances: a band still being drawn when
    // another finds it puts its input back; the next frame passes whole.
    for (int round = 0; round < 12; ++round) {
        Instance f = Masked(w, rows);
        for (int frame = 0; frame < 2; ++frame) {
            std::vector<uint32_t> out(in.size(), 0);
            std::atomic<unsigned> ready{0};
            std::vector<std::thread> threads;
            for (unsigned b = 0; b < bands; ++b) {
                threads.emplace_back([&, b]() {
                    ready.fetch_add(1);
                    while (ready.load() < bands) std::this_thread::yield();
                    F0R(f0r_update)(f.get(), frame / 25.0, in.data() + b * band, out.data() + b * band);
                });
            }
            for (std::thread& t : threads) t.join();
            unsigned drawn = 0;
            for (unsigned b = 0; b < bands; ++b) {
                const bool passed = band_of(out, b) == input_band(b);
                drawn += passed ? 0 : 1;
                EXPECT_TRUE(passed || (frame == 0 && band_of(out, b) == alone[b]))
                    << "bands at once, round " << round << ", frame " << frame << ", band " << b;
            }
            // Only the first band to arrive can have been drawn before another found it.
            EXPECT_LE(drawn, 1u) << "round " << round;
        }
    }
}

// Two bands whose calls overlap: the band being drawn when the other arrives
// puts its input back, so no slice of the frame keeps the mask. Bands large
// enough to take milliseconds; a try where one call ended before the other
// began says nothing and is made again.
TEST(Frei0rBands, ABandStillBeingDrawnWhenAnotherArrivesPutsItsInputBack) {
    ASSERT_NE(Filter(), nullptr) << dlerror();
    const unsigned w = 2048, rows = 1024;
    const size_t band = size_t{w} * rows;
    const std::vector<uint32_t> in = Pixels(band * 2, 7);
    using Clock = std::chrono::steady_clock;
    int overlapped = 0;
    for (int attempt = 0; attempt < 20 && overlapped < 3; ++attempt) {
        Instance f = Masked(w, rows);
        std::vector<uint32_t> out(in.size(), 0);
        Clock::time_point start[2], end[2];
        std::vector<std::thread> threads;
        for (unsigned b = 0; b < 2; ++b) {
            threads.emplace_back([&, b]() {
                if (b == 1) std::this_thread::sleep_for(std::chrono::microseconds(500));
                start[b] = Clock::now();
                F0R(f0r_update)(f.get(), 0.0, in.data() + b * band, out.data() + b * band);
                end[b] = Clock::now();
            });
        }
        for (std::thread& t : threads) t.join();
        const size_t first = start[0] <= start[1] ? 0 : 1;
        // The later call began well before the earlier one returned.
        if (start[1 - first] + std::chrono::milliseconds(1) >= end[first]) continue;
        ++overlapped;
        EXPECT_TRUE(out == in) << "a band kept the mask, try " << attempt;
    }
    EXPECT_GT(overlapped, 0) << "no two calls overlapped";
}

// Whole frames whose buffers happen to adjoin, as in a host's ring of frames,
// are frames: each is drawn as a fresh instance draws it. Only the same time
// with both buffers shifted alike by whole frames makes bands.
TEST(Frei0rBands, AdjoiningWholeFramesAreStillDrawn) {
    ASSERT_NE(Filter(), nullptr) << dlerror();
    const unsigned w = 24, h = 16;
    const size_t n = size_t{w} * h;
    std::vector<uint32_t> in_ring(2 * n), out_ring(2 * n);
    Instance f = Masked(w, h);
    struct Step {
        double time;
        uint32_t* in;
        uint32_t* out;
    };
    uint32_t* const in0 = in_ring.data();
    uint32_t* const in1 = in0 + n;
    uint32_t* const out0 = out_ring.data();
    uint32_t* const out1 = out0 + n;
    // Next frames in the next slots; the same time again with input and output
    // swapped over one ring (MLT re-renders a frame so); the same time with
    // only the input moved; the same time in place in the next slot.
    for (const Step& step : {Step{0.0, in0, out0}, Step{0.04, in1, out1}, Step{0.08, in0, out0},
                             Step{0.12, in0, in1}, Step{0.12, in1, in0}, Step{0.16, in0, out0},
                             Step{0.16, in1, out0}, Step{0.2, in0, in0}, Step{0.2, in1, in1}}) {
        const std::vector<uint32_t> input = Pixels(n, static_cast<uint32_t>(step.time * 100));
        std::copy(input.begin(), input.end(), step.in);
        std::vector<uint32_t> expected(n);
        Instance fresh = Masked(w, h);
        F0R(f0r_update)(fresh.get(), step.time, input.data(), expected.data());
        ASSERT_NE(expected, input);
        F0R(f0r_update)(f.get(), step.time, step.in, step.out);
        EXPECT_TRUE(std::vector<uint32_t>(step.out, step.out + n) == expected) << "frame at " << step.time;
    }
}

}  // namespace
