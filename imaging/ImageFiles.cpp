#include "imaging/ImageFiles.h"

#include <algorithm>
#include <cctype>

#include "imaging/Formats.h"
#include "imaging/LibraryMessages.h"
#include "support/Text.h"

namespace vimaging {

namespace {

// Data that is there but wrong, which decoders also call a "read error".
bool MentionsCorruptData(const std::string& text) {
    const std::string lower = vtext::Lower(text);
    for (const char* corrupt : {"invalid", "incorrect", "crc", "corrupt", "damaged", "bad huffman"}) {
        if (lower.find(corrupt) != std::string::npos) return true;
    }
    return false;
}

}  // namespace

std::string Quoted(const std::string& path) { return "'" + path + "'"; }

bool MentionsMissingData(const std::string& text) {
    const std::string lower = vtext::Lower(text);
    for (const char* missing : {"end of file", "premature end", "unexpected end", "read error", "truncat",
                                "not enough data", "short read"}) {
        if (lower.find(missing) != std::string::npos) return true;
    }
    return false;
}

std::string Reason(const std::string& error, const std::string& printed) {
    if (MentionsCorruptData(error + "\n" + printed)) {
        const std::string line = FirstLine(error).empty() ? FirstLine(printed) : FirstLine(error);
        return "the file is corrupt (" + line + ")";
    }
    if (MentionsMissingData(error + "\n" + printed)) return "the file is truncated (its image data ends early)";
    for (const std::string& text : {error, printed}) {
        std::string line = FirstLine(text);
        if (!line.empty()) return line;
    }
    return "unknown error";
}

std::string FormatLabel(const std::string& name) {
    if (const OutputFormat* format = FindOutputFormat(name)) return format->label;
    if (name == "webp") return "WebP";
    if (name == "heif") return "HEIC";
    if (name == "openexr") return "OpenEXR";
    std::string label = name;
    for (char& c : label) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return label;
}

int BandRows(int width, int channels, size_t sample_bytes, int height) {
    const size_t row = std::max<size_t>(1, static_cast<size_t>(width) * static_cast<size_t>(channels) * sample_bytes);
    return static_cast<int>(std::clamp<size_t>((size_t{4} << 20) / row, 1, static_cast<size_t>(height)));
}

}  // namespace vimaging
