// libFuzzer target: arbitrary bytes as a PQZ file through header, Read and Expand.
#include <cstddef>
#include <cstdint>

#include "pqz_file_entry.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  orvane::fuzz::ReadPqzBytes(data, size);
  return 0;
}
