#include "imaging/file_type.h"

#include <string_view>

#include <gtest/gtest.h>

namespace orvane {
namespace {

struct NameCase {
  std::string_view name;
  int code;
};

class GetFileTypeCodeTable : public ::testing::TestWithParam<NameCase> {};

TEST_P(GetFileTypeCodeTable, RecognisesTheEndOfTheName) {
  EXPECT_EQ(GetFileTypeCode(GetParam().name), GetParam().code) << GetParam().name;
}

INSTANTIATE_TEST_SUITE_P(
    Extensions, GetFileTypeCodeTable,
    ::testing::Values(NameCase{"a.bmp", 1}, NameCase{"a.gif", 2}, NameCase{"a.jpg", 3},
                      NameCase{"a.png", 4}, NameCase{"a.ico", 5}, NameCase{"a.tif", 6},
                      NameCase{"a.tga", 7}, NameCase{"a.pcx", 8}, NameCase{"a.wmf", 10},
                      NameCase{"a.emf", 10}, NameCase{"a.j2k", 11}, NameCase{"a.jp2", 11},
                      NameCase{"a.j2c", 12}, NameCase{"a.jpc", 12}, NameCase{"a.pgx", 13},
                      NameCase{"a.pnm", 14}, NameCase{"a.ppm", 14}, NameCase{"a.ras", 15},
                      NameCase{"a.pqz", FILE_TYPE_PQZ}));

INSTANTIATE_TEST_SUITE_P(
    CaseAndFourLetters, GetFileTypeCodeTable,
    ::testing::Values(NameCase{"photo.JPEG", 3}, NameCase{"photo.jpeg", 3},
                      NameCase{"scan.Tiff", 6}, NameCase{"scan.TIF", 6},
                      // "wbmp" also ends in "bmp", which comes first in the order.
                      NameCase{"phone.wbmp", 1}, NameCase{"grey.pgm", 14},
                      NameCase{"IMAGE.PQZ", FILE_TYPE_PQZ}, NameCase{"image.Pqz", FILE_TYPE_PQZ},
                      NameCase{"C:\\Photos\\Cat.PNG", 4}, NameCase{"/home/u/caf\xC3\xA9.png", 4}));

INSTANTIATE_TEST_SUITE_P(WholeNameNotExtension, GetFileTypeCodeTable,
                         ::testing::Values(NameCase{"abmp", 1}, NameCase{"bmp", 1},
                                           NameCase{"xpqz", FILE_TYPE_PQZ},
                                           NameCase{"notes.txt", 0}, NameCase{"a.bmp.txt", 0},
                                           NameCase{"photos.png/readme", 0}, NameCase{"a.peg", 0},
                                           NameCase{"a.bmpx", 0}, NameCase{"a.pq", 0},
                                           NameCase{"a.", 0}));

INSTANTIATE_TEST_SUITE_P(ShortNames, GetFileTypeCodeTable,
                         ::testing::Values(NameCase{"", 0}, NameCase{"p", 0}, NameCase{"mp", 0},
                                           NameCase{"qz", 0}, NameCase{".g", 0}));

}  // namespace
}  // namespace orvane
