// Memory for results, kept for the next result of the same size. A 1080p
// float frame is 33 MB, over glibc's largest mmap threshold (32 MB), so every
// fresh result would be mapped anew and each of its pages faulted in and
// zeroed while the effect writes it: 3.6 ms, a quarter of that frame's render.
#pragma once

#include <cstddef>

namespace vpython {

// `bytes` of memory aligned to 64 bytes, on huge pages where the kernel
// allows (as NumPy asks for its own large arrays); an idle block of exactly
// that size when one is kept. Throws std::bad_alloc.
void* TakeResultMemory(size_t bytes);
// Gives a block back: the two blocks given back last are kept (up to 512 MB
// in all), older ones freed. Any thread.
void GiveResultMemory(void* block);

}  // namespace vpython
