#include "pqz/bit_stream.h"

#include <algorithm>
#include <new>
#include <stdexcept>

#include "pqz/stream_io.h"

namespace orvane {

void BitStream::Clear() {
  std::vector<std::uint8_t>().swap(m_buffer);
  m_length = 0;
  Rewind();
}

ResultCode BitStream::Reserve(std::size_t bytesAhead) {
  // Grow before the write could reach the end, always by whole 64 KiB steps of zeros: the
  // writer ORs bits into bytes it assumes to be zero.
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
  if (const ResultCode code = Reserve(5); code != kSuccess) return code;
  if (bits < 32) value &= (std::uint32_t{1} << bits) - 1;
  int left = bits;
  while (left > 0) {
    const int room = 8 - m_bit;
    const int take = std::min(room, left);
    // The next `take` bits of the value, counted from its most significant written bit.
    const std::uint32_t chunk = (value >> (left - take)) & ((1u << take) - 1);
    m_buffer[m_byte] |= static_cast<std::uint8_t>(chunk << (room - take));
    left -= take;
    m_bit += take;
    if (m_bit == 8) {
      m_bit = 0;
      ++m_byte;
    }
  }
  m_length = m_byte + (m_bit != 0 ? 1 : 0);
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

ResultCode BitStream::Load(std::FILE* file, std::uint32_t length) {
  Clear();
  std::vector<std::uint8_t> bytes;
  if (const ResultCode code = ReadBytes(file, length, bytes); code != kSuccess) return code;
  try {
    bytes.resize((length / kGrowth + 1) * kGrowth, 0);
  } catch (const std::bad_alloc&) {
    return kNoMemory;
  }
  m_buffer.swap(bytes);
  m_length = length;
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
  return kSuccess;
}

}  // namespace orvane
