#include "imaging/file_type.h"

#include <array>
#include <cstddef>

#include "foundation/small_helpers.h"

namespace orvane {

namespace {

struct TypeRule {
  // Endings of three and of four characters, lower case; empty when the row has none.
  std::array<std::string_view, 3> endings;
  int code;
};

// The order matters: the first row with a matching ending wins, which is why "wbmp" (row 9)
// is never reached, a name ending in it being caught by "bmp" first.
constexpr std::array<TypeRule, 16> kTypeRules{{
    {{"bmp"}, 1},
    {{"gif"}, 2},
    {{"jpg", "jpeg"}, 3},
    {{"png"}, 4},
    {{"ico"}, 5},
    {{"tif", "tiff"}, 6},
    {{"tga"}, 7},
    {{"pcx"}, 8},
    {{"wbmp"}, 9},
    {{"wmf", "emf"}, 10},
    {{"j2k", "jp2"}, 11},
    {{"j2c", "jpc"}, 12},
    {{"pgx"}, 13},
    {{"pnm", "pgm", "ppm"}, 14},
    {{"ras"}, 15},
    {{"pqz"}, FILE_TYPE_PQZ},
}};

bool EndsWithIgnoringCase(std::string_view name, std::string_view ending) {
  if (name.size() < ending.size()) {
    return false;
  }
  const std::string_view tail = name.substr(name.size() - ending.size());
  for (std::size_t i = 0; i < ending.size(); ++i) {
    if (LowerAscii(tail[i]) != ending[i]) {
      return false;
    }
  }
  return true;
}

}  // namespace

int GetFileTypeCode(std::string_view name) {
  for (const TypeRule& rule : kTypeRules) {
    for (std::string_view ending : rule.endings) {
      if (!ending.empty() && EndsWithIgnoringCase(name, ending)) {
        return rule.code;
      }
    }
  }
  return 0;
}

}  // namespace orvane
