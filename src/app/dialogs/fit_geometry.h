#pragma once

#include <QMargins>
#include <QRect>
#include <QSize>

namespace orvane {

/// The rectangle an image of `image` size takes in a `box`, scaled up or down with its aspect
/// kept: it touches the box on one axis and is centred on the other (sizes truncated), the
/// same rectangle CImageEx::FitToBox computes. Empty for an empty image or box.
QRect FittedRect(QSize image, QSize box);

/// Where the full-size window goes on a screen whose work area (the desktop without panels)
/// is `workArea`, for an image of `image` size and a window frame of `frame` (the caption in
/// its top). The result is the client area, in screen coordinates:
/// - when the image with its frame fits the work area, the image's own size, with the window
///   centred in the work area (integer halves of the spare room);
/// - otherwise the image fitted into the work area less the frame, with the window at the
///   work area's top-left corner.
QRect PlaceFullSizeWindow(QSize image, const QRect& workArea, const QMargins& frame);

}  // namespace orvane
