#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "foundation/result_code.h"

namespace orvane {

/// Reader of sectioned key=value text files ("private profile" files such as config.ini).
///
/// The file is read once and kept as text; every lookup scans it. Rules:
/// - A line is ended by LF, CR LF or a lone CR; the last line needs no line end. A UTF-8 byte
///   order mark at the start of the file is skipped.
/// - Spaces and tabs around section names, keys and values are ignored.
/// - A line whose first non-blank character is ';' is a comment. Text after a value is not a
///   comment ("8 ; eight" is the value "8 ; eight").
/// - A line whose first non-blank character is '[' starts a section; its name runs to the first
///   ']' or to the line end. Lines before the first section belong to no section and are never
///   found. Other lines without '=' are ignored.
/// - Section names and keys match ASCII case-insensitively.
/// - Duplicates: sections of the same name are one section; the first occurrence of a key in the
///   file wins.
/// - A value enclosed in a matching pair of double or single quotes loses the pair.
/// - Only the first kMaxTextBytes bytes of a file are read, so a huge or endless file costs
///   bounded memory; binary bytes are ordinary characters and never stop the reading.
class ProfileReader {
 public:
  /// Bytes of a file that are read at most (1 MiB, far beyond any real configuration).
  static constexpr std::size_t kMaxTextBytes = std::size_t{1} << 20;

  /// Reads the file at `path`. Returns kCannotOpenFile (and keeps no text) when the path does not
  /// name a readable regular file; directories, pipes and devices count as unopenable.
  ResultCode LoadFile(const std::string& path);

  /// Uses `text` as the file's contents (cut to kMaxTextBytes).
  void SetText(std::string_view text);

  /// The value of `key` in `section`, or nothing when the key is missing.
  std::optional<std::string_view> FindValue(std::string_view section, std::string_view key) const;

  /// Integer reading: `defaultValue` only when the key is missing; otherwise the value's leading
  /// blanks are skipped, an optional sign and the decimal digits up to the first non-digit are
  /// read (no digits: 0). Values beyond the 32-bit signed range saturate at its ends, so no
  /// overflowing text can wrap round onto a small plausible number.
  std::int32_t GetInt(std::string_view section, std::string_view key,
                      std::int32_t defaultValue) const;

  /// Text reading: copies the value, or `defaultValue` when the key is missing, into `buffer`
  /// of `size` bytes: at most size - 1 characters followed by a terminating zero. Returns the
  /// number of characters copied; a size of 0 copies nothing.
  std::size_t GetString(std::string_view section, std::string_view key,
                        std::string_view defaultValue, char* buffer, std::size_t size) const;

 private:
  std::string m_text;
};

}  // namespace orvane
