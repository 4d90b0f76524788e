// libFuzzer target: arbitrary bytes as config.ini through the profile reader, the parameter
// loader and the parameter checks.
#include <cstddef>
#include <cstdint>

#include "config_ini_entry.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  orvane::fuzz::ReadConfigBytes(data, size);
  return 0;
}
