#include "pqz/profile_reader.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <limits>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "foundation/small_helpers.h"

namespace orvane {
namespace {

constexpr std::string_view kUtf8ByteOrderMark = "\xEF\xBB\xBF";

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

std::string_view Trim(std::string_view s) {
  while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
  while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
  return s;
}

bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (LowerAscii(a[i]) != LowerAscii(b[i])) return false;
  }
  return true;
}

std::string_view Unquote(std::string_view value) {
  if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
      value.back() == value.front()) {
    return value.substr(1, value.size() - 2);
  }
  return value;
}

/// Splits the text into lines at LF, CR LF or a lone CR; `next` is where the following line starts.
std::string_view NextLine(std::string_view text, std::size_t& next) {
  const std::size_t start = next;
  std::size_t end = start;
  while (end < text.size() && text[end] != '\n' && text[end] != '\r') ++end;
  next = end;
  if (next < text.size() && text[next] == '\r') ++next;
  if (next < text.size() && text[next] == '\n') ++next;
  return text.substr(start, end - start);
}

}  // namespace

ResultCode ProfileReader::LoadFile(const std::string& path) {
  m_text.clear();
  // O_NONBLOCK keeps a named pipe from blocking the open; only regular files are read at all.
  const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return kCannotOpenFile;
  struct stat info {};
  if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
    ::close(fd);
    return kCannotOpenFile;
  }
  std::string text;
  const auto fileSize = static_cast<std::uint64_t>(std::max<off_t>(info.st_size, 0));
  // The size only sizes the first allocation; reading still stops at the cap even if the file
  // grows meanwhile.
  text.resize(static_cast<std::size_t>(std::min<std::uint64_t>(fileSize, kMaxTextBytes)));
  std::size_t used = 0;
  bool failed = false;
  while (used < kMaxTextBytes) {
    if (used == text.size())
      text.resize(std::min(kMaxTextBytes, std::max<std::size_t>(4096, used * 2)));
    const ssize_t got = ::read(fd, text.data() + used, text.size() - used);
    if (got == 0) break;
    if (got < 0) {
      if (errno == EINTR) continue;
      failed = true;
      break;
    }
    used += static_cast<std::size_t>(got);
  }
  ::close(fd);
  if (failed) return kCannotOpenFile;
  text.resize(used);
  SetText(text);
  return kSuccess;
}

void ProfileReader::SetText(std::string_view text) {
  if (text.substr(0, kUtf8ByteOrderMark.size()) == kUtf8ByteOrderMark) {
    text.remove_prefix(kUtf8ByteOrderMark.size());
  }
  m_text.assign(text.substr(0, kMaxTextBytes));
}

std::optional<std::string_view> ProfileReader::FindValue(std::string_view section,
                                                         std::string_view key) const {
  const std::string_view text(m_text);
  bool inSection = false;
  std::size_t next = 0;
  while (next < text.size()) {
    const std::string_view line = Trim(NextLine(text, next));
    if (line.empty() || line.front() == ';') continue;
    if (line.front() == '[') {
      std::string_view name = line.substr(1);
      name = Trim(name.substr(0, name.find(']')));
      inSection = EqualsIgnoringCase(name, section);
      continue;
    }
    if (!inSection) continue;
    const std::size_t equals = line.find('=');
    if (equals == std::string_view::npos) continue;
    if (EqualsIgnoringCase(Trim(line.substr(0, equals)), key)) {
      return Unquote(Trim(line.substr(equals + 1)));
    }
  }
  return std::nullopt;
}

std::int32_t ProfileReader::GetInt(std::string_view section, std::string_view key,
                                   std::int32_t defaultValue) const {
  const std::optional<std::string_view> found = FindValue(section, key);
  if (!found) return defaultValue;
  std::string_view value = *found;
  while (!value.empty() && IsBlank(value.front())) value.remove_prefix(1);
  bool negative = false;
  if (!value.empty() && (value.front() == '+' || value.front() == '-')) {
    negative = value.front() == '-';
    value.remove_prefix(1);
  }
  // The magnitude stops growing once past the int32 range, which keeps the 64-bit sum exact
  // for any number of digits.
  constexpr std::int64_t kLimit = std::int64_t{std::numeric_limits<std::int32_t>::max()} + 1;
  std::int64_t magnitude = 0;
  for (const char c : value) {
    if (c < '0' || c > '9') break;
    magnitude = std::min(kLimit, magnitude * 10 + (c - '0'));
  }
  const std::int64_t signedValue = negative ? -magnitude : magnitude;
  return static_cast<std::int32_t>(
      std::clamp<std::int64_t>(signedValue, std::numeric_limits<std::int32_t>::min(),
                               std::numeric_limits<std::int32_t>::max()));
}

std::size_t ProfileReader::GetString(std::string_view section, std::string_view key,
                                     std::string_view defaultValue, char* buffer,
                                     std::size_t size) const {
  if (buffer == nullptr || size == 0) return 0;
  const std::string_view value = FindValue(section, key).value_or(defaultValue);
  const std::size_t count = std::min(value.size(), size - 1);
  std::memcpy(buffer, value.data(), count);
  buffer[count] = '\0';
  return count;
}

}  // namespace orvane
