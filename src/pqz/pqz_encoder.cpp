// Encoding: an image to a PQZ file, in six timed stages.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <vector>

#include <sys/stat.h>
#include <unistd.h>

#include "imaging/image_ex.h"
#include "learning/basis_learner.h"
#include "learning/basis_projector.h"
#include "pqz/patch_extractor.h"
#include "pqz/pqz_codec.h"
#include "pqz/stage_timer.h"

namespace orvane {
namespace {

void PrintStage(const char* label, const StageTimer& timer) {
  std::cout << label << timer.Seconds() << std::endl;
}

// A file beside the target that becomes the target only once it is complete. Dropping it
// without Commit removes it, so a failed encoding leaves neither a partial file nor a
// damaged earlier one.
class PendingFile {
 public:
  explicit PendingFile(const std::string& target) : m_target(target) {}
  ~PendingFile() {
    if (m_file != nullptr) std::fclose(m_file);
    if (!m_temporary.empty()) std::remove(m_temporary.c_str());
  }
  PendingFile(const PendingFile&) = delete;
  PendingFile& operator=(const PendingFile&) = delete;

  std::FILE* Open() {
    std::vector<char> name(m_target.begin(), m_target.end());
    for (char c : std::string(".XXXXXX")) name.push_back(c);
    name.push_back('\0');
    const int fd = ::mkstemp(name.data());
    if (fd < 0) return nullptr;
    m_temporary = name.data();
    // mkstemp makes the file private; give it the permissions an ordinary new file gets.
    const mode_t mask = ::umask(0);
    ::umask(mask);
    ::fchmod(fd, 0666 & ~mask);
    m_file = ::fdopen(fd, "wb");
    if (m_file == nullptr) ::close(fd);
    return m_file;
  }

  /// Closes and renames into place; 15 when the data did not all reach the disk.
  ResultCode Commit() {
    const bool flushed = std::fclose(m_file) == 0;
    m_file = nullptr;
    if (!flushed || std::rename(m_temporary.c_str(), m_target.c_str()) != 0) {
      return kWriteFailed;
    }
    m_temporary.clear();
    return kSuccess;
  }

 private:
  std::string m_target;
  std::string m_temporary;
  std::FILE* m_file = nullptr;
};

}  // namespace

ResultCode PqzCodec::SetBases(const PatchMatrix& patches) {
  BasisLearner learner(m_parameters.Learning);
  return learner.LearnBases(patches, m_base);
}

ResultCode PqzCodec::PreConvert(Tarn::Matrix<double>& projection) {
  BasisProjector projector(static_cast<std::uint32_t>(m_base.Precision()),
                           m_base.CoeffQuantizeStep(), m_base.DoChangeStep() != 0);
  return projector.Run(m_base, m_base.StepTable(), projection);
}

ResultCode PqzCodec::Multiply(const PatchMatrix& patches, const Tarn::Matrix<double>& projection) {
  try {
    static_cast<Tarn::Matrix<double>&>(m_coeff) = patches * projection;
  } catch (const Tarn::MatrixException&) {
    return kNoMemory;
  }
  return kSuccess;
}

ResultCode PqzCodec::CompressComponents() {
  for (CPQZComponent* component : Components()) {
    if (const ResultCode rc = component->Compress(); rc != kSuccess) return rc;
  }
  return kSuccess;
}

ResultCode PqzCodec::WriteSections(std::FILE* file) {
  if (const ResultCode rc = WritePqzHeader(file, m_header); rc != kSuccess) return rc;
  for (CPQZComponent* component : Components()) {
    if (const ResultCode rc = component->Write(file); rc != kSuccess) return rc;
  }
  return kSuccess;
}

ResultCode PqzCodec::SaveFile(const std::string& path, const CImageEx& image) {
  PendingFile pending(path);
  std::FILE* file = pending.Open();
  if (file == nullptr) return kCannotOpenFile;
  if (const ResultCode rc = FillPqzHeader(m_parameters, image.GetWidth(), image.GetHeight(),
                                          m_average.StoredSize(), m_base.StoredSize(), m_header);
      rc != kSuccess) {
    return rc;
  }
  if (const ResultCode rc = WriteSections(file); rc != kSuccess) return rc;
  return pending.Commit();
}

ResultCode PqzCodec::Encode(const std::string& path, const CImageEx& image) {
  if (image.IsNull()) return kInvalidValues;

  StageTimer timer;
  PatchMatrix patches;
  if (const ResultCode rc = ExtractPatches(image, m_parameters.Common, patches, m_average);
      rc != kSuccess) {
    return rc;
  }
  PrintStage("  extracting...", timer);

  timer.Restart();
  if (const ResultCode rc = SetBases(patches); rc != kSuccess) return rc;
  PrintStage("  set bases...", timer);

  timer.Restart();
  Tarn::Matrix<double> projection;
  if (const ResultCode rc = PreConvert(projection); rc != kSuccess) return rc;
  PrintStage("  pre - convert...", timer);

  timer.Restart();
  if (const ResultCode rc = Multiply(patches, projection); rc != kSuccess) return rc;
  PrintStage("  multiply...", timer);

  timer.Restart();
  if (const ResultCode rc = CompressComponents(); rc != kSuccess) return rc;
  PrintStage("  compressing...", timer);

  timer.Restart();
  if (const ResultCode rc = SaveFile(path, image); rc != kSuccess) return rc;
  PrintStage("  saving...", timer);
  std::cout << std::endl;
  PrintHeaderReport(m_header);
  PrintSizeReport(m_average.StoredSize(), m_base.StoredSize(), m_coeff.StoredSize());
  return kSuccess;
}

}  // namespace orvane
