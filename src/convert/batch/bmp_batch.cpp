#include "convert/batch/bmp_batch.h"

#include "convert/batch/batch_output.h"
#include "convert/batch/batch_runner.h"
#include "imaging/image_ex.h"
#include "imaging/image_file.h"
#include "pqz/pqz_codec.h"

namespace orvane {

BatchResult ConvertToBmp(const std::vector<BatchItem>& items, const BatchSettings& settings) {
  const std::vector<PlannedOutput> outputs =
      PlanOutputs(items, settings.targetDir, settings.saveDir, "bmp");

  const auto convert = [&](std::size_t index, ReportSink& report) -> ResultCode {
    const PlannedOutput& output = outputs[index];
    if (output.taken) return kInvalidArguments;
    CImageEx image;
    {
      PqzCodec codec;
      codec.SetReportSink(report);
      codec.SetCancelHook(settings.cancel);
      if (const ResultCode rc = codec.Decode(image, items[index].m_strPath); rc != kSuccess) {
        return rc;
      }
    }
    if (IsCanceled(settings.cancel)) return kCanceled;
    if (!MakeOutputFolder(output.path)) return kWriteFailed;
    return SaveImageFile(image, output.path) ? kSuccess : kWriteFailed;
  };

  return RunBatch(items, settings, convert, [&](std::size_t i) { return items[i].m_strName; });
}

}  // namespace orvane
