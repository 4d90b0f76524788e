// Encoding: an image to a PQZ file, in six timed stages.
#include <cerrno>
#include <cstdio>
#include <ostream>
#include <random>
#include <string>
#include <utility>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "foundation/product_kernels.h"
#include "imaging/image_ex.h"
#include "learning/basis_learner.h"
#include "learning/basis_projector.h"
#include "learning/learner_options.h"
#include "pqz/patch_extractor.h"
#include "pqz/pqz_codec.h"
#include "pqz/stage_timer.h"

namespace orvane {
namespace {

void PrintStage(ReportSink& report, const char* label, const StageTimer& timer) {
  report << label << timer.Seconds() << std::endl;
}

// Attempts at a fresh temporary name before giving up; a clash needs another file of the same
// random name, so a second attempt practically always succeeds.
constexpr int kTemporaryNameAttempts = 64;

// Six random letters or digits for a temporary name, from a per-thread generator.
std::string RandomSuffix() {
  static constexpr char kAlphabet[] =
      "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
  thread_local std::mt19937_64 generator{std::random_device{}()};
  std::uniform_int_distribution<int> pick(0, static_cast<int>(sizeof kAlphabet) - 2);
  std::string suffix(6, 'x');
  for (char& c : suffix) c = kAlphabet[pick(generator)];
  return suffix;
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

  /// Creates the temporary file. A new target gets the permissions of any new file (0666 less
  /// the process umask, applied by the system as the file is created, so the umask itself is
  /// never touched); a target that exists already keeps its permission bits.
  std::FILE* Open() {
    int fd = -1;
    for (int attempt = 0; attempt < kTemporaryNameAttempts && fd < 0; ++attempt) {
      const std::string name = m_target + "." + RandomSuffix();
      fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
      if (fd >= 0) {
        m_temporary = name;
      } else if (errno != EEXIST) {
        return nullptr;
      }
    }
    if (fd < 0) return nullptr;
    struct stat existing {};
    if (::stat(m_target.c_str(), &existing) == 0 && S_ISREG(existing.st_mode)) {
      ::fchmod(fd, existing.st_mode & 07777);
    }
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
  const LearningParameters& learning = m_parameters.Learning;
  LearnerOptions options;
  options.ConversionCondition = learning.ConversionCondition;
  options.MaxIterations = learning.MaxIterations;
  options.DimensionReduction = learning.DimensionReduction;
  BasisLearner learner(options, Report(), m_cancel);
  return learner.LearnBases(patches, m_base);
}

ResultCode PqzCodec::PreConvert(Tarn::Matrix<double>& projection) {
  BasisProjector projector(static_cast<std::uint32_t>(m_base.Precision()),
                           m_base.CoeffQuantizeStep(), m_base.DoChangeStep() != 0);
  return projector.Run(m_base, m_base.StepTable(), projection);
}

ResultCode PqzCodec::Multiply(const PatchMatrix& patches, const Tarn::Matrix<double>& projection) {
  try {
    // Row by row the same values as patches * projection; the rows are shared between the
    // cores.
    Tarn::Matrix<double> coefficients(patches.Rows(), projection.Columns());
    if (!coefficients.IsEmpty()) {
      const Tarn::Matrix<double> transposed = projection.Transpose();
      if (patches.Columns() == 0) {
        coefficients.Fill(0.0);
      } else {
        Tarn::detail::MultiplyTransposedParallel(patches.Data(), transposed.Data(),
                                                 coefficients.Data(), patches.Rows(),
                                                 projection.Columns(), patches.Columns(), 0);
      }
    }
    static_cast<Tarn::Matrix<double>&>(m_coeff) = std::move(coefficients);
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
  if (Canceled()) return kCanceled;  // the pending file goes, and the target stays as it was
  return pending.Commit();
}

ResultCode PqzCodec::Encode(const std::string& path, const CImageEx& image) {
  if (image.IsNull()) return kInvalidValues;
  if (Canceled()) return kCanceled;

  StageTimer timer;
  PatchMatrix patches;
  if (const ResultCode rc = ExtractPatches(image, m_parameters.Common, patches, m_average);
      rc != kSuccess) {
    return rc;
  }
  PrintStage(Report(), "  extracting...", timer);
  if (Canceled()) return kCanceled;

  timer.Restart();
  if (const ResultCode rc = SetBases(patches); rc != kSuccess) return rc;
  PrintStage(Report(), "  set bases...", timer);
  if (Canceled()) return kCanceled;

  timer.Restart();
  Tarn::Matrix<double> projection;
  if (const ResultCode rc = PreConvert(projection); rc != kSuccess) return rc;
  PrintStage(Report(), "  pre - convert...", timer);
  if (Canceled()) return kCanceled;

  timer.Restart();
  if (const ResultCode rc = Multiply(patches, projection); rc != kSuccess) return rc;
  PrintStage(Report(), "  multiply...", timer);
  if (Canceled()) return kCanceled;

  timer.Restart();
  if (const ResultCode rc = CompressComponents(); rc != kSuccess) return rc;
  PrintStage(Report(), "  compressing...", timer);
  if (Canceled()) return kCanceled;

  timer.Restart();
  if (const ResultCode rc = SaveFile(path, image); rc != kSuccess) return rc;
  PrintStage(Report(), "  saving...", timer);
  Report() << std::endl;
  PrintHeaderReport(m_header, Report());
  PrintSizeReport(m_average.StoredSize(), m_base.StoredSize(), m_coeff.StoredSize(), Report());
  return kSuccess;
}

}  // namespace orvane
