#pragma once

#include <string_view>

namespace orvane {

/// File-type code of a PQZ file: the one code that is decoded by the PQZ decoder rather than
/// read by the image file library.
inline constexpr int FILE_TYPE_PQZ = 16;

/// File-type code 0..16 of a file, from the end of its name: 0 means "not an image file",
/// FILE_TYPE_PQZ a PQZ file, any other code a file for the image file library.
///
/// The last three characters of the whole name (not the part after the last dot) are compared,
/// and for four-letter extensions the last four, case-insensitively, in a fixed order whose
/// first match wins: bmp 1, gif 2, jpg/jpeg 3, png 4, ico 5, tif/tiff 6, tga 7, pcx 8, wbmp 9,
/// wmf/emf 10, j2k/jp2 11, j2c/jpc 12, pgx 13, pnm/pgm/ppm 14, ras 15, pqz 16. So "abmp" is 1
/// and so is "x.wbmp" (it ends in "bmp" too). A name shorter than three characters is 0.
int GetFileTypeCode(std::string_view name);

}  // namespace orvane
