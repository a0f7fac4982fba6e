// The ellipse's band for 16-bit results, a row at a time. A pixel callback
// settles one pixel on its own, one dependent chain at a time, and each pixel
// its bounds leave open (about 3%) costs some 70 ns rather than the exact
// path's 11: the processor guessed the other way and drops every pixel in
// flight. So the first callback that reaches a row's band computes the whole
// band of that row from the source layer's alphas: blocks of pixels settled
// at once in vector lanes, then the open ones in a loop of their own. The
// row's other callbacks copy their result.
//
// A result holds for the source alpha it was computed for, which is kept
// beside it: a callback whose pixel has another alpha (a host that handed
// other pixels than the source layer's) takes its own path. Rows are claimed
// through an atomic state, so on several threads each row is computed once
// and read only once complete; a callback that finds its row being computed
// takes its own path too.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "plugin/Vellora/Vellora.h"

enum : uint8_t { kBand16RowEmpty, kBand16RowBusy, kBand16RowReady };

struct VignetteBand16Rows {
    // The source layer's rows and how many of its rows and columns the rows cover.
    const char* source;  // null: no row results
    ptrdiff_t sourceRowBytes;
    A_long rowCount;
    A_long columnCount;
    // Row y's result for column x is results[origins[y] + x]: the 16-bit
    // result in the low half, the source alpha it is for in the high half.
    const int64_t* origins;
    uint32_t* results;
    std::atomic<uint8_t>* states;

    // Whether the row results cover pixel (x, y).
    bool Covers(A_long x, A_long y) const {
        return source && static_cast<A_u_long>(y) < static_cast<A_u_long>(rowCount) &&
               static_cast<A_u_long>(x) < static_cast<A_u_long>(columnCount);
    }
};

// Storage of a frame's row results, released with the frame's tables.
struct VignetteBand16RowStorage {
    std::vector<int64_t> origins;
    std::unique_ptr<uint32_t[]> results;  // not cleared: a row is written whole before it is read
    std::unique_ptr<std::atomic<uint8_t>[]> states;
};
