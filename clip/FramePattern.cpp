#include "clip/FramePattern.h"

#include <dirent.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <memory>

#include "parse/Parse.h"
#include "support/InputError.h"

namespace vclip {
using vparse::Trim;

namespace {

using vsupport::InputError;

bool IsDigit(char c) { return std::isdigit(static_cast<unsigned char>(c)) != 0; }

// One frame-number pattern found in a name: where it starts, how long it is
// written, and its width.
struct Found {
    size_t at = 0;
    size_t length = 0;
    int width = 1;
};

// Every pattern in `name`; "%%" is a literal '%', and so is a '%' that starts no pattern.
std::vector<Found> FindPatterns(const std::string& name, const std::string& what, const std::string& path) {
    std::vector<Found> found;
    for (size_t i = 0; i < name.size(); ++i) {
        if (name[i] == '#') {
            size_t end = i;
            while (end < name.size() && name[end] == '#') ++end;
            // As for %0Nd: frame numbers have at most 9 digits, and a wider
            // name would never be listed as a frame on disk.
            if (end - i > 9) {
                throw InputError(what + " '" + path + "': " + std::to_string(end - i) +
                                 " #s is not a frame width from 1 to 9 digits");
            }
            found.push_back({i, end - i, static_cast<int>(end - i)});
            i = end - 1;
        } else if (name[i] == '%') {
            if (i + 1 < name.size() && name[i + 1] == '%') {
                ++i;
                continue;
            }
            size_t j = i + 1;
            const bool zero = j < name.size() && name[j] == '0';
            while (j < name.size() && IsDigit(name[j])) ++j;
            if (j >= name.size() || name[j] != 'd') continue;  // a plain '%' in a name
            const std::string digits = name.substr(i + 1 + (zero ? 1 : 0), j - i - 1 - (zero ? 1 : 0));
            if (!digits.empty() && !zero) {
                throw InputError(what + " '" + path + "': " + name.substr(i, j - i + 1) +
                                 " pads frame numbers with spaces; write %0" + digits + "d for zeros");
            }
            const int width = digits.empty() ? 1 : std::stoi(digits.substr(0, 3));
            if (width < 1 || width > 9) {
                throw InputError(what + " '" + path + "': " + name.substr(i, j - i + 1) +
                                 " is not a frame width from 1 to 9 digits");
            }
            found.push_back({i, j - i + 1, width});
            i = j;
        }
    }
    return found;
}

// The text of a name with "%%" as "%", as printf writes it.
std::string Literal(const std::string& text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        out += text[i];
        if (text[i] == '%' && i + 1 < text.size() && text[i + 1] == '%') ++i;
    }
    return out;
}

long ParseFrameNumber(const std::string& text, const std::string& option, const std::string& list) {
    if (text.empty() || text.size() > 9 || !std::all_of(text.begin(), text.end(), IsDigit)) {
        throw InputError(option + " '" + list + "': '" + text + "' is not a frame number (0 to " +
                         std::to_string(kMaxFrameNumber) + ")");
    }
    return std::stol(text);
}

}  // namespace

std::optional<FramePattern> FramePattern::Parse(const std::string& path, const std::string& what) {
    const size_t slash = path.rfind('/');
    const std::string folder = slash == std::string::npos ? "" : path.substr(0, slash + 1);
    const std::string name = path.substr(folder.size());
    const std::vector<Found> in_name = FindPatterns(name, what, path);
    if (in_name.empty()) {
        if (!FindPatterns(folder, what, path).empty()) {
            throw InputError(what + " '" + path + "': a frame number goes in the file name, not in a folder's");
        }
        return std::nullopt;
    }
    if (in_name.size() > 1) {
        throw InputError(what + " '" + path + "' holds " + std::to_string(in_name.size()) +
                         " frame-number patterns; a sequence's names have one");
    }
    if (!FindPatterns(folder, what, path).empty()) {
        throw InputError(what + " '" + path + "': a frame number goes in the file name, not in a folder's");
    }
    FramePattern pattern;
    pattern.text_ = path;
    pattern.folder_ = folder;
    pattern.prefix_ = Literal(name.substr(0, in_name[0].at));
    pattern.suffix_ = Literal(name.substr(in_name[0].at + in_name[0].length));
    pattern.width_ = in_name[0].width;
    return pattern;
}

std::string FramePattern::Path(long frame) const {
    std::string digits = std::to_string(frame);
    if (static_cast<int>(digits.size()) < width_) digits.insert(0, static_cast<size_t>(width_) - digits.size(), '0');
    return folder_ + prefix_ + digits + suffix_;
}

std::vector<long> FramePattern::FramesOnDisk(const std::function<void()>& poll) const {
    const std::string folder = folder_.empty() ? "." : folder_;
    std::unique_ptr<DIR, int (*)(DIR*)> dir(::opendir(folder.c_str()), &::closedir);
    if (!dir) {
        throw InputError("cannot list the frames of '" + text_ + "': folder '" + folder + "': " + std::strerror(errno));
    }
    std::vector<long> frames;
    size_t seen = 0;
    while (const dirent* entry = ::readdir(dir.get())) {
        if (poll && ++seen % 4096 == 0) poll();
        const std::string name = entry->d_name;
        if (name.size() <= prefix_.size() + suffix_.size() || name.compare(0, prefix_.size(), prefix_) != 0 ||
            name.compare(name.size() - suffix_.size(), suffix_.size(), suffix_) != 0) {
            continue;
        }
        const std::string digits = name.substr(prefix_.size(), name.size() - prefix_.size() - suffix_.size());
        if (digits.size() > 9 || !std::all_of(digits.begin(), digits.end(), IsDigit)) continue;
        const long frame = std::stol(digits);
        // Only the name the pattern writes for that number: shot.01.exr is not frame 1 of shot.###.exr.
        if (Path(frame) == folder_ + name) frames.push_back(frame);
    }
    std::sort(frames.begin(), frames.end());
    return frames;
}

FrameList::FrameList(const std::vector<FrameRange>& ranges) {
    size_t count = 0;
    for (const FrameRange& r : ranges) {
        if (!ranges_.empty() && ranges_.back().last + 1 == r.first) {
            ranges_.back().last = r.last;
        } else {
            ranges_.push_back(r);
            starts_.push_back(count);
        }
        count += static_cast<size_t>(r.last - r.first + 1);
    }
    if (!ranges_.empty()) starts_.push_back(count);
}

FrameList FrameList::Of(const std::vector<long>& frames) {
    std::vector<FrameRange> ranges;
    for (long f : frames) {
        if (!ranges.empty() && ranges.back().last + 1 == f) {
            ranges.back().last = f;
        } else {
            ranges.push_back({f, f});
        }
    }
    return FrameList(ranges);
}

long FrameList::At(size_t index) const {
    // The last range starting at or before `index`.
    const auto after = std::upper_bound(starts_.begin(), starts_.end() - 1, index);
    const size_t r = static_cast<size_t>(after - starts_.begin()) - 1;
    return ranges_[r].first + static_cast<long>(index - starts_[r]);
}

bool FrameList::Contains(long frame) const {
    const auto after = std::upper_bound(ranges_.begin(), ranges_.end(), frame,
                                        [](long f, const FrameRange& r) { return f < r.first; });
    return after != ranges_.begin() && frame <= (after - 1)->last;
}

FrameList FrameList::Without(const FrameList& other) const {
    std::vector<FrameRange> left;
    auto cut = other.ranges_.begin();
    for (FrameRange r : ranges_) {
        while (cut != other.ranges_.end() && cut->last < r.first) ++cut;
        for (auto c = cut; c != other.ranges_.end() && c->first <= r.last; ++c) {
            if (c->first > r.first) left.push_back({r.first, c->first - 1});
            r.first = c->last + 1;
            if (r.first > r.last) break;
        }
        if (r.first <= r.last) left.push_back(r);
    }
    return FrameList(left);
}

std::string FrameList::Describe() const {
    std::string text;
    for (const FrameRange& r : ranges_) {
        text += (text.empty() ? "" : ", ") + std::to_string(r.first);
        if (r.last > r.first) text += "-" + std::to_string(r.last);
    }
    return text;
}

FrameList ParseFrames(const std::string& text, const std::string& option) {
    std::vector<FrameRange> ranges;
    size_t count = 0;
    size_t start = 0;
    for (;;) {
        const size_t comma = text.find(',', start);
        const std::string item = Trim(text.substr(start, comma == std::string::npos ? std::string::npos
                                                                                         : comma - start));
        if (item.empty()) {
            throw InputError(option + " '" + text + "': expected frames such as 1-10 or 1-10,21-30");
        }
        const size_t dash = item.find('-');
        const long first = ParseFrameNumber(Trim(item.substr(0, dash)), option, text);
        const long last = dash == std::string::npos ? first : ParseFrameNumber(Trim(item.substr(dash + 1)), option, text);
        if (last < first) {
            throw InputError(option + " '" + text + "': range " + item + " runs backwards; write " +
                             std::to_string(last) + "-" + std::to_string(first));
        }
        count += static_cast<size_t>(last - first + 1);
        if (count > static_cast<size_t>(kMaxClipFrames)) {
            throw InputError(option + " '" + text + "' names more than " + std::to_string(kMaxClipFrames) +
                             " frames; split the clip");
        }
        ranges.push_back({first, last});
        if (comma == std::string::npos) break;
        start = comma + 1;
    }
    std::sort(ranges.begin(), ranges.end(), [](const FrameRange& a, const FrameRange& b) { return a.first < b.first; });
    // Sorted by first frame, the first range that starts inside an earlier one starts at the lowest frame named twice.
    for (size_t i = 1; i < ranges.size(); ++i) {
        if (ranges[i].first <= ranges[i - 1].last) {
            throw InputError(option + " '" + text + "': frame " + std::to_string(ranges[i].first) +
                             " is in two ranges");
        }
    }
    return FrameList(ranges);
}

std::vector<long> ParseFrameList(const std::string& text, const std::string& option) {
    const FrameList list = ParseFrames(text, option);
    std::vector<long> frames;
    frames.reserve(list.Size());
    for (const FrameRange& r : list.Ranges()) {
        for (long f = r.first; f <= r.last; ++f) frames.push_back(f);
    }
    return frames;
}

std::string DescribeFrames(const std::vector<long>& frames) {
    std::string text;
    for (size_t i = 0; i < frames.size();) {
        size_t j = i;
        while (j + 1 < frames.size() && frames[j + 1] == frames[j] + 1) ++j;
        text += (text.empty() ? "" : ", ") + std::to_string(frames[i]);
        if (j > i) text += "-" + std::to_string(frames[j]);
        i = j + 1;
    }
    return text;
}

}  // namespace vclip
