// What reading one image file may cost: a limit on the picture's pixels and on
// the memory its samples take, checked against what the file's header claims
// before the image library allocates any of it. A 2 KB header must not cost
// gigabytes: the library allocates what headers claim, so headers whose readers
// allocate first (DPX, Cineon, OpenEXR) are read here before the library opens
// them, and every file's length is held against the pixels it claims.
#pragma once

#include <cstdint>
#include <string>

namespace vimaging {

struct ReadBudget {
    // 16384x16384: a 16K frame opens.
    uint64_t max_pixels = uint64_t{1} << 28;
    // Samples at the file's own depth: a 16K RGBA frame of floats (4 GiB) opens.
    uint64_t max_memory = uint64_t{4} << 30;
};

// The budget every read is held to: as set, else from VELLORA_MAX_PIXELS and
// VELLORA_MAX_MEMORY, else the defaults. Throws InputError naming a variable
// whose value is not a count or size.
ReadBudget CurrentReadBudget();
void SetReadBudget(const ReadBudget& budget);

// "2 GiB", "700 MiB", "512 bytes": a size for people.
std::string ByteSizeText(uint64_t bytes);

}  // namespace vimaging
