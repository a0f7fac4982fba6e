// Inside the image library: a file's header claims held to the read budget
// and to the file's own length, so a refusal costs nothing the header asks for.
#pragma once

#include <cstdint>
#include <string>

#include <OpenImageIO/imageio.h>

#include "imaging/ReadBudget.h"

namespace vimaging {

// Before the image library sees the file: DPX, Cineon and OpenEXR headers
// read here (their readers allocate what the header claims as they open).
// Throws InputError naming the file, the claim and the limit it passes.
void CheckRawHeader(const std::string& path, const ReadBudget& budget);

// After the library has read the header, before any pixels: the picture's
// pixels and memory against the budget, and the file's length against what a
// file of its format needs to hold them.
void CheckClaims(const std::string& path, const std::string& format, const OIIO::ImageSpec& spec,
                 const ReadBudget& budget);

// Hands the budget to the image library's own limits.
void ApplyLibraryLimits(const ReadBudget& budget);

}  // namespace vimaging
