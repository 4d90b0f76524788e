#pragma once

#include <QImage>
#include <QSize>
#include <string>

#include "foundation/cancel_hook.h"
#include "foundation/result_code.h"
#include "pqz/decode_limits.h"

namespace orvane {

/// Largest thumbnail side accepted (the freedesktop "xx-large" size).
inline constexpr int kMaxThumbnailSide = 1024;

/// The size of a `width` x `height` picture fitted into a `side` x `side` box with its aspect
/// kept: the longest side becomes `side`, the other is rounded and at least 1. A picture that
/// already fits keeps its size, so small pictures are never enlarged. An empty size for a
/// non-positive input.
QSize FitThumbnailSize(int width, int height, int side);

/// `picture` scaled to `size` by the smooth scaler in a format it averages in: RGB32, or
/// premultiplied ARGB32 for a picture with alpha. In any other format (24-bit, indexed,
/// straight ARGB32) Qt's smooth scaling only interpolates between neighbours, which aliases
/// fine detail when a picture shrinks. A null picture when memory runs out.
QImage ScaleSmoothly(const QImage& picture, QSize size);

/// Makes the thumbnail of the file at `path` (a local file name), its longest side `side`
/// (1..kMaxThumbnailSide) and its aspect kept, by the program's thumbnail rule:
/// - a PQZ file (by name, or by its header under another name) through its one-pixel-per-
///   patch preview (small files in full), scaled to the size of the encoded picture;
/// - a JPEG file through the image reader's scaled decoding, which decodes at 1/2, 1/4 or
///   1/8 of the size at once, turned upright by its EXIF orientation;
/// - any other file the image reader knows, read in full and scaled by ScaleSmoothly.
/// A picture is refused before it is decoded when it has more pixels than `limits` allow (the
/// core's decode limits unless given), so a forged header cannot make the reader allocate
/// gigabytes; a PQZ preview is made under the same limits. The image
/// reader's allocation limit is the program's to set (it is process-wide).
///
/// 0 and `thumbnail` set on success; `thumbnail` is left alone on failure: 18 for a side
/// outside the range, 8 when the file cannot be opened, 7 for a picture beyond the limits,
/// 21 for a file the image reader cannot read (an unknown format, a truncated or corrupt
/// file), the decoder's code for a PQZ file it refuses, 29 when `cancel` stopped the decode.
/// Nothing is printed.
ResultCode MakeFileThumbnail(const std::string& path, int side, QImage& thumbnail,
                             const CancelHook& cancel = {}, const DecodeLimits& limits = {});

}  // namespace orvane
