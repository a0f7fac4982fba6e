#include "python/ResultMemory.h"

#include <sys/mman.h>

#include <cstdlib>
#include <mutex>
#include <new>
#include <vector>

namespace vpython {

namespace {

constexpr size_t kHeader = 64;  // the block's size, ahead of its data; keeps the data on a cache line
constexpr size_t kHuge = size_t{2} << 20;
constexpr size_t kKeptBlocks = 2;           // a clip's result in flight and the one just freed
constexpr size_t kKeptBytes = size_t{512} << 20;

struct Idle {
    std::mutex mutex;
    std::vector<void*> blocks;
    size_t bytes = 0;
};

// Never destroyed: arrays may be freed by the interpreter after static destructors ran.
Idle& Kept() {
    static Idle* idle = new Idle;
    return *idle;
}

size_t& SizeOf(void* block) { return *reinterpret_cast<size_t*>(static_cast<unsigned char*>(block) - kHeader); }

}  // namespace

void* TakeResultMemory(size_t bytes) {
    {
        Idle& idle = Kept();
        std::lock_guard<std::mutex> lock(idle.mutex);
        for (auto it = idle.blocks.begin(); it != idle.blocks.end(); ++it) {
            if (SizeOf(*it) != bytes) continue;
            void* block = *it;
            idle.blocks.erase(it);
            idle.bytes -= bytes;
            return block;
        }
    }
    const size_t whole = kHeader + bytes;
    const bool huge = whole >= kHuge;
    const size_t align = huge ? kHuge : kHeader;
    auto* base = static_cast<unsigned char*>(std::aligned_alloc(align, (whole + align - 1) / align * align));
    if (!base) throw std::bad_alloc();
    if (huge) madvise(base, (whole + align - 1) / align * align, MADV_HUGEPAGE);
    void* block = base + kHeader;
    SizeOf(block) = bytes;
    return block;
}

void GiveResultMemory(void* block) {
    if (!block) return;
    const size_t bytes = SizeOf(block);
    std::vector<void*> freed;
    if (bytes <= kKeptBytes) {
        // The newest is kept, the oldest let go: a script that moves on to
        // frames of another size keeps the memory of those.
        Idle& idle = Kept();
        std::lock_guard<std::mutex> lock(idle.mutex);
        while (!idle.blocks.empty() && (idle.blocks.size() >= kKeptBlocks || idle.bytes + bytes > kKeptBytes)) {
            freed.push_back(idle.blocks.front());
            idle.bytes -= SizeOf(idle.blocks.front());
            idle.blocks.erase(idle.blocks.begin());
        }
        idle.blocks.push_back(block);
        idle.bytes += bytes;
    } else {
        freed.push_back(block);
    }
    for (void* f : freed) std::free(static_cast<unsigned char*>(f) - kHeader);
}

}  // namespace vpython
