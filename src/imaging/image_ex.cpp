#include "imaging/image_ex.h"

#include <algorithm>
#include <array>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <new>
#include <utility>
#include <vector>

#include "foundation/large_allocation.h"

namespace orvane {

namespace {

// Bytes of one row: rows are padded to whole 32-bit words, as device-independent bitmaps are.
std::uint64_t RowStride(int width, int bpp) {
  return (static_cast<std::uint64_t>(bpp) * static_cast<std::uint64_t>(width) + 31) / 32 * 4;
}

int ChannelDistance(std::uint32_t a, std::uint32_t b) {
  int sum = 0;
  for (int shift = 0; shift < 24; shift += 8) {
    const int d = static_cast<int>((a >> shift) & 0xFF) - static_cast<int>((b >> shift) & 0xFF);
    sum += d * d;
  }
  return sum;
}

}  // namespace

// The pixels and the colour table live together, so that images sharing one bitmap also
// share its table, and both are freed when the last image lets go of them.
struct CImageEx::Bitmap {
  struct FreeDeleter {
    void operator()(std::uint8_t* p) const { std::free(p); }
  };
  // Big pictures come in huge pages: a decode writes every row once, and faulting a photo's
  // buffer in 4 KiB pages costs as much as arranging its pixels.
  std::unique_ptr<std::uint8_t, FreeDeleter> pixels;
  std::array<std::uint32_t, 256> palette{};
};

std::uint32_t BackgroundColour(std::uint16_t type) {
  switch (type) {
    case 0:
      return 0x00007F;  // dark red
    case 1:
      return 0x7F0000;  // dark blue
    default:
      return 0x7F7F7F;  // grey
  }
}

CImageEx::CImageEx(CImageEx&& other) noexcept { *this = std::move(other); }

CImageEx& CImageEx::operator=(CImageEx&& other) noexcept {
  if (this != &other) {
    CopyFrom(other);  // shares the bitmap; releasing the source's share makes it a move
    other.Destroy();
  }
  return *this;
}

bool CImageEx::Create(int width, int height, int bpp) {
  if (!IsNull() || width <= 0 || height <= 0 || (bpp != 8 && bpp != 24 && bpp != 32)) {
    return false;
  }
  const std::uint64_t stride = RowStride(width, bpp);
  if (stride > static_cast<std::uint64_t>(INT_MAX) ||
      stride > kMaxImageBytes / static_cast<std::uint64_t>(height)) {
    return false;
  }
  const std::size_t size = static_cast<std::size_t>(stride) * static_cast<std::size_t>(height);
  std::shared_ptr<Bitmap> bitmap;
  try {
    bitmap = std::make_shared<Bitmap>();
  } catch (const std::bad_alloc&) {
    return false;
  }
  bitmap->pixels.reset(static_cast<std::uint8_t*>(AllocateLarge(size)));
  if (!bitmap->pixels) {
    return false;
  }
  std::memset(bitmap->pixels.get(), 0, size);
  m_pBitmap = std::move(bitmap);
  // Bottom-up: the last row of the picture comes first in memory, so the top row is the last
  // one in the buffer and each row down lies one stride earlier.
  m_pBits = m_pBitmap->pixels.get() + size - stride;
  m_pPalette = bpp == 8 ? m_pBitmap->palette.data() : nullptr;
  m_nWidth = width;
  m_nHeight = height;
  m_nPitch = -static_cast<int>(stride);
  m_nBPP = bpp;
  m_bHasAlpha = false;
  return true;
}

void CImageEx::Destroy() {
  m_pBitmap.reset();
  m_pBits = nullptr;
  m_pPalette = nullptr;
  m_nWidth = 0;
  m_nHeight = 0;
  m_nPitch = 0;
  m_nBPP = 0;
  m_bHasAlpha = false;
}

std::span<const std::uint32_t> CImageEx::GetColourTable() const {
  if (m_pPalette == nullptr) {
    return {};
  }
  return {m_pPalette, 256};
}

bool CImageEx::SetColourTable(std::span<const std::uint32_t> colours) {
  if (m_pPalette == nullptr || colours.size() > 256) {
    return false;
  }
  for (std::size_t i = 0; i < colours.size(); ++i) {
    m_pPalette[i] = colours[i] & 0xFFFFFF;
  }
  return true;
}

std::uint8_t CImageEx::PaletteIndexOf(std::uint32_t colour) const {
  int best = 0;
  int bestDistance = INT_MAX;
  for (int i = 0; i < 256 && bestDistance > 0; ++i) {
    const int d = ChannelDistance(m_pPalette[i], colour);
    if (d < bestDistance) {
      bestDistance = d;
      best = i;
    }
  }
  return static_cast<std::uint8_t>(best);
}

void CImageEx::SetPixel(int x, int y, std::uint32_t colour) {
  if (static_cast<unsigned>(x) >= static_cast<unsigned>(m_nWidth) ||
      static_cast<unsigned>(y) >= static_cast<unsigned>(m_nHeight)) {
    return;
  }
  std::uint8_t* row = m_pBits + static_cast<std::ptrdiff_t>(y) * m_nPitch;
  const auto blue = static_cast<std::uint8_t>(colour >> 16);
  const auto green = static_cast<std::uint8_t>(colour >> 8);
  const auto red = static_cast<std::uint8_t>(colour);
  switch (m_nBPP) {
    case 24: {
      std::uint8_t* p = row + 3 * static_cast<std::ptrdiff_t>(x);
      p[0] = blue;
      p[1] = green;
      p[2] = red;
      break;
    }
    case 32: {
      std::uint8_t* p = row + 4 * static_cast<std::ptrdiff_t>(x);
      p[0] = blue;
      p[1] = green;
      p[2] = red;
      p[3] = 0xFF;
      break;
    }
    case 8:
      row[x] = PaletteIndexOf(colour);
      break;
    default:
      break;
  }
}

void CImageEx::Fill(std::uint32_t colour) {
  if (IsNull()) {
    return;
  }
  // Paint the top row pixel by pixel, then copy it into every other row.
  for (int x = 0; x < m_nWidth; ++x) {
    SetPixel(x, 0, colour);
  }
  const std::size_t rowBytes = static_cast<std::size_t>(-m_nPitch);
  for (int y = 1; y < m_nHeight; ++y) {
    std::memcpy(m_pBits + static_cast<std::ptrdiff_t>(y) * m_nPitch, m_pBits, rowBytes);
  }
}

void CImageEx::SetDrawRect(int x, int y, int width, int height) {
  m_rcDraw = DrawRect{x, y, width, height};
}

void CImageEx::FitToBox(int boxWidth, int boxHeight) {
  m_rcDraw = DrawRect{};
  // Nothing sensible can be drawn for an empty image or into an empty box; an empty
  // rectangle also keeps the divisions below away from zero.
  if (m_nWidth <= 0 || m_nHeight <= 0 || boxWidth <= 0 || boxHeight <= 0) {
    return;
  }
  const double w = m_nWidth;
  const double h = m_nHeight;
  const double sx = boxWidth / w;
  const double sy = boxHeight / h;
  // The smaller scale makes the image touch the box on that axis; the leftover space of the
  // other axis is split evenly. A tie scales by the width. Every product below stays within
  // the box, so the conversions to int cannot overflow.
  double scale;
  if (sy < sx) {
    scale = sy;
    m_rcDraw.x = static_cast<int>((boxWidth - w * sy) * 0.5);
  } else {
    scale = sx;
    m_rcDraw.y = static_cast<int>((boxHeight - h * sx) * 0.5);
  }
  m_rcDraw.width = static_cast<int>(w * scale);
  m_rcDraw.height = static_cast<int>(h * scale);
}

bool CImageEx::DrawFitted(CImageEx& target) const {
  if (target.IsNull() || (m_pBitmap != nullptr && target.m_pBitmap == m_pBitmap)) {
    return false;
  }
  const DrawRect& r = m_rcDraw;
  if (IsNull() || r.width <= 0 || r.height <= 0) {
    return true;
  }
  // Clip the rectangle to the target; 64-bit sums because the rectangle is the caller's.
  const std::int64_t left = std::max<std::int64_t>(0, r.x);
  const std::int64_t right = std::min<std::int64_t>(target.m_nWidth, std::int64_t{r.x} + r.width);
  const std::int64_t top = std::max<std::int64_t>(0, r.y);
  const std::int64_t bottom =
      std::min<std::int64_t>(target.m_nHeight, std::int64_t{r.y} + r.height);
  if (left >= right || top >= bottom) {
    return true;
  }
  // Target column i of the rectangle samples source column floor(i * w / width): whole
  // columns are repeated or dropped, never mixed, like StretchBlt in COLORONCOLOR mode.
  std::vector<int> sourceColumn(static_cast<std::size_t>(right - left));
  for (std::int64_t tx = left; tx < right; ++tx) {
    sourceColumn[static_cast<std::size_t>(tx - left)] =
        static_cast<int>((tx - r.x) * m_nWidth / r.width);
  }
  for (std::int64_t ty = top; ty < bottom; ++ty) {
    const int sy = static_cast<int>((ty - r.y) * m_nHeight / r.height);
    for (std::int64_t tx = left; tx < right; ++tx) {
      target.SetPixel(static_cast<int>(tx), static_cast<int>(ty),
                      GetPixel(sourceColumn[static_cast<std::size_t>(tx - left)], sy));
    }
  }
  return true;
}

CImageEx CImageEx::MakeThumbnail() const {
  CImageEx thumbnail;
  if (!thumbnail.Create(kThumbnailSide, kThumbnailSide, 24)) {
    return thumbnail;
  }
  thumbnail.Fill(BackgroundColour(m_nImageType));
  DrawFitted(thumbnail);
  thumbnail.m_nImageType = m_nImageType;
  return thumbnail;
}

CImageEx& CImageEx::CopyFrom(const CImageEx& other) {
  if (this == &other) {
    return *this;
  }
  m_nImageType = other.m_nImageType;
  m_rcDraw = other.m_rcDraw;
  m_pBitmap = other.m_pBitmap;
  m_pBits = other.m_pBits;
  m_pPalette = other.m_pPalette;
  m_nWidth = other.m_nWidth;
  m_nHeight = other.m_nHeight;
  m_nPitch = other.m_nPitch;
  m_nBPP = other.m_nBPP;
  m_bHasAlpha = other.m_bHasAlpha;
  return *this;
}

}  // namespace orvane
