#include "pqz/bit_stream.h"

#include <algorithm>
#include <new>
#include <stdexcept>

#include "pqz/stream_io.h"

namespace orvane {

void BitStream::Clear() {
  if (m_loaded && m_buffer.size() == kGrowth) {
    // A loaded buffer of one step is kept for the next Load, cleared back to zeros: a
    // component that reads one small section after another then clears only the bytes the
    // last one held, not a whole step of them.
    std::fill_n(m_buffer.begin(), std::min(m_length, m_buffer.size()), std::uint8_t{0});
    m_spare.swap(m_buffer);
  }
  std::vector<std::uint8_t>().swap(m_buffer);
  m_loaded = false;
  m_length = 0;
  Rewind();
}

ResultCode BitStream::Reserve(std::size_t bytesAhead) {
  // Grow before the write could reach the end, always by whole 64 KiB steps of zeros: the
  // writer ORs bits into bytes it assumes to be zero.
  m_loaded = false;  // bytes past the loaded length may be written now
  if (m_byte + bytesAhead < m_buffer.size()) return kSuccess;
  try {
    std::size_t size = m_buffer.size();
    while (m_byte + bytesAhead >= size) size += kGrowth;
    m_buffer.resize(size, 0);
  } catch (const std::bad_alloc&) {
    return kNoMemory;
  } catch (const std::length_error&) {
    return kNoMemory;
  }
  return kSuccess;
}

ResultCode BitStream::Write(std::uint32_t value, int bits) {
  if (bits < 0 || bits > kMaxBits) return kInvalidValues;
  if (bits == 0) return kSuccess;
  // The eight bytes from the current one hold the bit position plus up to 32 bits: they are
  // ORed in as one big-endian word, the bytes past the written end being zero.
  if (const ResultCode code = Reserve(8); code != kSuccess) return code;
  if (bits < 32) value &= (std::uint32_t{1} << bits) - 1;
  std::uint64_t word;
  __builtin_memcpy(&word, m_buffer.data() + m_byte, sizeof word);
  word = __builtin_bswap64(word) | static_cast<std::uint64_t>(value) << (64 - m_bit - bits);
  word = __builtin_bswap64(word);
  __builtin_memcpy(m_buffer.data() + m_byte, &word, sizeof word);
  const std::size_t end = static_cast<std::size_t>(m_bit) + static_cast<std::size_t>(bits);
  m_byte += end >> 3;
  m_bit = static_cast<int>(end & 7);
  m_length = m_byte + (m_bit != 0 ? 1 : 0);
  return kSuccess;
}

ResultCode BitStream::Append(const BitStream& other) {
  const std::uint64_t bits = other.BitPosition();
  if (const ResultCode code = Reserve(static_cast<std::size_t>(bits / 8) + 8); code != kSuccess) {
    return code;
  }
  const std::uint8_t* from = other.m_buffer.data();
  const std::size_t words = static_cast<std::size_t>(bits / 32);
  for (std::size_t i = 0; i < words; ++i, from += 4) {
    const std::uint32_t word = std::uint32_t{from[0]} << 24 | std::uint32_t{from[1]} << 16 |
                               std::uint32_t{from[2]} << 8 | std::uint32_t{from[3]};
    if (const ResultCode code = Write(word, 32); code != kSuccess) return code;
  }
  for (int left = static_cast<int>(bits % 32); left > 0; left -= 8, ++from) {
    const int take = left < 8 ? left : 8;
    if (const ResultCode code = Write(*from >> (8 - take), take); code != kSuccess) return code;
  }
  return kSuccess;
}

ResultCode BitStream::ReadSlowly(int bits, std::uint32_t& value) {
  if (bits < 0 || bits > kMaxBits) return kInvalidValues;
  const std::uint64_t end = BitPosition() + static_cast<std::uint64_t>(bits);
  if (end > std::uint64_t{m_buffer.size()} * 8) return kOutOfRange;
  std::uint32_t out = 0;
  int left = bits;
  while (left > 0) {
    const int room = 8 - m_bit;
    const int take = std::min(room, left);
    const std::uint32_t chunk = (m_buffer[m_byte] >> (room - take)) & ((1u << take) - 1);
    out = (out << take) | chunk;  // take <= 8, so the shift is always defined
    left -= take;
    m_bit += take;
    if (m_bit == 8) {
      m_bit = 0;
      ++m_byte;
    }
  }
  value = out;
  return kSuccess;
}

ResultCode BitStream::Skip(std::uint64_t bits) {
  const std::uint64_t capacity = std::uint64_t{m_buffer.size()} * 8;
  if (bits > capacity - BitPosition()) return kOutOfRange;
  const std::uint64_t end = BitPosition() + bits;
  m_byte = static_cast<std::size_t>(end / 8);
  m_bit = static_cast<int>(end % 8);
  return kSuccess;
}

ResultCode BitStream::Load(std::FILE* file, std::uint32_t length) { return Load(file, length, 0); }

ResultCode BitStream::Load(std::FILE* file, std::uint32_t length, std::uint64_t available) {
  Clear();
  if (length < kGrowth && length <= available && m_spare.size() == kGrowth) {
    // A step of zeros kept from the last load: the payload is read over its start.
    m_buffer.swap(m_spare);
    if (std::fread(m_buffer.data(), 1, length, file) != length) {
      m_length = length;  // what may have been read is cleared when the buffer is kept
      m_loaded = true;
      Clear();
      return kReadFailed;
    }
    m_length = length;
    m_loaded = true;
    return kSuccess;
  }
  std::vector<std::uint8_t> bytes;
  if (length <= available) {
    try {
      bytes.reserve((length / kGrowth + 1) * kGrowth);
    } catch (const std::bad_alloc&) {
      return kNoMemory;
    }
  }
  if (const ResultCode code = ReadBytes(file, length, bytes); code != kSuccess) return code;
  try {
    bytes.resize((length / kGrowth + 1) * kGrowth, 0);
  } catch (const std::bad_alloc&) {
    return kNoMemory;
  }
  m_buffer.swap(bytes);
  m_length = length;
  m_loaded = true;
  return kSuccess;
}

ResultCode BitStream::Assign(const std::uint8_t* data, std::size_t length) {
  Clear();
  try {
    m_buffer.assign((length / kGrowth + 1) * kGrowth, 0);
  } catch (const std::bad_alloc&) {
    return kNoMemory;
  }
  std::copy(data, data + length, m_buffer.begin());
  m_length = length;
  m_loaded = true;
  return kSuccess;
}

}  // namespace orvane
