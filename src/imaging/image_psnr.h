#pragma once

namespace orvane {

class CImageEx;

/// Peak signal-to-noise ratio in dB over the red, green and blue channels of two images of
/// one size: how far a decoded picture lies from its original. Infinity for equal images,
/// 0 for images of different sizes or an empty one.
double Psnr(const CImageEx& a, const CImageEx& b);

}  // namespace orvane
