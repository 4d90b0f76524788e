#pragma once

#include <cstddef>
#include <cstdint>

#include "foundation/result_code.h"

namespace orvane::fuzz {

/// Treats `data` as a config.ini file: the profile reader looks every key of the three
/// sections up as integer and as text, the parameter loader reads the file and
/// CheckParameters judges the record, after the PCA and the ICA method have been applied to
/// copies. Returns CheckParameters' code for the record as loaded (0 when it would encode).
/// Whatever the bytes, it must return: no crash, hang or unbounded allocation.
ResultCode ReadConfigBytes(const std::uint8_t* data, std::size_t size);

}  // namespace orvane::fuzz
