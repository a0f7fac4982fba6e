#include "imaging/HeaderClaims.h"

#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <fstream>
#include <vector>

#include "imaging/ImageFiles.h"
#include "support/InputError.h"

namespace vimaging {

namespace {

// Pixels a compressed file may unpack to per byte of its length. Deflate
// (PNG, TIFF, OpenEXR, WebP) peaks near 1032 to 1; GIF's LZW near 2730.
constexpr uint64_t kMaxUnpacking = 4096;
// Run-length formats: a run of at most 128 in two bytes, or one pixel's worth.
constexpr uint64_t kMaxRunLength = 128;
// Claims of this much are never held to the file's length: a small picture of
// one flat colour compresses past any ratio, and this much costs little.
constexpr uint64_t kFreeBytes = uint64_t{64} << 20;

[[noreturn]] void Refuse(const std::string& path, const std::string& reason) {
    throw vsupport::InputError("cannot read " + Quoted(path) + ": " + reason);
}

uint64_t FileLength(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 ? static_cast<uint64_t>(st.st_size) : 0;
}

std::vector<uint8_t> Head(const std::string& path, size_t bytes) {
    std::vector<uint8_t> head(bytes);
    std::ifstream in(path, std::ios::binary);
    in.read(reinterpret_cast<char*>(head.data()), static_cast<std::streamsize>(bytes));
    head.resize(static_cast<size_t>(std::max<std::streamsize>(0, in.gcount())));
    return head;
}

struct Reader {
    const std::vector<uint8_t>& bytes;
    bool big_endian;
    bool Has(size_t at, size_t n) const { return at + n <= bytes.size(); }
    uint32_t U32(size_t at) const {
        if (!Has(at, 4)) return 0;
        const uint8_t* p = bytes.data() + at;
        return big_endian ? (uint32_t{p[0]} << 24 | uint32_t{p[1]} << 16 | uint32_t{p[2]} << 8 | p[3])
                          : (uint32_t{p[3]} << 24 | uint32_t{p[2]} << 16 | uint32_t{p[1]} << 8 | p[0]);
    }
    uint16_t U16(size_t at) const {
        if (!Has(at, 2)) return 0;
        const uint8_t* p = bytes.data() + at;
        return static_cast<uint16_t>(big_endian ? (p[0] << 8 | p[1]) : (p[1] << 8 | p[0]));
    }
    uint8_t U8(size_t at) const { return Has(at, 1) ? bytes[at] : 0; }
};

std::string Size(uint64_t w, uint64_t h) { return std::to_string(w) + "x" + std::to_string(h); }

std::string Channels(int n) { return std::to_string(n) + (n == 1 ? " channel" : " channels"); }

void CheckPixels(const std::string& path, uint64_t w, uint64_t h, const ReadBudget& budget) {
    if (w * h > budget.max_pixels || w > (uint64_t{1} << 31) || h > (uint64_t{1} << 31)) {
        Refuse(path, "it claims " + Size(w, h) + " pixels, which is too large: the limit is " +
                         std::to_string(budget.max_pixels) + " pixels (--max-pixels or VELLORA_MAX_PIXELS)");
    }
}

void CheckMemory(const std::string& path, uint64_t w, uint64_t h, int channels, uint64_t bytes,
                 const ReadBudget& budget) {
    if (bytes > budget.max_memory) {
        Refuse(path, "it claims " + Size(w, h) + " pixels of " + Channels(channels) + " (" +
                         ByteSizeText(bytes) + "), which is too large: the limit is " +
                         ByteSizeText(budget.max_memory) + " (--max-memory or VELLORA_MAX_MEMORY)");
    }
}

void CheckHolds(const std::string& path, uint64_t length, uint64_t from, uint64_t needed, const std::string& claim) {
    if (from + needed > length) {
        Refuse(path, "the file is truncated: its header claims " + claim + " (" + std::to_string(needed) +
                         " bytes of pixels from byte " + std::to_string(from) + ") but the file has " +
                         std::to_string(length) + " bytes");
    }
}

// Bytes a row of `n` samples of `bits` takes: 10-bit samples three to a
// 32-bit word unless packed, others whole bytes (12-bit in two).
uint64_t RowBytes(uint64_t n, int bits, bool packed) {
    if (packed) return (n * static_cast<uint64_t>(bits) + 31) / 32 * 4;
    if (bits == 10) return (n + 2) / 3 * 4;
    if (bits == 1) return (n + 31) / 32 * 4;
    return n * static_cast<uint64_t>((bits + 7) / 8);
}

int DpxChannels(uint8_t descriptor) {
    switch (descriptor) {
        case 50: case 102: return 3;
        case 51: case 52: case 103: return 4;
        case 100: return 2;
        case 101: return 3;
        default: return 1;
    }
}

void CheckDpx(const std::string& path, const std::vector<uint8_t>& head, uint64_t length, const ReadBudget& budget) {
    const Reader r{head, head[0] == 'S'};
    if (!r.Has(0, 808)) Refuse(path, "the file is truncated: a DPX header is 2048 bytes, the file has " + std::to_string(length));
    const uint32_t data = r.U32(4), user = r.U32(32);
    if (user != 0xFFFFFFFFu && user > length) {
        Refuse(path, "its header claims " + std::to_string(user) + " bytes of user data but the file has " +
                         std::to_string(length) + " bytes");
    }
    if (data > length) {
        Refuse(path, "the file is truncated: its header puts the pixels at byte " + std::to_string(data) +
                         " but the file has " + std::to_string(length) + " bytes");
    }
    const uint64_t w = r.U32(772), h = r.U32(776);
    CheckPixels(path, w, h, budget);
    const uint8_t descriptor = r.U8(800), bits = r.U8(803);
    const uint16_t packing = r.U16(804), encoding = r.U16(806);
    const int channels = DpxChannels(descriptor);
    const int sample_bytes = bits <= 8 ? 1 : bits <= 16 ? 2 : bits <= 32 ? 4 : 8;
    CheckMemory(path, w, h, channels, w * h * static_cast<uint64_t>(channels) * sample_bytes, budget);
    if (encoding != 0) return;  // run-length: held to the length by the ratio later
    const uint32_t offset = r.U32(808);
    const uint64_t from = offset != 0 && offset != 0xFFFFFFFFu ? offset : data;
    const uint64_t needed = RowBytes(w * static_cast<uint64_t>(channels), bits, packing == 0) * h;
    CheckHolds(path, length, from, needed, Size(w, h) + " pixels of " + std::to_string(channels) + " " +
                                               std::to_string(bits) + "-bit channels");
}

void CheckCineon(const std::string& path, const std::vector<uint8_t>& head, uint64_t length,
                 const ReadBudget& budget) {
    const Reader r{head, head[0] == 0x80};
    if (!r.Has(0, 1024)) Refuse(path, "the file is truncated: a Cineon header is 1024 bytes, the file has " + std::to_string(length));
    const uint32_t data = r.U32(4), user = r.U32(16);
    if (user != 0xFFFFFFFFu && user > length) {
        Refuse(path, "its header claims " + std::to_string(user) + " bytes of user data but the file has " +
                         std::to_string(length) + " bytes");
    }
    const int channels = std::max<int>(1, std::min<int>(8, r.U8(193)));
    const int bits = r.U8(198);
    const uint64_t w = r.U32(200), h = r.U32(204);
    CheckPixels(path, w, h, budget);
    CheckMemory(path, w, h, channels, w * h * static_cast<uint64_t>(channels) * (bits <= 8 ? 1 : 2), budget);
    const uint8_t packing = r.U8(681);
    // Packing 0 runs the bits together; 5 and 6 fill 32-bit words as DPX does.
    const uint64_t needed = RowBytes(w * static_cast<uint64_t>(channels), bits, packing == 0) * h;
    CheckHolds(path, length, data, needed, Size(w, h) + " pixels of " + std::to_string(channels) + " " +
                                               std::to_string(bits) + "-bit channels");
}

// OpenEXR: every attribute's claimed size within the file, and the data window within the budget.
void CheckExr(const std::string& path, const std::vector<uint8_t>& head, uint64_t length, const ReadBudget& budget) {
    const Reader r{head, false};
    const bool multipart = (r.U32(4) & 0x1000) != 0;
    uint64_t w = 0, h = 0, pixel_bytes = 0;
    int channels = 0;
    size_t at = 8;
    for (int part = 0; part < 64 && r.Has(at, 1); ++part) {
        if (head[at] == 0) break;  // the empty header that ends a multi-part file's headers
        while (r.Has(at, 1) && head[at] != 0) {
            const auto name_end = std::find(head.begin() + static_cast<long>(at), head.end(), 0);
            if (name_end == head.end()) return;
            const auto type_end = std::find(name_end + 1, head.end(), 0);
            if (type_end == head.end()) return;
            const std::string name(head.begin() + static_cast<long>(at), name_end);
            const std::string type(name_end + 1, type_end);
            const size_t size_at = static_cast<size_t>(type_end - head.begin()) + 1;
            const uint64_t size = r.U32(size_at);
            if (size_at + 4 + size > length) {
                Refuse(path, "the file is truncated: its header claims an attribute '" + name + "' of " +
                                 std::to_string(size) + " bytes but the file has " + std::to_string(length) + " bytes");
            }
            if (name == "dataWindow" && type == "box2i" && size == 16 && r.Has(size_at + 4, 16)) {
                const int64_t x0 = static_cast<int32_t>(r.U32(size_at + 4)), y0 = static_cast<int32_t>(r.U32(size_at + 8));
                const int64_t x1 = static_cast<int32_t>(r.U32(size_at + 12)), y1 = static_cast<int32_t>(r.U32(size_at + 16));
                if (x1 >= x0 && y1 >= y0) {
                    w = static_cast<uint64_t>(x1 - x0 + 1), h = static_cast<uint64_t>(y1 - y0 + 1);
                    CheckPixels(path, w, h, budget);
                }
            }
            if (name == "channels" && type == "chlist" && part == 0) {
                // Each: a name, its type (0 uint, 1 half, 2 float), linearity, three spare bytes, sampling.
                for (size_t c = size_at + 4; r.Has(c, 1) && head[c] != 0 && c < size_at + 4 + size;) {
                    const auto end = std::find(head.begin() + static_cast<long>(c), head.end(), 0);
                    c = static_cast<size_t>(end - head.begin()) + 1;
                    pixel_bytes += r.U32(c) == 1 ? 2 : 4;
                    ++channels;
                    c += 16;
                }
            }
            at = size_at + 4 + size;
        }
        ++at;
        if (!multipart) break;
    }
    const uint64_t bytes = w * h * pixel_bytes;
    CheckMemory(path, w, h, channels, bytes, budget);
    if (bytes > kFreeBytes && bytes > length * kMaxUnpacking) {
        Refuse(path, "the file is truncated: its header claims " + Size(w, h) + " pixels of " + Channels(channels) +
                         " (" + ByteSizeText(bytes) + ") but an OpenEXR file of " + std::to_string(length) +
                         " bytes holds at most " + ByteSizeText(length * kMaxUnpacking));
    }
}

// GIF: the reader unpacks the whole picture as it opens, four bytes a pixel.
void CheckGif(const std::string& path, const std::vector<uint8_t>& head, uint64_t length, const ReadBudget& budget) {
    const Reader r{head, false};
    const uint64_t w = r.U16(6), h = r.U16(8);
    CheckPixels(path, w, h, budget);
    CheckMemory(path, w, h, 4, w * h * 4, budget);
    if (w * h * 4 > kFreeBytes && w * h > length * kMaxUnpacking) {
        Refuse(path, "the file is truncated: its header claims " + Size(w, h) + " pixels (" + ByteSizeText(w * h * 4) +
                         ") but a GIF file of " + std::to_string(length) + " bytes holds at most " +
                         ByteSizeText(length * kMaxUnpacking) + " of them");
    }
}

// Formats whose pixels are stored plain: a file shorter than its pixels is cut.
bool StoredPlain(const std::string& format) {
    return format == "dpx" || format == "cineon" || format == "fits" || format == "pnm";
}

// Where a PNM or FITS file's pixels start; 0 when not found (DPX and Cineon
// are held to their own offsets before the library opens them).
uint64_t PlainHeaderLength(const std::string& path, const std::string& format) {
    const std::vector<uint8_t> head = Head(path, 1 << 16);
    if (format == "pnm" && head.size() > 2 && head[0] == 'P') {
        // Magic, then width, height and (but for bitmaps) the largest value, then one white space.
        const int numbers = head[1] == '1' || head[1] == '4' ? 2 : 3;
        size_t at = 2;
        for (int n = 0; n < numbers; ++n) {
            while (at < head.size() && (std::isspace(head[at]) || head[at] == '#')) {
                if (head[at] == '#') {
                    while (at < head.size() && head[at] != '\n') ++at;
                } else {
                    ++at;
                }
            }
            while (at < head.size() && std::isdigit(head[at])) ++at;
        }
        return at + 1 <= head.size() ? at + 1 : 0;
    }
    if (format == "fits") {
        for (size_t card = 0; card + 80 <= head.size(); card += 80) {
            if (std::memcmp(head.data() + card, "END     ", 8) == 0) return (card + 80 + 2879) / 2880 * 2880;
        }
    }
    return 0;
}

// How many bytes of pixels a compressed file of its format and length can hold, at most.
uint64_t MostHeld(const std::string& format, uint64_t length) {
    if (format == "bmp" || format == "targa" || format == "sgi" || format == "hdr" || format == "psd") {
        return length * kMaxRunLength;
    }
    return length * kMaxUnpacking;
}

}  // namespace

void ApplyLibraryLimits(const ReadBudget& budget) {
    const uint64_t mb = std::min<uint64_t>((budget.max_memory + (1 << 20) - 1) >> 20, 1u << 30);
    OIIO::attribute("limits:imagesize_MB", static_cast<int>(mb));
}

void CheckRawHeader(const std::string& path, const ReadBudget& budget) {
    const uint64_t length = FileLength(path);
    // Enough for DPX and Cineon; an OpenEXR header's attributes may run longer.
    std::vector<uint8_t> head = Head(path, 4096);
    if (head.size() == 4096 && std::memcmp(head.data(), "\x76\x2f\x31\x01", 4) == 0) head = Head(path, 1 << 20);
    const auto starts = [&](const char* magic) {
        return head.size() >= 4 && std::memcmp(head.data(), magic, 4) == 0;
    };
    if (starts("SDPX") || starts("XPDS")) CheckDpx(path, head, length, budget);
    if (starts("\x80\x2a\x5f\xd7") || starts("\xd7\x5f\x2a\x80")) CheckCineon(path, head, length, budget);
    if (starts("\x76\x2f\x31\x01")) CheckExr(path, head, length, budget);
    if (starts("GIF8")) CheckGif(path, head, length, budget);
}

void CheckClaims(const std::string& path, const std::string& format, const OIIO::ImageSpec& spec,
                 const ReadBudget& budget) {
    const uint64_t w = static_cast<uint64_t>(spec.width), h = static_cast<uint64_t>(spec.height);
    CheckPixels(path, w, h, budget);
    const uint64_t bytes = spec.image_bytes();
    CheckMemory(path, w, h, spec.nchannels, bytes, budget);
    const uint64_t length = FileLength(path);
    if (StoredPlain(format)) {
        // At their stored depth (1-bit PBM, 10-bit DPX): the least they take.
        const uint64_t bits = static_cast<uint64_t>(spec.get_int_attribute("oiio:BitsPerSample", 0));
        const uint64_t plain = bits ? (w * h * static_cast<uint64_t>(spec.nchannels) * bits + 7) / 8 : bytes;
        const uint64_t from = PlainHeaderLength(path, format);
        if (from + plain > length) {
            Refuse(path, "the file is truncated: its header claims " + Size(w, h) + " pixels of " +
                             Channels(spec.nchannels) + " (" + std::to_string(plain) + " bytes from byte " +
                             std::to_string(from) + ") but the file has " + std::to_string(length) + " bytes");
        }
        return;
    }
    const uint64_t held = MostHeld(format, length);
    if (bytes > kFreeBytes && bytes > held) {
        Refuse(path, "the file is truncated: its header claims " + Size(w, h) + " pixels of " +
                         Channels(spec.nchannels) + " (" + ByteSizeText(bytes) + ") but a " + FormatLabel(format) +
                         " file of " + std::to_string(length) + " bytes holds at most " + ByteSizeText(held));
    }
}

}  // namespace vimaging
