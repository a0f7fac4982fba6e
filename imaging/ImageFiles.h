// Inside the image library: what reading and writing files through
// OpenImageIO share: the one line a user is told when a library fails, the
// type OpenImageIO is asked for, and the bands of rows a frame moves in.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <type_traits>

#include <OpenImageIO/imageio.h>

namespace vimaging {

std::string Quoted(const std::string& path);

// Decoders report a file cut short in many words, some only as a warning.
bool MentionsMissingData(const std::string& text);
// One line for the user from what OpenImageIO and the libraries under it said.
std::string Reason(const std::string& error, const std::string& printed = "");

// A label for a format, also one not in the table ("GIF", "WebP").
std::string FormatLabel(const std::string& name);

template <class S>
OIIO::TypeDesc DescOf() {
    return std::is_same_v<S, uint8_t> ? OIIO::TypeDesc::UINT8
           : std::is_same_v<S, uint16_t> ? OIIO::TypeDesc::UINT16
                                         : OIIO::TypeDesc::FLOAT;
}

// Rows per band read or written at once: about 4 MB, so a frame is never held twice.
int BandRows(int width, int channels, size_t sample_bytes, int height);

}  // namespace vimaging
