#include "pqz/stream_io.h"

#include <algorithm>
#include <cerrno>
#include <new>
#include <stdexcept>

#include <unistd.h>

namespace orvane {
namespace {

constexpr std::size_t kChunk = 65536;

}  // namespace

ResultCode ReadBytes(std::FILE* file, std::uint64_t length, std::vector<std::uint8_t>& bytes) {
  bytes.clear();
  try {
    std::uint64_t done = 0;
    while (done < length) {
      const std::size_t step =
          static_cast<std::size_t>(std::min<std::uint64_t>(kChunk, length - done));
      bytes.resize(static_cast<std::size_t>(done) + step);
      const std::size_t got = std::fread(bytes.data() + done, 1, step, file);
      done += got;
      if (got != step) return kReadFailed;
    }
  } catch (const std::bad_alloc&) {
    return kNoMemory;
  } catch (const std::length_error&) {
    return kNoMemory;
  }
  return kSuccess;
}

ResultCode WriteBytes(std::FILE* file, const std::uint8_t* data, std::size_t length) {
  if (length == 0) return kSuccess;
  return std::fwrite(data, 1, length, file) == length ? kSuccess : kWriteFailed;
}

std::size_t ReadFullyAt(int descriptor, std::uint64_t offset, std::uint8_t* bytes,
                        std::size_t length) {
  std::size_t done = 0;
  while (done < length) {
    const ssize_t got =
        ::pread(descriptor, bytes + done, length - done, static_cast<off_t>(offset + done));
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) break;
    done += static_cast<std::size_t>(got);
  }
  return done;
}

std::optional<std::uint64_t> StreamLength(std::FILE* file) {
  const long here = std::ftell(file);
  if (here < 0) return std::nullopt;
  if (std::fseek(file, 0, SEEK_END) != 0) return std::nullopt;
  const long end = std::ftell(file);
  if (std::fseek(file, here, SEEK_SET) != 0 || end < 0) return std::nullopt;
  return static_cast<std::uint64_t>(end);
}

}  // namespace orvane
