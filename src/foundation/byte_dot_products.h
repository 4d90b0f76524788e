#pragma once

#include <cstdint>

#include "foundation/int16_rows.h"

namespace orvane::detail {

/// Whether ByteDotProducts can take these rows: every value of both within +-127 and rows
/// short enough that no 8-bit sum leaves int32.
bool ByteDotProductsFit(const Int16Rows& a, const Int16Rows& b);

/// Int16DotProducts for rows that ByteDotProductsFit, with AVX-512 VNNI's 8-bit products
/// (vpdpbusd: four multiply-adds a 32-bit lane, twice the 16-bit rate). The processor must
/// offer AVX-512 F, BW and VNNI.
void ByteDotProducts(const Int16Rows& a, std::uint32_t m, const Int16Rows& b, std::uint32_t n,
                     std::int32_t* c);

}  // namespace orvane::detail
