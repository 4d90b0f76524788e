#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace orvane::fuzz {

/// Writes `data` to a file of this process's own (in /dev/shm when it exists, so that no disk
/// is touched, else in the temporary folder) named `name`, replacing what the last input left,
/// and returns its path; empty when the file cannot be written. The readers under test take
/// file names, not buffers.
std::string WriteInputFile(const std::uint8_t* data, std::size_t size, const std::string& name);

}  // namespace orvane::fuzz
