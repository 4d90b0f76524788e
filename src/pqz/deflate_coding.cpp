#include "pqz/deflate_coding.h"

#include <cmath>
#include <limits>
#include <new>

#include <zlib.h>

#include "pqz/little_endian.h"

namespace orvane {
namespace {

bool ToInt32(double value, std::int32_t& out) {
  // Truncation toward zero keeps every value above -2^31 - 1 and below 2^31 in range.
  if (!(value > -2147483649.0 && value < 2147483648.0)) return false;  // NaN fails too
  out = static_cast<std::int32_t>(value);
  return true;
}

}  // namespace

ResultCode DeflateValues(const Tarn::Matrix<double>& matrix, std::vector<std::uint8_t>& out) {
  out.clear();
  std::vector<std::uint8_t> raw;
  const std::size_t bytes = std::size_t{matrix.Count()} * 4;
  if (bytes > std::numeric_limits<uInt>::max()) return kCompressFailed;
  try {
    raw.resize(bytes);
  } catch (const std::bad_alloc&) {
    return kNoMemory;
  }
  const double* values = matrix.Data();
  for (std::uint32_t i = 0; i < matrix.Count(); ++i) {
    std::int32_t v;
    if (!ToInt32(values[i], v)) return kInvalidValues;
    StoreLeInt32(raw.data() + std::size_t{i} * 4, v);
  }

  z_stream stream{};
  if (deflateInit(&stream, Z_DEFAULT_COMPRESSION) != Z_OK) return kCompressFailed;
  const uLong bound = deflateBound(&stream, static_cast<uLong>(bytes));
  try {
    out.resize(bound);
  } catch (const std::bad_alloc&) {
    deflateEnd(&stream);
    return kNoMemory;
  }
  stream.next_in = raw.data();
  stream.avail_in = static_cast<uInt>(bytes);
  stream.next_out = out.data();
  stream.avail_out = static_cast<uInt>(out.size());
  const int status = deflate(&stream, Z_FINISH);
  const uLong produced = stream.total_out;
  if (deflateEnd(&stream) != Z_OK || status != Z_STREAM_END) {
    out.clear();
    return kCompressFailed;
  }
  out.resize(produced);
  return kSuccess;
}

ResultCode InflateValues(const std::uint8_t* data, std::size_t length,
                         Tarn::Matrix<double>& matrix) {
  const std::size_t expected = std::size_t{matrix.Count()} * 4;
  if (length > std::numeric_limits<uInt>::max() || expected > std::numeric_limits<uInt>::max()) {
    return kDecompressFailed;
  }
  std::vector<std::uint8_t> raw;
  try {
    raw.resize(expected);
  } catch (const std::bad_alloc&) {
    return kNoMemory;
  }
  z_stream stream{};
  if (inflateInit(&stream) != Z_OK) return kDecompressFailed;
  stream.next_in = const_cast<Bytef*>(data);
  stream.avail_in = static_cast<uInt>(length);
  stream.next_out = raw.data();
  stream.avail_out = static_cast<uInt>(expected);
  const int status = inflate(&stream, Z_FINISH);
  const uLong produced = stream.total_out;
  if (inflateEnd(&stream) != Z_OK || status != Z_STREAM_END || produced != expected) {
    return kDecompressFailed;
  }
  double* values = matrix.Data();
  for (std::uint32_t i = 0; i < matrix.Count(); ++i) {
    values[i] = LoadLeInt32(raw.data() + std::size_t{i} * 4);
  }
  return kSuccess;
}

}  // namespace orvane
