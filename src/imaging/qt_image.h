#pragma once

#include <QImage>

#include "imaging/image_ex.h"

namespace orvane {

/// A deep copy of `image` as a QImage, top row first: Format_Indexed8 with the colour table
/// for 8 bits, Format_BGR888 for 24 bits, Format_ARGB32 for 32 bits with alpha and
/// Format_RGB32 without. A null QImage for an empty image or when memory runs out.
QImage ToQImage(const CImageEx& image);

/// Replaces the pixels of `image` with a copy of `picture`, keeping the picture's colours:
/// palette and grey pictures become 8 bits with a colour table, pictures with alpha 32 bits
/// with HasAlpha(), every other picture 24 bits (16-bit channels are reduced to 8). On failure
/// (a null picture, no memory) `image` is left empty.
bool FromQImage(const QImage& picture, CImageEx& image);

}  // namespace orvane
