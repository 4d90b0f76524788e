#include "pqz/pqz_reader.h"

#include <algorithm>
#include <cstring>
#include <new>

#include <stdio.h>  // fmemopen
#include <sys/stat.h>

#include "pqz/little_endian.h"
#include "pqz/pqz_component.h"
#include "pqz/stream_io.h"

namespace orvane {
namespace {

// Sections up to this size are read whole by one pread and decoded from memory; larger ones
// (the coefficients of big pictures) through the stream, which holds no second copy.
constexpr std::uint64_t kMaxSectionReadWhole = std::uint64_t{1} << 20;

// A regular file's first bytes are read first, and then, when the header puts the last
// section's head within kStartRead bytes, the rest of the bytes up to that head: the header,
// every section head and the whole of the first sections of a small file (the pictures a
// search goes through are a few kilobytes), without copying more of the file than that.
constexpr std::size_t kFirstRead = 4096;
constexpr std::size_t kStartRead = 16384;
// For a reader that wants the base section, which ends where the last head starts, the bytes
// up to that head come in the same read while the section is one that is read whole anyway.
constexpr std::size_t kBaseStartRead = static_cast<std::size_t>(kMaxSectionReadWhole);

}  // namespace

PqzReader::PqzReader() = default;
PqzReader::~PqzReader() = default;

void PqzReader::Close() {
  m_sectionStream.reset();
  m_section.clear();
  m_file.reset();
  m_descriptor = -1;
  m_startBytes = 0;
}

ResultCode PqzReader::OpenFile(const std::string& path, std::optional<PqzSection> wanted) {
  Close();
  m_file.reset(std::fopen(path.c_str(), "rb"));
  if (!m_file) return kCannotOpenFile;
  struct stat status;
  const int descriptor = fileno(m_file.get());
  if (descriptor >= 0 && ::fstat(descriptor, &status) == 0 && S_ISREG(status.st_mode)) {
    m_descriptor = descriptor;
    m_length = static_cast<std::uint64_t>(status.st_size);
    // Only the bytes read are ever looked at, so the buffer is not cleared first.
    const auto first = static_cast<std::size_t>(
        std::min<std::uint64_t>(std::max<std::uint64_t>(m_length, kPqzHeaderSize), kFirstRead));
    if (!m_start && !GrowStart(kStartRead)) return kNoMemory;
    m_startBytes = ReadFullyAt(descriptor, 0, m_start.get(), first);
    if (const ResultCode code = ParsePqzHeader(m_start.get(), m_startBytes, m_header);
        code != kSuccess) {
      return code;
    }
    const std::int64_t lastHead = std::int64_t{m_header.CoeffOffset} + 8;
    const std::size_t reach = wanted == PqzSection::kBase ? kBaseStartRead : kStartRead;
    if (m_startBytes == first && lastHead > static_cast<std::int64_t>(m_startBytes) &&
        lastHead <= static_cast<std::int64_t>(reach)) {
      const auto end = static_cast<std::size_t>(
          std::min<std::uint64_t>(static_cast<std::uint64_t>(lastHead), m_length));
      if (end > m_startBytes) {
        if (end > m_startCapacity && !GrowStart(end)) return kNoMemory;
        m_startBytes +=
            ReadFullyAt(descriptor, m_startBytes, m_start.get() + m_startBytes, end - m_startBytes);
      }
    }
    return LocateSections();
  }
  return OpenStream();
}

bool PqzReader::GrowStart(std::size_t capacity) {
  try {
    auto grown = std::make_unique_for_overwrite<std::uint8_t[]>(capacity);
    if (m_startBytes != 0) std::memcpy(grown.get(), m_start.get(), m_startBytes);
    m_start = std::move(grown);
    m_startCapacity = capacity;
    return true;
  } catch (const std::bad_alloc&) {
    return false;
  }
}

ResultCode PqzReader::OpenMemory(const std::uint8_t* data, std::size_t size) {
  Close();
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
    std::uint8_t head[8];
    if (!ReadAt(expected, head, sizeof head)) return kReadFailed;
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

bool PqzReader::ReadAt(std::uint64_t offset, std::uint8_t* bytes, std::size_t length) {
  if (offset + length <= m_startBytes) {
    std::memcpy(bytes, m_start.get() + offset, length);
    return true;
  }
  if (m_descriptor >= 0) return ReadFullyAt(m_descriptor, offset, bytes, length) == length;
  return std::fseek(m_file.get(), static_cast<long>(offset), SEEK_SET) == 0 &&
         std::fread(bytes, 1, length, m_file.get()) == length;
}

ResultCode PqzReader::ReadSection(PqzSection section, CPQZComponent& component, bool streamed) {
  if (!m_file) return kNotReady;
  if (const ResultCode code = component.SizeFromHeader(m_header); code != kSuccess) return code;
  const SectionExtent& extent = Extent(section);
  std::FILE* from = m_file.get();
  if (m_descriptor >= 0 && extent.Offset + extent.Size <= m_startBytes) {
    // Read with the file's first bytes: the component reads them where they are.
    m_sectionStream.reset(
        fmemopen(m_start.get() + extent.Offset, static_cast<std::size_t>(extent.Size), "rb"));
    if (!m_sectionStream) return kNoMemory;
    from = m_sectionStream.get();
  } else if (m_descriptor >= 0 && extent.Size <= kMaxSectionReadWhole) {
    // The section's bytes in one read; the component reads them from memory. A file that
    // shrank meanwhile leaves the stream short, which the component reports as such.
    m_sectionStream.reset();
    try {
      m_section.resize(static_cast<std::size_t>(extent.Size));
    } catch (const std::bad_alloc&) {
      return kNoMemory;
    }
    const std::size_t got =
        ReadFullyAt(m_descriptor, extent.Offset, m_section.data(), m_section.size());
    if (got == 0) return kReadFailed;  // fmemopen refuses an empty buffer
    m_sectionStream.reset(fmemopen(m_section.data(), got, "rb"));
    if (!m_sectionStream) return kNoMemory;
    from = m_sectionStream.get();
  } else if (std::fseek(from, static_cast<long>(extent.Offset), SEEK_SET) != 0) {
    return kReadFailed;
  }
  return streamed ? component.ReadStreamed(from, m_length) : component.Read(from, m_length);
}

}  // namespace orvane
