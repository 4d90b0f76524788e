#include "convert/batch/pqz_batch.h"

#include "convert/batch/batch_output.h"
#include "convert/batch/batch_runner.h"
#include "imaging/image_ex.h"
#include "imaging/image_file.h"
#include "pqz/parameter_loader.h"
#include "pqz/pqz_codec.h"

namespace orvane {

EncodingParameters LoadBatchParameters(const std::string& configPath, const std::string& method) {
  EncodingParameters parameters;
  LoadParametersFrom(configPath.empty() ? ConfigFilePath() : configPath, parameters.Common,
                     parameters.Learning, parameters.Compression);
  if (method == "PCA") {
    ApplyLearningMethod(parameters.Learning, LearningMethod::kPca);
  } else if (method == "ICA") {
    ApplyLearningMethod(parameters.Learning, LearningMethod::kIca);
  }
  return parameters;
}

BatchResult ConvertToPqz(const std::vector<BatchItem>& items, const PqzBatchSettings& settings) {
  const BatchSettings& batch = settings.batch;
  const EncodingParameters parameters = LoadBatchParameters(settings.configPath, settings.method);
  const std::vector<PlannedOutput> outputs =
      PlanOutputs(items, batch.targetDir, batch.saveDir, "pqz");

  const auto convert = [&](std::size_t index, ReportSink& report) -> ResultCode {
    const PlannedOutput& output = outputs[index];
    if (output.taken) return kInvalidArguments;
    PqzCodec codec;
    codec.SetReportSink(report);
    codec.SetCancelHook(batch.cancel);
    if (const ResultCode rc =
            codec.SetParameters(parameters.Common, parameters.Learning, parameters.Compression);
        rc != kSuccess) {
      return rc;
    }
    // The platform reader, not loading by file type: an existing PQZ file is not an image to
    // encode again, so it fails in Encode for want of a bitmap.
    CImageEx image;
    LoadImageFile(image, items[index].m_strPath);
    if (IsCanceled(batch.cancel)) return kCanceled;
    if (!image.IsNull() && !MakeOutputFolder(output.path)) return kWriteFailed;
    const ResultCode rc = codec.Encode(output.path, image);
    // A file finished while the batch was being cancelled is kept: it is complete.
    return rc;
  };

  return RunBatch(items, batch, convert, [&](std::size_t i) { return outputs[i].path; });
}

}  // namespace orvane
