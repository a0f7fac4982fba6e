// What reading an input may cost: hostile headers refused before the image
// library allocates what they claim, in a child held to a small memory cap;
// the limits changed both ways by option and environment; cut files refused
// or read the same every time; each file opened once.
#include <sys/inotify.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <functional>
#include <cstdlib>
#include <fstream>
#include <set>
#include <sstream>

#include <gtest/gtest.h>

#include "imaging/ImageIO.h"
#include "imaging/ReadBudget.h"
#include "parse/Parse.h"
#include "support/InputError.h"
#include "tests/TestFiles.h"
#include "tests/TestSupport.h"

namespace {

using vtest::TempDir;

struct Listed {
    std::string kind, name, what;
};

std::vector<Listed> ParseList(const std::string& text) {
    std::vector<Listed> files;
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);) {
        std::istringstream words(line);
        Listed f;
        words >> f.kind >> f.name;
        std::getline(words, f.what);
        files.push_back(f);
    }
    return files;
}

// Every file the list names read in this process: what went wrong, or nothing.
std::string HostileReadFailures(const std::string& dir) {
    std::string bad;
    for (const Listed& f : ParseList(vtest::FileText(dir + "/list"))) {
        const std::string path = dir + "/" + f.name;
        rusage before{};
        ::getrusage(RUSAGE_SELF, &before);
        const auto start = std::chrono::steady_clock::now();
        try {
            vimaging::SetReadBudget({});
            vimaging::ImageReader reader(path);
            const vimaging::Image image = reader.Read();
            if (f.kind != "good") bad += f.name + " (" + f.what + ") was read\n";
        } catch (const vsupport::InputError& e) {
            const std::string what = e.what();
            if (f.kind == "good") {
                bad += f.name + " refused: " + what + "\n";
            } else if (what.find(path) == std::string::npos || what.find("claims") == std::string::npos ||
                       what.find('\n') != std::string::npos) {
                bad += f.name + ": " + what + "\n";
            }
        } catch (const std::exception& e) {
            bad += f.name + ": " + e.what() + "\n";
        }
        // Peak resident memory only grows: a file that costs more than 300 MB shows.
        rusage after{};
        ::getrusage(RUSAGE_SELF, &after);
        const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        if (after.ru_maxrss - before.ru_maxrss > 300 * 1024 || seconds > 5) {
            bad += f.name + " cost " + std::to_string((after.ru_maxrss - before.ru_maxrss) / 1024) + " MB more and " +
                   std::to_string(seconds) + " s\n";
        }
    }
    return bad;
}

// The benchmark's own hostile headers and good files of every format, each
// read by a fresh process of this test held to 3 GB of address space, so a
// regression fails here rather than taking the machine's memory.
TEST(ReadBudget, HostileHeadersOfEveryFormatAreRefusedWithinASmallMemoryCap) {
#ifdef VELLORA_SANITIZED
    GTEST_SKIP() << "a sanitizer's shadow memory does not fit an address-space cap";
#endif
    if (const char* dir = std::getenv("VELLORA_HOSTILE_DIR")) {
        std::ofstream(std::string(dir) + "/report") << HostileReadFailures(dir);
        return;
    }
    TempDir dir;
    const vtest::CliRun made =
        vtest::RunShell("python3 '" VELLORA_SOURCE_DIR "/bench/hostile_files.py' " + dir.Arg("in"), false);
    ASSERT_EQ(made.status, 0) << made.err;
    ASSERT_GE(ParseList(made.out).size(), 40u);
    std::ofstream(dir.Path("in/list")) << made.out;
    const vtest::CliRun child = vtest::RunShell(
        "VELLORA_HOSTILE_DIR=" + dir.Arg("in") + " prlimit --as=" + std::to_string(size_t{3} << 30) + " /proc/" +
        std::to_string(::getpid()) + "/exe --gtest_filter=ReadBudget.HostileHeadersOfEveryFormatAreRefusedWithinASmallMemoryCap");
    EXPECT_EQ(child.status, 0) << child.out;
    EXPECT_EQ(vtest::FileText(dir.Path("in/report")), "") << child.out;
}

TEST(ReadBudget, TheLimitsChangeTheOutcomeBothWays) {
    TempDir dir;
    OIIO::ImageSpec spec(64, 48, 3, OIIO::TypeDesc::UINT8);
    ASSERT_TRUE(vtest::WriteFile(dir.Path("in.png"), spec, vtest::Noise(64 * 48 * 3, 5)));
    const std::string args = "render " + dir.Arg("in.png") + " " + dir.Arg("out.png") + " -q ";
    const auto refused = [&](const vtest::CliRun& run, const std::string& limit) {
        EXPECT_EQ(run.status, 1) << run.out;
        EXPECT_TRUE(vtest::OneLineNaming(run.out, limit)) << run.out;
        EXPECT_NE(run.out.find(dir.Path("in.png")), std::string::npos) << run.out;
        EXPECT_FALSE(std::ifstream(dir.Path("out.png")).good());
    };
    refused(vtest::RunCli(args + "--max-pixels 3071"), "the limit is 3071 pixels");
    refused(vtest::RunCli(args, true, "VELLORA_MAX_PIXELS=3071"), "the limit is 3071 pixels");
    refused(vtest::RunCli(args + "--max-memory 9215"), "the limit is 9.0 KiB");
    refused(vtest::RunCli(args, true, "VELLORA_MAX_MEMORY=8K"), "the limit is 8 KiB");
    // The same file at exactly its size passes, and the option wins over the variable.
    EXPECT_EQ(vtest::RunCli(args + "--max-pixels 3072 --max-memory 9216").status, 0);
    EXPECT_EQ(vtest::RunCli(args + "--max-pixels 5000", true, "VELLORA_MAX_PIXELS=10").status, 0);
    // Every command that reads an input holds it to the same limits.
    for (const std::string& command : {"overlay " + dir.Arg("in.png") + " " + dir.Arg("o.png"),
                                      "drag " + dir.Arg("in.png") + " --from 1,1 --to 2,2",
                                      "view " + dir.Arg("in.png")}) {
        const vtest::CliRun run = vtest::RunCli(command + " --max-pixels 100");
        EXPECT_EQ(run.status, 1) << command << ": " << run.out;
        EXPECT_TRUE(vtest::OneLineNaming(run.out, "the limit is 100 pixels")) << command << ": " << run.out;
    }
    for (const std::string& bad : {std::string("--max-memory 4Q"), std::string("--max-memory 0"), std::string("--max-pixels 1e6")}) {
        const vtest::CliRun run = vtest::RunCli(args + bad);
        EXPECT_EQ(run.status, 1) << bad;
        EXPECT_TRUE(vtest::OneLineNaming(run.out, bad.substr(0, bad.find(' ')))) << run.out;
    }
    const vtest::CliRun env = vtest::RunCli(args, true, "VELLORA_MAX_MEMORY=lots");
    EXPECT_TRUE(vtest::OneLineNaming(env.out, "VELLORA_MAX_MEMORY must be a size")) << env.out;
}

// Samples are counted at the size the file holds them: OpenEXR's half
// channels are two bytes, so a half file fits a limit a float one would not.
TEST(ReadBudget, HalfSamplesCountTwoBytes) {
    TempDir dir;
    OIIO::ImageSpec spec(64, 48, 4, OIIO::TypeDesc::HALF);
    ASSERT_TRUE(vtest::WriteFile(dir.Path("half.exr"), spec, vtest::Noise(64 * 48 * 4, 9)));
    const std::string args =
        "render " + dir.Arg("half.exr") + " " + dir.Arg("out.exr") + " --host premiere -q --max-memory ";
    EXPECT_EQ(vtest::RunCli(args + "24576").status, 0) << "64x48 RGBA of half is 24576 bytes";
    const vtest::CliRun over = vtest::RunCli(args + "24575");
    EXPECT_EQ(over.status, 1);
    EXPECT_TRUE(vtest::OneLineNaming(over.out, "4 channels (24 KiB), which is too large")) << over.out;
}

// A hostile frame in the middle of a clip is refused before any frame is written.
TEST(ReadBudget, AHostileFrameInAClipStopsItBeforeAnyOutput) {
    TempDir dir;
    OIIO::ImageSpec spec(64, 48, 3, OIIO::TypeDesc::UINT16);
    spec.attribute("oiio:BitsPerSample", 10);
    for (int f = 1; f <= 3; ++f) {
        ASSERT_TRUE(vtest::WriteFile(dir.Path("in.000" + std::to_string(f) + ".dpx"), spec, vtest::Noise(64 * 48 * 3, f)));
    }
    // Frame 2 keeps its header and loses its pixels.
    const std::string bytes = vtest::FileText(dir.Path("in.0002.dpx"));
    std::ofstream(dir.Path("in.0002.dpx"), std::ios::binary | std::ios::trunc) << bytes.substr(0, 3000);
    const vtest::CliRun run = vtest::RunCli("render " + dir.Arg("in.####.dpx") + " " + dir.Arg("out.####.tif") +
                                            " --frames 1-3 -q");
    EXPECT_EQ(run.status, 1) << run.out;
    EXPECT_TRUE(vtest::OneLineNaming(run.out, "the file has 3000 bytes")) << run.out;
    EXPECT_NE(run.out.find("in.0002.dpx"), std::string::npos) << run.out;
    for (const std::string& name : dir.Names()) EXPECT_EQ(name.find("out."), std::string::npos) << name;
}

TEST(ReadBudget, SizesReadAsPeopleWriteThem) {
    EXPECT_EQ(vparse::ParseByteSize("4G", "x"), uint64_t{4} << 30);
    EXPECT_EQ(vparse::ParseByteSize("512m", "x"), uint64_t{512} << 20);
    EXPECT_EQ(vparse::ParseByteSize("64KiB", "x"), uint64_t{64} << 10);
    EXPECT_EQ(vparse::ParseByteSize("1000", "x"), 1000u);
    EXPECT_THROW(vparse::ParseByteSize("99999999999T", "x"), vsupport::InputError);
    EXPECT_THROW(vparse::ParseByteSize("-1", "x"), vsupport::InputError);
    EXPECT_THROW(vparse::ParseCount("3k", "x"), vsupport::InputError);
    EXPECT_EQ(vimaging::ByteSizeText(3u << 29), "1.5 GiB");
}

// A 16K frame of 16-bit RGBA is what the defaults are for: its header opens
// (the file is sparse: only the header is read here).
TEST(ReadBudget, ASixteenKFrameOfSixteenBitRgbaOpensByDefault) {
    TempDir dir;
    OIIO::ImageSpec spec(64, 48, 4, OIIO::TypeDesc::UINT16);
    const std::string path = dir.Path("16k.dpx");
    ASSERT_TRUE(vtest::WriteFile(path, spec, vtest::Noise(64 * 48 * 4, 9)));
    std::string bytes = vtest::FileText(path);
    const bool big_endian = bytes.compare(0, 4, "SDPX") == 0;
    for (int field = 0; field < 2; ++field) {
        for (int b = 0; b < 4; ++b) {
            const uint32_t v = 16384;
            bytes[772 + field * 4 + b] = static_cast<char>(v >> (big_endian ? 24 - 8 * b : 8 * b));
        }
    }
    std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
    const uint32_t offset = 8192;
    ASSERT_EQ(::truncate(path.c_str(), offset + (off_t{16384} * 16384 * 8)), 0);
    vimaging::SetReadBudget({});
    const vimaging::ImageReader reader(path);
    EXPECT_EQ(reader.Width(), 16384);
    EXPECT_EQ(reader.Type(), vimaging::SampleType::U16);
    // One byte short, it is cut.
    ASSERT_EQ(::truncate(path.c_str(), offset + (off_t{16384} * 16384 * 8) - 1), 0);
    try {
        vimaging::ImageReader cut(path);
        ADD_FAILURE() << "a cut 16K frame opened";
    } catch (const vsupport::InputError& e) {
        EXPECT_NE(std::string(e.what()).find("truncated"), std::string::npos) << e.what();
    }
}

// Freed blocks filled with `byte`, so a reader that hands back memory it never
// wrote gives other samples on the next read.
void Poison(unsigned char byte) {
    std::vector<void*> blocks;
    for (size_t size = 1024; size <= (size_t{96} << 10); size += 3072) {
        void* p = std::malloc(size);
        std::memset(p, byte, size);
        blocks.push_back(p);
    }
    for (void* p : blocks) std::free(p);
}

TEST(CutFiles, EveryFormatIsRefusedOrReadsTheSameTwice) {
    TempDir dir;
    struct Kind {
        const char* ext;
        OIIO::TypeDesc type;
        int bits;
        int channels;
    } kinds[] = {{"png", OIIO::TypeDesc::UINT8, 0, 3},   {"tif", OIIO::TypeDesc::UINT16, 0, 3},
                 {"exr", OIIO::TypeDesc::HALF, 0, 3},    {"tga", OIIO::TypeDesc::UINT8, 0, 3},
                 {"bmp", OIIO::TypeDesc::UINT8, 0, 3},   {"sgi", OIIO::TypeDesc::UINT8, 0, 3},
                 {"dpx", OIIO::TypeDesc::UINT16, 10, 3}, {"dpx", OIIO::TypeDesc::UINT16, 10, 1},
                 {"dpx", OIIO::TypeDesc::UINT8, 0, 3},   {"dpx", OIIO::TypeDesc::UINT16, 0, 3},
                 {"ppm", OIIO::TypeDesc::UINT8, 0, 3},   {"ppm", OIIO::TypeDesc::UINT16, 0, 3},
                 {"jpg", OIIO::TypeDesc::UINT8, 0, 3},   {"hdr", OIIO::TypeDesc::FLOAT, 0, 3},
                 {"webp", OIIO::TypeDesc::UINT8, 0, 3},  {"gif", OIIO::TypeDesc::UINT8, 0, 3},
                 {"fits", OIIO::TypeDesc::UINT8, 0, 3},  {"fits", OIIO::TypeDesc::UINT16, 0, 1},
                 {"jp2", OIIO::TypeDesc::UINT8, 0, 3},   {"ico", OIIO::TypeDesc::UINT8, 0, 3}};
    // Formats whose pixels are stored plain: a cut one is refused as it opens,
    // before a clip writes anything.
    const std::set<std::string> plain = {"dpx", "ppm"};
    int refused = 0, files = 0;
    for (const Kind& kind : kinds) {
        const std::string whole = dir.Path("whole." + std::string(kind.ext));
        OIIO::ImageSpec spec(100, 100, kind.channels, kind.type);
        if (kind.bits) spec.attribute("oiio:BitsPerSample", kind.bits);
        if (std::string(kind.ext) == "ico") spec.width = spec.height = 64;
        ASSERT_TRUE(vtest::WriteFile(whole, spec, vtest::Noise(100 * 100 * 3, 3)));
        const std::string bytes = vtest::FileText(whole);
        for (const size_t keep :
             {bytes.size() / 2, bytes.size() / 3, bytes.size() / 10, size_t{3000}, bytes.size() - 5, bytes.size() - 1}) {
            if (keep >= bytes.size()) continue;
            const std::string path = dir.Path("cut" + std::to_string(files++) + "." + kind.ext);
            std::ofstream(path, std::ios::binary) << bytes.substr(0, keep);
            std::string first_error, second_error;
            std::vector<float> first, second;
            for (int round = 0; round < 2; ++round) {
                Poison(round == 0 ? 0x5a : 0xa5);
                try {
                    (round == 0 ? first : second) = vimaging::NormalisedRGBA(vimaging::ReadImage(path));
                } catch (const vsupport::InputError& e) {
                    (round == 0 ? first_error : second_error) = e.what();
                }
            }
            const std::string which = std::string(kind.ext) + " of " + std::to_string(bytes.size()) + " bytes cut to " +
                                      std::to_string(keep);
            if (plain.count(kind.ext)) {
                // Refused by our own count of header and pixels, to the last byte.
                EXPECT_NE(first_error.find("the file is truncated"), std::string::npos) << which << ": " << first_error;
            }
            if (std::string(kind.ext) == "ppm") {
                // The header counted to its last byte: what comes before the pixels, of
                // one or two bytes a sample as the writer kept them.
                const size_t samples = size_t{100} * 100 * static_cast<size_t>(kind.channels);
                const size_t pixels = bytes.size() > 2 * samples ? 2 * samples : samples;
                const std::string header = "from byte " + std::to_string(bytes.size() - pixels) + ")";
                EXPECT_NE(first_error.find(header), std::string::npos) << which << ": " << first_error << " lacks " << header;
            }
            EXPECT_EQ(first_error, second_error) << which;
            if (first_error.empty()) {
                EXPECT_TRUE(first == second) << which << " reads differently twice";
            } else {
                ++refused;
                EXPECT_EQ(first_error.find("unknown error"), std::string::npos) << which << ": " << first_error;
                EXPECT_NE(first_error.find(path), std::string::npos) << first_error;
            }
        }
    }
    EXPECT_GT(refused, files / 2);
}

// Opens of one file, seen by the kernel, while `body` runs.
int OpensDuring(const std::string& path, const std::function<void()>& body) {
    const int fd = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    // Closes too: the kernel merges an event into an unread one just like it.
    const int watch = ::inotify_add_watch(fd, path.c_str(), IN_OPEN | IN_CLOSE);
    body();
    int opens = 0;
    alignas(inotify_event) char buffer[4096];
    ssize_t n;
    while ((n = ::read(fd, buffer, sizeof(buffer))) > 0) {
        for (char* p = buffer; p < buffer + n;) {
            const auto* event = reinterpret_cast<const inotify_event*>(p);
            if (event->mask & IN_OPEN) ++opens;
            p += sizeof(inotify_event) + event->len;
        }
    }
    ::inotify_rm_watch(fd, watch);
    ::close(fd);
    return opens;
}

TEST(ReadBudget, EachFileIsOpenedOnceByTheImageLibrary) {
    TempDir dir;
    for (const char* ext : {"png", "tif", "exr", "dpx", "gif"}) {
        const std::string path = dir.Path(std::string("one.") + ext);
        OIIO::ImageSpec spec(32, 16, 3, OIIO::TypeDesc::UINT8);
        ASSERT_TRUE(vtest::WriteFile(path, spec, vtest::Noise(32 * 16 * 3, 1)));
        // What the library itself opens to read one image once, asked as the reader asks:
        // with a configuration (it looks at the file before it opens it), and whether
        // there is a second image (GIF's reader opens again to go back to the first).
        const int library = OpensDuring(path, [&] {
            OIIO::ImageSpec config;
            config.attribute("oiio:UnassociatedAlpha", 1);
            auto in = OIIO::ImageInput::open(path, &config);
            std::vector<uint8_t> pixels(in->spec().image_bytes());
            EXPECT_FALSE(in->seek_subimage(1, 0));
            EXPECT_TRUE(in->read_image(0, 0, 0, -1, OIIO::TypeDesc::UINT8, pixels.data()));
        });
        // Ours besides: whether it can be read, and a look at the header.
        EXPECT_EQ(OpensDuring(path, [&] { (void)vimaging::ReadImage(path); }), library + 2) << ext;
    }
}

}  // namespace
