#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "foundation/matrix.h"
#include "foundation/result_code.h"

namespace orvane {

/// Inflates a zlib stream of little-endian int32 values a few matrix rows at a time, so that
/// a reader never holds the whole inflated matrix. The stream must end exactly after the
/// last value the caller announced, as one inflate call over the whole matrix would demand.
class InflateRows {
 public:
  InflateRows();
  ~InflateRows();
  InflateRows(const InflateRows&) = delete;
  InflateRows& operator=(const InflateRows&) = delete;

  /// Starts on `length` bytes at `data` (kept, not copied) that must inflate to `values`
  /// int32 values. 12 when zlib cannot start.
  ResultCode Begin(const std::uint8_t* data, std::size_t length, std::uint64_t values);

  /// Fills every element of `rows` with the next values. 12 when the stream is bad, ends
  /// early, or, once the announced values are all out, does not end right there.
  ResultCode Next(Tarn::Matrix<double>& rows);

  /// Drops the stream.
  void Reset();

 private:
  struct State;
  std::unique_ptr<State> m_state;
};

}  // namespace orvane
