// Reads a fuzz input front to back; past its end every byte is 0, so any
// input, the empty one included, decodes to something.
#pragma once

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <limits>
#include <string>

namespace vfuzz {

class Bytes {
public:
    Bytes(const uint8_t* data, size_t size) : data_(data), size_(size) {}

    uint8_t Byte() { return pos_ < size_ ? data_[pos_++] : 0; }
    uint16_t Short() {
        const uint16_t lo = Byte();
        return static_cast<uint16_t>(lo | (Byte() << 8));
    }
    uint32_t Word() {
        const uint32_t lo = Short();
        return lo | (static_cast<uint32_t>(Short()) << 16);
    }
    bool Empty() const { return pos_ >= size_; }

    // A double a careless caller might pass: mostly the awkward ones (NaN,
    // infinities, denormals, huge, just outside 0..1), else any bit pattern.
    double Double() {
        static const double kAwkward[] = {
            0.0, -0.0, 1.0, 0.5, -1.0, 2.0, 1e-300, std::numeric_limits<double>::denorm_min(),
            -std::numeric_limits<double>::denorm_min(), std::numeric_limits<double>::quiet_NaN(),
            -std::numeric_limits<double>::quiet_NaN(), std::numeric_limits<double>::infinity(),
            -std::numeric_limits<double>::infinity(), std::numeric_limits<double>::max(),
            std::numeric_limits<double>::lowest(), 1.0000000000000002, -1e-17, 0.9999999999999999, 1e9, 4294967296.0};
        constexpr unsigned kCount = sizeof(kAwkward) / sizeof(kAwkward[0]);
        const uint8_t how = Byte();
        if (how < 128) return kAwkward[how % kCount];
        if (how < 224) return Byte() / 255.0;
        uint64_t bits = 0;
        for (int i = 0; i < 8; ++i) bits |= static_cast<uint64_t>(Byte()) << (8 * i);
        double v;
        std::memcpy(&v, &bits, sizeof v);
        return v;
    }

    // The bytes up to the next `stop` (not included), or to the end.
    std::string Until(char stop) {
        std::string out;
        while (pos_ < size_ && data_[pos_] != static_cast<uint8_t>(stop)) out.push_back(static_cast<char>(data_[pos_++]));
        if (pos_ < size_) ++pos_;
        return out;
    }
    // Everything not read yet.
    std::string Rest() {
        std::string out(reinterpret_cast<const char*>(data_) + pos_, size_ - pos_);
        pos_ = size_;
        return out;
    }

private:
    const uint8_t* data_;
    size_t size_;
    size_t pos_ = 0;
};

template <class T, size_t N>
const T& Pick(const T (&table)[N], unsigned index) {
    return table[index % N];
}

}  // namespace vfuzz
