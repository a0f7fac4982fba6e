// Names of image sequences and the frames to render: a frame number in a file
// name written as printf and ffmpeg write it (%04d, %d) or as a run of #, one
// per digit (shot.####.exr); and --frames lists such as 1-10,21-30.
#pragma once

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace vclip {

class FramePattern {
public:
    // The pattern in `path`'s file name, or nothing when it names one file.
    // Throws vsupport::InputError starting with `what` for two patterns in one name, a
    // pattern in a folder name, or a width printf pads with spaces.
    static std::optional<FramePattern> Parse(const std::string& path, const std::string& what);

    // The file of one frame: at least as many digits as the pattern's width, zeros in front.
    std::string Path(long frame) const;
    // The pattern as the user wrote it.
    const std::string& Text() const { return text_; }
    // Every frame whose file exists in the pattern's folder, in order. Names
    // the pattern would not write (other padding) are not frames of it.
    // Throws vsupport::InputError naming the folder when it cannot be listed. `poll`,
    // when given, is called every few thousand names (it may throw to stop).
    std::vector<long> FramesOnDisk(const std::function<void()>& poll = nullptr) const;

private:
    std::string text_;
    std::string folder_;  // "" for the working folder, else ending in '/'
    std::string prefix_, suffix_;
    int width_ = 1;
};

// The largest frame number a pattern, --frames or a key may name.
constexpr long kMaxFrameNumber = 999999999;
// More frames than a day of 60 fps video is a typing mistake, not a clip.
constexpr long kMaxClipFrames = 10000000;

struct FrameRange {
    long first = 0, last = 0;  // both included
};

// Frames in order as runs of consecutive numbers, so that a list of ten
// million frames costs a few bytes and is planned at once.
class FrameList {
public:
    FrameList() = default;
    // Ranges in order, apart; adjacent ones are joined.
    explicit FrameList(const std::vector<FrameRange>& ranges);
    // Frames in order, none twice.
    static FrameList Of(const std::vector<long>& frames);

    size_t Size() const { return starts_.empty() ? 0 : starts_.back(); }
    bool Empty() const { return ranges_.empty(); }
    long Front() const { return ranges_.front().first; }
    long Back() const { return ranges_.back().last; }
    // The frame at `index`, 0 <= index < Size().
    long At(size_t index) const;
    bool Contains(long frame) const;
    // The frames of this list that are not in `other`.
    FrameList Without(const FrameList& other) const;
    const std::vector<FrameRange>& Ranges() const { return ranges_; }
    // "1-7, 9, 11-20".
    std::string Describe() const;

private:
    std::vector<FrameRange> ranges_;
    std::vector<size_t> starts_;  // frames before each range and after the last: Size()
};

// Frames of a list such as "1-10,21-30" or "7". Throws vsupport::InputError naming
// `option` for anything else: a range that runs backwards, frames named
// twice, numbers beyond kMaxFrameNumber, more than kMaxClipFrames frames.
FrameList ParseFrames(const std::string& text, const std::string& option);
// The same, frame by frame.
std::vector<long> ParseFrameList(const std::string& text, const std::string& option);

// "1-7, 9, 11-20": sorted frames as ranges.
std::string DescribeFrames(const std::vector<long>& frames);

}  // namespace vclip
