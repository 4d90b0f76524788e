#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <vector>

#include "foundation/result_code.h"

namespace orvane {

/// An MSB-first bit string: bits fill each byte from its most significant bit down.
///
/// Writing grows the zero-filled buffer in steps of 64 KiB. Reading works on a payload
/// loaded into a zero-filled buffer rounded up past the payload to the next 64 KiB, so that
/// bits between the payload's end and the buffer's end read as 0 and only a read past the
/// buffer fails (4, "Access to the buffer is out of range.\n").
class BitStream {
 public:
  static constexpr std::size_t kGrowth = 65536;
  static constexpr int kMaxBits = 32;

  /// Empties the stream (no buffer) and rewinds it. A loaded buffer of one step is kept,
  /// cleared, for the next Load.
  void Clear();

  /// Writes the low `bits` bits of `value`, most significant first. 22 for more than 32
  /// bits, 7 when the buffer cannot grow.
  ResultCode Write(std::uint32_t value, int bits);

  /// Reads `bits` bits, the first one most significant. 22 for more than 32 bits, 4 when
  /// the read would pass the end of the buffer (nothing is consumed then).
  ResultCode Read(int bits, std::uint32_t& value) {
    if (bits >= 0 && bits <= kMaxBits && HasWindow()) {
      value = bits == 0 ? 0u : static_cast<std::uint32_t>(Window() >> (64 - bits));
      Consume(bits);
      return kSuccess;
    }
    return ReadSlowly(bits, value);
  }

  /// True when the next kWindowBits bits all lie inside the buffer, so that Window() may be
  /// taken and up to that many bits consumed without further checks.
  bool HasWindow() const { return m_byte + 8 <= m_buffer.size(); }
  /// The next bits of the stream, the first one in the most significant place; only the top
  /// kWindowBits of them are meaningful. The caller checks HasWindow() first.
  std::uint64_t Window() const {
    std::uint64_t w;
    __builtin_memcpy(&w, m_buffer.data() + m_byte, sizeof w);
    return __builtin_bswap64(w) << m_bit;
  }
  /// Moves on by `bits` (at most kWindowBits) after a Window().
  void Consume(int bits) {
    const std::size_t end = static_cast<std::size_t>(m_bit) + static_cast<std::size_t>(bits);
    m_byte += end >> 3;
    m_bit = static_cast<int>(end & 7);
  }
  /// Bits a window always holds: 64 less the at most 7 already read of its first byte.
  static constexpr int kWindowBits = 57;

  /// Reads one bit; the hot path of Huffman decoding.
  ResultCode ReadBit(std::uint32_t& bit) {
    if (m_byte >= m_buffer.size()) return kOutOfRange;
    bit = (m_buffer[m_byte] >> (7 - m_bit)) & 1u;
    if (++m_bit == 8) {
      m_bit = 0;
      ++m_byte;
    }
    return kSuccess;
  }

  /// Moves the read position on by `bits`; 4 when that passes the end of the buffer.
  ResultCode Skip(std::uint64_t bits);

  /// Reads a payload of `length` bytes from `file` into a fresh buffer of
  /// (length / 64 KiB + 1) x 64 KiB zero-filled bytes and rewinds. 14 when the file holds
  /// fewer bytes, 7 when memory cannot be had. Memory grows only with bytes actually read, so
  /// a false length cannot make it allocate more than the file holds.
  ResultCode Load(std::FILE* file, std::uint32_t length);
  /// Load from a file known to hold `available` bytes: when the length fits, the buffer is
  /// allocated once instead of growing as the bytes arrive.
  ResultCode Load(std::FILE* file, std::uint32_t length, std::uint64_t available);

  /// Same as Load, from memory.
  ResultCode Assign(const std::uint8_t* data, std::size_t length);

  /// Moves the read position to bit `bit` of the buffer, which the caller has read up to.
  void Seek(std::uint64_t bit) {
    m_byte = static_cast<std::size_t>(bit >> 3);
    m_bit = static_cast<int>(bit & 7);
  }

  /// Moves the read position back to the first bit.
  void Rewind() {
    m_byte = 0;
    m_bit = 0;
  }

  /// Written length in bytes (a partly filled last byte counts), or the loaded length.
  std::size_t Length() const { return m_length; }
  const std::uint8_t* Data() const { return m_buffer.data(); }
  /// Allocated bytes.
  std::size_t Capacity() const { return m_buffer.size(); }
  /// Bits written or read so far.
  std::uint64_t BitPosition() const { return std::uint64_t{m_byte} * 8 + m_bit; }

  /// Writes the bits `other` has written so far (its BitPosition()), in order, as if they
  /// had been written here one by one. 7 when the buffer cannot grow.
  ResultCode Append(const BitStream& other);

  /// Makes room for `bytesAhead` bytes from the current position on, so that writing them
  /// does not grow the buffer again; 7 when memory cannot be had.
  ResultCode Reserve(std::size_t bytesAhead);

 private:
  /// Read for the last bytes of the buffer and for refused widths.
  ResultCode ReadSlowly(int bits, std::uint32_t& value);

  std::vector<std::uint8_t> m_buffer;
  /// Zeros of one step kept by Clear for the next Load; empty or kGrowth bytes.
  std::vector<std::uint8_t> m_spare;
  /// Whether the buffer holds a loaded payload and zeros past it, nothing else written.
  bool m_loaded = false;
  std::size_t m_length = 0;
  std::size_t m_byte = 0;
  int m_bit = 0;  ///< 0 is the most significant bit of m_buffer[m_byte]
};

}  // namespace orvane
