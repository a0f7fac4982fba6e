// Marks that let the overlay suites recognise the references they handed out.
#pragma once

#include <cstdint>

namespace voverlay {

const uint32_t kContextMagic = 0x566c4378;   // 'VlCx'
const uint32_t kDrawRefMagic = 0x566c4472;   // 'VlDr'
const uint32_t kSupplierMagic = 0x566c5370;  // 'VlSp'
const uint32_t kSurfaceMagic = 0x566c5366;   // 'VlSf'
const uint32_t kPenMagic = 0x566c506e;       // 'VlPn'
const uint32_t kPathMagic = 0x566c5074;      // 'VlPt'

}  // namespace voverlay
