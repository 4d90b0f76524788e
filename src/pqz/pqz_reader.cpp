#include "pqz/pqz_reader.h"

#include <stdio.h>  // fmemopen

#include "pqz/little_endian.h"
#include "pqz/pqz_component.h"
#include "pqz/stream_io.h"

namespace orvane {

PqzReader::PqzReader() = default;
PqzReader::~PqzReader() = default;

void PqzReader::Close() { m_file.reset(); }

ResultCode PqzReader::OpenFile(const std::string& path) {
  m_file.reset(std::fopen(path.c_str(), "rb"));
  if (!m_file) return kCannotOpenFile;
  return OpenStream();
}

ResultCode PqzReader::OpenMemory(const std::uint8_t* data, std::size_t size) {
  m_file.reset();
  if (size == 0) return kReadFailed;  // fmemopen refuses an empty buffer
  // The stream only reads, so the buffer is never written through the cast.
  m_file.reset(fmemopen(const_cast<std::uint8_t*>(data), size, "rb"));
  if (!m_file) return kNoMemory;
  return OpenStream();
}

ResultCode PqzReader::OpenStream() {
  if (const ResultCode code = ReadPqzHeader(m_file.get(), m_header); code != kSuccess) {
    return code;
  }
  const std::optional<std::uint64_t> length = StreamLength(m_file.get());
  if (!length) return kReadFailed;
  m_length = *length;
  return LocateSections();
}

ResultCode PqzReader::LocateSections() {
  // Where the header says the sections start; the first is fixed by the layout.
  const std::int64_t starts[3] = {m_header.AverageOffset, m_header.BaseOffset,
                                  m_header.CoeffOffset};
  std::uint64_t expected = kPqzHeaderSize;
  for (std::size_t i = 0; i < 3; ++i) {
    if (starts[i] < 0 || static_cast<std::uint64_t>(starts[i]) != expected) return kReadFailed;
    if (expected + kSectionHeadSize > m_length) return kReadFailed;
    if (std::fseek(m_file.get(), static_cast<long>(expected), SEEK_SET) != 0) return kReadFailed;
    std::uint8_t head[8];
    if (std::fread(head, 1, sizeof head, m_file.get()) != sizeof head) return kReadFailed;
    const std::int32_t payload = LoadLeInt32(head + 4);
    if (payload < 0) return kReadFailed;
    const std::uint64_t size =
        std::uint64_t{kSectionHeadSize} + static_cast<std::uint64_t>(payload);
    if (expected + size > m_length) return kReadFailed;
    m_extents[i] = {expected, size};
    expected += size;
  }
  return kSuccess;
}

ResultCode PqzReader::ReadSection(PqzSection section, CPQZComponent& component, bool streamed) {
  if (!m_file) return kNotReady;
  if (const ResultCode code = component.SizeFromHeader(m_header); code != kSuccess) return code;
  const SectionExtent& extent = Extent(section);
  if (std::fseek(m_file.get(), static_cast<long>(extent.Offset), SEEK_SET) != 0) {
    return kReadFailed;
  }
  return streamed ? component.ReadStreamed(m_file.get()) : component.Read(m_file.get());
}

}  // namespace orvane
