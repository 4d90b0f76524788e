#pragma once

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <vector>

#include "pqz/bit_stream.h"
#include "pqz/encoding_parameters.h"
#include "pqz/little_endian.h"
#include "pqz/pqz_component.h"
#include "pqz/pqz_header.h"

namespace orvane::test {

/// An anonymous temporary file, closed (and gone) with the object.
class TempFile {
 public:
  TempFile() : m_file(std::tmpfile()) {}
  explicit TempFile(const std::vector<std::uint8_t>& bytes) : TempFile() {
    if (!bytes.empty()) std::fwrite(bytes.data(), 1, bytes.size(), m_file);
    std::rewind(m_file);
  }
  ~TempFile() {
    if (m_file != nullptr) std::fclose(m_file);
  }
  TempFile(const TempFile&) = delete;
  TempFile& operator=(const TempFile&) = delete;

  std::FILE* get() const { return m_file; }
  /// The whole contents; the position is left at the start.
  std::vector<std::uint8_t> Bytes() const {
    std::fflush(m_file);
    std::fseek(m_file, 0, SEEK_END);
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(std::ftell(m_file)));
    std::rewind(m_file);
    bytes.resize(std::fread(bytes.data(), 1, bytes.size(), m_file));
    std::rewind(m_file);
    return bytes;
  }

 private:
  std::FILE* m_file;
};

inline PqzHeader MakeHeader(std::int32_t width, std::int32_t height, std::int32_t patchWidth,
                            std::int32_t patchHeight, std::int32_t dimension) {
  PqzHeader h;
  h.ImageWidth = width;
  h.ImageHeight = height;
  h.PatchWidth = patchWidth;
  h.PatchHeight = patchHeight;
  h.Dimension = dimension;
  return h;
}

inline CompressionParameters Coding(std::int32_t precision, std::int32_t maxZeroRun,
                                    std::uint32_t averageStep = 1) {
  CompressionParameters p;
  p.PrecisionBit = precision;
  p.BasePrecisionBit = 0;
  p.MaxZeroRun = maxZeroRun;
  p.AverageQuantizeStep = averageStep;
  return p;
}

/// The bytes a component's Write produces.
inline std::vector<std::uint8_t> SectionBytes(const CPQZComponent& component) {
  TempFile file;
  if (component.Write(file.get()) != kSuccess) return {};
  return file.Bytes();
}

/// A section assembled field by field, for sections the writer would never make.
struct RawSection {
  std::int32_t coding = kCodingHuffman;
  SectionBlock block;
  std::vector<std::uint8_t> payload;
  bool statePayloadLength = false;  ///< use `payloadLength` instead of payload.size()
  std::int32_t payloadLength = 0;

  std::vector<std::uint8_t> Bytes() const {
    std::vector<std::uint8_t> out(kSectionHeadSize + payload.size());
    const std::int32_t fields[10] = {
        coding,
        statePayloadLength ? payloadLength : std::int32_t(payload.size()),
        block.StepCount,
        block.StepBits,
        block.BitsCount,
        block.BitsBits,
        block.HuffvalCount,
        block.HuffvalBits,
        block.Precision,
        block.MaxZeroRun};
    for (int i = 0; i < 10; ++i) StoreLeInt32(out.data() + 4 * i, fields[i]);
    std::copy(payload.begin(), payload.end(), out.begin() + kSectionHeadSize);
    return out;
  }
};

/// Appends bits most significant first, for hand-made payloads.
class PayloadBits {
 public:
  PayloadBits& Put(std::uint32_t value, int bits) {
    m_stream.Write(value, bits);
    return *this;
  }
  /// Each character '0' or '1' is one bit; other characters are ignored (spacing).
  PayloadBits& Put(const char* pattern) {
    for (; *pattern != '\0'; ++pattern) {
      if (*pattern == '0' || *pattern == '1') m_stream.Write(*pattern == '1' ? 1u : 0u, 1);
    }
    return *this;
  }
  std::vector<std::uint8_t> Bytes() const {
    return {m_stream.Data(), m_stream.Data() + m_stream.Length()};
  }

 private:
  BitStream m_stream;
};

}  // namespace orvane::test
