#pragma once

#include <cstdint>
#include <utility>

#include "foundation/matrix.h"

namespace orvane {

/// G x 3N matrix of patch vectors: one row per patch, numbered row by row from the top-left
/// patch, channel-planar (value i of channel c is column c x N + i, with i the pixel's index
/// inside the patch in reading order). It carries the patch size it was cut with.
class PatchMatrix : public Tarn::Matrix<double> {
 public:
  PatchMatrix() = default;
  PatchMatrix(std::uint32_t patchWidth, std::uint32_t patchHeight)
      : m_patchWidth(patchWidth), m_patchHeight(patchHeight) {}

  PatchMatrix& operator=(Tarn::Matrix<double>&& values) noexcept {
    Tarn::Matrix<double>::operator=(std::move(values));
    return *this;
  }

  std::uint32_t PatchWidth() const { return m_patchWidth; }
  std::uint32_t PatchHeight() const { return m_patchHeight; }
  std::uint32_t PixelsPerPatch() const { return m_patchWidth * m_patchHeight; }

 private:
  std::uint32_t m_patchWidth = 0;
  std::uint32_t m_patchHeight = 0;
};

}  // namespace orvane
