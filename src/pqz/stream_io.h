#pragma once

#include <cstdint>
#include <cstdio>
#include <optional>
#include <vector>

#include "foundation/result_code.h"

namespace orvane {

/// Reads exactly `length` bytes into `bytes` (replacing its contents). The buffer grows in
/// steps as data arrives, so a length taken from a corrupt file costs memory only for the
/// bytes the file really holds. 14 when the file ends early, 7 when memory cannot be had.
ResultCode ReadBytes(std::FILE* file, std::uint64_t length, std::vector<std::uint8_t>& bytes);

/// Writes `length` bytes; 15 on a short write.
ResultCode WriteBytes(std::FILE* file, const std::uint8_t* data, std::size_t length);

/// Reads up to `length` bytes at `offset` of an open descriptor without moving its file
/// position (pread, retried when interrupted or short). Returns the bytes read: fewer at the
/// end of the file or on an error.
std::size_t ReadFullyAt(int descriptor, std::uint64_t offset, std::uint8_t* bytes,
                        std::size_t length);

/// Total length of the file behind a seekable stream, the read position left as it was;
/// nothing for pipes and other streams that cannot seek.
std::optional<std::uint64_t> StreamLength(std::FILE* file);

}  // namespace orvane
