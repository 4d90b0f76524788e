#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>

namespace orvane {

/// Type code of an image read from an ordinary file, or of a PQZ file that failed to load.
inline constexpr std::uint16_t TYPE_ORDINARY_IMAGE = 326;
/// Type code kept in the document's file records while a thumbnail has not been made yet.
inline constexpr std::uint16_t TYPE_NOT_LOADED = 99;

/// Side of the square thumbnails of the thumbnail list, in pixels.
inline constexpr int kThumbnailSide = 96;

/// The colour returned by GetPixel for a position outside the image (or for an empty image).
inline constexpr std::uint32_t kInvalidColour = 0xFFFFFFFFu;

/// Colour (0x00BBGGRR) drawn behind an image of type code `type` in boxes and thumbnails:
/// dark red for PQZ images without ICA iterations (0), dark blue with them (1), grey otherwise.
std::uint32_t BackgroundColour(std::uint16_t type);

/// Where an image is drawn inside a target box, in target pixels.
struct DrawRect {
  int x = 0;
  int y = 0;
  int width = 0;
  int height = 0;

  friend bool operator==(const DrawRect&, const DrawRect&) = default;
};

/// The system's one image: a pixel buffer of 8 (with a 256-entry colour table), 24 or 32 bits
/// per pixel, stored bottom-up with rows padded to 4 bytes, plus the image's type code and the
/// rectangle it is drawn into.
///
/// A 24-bit image holds blue, green, red bytes per pixel; GetBits() is the first byte of the top
/// row and GetPitch() is minus the row stride, so the pixel (x, y), row 0 at the top, begins at
/// GetBits() + y * GetPitch() + 3 * x. A 32-bit image holds blue, green, red and a fourth byte
/// that is the (straight, not premultiplied) alpha when HasAlpha() is set. Colours passed to and
/// from GetPixel and SetPixel are 0x00BBGGRR whatever the depth.
///
/// Images may share one pixel buffer (CopyFrom); the buffer lives as long as any image that
/// uses it. An image is used by one thread at a time.
class CImageEx {
 public:
  /// Largest pixel buffer Create accepts. Far above any photo the system handles (a
  /// 100-megapixel photo needs 300 MB at 24 bits), and it keeps a size read from a hostile
  /// file from asking for an absurd allocation.
  static constexpr std::size_t kMaxImageBytes = std::size_t{1} << 31;

  CImageEx() = default;
  ~CImageEx() = default;
  /// Copying is explicit (CopyFrom) so that no image starts sharing pixels by accident.
  CImageEx(const CImageEx&) = delete;
  CImageEx& operator=(const CImageEx&) = delete;
  /// Moving hands the pixels over and leaves `other` empty.
  CImageEx(CImageEx&& other) noexcept;
  CImageEx& operator=(CImageEx&& other) noexcept;

  /// Allocates a zeroed width x height image of `bpp` bits per pixel (8, 24 or 32; an 8-bit
  /// image gets a colour table of 256 black entries). Callers Destroy a holding image first;
  /// Create refuses to replace pixels. False (and the image unchanged) for a holding image,
  /// a non-positive side, another depth, a buffer above kMaxImageBytes or when memory runs out.
  bool Create(int width, int height, int bpp);
  /// Lets go of the pixels (freed when no other image shares them); the image is then empty.
  /// The type code and the draw rectangle are kept.
  void Destroy();
  bool IsNull() const { return m_pBitmap == nullptr; }
  /// Whether another image holds the same pixels (images share them through CopyFrom).
  bool SharesPixels() const { return m_pBitmap.use_count() > 1; }

  int GetWidth() const { return m_nWidth; }
  int GetHeight() const { return m_nHeight; }
  int GetBPP() const { return m_nBPP; }
  /// Signed byte distance from one row to the next one down (negative: bottom-up storage).
  int GetPitch() const { return m_nPitch; }
  /// The first byte of the top row; nullptr for an empty image.
  std::uint8_t* GetBits() { return m_pBits; }
  const std::uint8_t* GetBits() const { return m_pBits; }
  /// A 32-bit image whose fourth byte is alpha.
  bool HasAlpha() const { return m_bHasAlpha; }
  /// Marks a 32-bit image as carrying alpha; ignored for other depths.
  void SetHasAlpha(bool hasAlpha) { m_bHasAlpha = hasAlpha && m_nBPP == 32; }

  /// The colour table of an 8-bit image (256 colours 0x00BBGGRR), empty for other depths.
  std::span<const std::uint32_t> GetColourTable() const;
  /// Replaces the first colours.size() entries of an 8-bit image's table; the rest keep
  /// their colours. False for other depths or more than 256 colours.
  bool SetColourTable(std::span<const std::uint32_t> colours);

  /// Colour 0x00BBGGRR of the pixel (x, y), row 0 at the top; kInvalidColour outside the image.
  std::uint32_t GetPixel(int x, int y) const;
  /// Paints the pixel (x, y) with `colour` (0x00BBGGRR); a 32-bit pixel becomes opaque and an
  /// 8-bit pixel takes the nearest colour of the table. Nothing happens outside the image.
  void SetPixel(int x, int y, std::uint32_t colour);
  /// Paints every pixel with `colour`.
  void Fill(std::uint32_t colour);

  /// Stores the rectangle the image is drawn into.
  void SetDrawRect(int x, int y, int width, int height);
  /// Sets m_rcDraw so that the image, scaled up or down with its aspect kept, touches the
  /// boxWidth x boxHeight box on one axis and is centred on the other. An empty image gets an
  /// empty rectangle.
  void FitToBox(int boxWidth, int boxHeight);

  /// Draws the whole image into m_rcDraw of `target` (clipped to the target) with
  /// nearest-neighbour sampling: target column i of the rectangle shows source column
  /// floor(i * width / m_rcDraw.width), and likewise for rows, so rows and columns are repeated
  /// or dropped and colours are never blended. An empty image or rectangle draws nothing.
  /// False when `target` is empty or shares this image's pixels.
  bool DrawFitted(CImageEx& target) const;
  /// A 96 x 96 24-bit image filled with BackgroundColour(m_nImageType) with this image drawn
  /// into m_rcDraw as DrawFitted does; call FitToBox(96, 96) first. The thumbnail keeps this
  /// image's type code. Empty only when memory runs out.
  CImageEx MakeThumbnail() const;

  /// Makes this image use the pixels of `other` and copies its type code and draw rectangle.
  /// The two share one buffer: pixels written through one are seen through the other, and the
  /// buffer stays valid until both images have let go of it, in either order.
  CImageEx& CopyFrom(const CImageEx& other);

  /// Type code: 0 or 1 from a PQZ file's header, TYPE_ORDINARY_IMAGE for other files.
  std::uint16_t m_nImageType = TYPE_ORDINARY_IMAGE;
  DrawRect m_rcDraw;

 private:
  struct Bitmap;

  std::uint8_t PaletteIndexOf(std::uint32_t colour) const;

  std::shared_ptr<Bitmap> m_pBitmap;
  std::uint8_t* m_pBits = nullptr;
  // Colours of the 8-bit table as 0x00BBGGRR, inside m_pBitmap; nullptr for other depths.
  std::uint32_t* m_pPalette = nullptr;
  int m_nWidth = 0;
  int m_nHeight = 0;
  int m_nPitch = 0;
  int m_nBPP = 0;
  bool m_bHasAlpha = false;
};

// GetPixel runs once per pixel when an image is encoded, so it is inline and does no more than
// one bounds check and one switch.
inline std::uint32_t CImageEx::GetPixel(int x, int y) const {
  if (static_cast<unsigned>(x) >= static_cast<unsigned>(m_nWidth) ||
      static_cast<unsigned>(y) >= static_cast<unsigned>(m_nHeight)) {
    return kInvalidColour;
  }
  const std::uint8_t* row = m_pBits + static_cast<std::ptrdiff_t>(y) * m_nPitch;
  switch (m_nBPP) {
    case 24: {
      const std::uint8_t* p = row + 3 * static_cast<std::ptrdiff_t>(x);
      return std::uint32_t{p[2]} | std::uint32_t{p[1]} << 8 | std::uint32_t{p[0]} << 16;
    }
    case 32: {
      const std::uint8_t* p = row + 4 * static_cast<std::ptrdiff_t>(x);
      return std::uint32_t{p[2]} | std::uint32_t{p[1]} << 8 | std::uint32_t{p[0]} << 16;
    }
    case 8:
      return m_pPalette[row[x]];
    default:
      return kInvalidColour;
  }
}

}  // namespace orvane
