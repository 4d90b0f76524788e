#include "retrieval/folder_listing.h"

#include <algorithm>
#include <filesystem>
#include <system_error>

#include "imaging/file_type.h"

namespace orvane {
namespace {

namespace fs = std::filesystem;

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

std::string LowerCase(std::string text) {
  // Only ASCII letters change: file names are byte strings, and a multi-byte character must
  // keep its bytes.
  for (char& c : text) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return text;
}

// -1, 0 or 1 as `a` sorts before, with or after `b` when digit runs count by value.
int NaturalCompare(std::string_view a, std::string_view b) {
  std::size_t i = 0;
  std::size_t j = 0;
  while (i < a.size() && j < b.size()) {
    if (IsDigit(a[i]) && IsDigit(b[j])) {
      // Compare the runs by value without converting them, so that runs of any length work:
      // skip leading zeros, then the longer run is larger, then the first differing digit.
      std::size_t ai = i;
      std::size_t bj = j;
      while (ai < a.size() && a[ai] == '0') ++ai;
      while (bj < b.size() && b[bj] == '0') ++bj;
      std::size_t ae = ai;
      std::size_t be = bj;
      while (ae < a.size() && IsDigit(a[ae])) ++ae;
      while (be < b.size() && IsDigit(b[be])) ++be;
      if (ae - ai != be - bj) return ae - ai < be - bj ? -1 : 1;
      for (std::size_t x = ai, y = bj; x < ae; ++x, ++y) {
        if (a[x] != b[y]) return a[x] < b[y] ? -1 : 1;
      }
      i = ae;
      j = be;
      continue;
    }
    if (a[i] != b[j]) {
      return static_cast<unsigned char>(a[i]) < static_cast<unsigned char>(b[j]) ? -1 : 1;
    }
    ++i;
    ++j;
  }
  if (i < a.size()) return 1;
  if (j < b.size()) return -1;
  return 0;
}

struct Entry {
  std::string lower;  // the sort key and the record's name
  std::string name;   // the name as the file system has it, the tie break
  fs::path path;
};

void ScanFolder(const fs::path& folder, bool recursive, std::vector<FileRecord>& records,
                std::error_code& error) {
  std::vector<Entry> entries;
  fs::directory_iterator it(folder, error);
  if (error) return;
  for (const fs::directory_iterator end; it != end; it.increment(error)) {
    if (error) return;
    std::string name = it->path().filename().string();
    entries.push_back({LowerCase(name), std::move(name), it->path()});
  }
  std::sort(entries.begin(), entries.end(), [](const Entry& a, const Entry& b) {
    const int order = NaturalCompare(a.lower, b.lower);
    return order != 0 ? order < 0 : a.name < b.name;
  });
  for (Entry& entry : entries) {
    std::error_code ignored;
    // symlink_status: a link to a folder is not a folder here, so links cannot loop.
    if (fs::is_directory(fs::symlink_status(entry.path, ignored))) {
      if (recursive) {
        std::error_code sub;
        ScanFolder(entry.path, true, records, sub);  // an unreadable sub-folder is passed over
      }
      continue;
    }
    // Only regular files (or links to them): opening a pipe or a device that happens to be
    // named like an image would block the search that later reads it.
    if (!fs::is_regular_file(fs::status(entry.path, ignored))) continue;
    if (GetFileTypeCode(entry.lower) == 0) continue;
    FileRecord record;
    record.m_strName = std::move(entry.lower);
    record.m_strPath = entry.path.string();
    records.push_back(std::move(record));
  }
}

}  // namespace

bool NaturalLess(std::string_view a, std::string_view b) {
  const int order = NaturalCompare(a, b);
  return order != 0 ? order < 0 : a < b;
}

ResultCode ListImageFiles(const std::string& folder, bool recursive,
                          std::vector<FileRecord>& records) {
  records.clear();
  std::error_code error;
  ScanFolder(fs::path(folder), recursive, records, error);
  if (error) {
    records.clear();
    return kCannotOpenFile;
  }
  return kSuccess;
}

}  // namespace orvane
