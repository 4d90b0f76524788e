#include "pqz/inflate_rows.h"

#include <limits>
#include <vector>

#include <zlib.h>

#include "pqz/little_endian.h"

namespace orvane {

struct InflateRows::State {
  z_stream stream{};
  bool open = false;
  bool ended = false;
  std::uint64_t remaining = 0;  ///< values still to come
  std::vector<std::uint8_t> chunk;

  ~State() {
    if (open) inflateEnd(&stream);
  }
};

InflateRows::InflateRows() = default;
InflateRows::~InflateRows() = default;

void InflateRows::Reset() { m_state.reset(); }

ResultCode InflateRows::Begin(const std::uint8_t* data, std::size_t length, std::uint64_t values) {
  m_state = std::make_unique<State>();
  if (length > std::numeric_limits<uInt>::max()) return kDecompressFailed;
  if (inflateInit(&m_state->stream) != Z_OK) return kDecompressFailed;
  m_state->open = true;
  m_state->stream.next_in = const_cast<Bytef*>(data);
  m_state->stream.avail_in = static_cast<uInt>(length);
  m_state->remaining = values;
  return kSuccess;
}

ResultCode InflateRows::Next(Tarn::Matrix<double>& rows) {
  if (!m_state || !m_state->open) return kNotReady;
  State& s = *m_state;
  const std::uint64_t count = rows.Count();
  if (count > s.remaining) return kDecompressFailed;
  s.chunk.resize(static_cast<std::size_t>(count) * 4);
  s.stream.next_out = s.chunk.data();
  s.stream.avail_out = static_cast<uInt>(s.chunk.size());
  while (s.stream.avail_out > 0) {
    if (s.ended) return kDecompressFailed;  // the stream ended before the matrix did
    const int status = inflate(&s.stream, Z_NO_FLUSH);
    if (status == Z_STREAM_END) {
      s.ended = true;
    } else if (status != Z_OK) {
      return kDecompressFailed;  // corrupt data, or no input left (Z_BUF_ERROR)
    }
  }
  s.remaining -= count;
  if (s.remaining == 0 && !s.ended) {
    // The last value is out: the stream must end here, with no value after it.
    std::uint8_t extra;
    s.stream.next_out = &extra;
    s.stream.avail_out = 1;
    if (inflate(&s.stream, Z_FINISH) != Z_STREAM_END || s.stream.avail_out != 1) {
      return kDecompressFailed;
    }
    s.ended = true;
  }
  double* values = rows.Data();
  for (std::uint64_t i = 0; i < count; ++i) values[i] = LoadLeInt32(s.chunk.data() + i * 4);
  return kSuccess;
}

}  // namespace orvane
