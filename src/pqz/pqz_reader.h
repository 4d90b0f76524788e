#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "foundation/result_code.h"
#include "pqz/pqz_header.h"

namespace orvane {

class CPQZComponent;

/// The three sections of a PQZ file, in file order.
enum class PqzSection { kAverage = 0, kBase = 1, kCoeff = 2 };

/// Where one section lies in its file: the offset of its 40-byte head and its stored size
/// (40 + payload length).
struct SectionExtent {
  std::uint64_t Offset = 0;
  std::uint64_t Size = 0;
};

/// The one way the decoder, the preview, the retrieval features, the file report and the
/// fuzz entry read a PQZ file, from a file or from bytes in memory alike.
///
/// Open reads the header and then settles where the sections lie, before any payload is
/// read, by one rule:
///   - the average section starts right after the header, at 44;
///   - each section starts exactly where the one before it ends (its offset + 40 + its
///     payload length), so the base offset and the coefficient offset of the header must be
///     those ends: an offset that makes sections overlap or leaves a gap between them is
///     refused;
///   - the coefficient section, its payload included, must end within the file (bytes after
///     it are ignored).
/// Any break of the rule, a negative payload length or an offset past the end of the file,
/// gives 14 ("Failed in reading file.\n"). Only the three small section heads are read to
/// check it, so every reader, whichever sections it wants, accepts and refuses the same
/// files. A stream whose length cannot be told is refused with 14 as well.
///
/// A regular file is read by offsets: its first 4 KB, then in one more read the bytes up to
/// the last section head when that lies within 16 KB (the header, the section heads and, in
/// a small file, everything the readers want), then whatever lies beyond them in one read
/// each, so that a reader that wants one small section (the search) makes a handful of
/// system calls. A reader that names the base section as the one it wants gets the bytes up
/// to the last head, which follows the bases, in that second read as long as the bases are
/// read whole anyway. A large section is read through the stream, without a second copy of
/// it in memory.
class PqzReader {
 public:
  PqzReader();
  ~PqzReader();
  PqzReader(const PqzReader&) = delete;
  PqzReader& operator=(const PqzReader&) = delete;

  /// Opens the file at `path` (8 when it cannot be opened), then as OpenStream. `wanted`, the
  /// section the caller reads next, only decides how the bytes are read.
  ResultCode OpenFile(const std::string& path, std::optional<PqzSection> wanted = std::nullopt);
  /// Reads from `size` bytes at `data`, which must outlive the reader; then as OpenStream.
  /// An empty buffer has no header: 14.
  ResultCode OpenMemory(const std::uint8_t* data, std::size_t size);

  /// The header (valid after a successful open).
  const PqzHeader& Header() const { return m_header; }
  /// Bytes of the whole file.
  std::uint64_t FileLength() const { return m_length; }
  const SectionExtent& Extent(PqzSection section) const {
    return m_extents[static_cast<std::size_t>(section)];
  }

  /// Sizes `component` from the header and reads `section` into it (CPQZComponent::Read, or
  /// ReadStreamed when `streamed` is set, leaving the matrix to be decoded by rows).
  ResultCode ReadSection(PqzSection section, CPQZComponent& component, bool streamed = false);

  /// Closes the file; the reader cannot read afterwards.
  void Close();

 private:
  ResultCode OpenStream();
  ResultCode LocateSections();
  // `length` bytes at `offset`: from the bytes kept of the file's start, by pread for a
  // regular file, else through the stream. false when fewer are there.
  bool ReadAt(std::uint64_t offset, std::uint8_t* bytes, std::size_t length);
  // Room for `capacity` of the file's first bytes, those read so far kept; false when memory
  // runs out.
  bool GrowStart(std::size_t capacity);

  struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
  };
  std::unique_ptr<std::FILE, FileCloser> m_file;
  // The stream's descriptor when it is a regular file read by offsets, else -1.
  int m_descriptor = -1;
  // The first bytes of a regular file: the header, the section heads and, in a small file,
  // the sections themselves.
  std::unique_ptr<std::uint8_t[]> m_start;  // room for the first read, once one was made
  std::size_t m_startCapacity = 0;
  std::size_t m_startBytes = 0;
  // A section read whole by offset, and the stream over it that the component reads.
  std::vector<std::uint8_t> m_section;
  std::unique_ptr<std::FILE, FileCloser> m_sectionStream;
  PqzHeader m_header;
  std::uint64_t m_length = 0;
  std::array<SectionExtent, 3> m_extents{};
};

}  // namespace orvane
