#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <utility>

#include "foundation/cancel_hook.h"
#include "foundation/report_sink.h"
#include "foundation/result_code.h"
#include "pqz/average.h"
#include "pqz/base.h"
#include "pqz/coeff.h"
#include "pqz/decode_limits.h"
#include "pqz/encoding_parameters.h"
#include "pqz/patch_matrix.h"
#include "pqz/pqz_header.h"

namespace orvane {

class CImageEx;
class PqzReader;
class StageTimer;

/// Encoder and decoder of PQZ files. A codec is made for one encoding or one decoding: it
/// owns the parameters, the header and the three components of that one file.
///
/// The codec reports its stages, parameters and sizes to its report sink (standard output
/// unless the caller gives another), as the batch tools and logs expect; it never shows
/// anything to a user.
class PqzCodec {
 public:
  PqzCodec();

  /// Where the reports go from now on; the sink must outlive the codec's operations.
  void SetReportSink(ReportSink& sink) { m_report = &sink; }
  /// Asked between bands, stages and learning iterations; a cancelled operation returns 29.
  void SetCancelHook(CancelHook hook) { m_cancel = std::move(hook); }
  /// What a decode or preview may cost; files beyond it are refused with 7.
  void SetDecodeLimits(const DecodeLimits& limits) { m_limits = limits; }
  /// Threads that multiply and arrange the bands of a decode, the calling one included; 0
  /// (the default) takes one per processor core. The image does not depend on it.
  void SetDecodeThreads(unsigned threads) { m_decodeThreads = threads; }

  /// Copies the three parameter groups, checks them (10, 20 or 17, see CheckParameters),
  /// sets the three components up for encoding (7 when memory runs out) and prints the
  /// parameter report. The codec must not encode after a failure.
  ResultCode SetParameters(const CommonParameters& common, const LearningParameters& learning,
                           const CompressionParameters& compression);

  /// Encodes `image` into a PQZ file at `path`, reporting the six stage lines and the header
  /// and size reports to the report sink. 22 when the image holds no bitmap; 27 for a colour
  /// space outside 0..2; 29 when the cancel hook, asked between the stages and the learning
  /// steps, stops it. The file appears only complete: it is written beside the target and
  /// renamed into place on success, so a failure leaves no file and never harms an existing
  /// one. A new file gets the permissions the umask leaves; a replaced one keeps its mode.
  ResultCode Encode(const std::string& path, const CImageEx& image);

  /// Decodes the PQZ file at `path` into a 24-bit `image` of the file's size, printing the
  /// four timing lines (each the total of its stage). The header is weighed against the
  /// decode limits before any section is read (7 when the file passes them); the picture is
  /// then made in bands of patch rows. The cancel hook is asked between stages and bands.
  /// On failure or cancelling (29) the image is left empty.
  ResultCode Decode(CImageEx& image, const std::string& path);
  /// Decode from the `size` bytes of a whole file at `data`, by the same path.
  ResultCode DecodeMemory(CImageEx& image, const std::uint8_t* data, std::size_t size);

  /// Reads only the patch means of the file at `path` and makes a 24-bit image of one pixel
  /// per patch, within the decode limits (7). On failure or cancelling (29) the image is left
  /// empty.
  ResultCode Preview(CImageEx& image, const std::string& path);
  /// Preview from the `size` bytes of a whole file at `data`, by the same path.
  ResultCode PreviewMemory(CImageEx& image, const std::uint8_t* data, std::size_t size);

  const PqzHeader& Header() const { return m_header; }
  const EncodingParameters& Parameters() const { return m_parameters; }

 private:
  /// The three components in file order: averages, bases, coefficients.
  std::array<CPQZComponent*, 3> Components() { return {&m_average, &m_base, &m_coeff}; }

  // Encoder stages.
  ResultCode SetBases(const PatchMatrix& patches);
  ResultCode PreConvert(Tarn::Matrix<double>& projection);
  ResultCode Multiply(const PatchMatrix& patches, const Tarn::Matrix<double>& projection);
  ResultCode CompressComponents();
  ResultCode SaveFile(const std::string& path, const CImageEx& image);
  ResultCode WriteSections(std::FILE* file);

  // Decoder stages.
  struct DecodeTimes {
    double expand = 0, multiply = 0, arrange = 0;
  };
  ResultCode DecodeFrom(PqzReader& reader, CImageEx& image, StageTimer& timer);
  /// Expands, multiplies and arranges the coefficients `bandRows` patch rows at a time, with
  /// the bases both as stored (D x 3N) and transposed; `sparse` allows the product that skips
  /// zero coefficients (the bases then hold finite values only).
  ResultCode DecodeBands(const Tarn::Matrix<double>& bases, const Tarn::Matrix<double>& basesT,
                         bool sparse, std::uint32_t bandRows, CImageEx& image, DecodeTimes& times);
  ResultCode PreviewFrom(PqzReader& reader, CImageEx& image);
  void PrintTiming(const char* label, double seconds) const;

  ReportSink& Report() const { return *m_report; }
  bool Canceled() const { return IsCanceled(m_cancel); }

  ReportSink* m_report = &DefaultReportSink();
  CancelHook m_cancel;
  DecodeLimits m_limits;
  unsigned m_decodeThreads = 0;
  EncodingParameters m_parameters;
  PqzHeader m_header;
  CAverage m_average;
  CBase m_base;
  CCoeff m_coeff;
};

}  // namespace orvane
