#pragma once

#include <cstdint>
#include <vector>

#include "pqz/encoding_parameters.h"
#include "pqz/pqz_component.h"

namespace orvane {

/// The patch means: 3 x G, one row per colour channel, column k the means of patch k. They
/// are quantised by a step per channel and stored as differences between successive patches
/// of the same channel, which are small for smooth images.
class CAverage : public CPQZComponent {
 public:
  /// StepTable = 3 x AverageQuantizeStep, P = PrecisionBit, R = MaxZeroRun. 7 when memory
  /// cannot be had.
  ResultCode Setup(const CompressionParameters& parameters);

  /// One quantisation step per row (channel).
  std::vector<std::uint32_t>& StepTable() { return m_stepTable; }
  const std::vector<std::uint32_t>& StepTable() const { return m_stepTable; }

  /// Row i times step i; 13 (nothing changed) when a step is 0, 14 when a row has no step.
  ResultCode Dequantize() override;
  ResultCode LoadSteps() override;
  /// Rows with a step s: v = trunc(v / s); rows with step 0 are left as they are. 22 when a
  /// row has no step.
  ResultCode Quantize() override;
  /// v[j] += v[j - 1] along each row, left to right: for rows of stored values (integers of
  /// at most 32 bits) of up to 2^20 patches, whose partial sums are all exact, the additions
  /// may be grouped otherwise for speed.
  ResultCode Unpredict() override;
  ResultCode StoreSteps() override;

  /// After ReadStreamed: the next `count` patches' means, 3 x count, as Expand(true) would
  /// have given them (ExpandColumns, then Unpredict carried over from the band before, then
  /// Dequantize). The decoder and the preview work through the patches band by band with it
  /// and never hold all the means. Expand's codes.
  ResultCode ExpandBand(std::uint32_t count, Tarn::Matrix<double>& means);
  /// v[j] -= v[j - 1] along each row, right to left, so each uses the original neighbour.
  ResultCode Predict() override;

 protected:
  void ShapeFromHeader(const PqzHeader& header, std::uint32_t& rows,
                       std::uint32_t& columns) const override;
  const std::vector<std::uint32_t>* Steps() const override { return &m_stepTable; }

 private:
  std::vector<std::uint32_t> m_stepTable;
  std::uint32_t m_step = 0;     ///< AverageQuantizeStep of the last Setup
  std::vector<double> m_carry;  ///< ExpandBand: the last unpredicted value of each row
};

}  // namespace orvane
