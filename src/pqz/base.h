#pragma once

#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

#include "pqz/encoding_parameters.h"
#include "pqz/pqz_component.h"

namespace orvane {

/// The bases: D x 3N, one basis per row, channel-planar (N values of channel 0, then 1, then
/// 2). The encoder's basis projection replaces the matrix by integer bases and fills the
/// StepTable with one factor per basis; the second and third channel planes are stored as
/// differences from the first, which they resemble.
class CBase : public CPQZComponent {
 public:
  /// P = BasePrecisionBit, or PrecisionBit when that is 0; R = MaxZeroRun; keeps
  /// CoeffQuantizeStep and DoChangeStep for the basis projection.
  ResultCode Setup(const CompressionParameters& parameters);

  /// One factor per basis (row), filled by the basis projection.
  std::vector<std::uint32_t>& StepTable() { return m_stepTable; }
  const std::vector<std::uint32_t>& StepTable() const { return m_stepTable; }
  std::uint32_t CoeffQuantizeStep() const { return m_coeffQuantizeStep; }
  std::uint32_t DoChangeStep() const { return m_doChangeStep; }
  /// The P the bases are coded with (and quantised to by the projection).
  std::int32_t Precision() const { return Block().Precision; }

  /// Row i divided by factor i; 13 (nothing changed) when a factor is 0, 14 when a row has
  /// no factor.
  ResultCode Dequantize() override;
  ResultCode LoadSteps() override;
  /// v[N + k] += v[k] and v[2N + k] += v[k] for k < N, N = columns / 3.
  ResultCode Unpredict() override;
  /// Unpredict on `rows` rows of 16-bit stored values `stride` apart whose magnitudes are
  /// below 2^14 (see ExpandSmall): the same sums, which then fit. Returns the lowest and
  /// highest of the rows' values afterwards, 0 among them.
  static std::pair<std::int16_t, std::int16_t> Unpredict(std::int16_t* data, std::uint32_t rows,
                                                         std::uint32_t columns, std::size_t stride);
  ResultCode StoreSteps() override;
  /// v[N + k] -= v[k] and v[2N + k] -= v[k] for k < N.
  ResultCode Predict() override;

 protected:
  void ShapeFromHeader(const PqzHeader& header, std::uint32_t& rows,
                       std::uint32_t& columns) const override;
  const std::vector<std::uint32_t>* Steps() const override { return &m_stepTable; }

 private:
  std::vector<std::uint32_t> m_stepTable;
  std::uint32_t m_coeffQuantizeStep = 0;
  std::uint32_t m_doChangeStep = 0;
};

}  // namespace orvane
