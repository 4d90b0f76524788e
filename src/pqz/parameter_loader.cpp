#include "pqz/parameter_loader.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <vector>

#include <locale.h>
#include <unistd.h>

#include "pqz/profile_reader.h"

namespace orvane {
namespace {

constexpr std::int32_t kMissingInteger = -1;
constexpr const char* kMissingText = "ERR";
constexpr std::size_t kColorSpaceBufferSize = 4;  // three characters and the terminator
constexpr std::size_t kConditionBufferSize = 512;
constexpr std::uint32_t kIcaIterationsWhenUnset = 100;

/// The "C" locale, so that "0.0001" converts the same under a user locale with a decimal comma
/// (Qt applications adopt the user's locale at start-up). Null when it cannot be made.
locale_t ClassicLocale() {
  static const locale_t locale = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(0));
  return locale;
}

double ConvertDecimal(const char* text) {
  char* end = nullptr;
  const locale_t classic = ClassicLocale();
  return classic != static_cast<locale_t>(0) ? strtod_l(text, &end, classic)
                                             : std::strtod(text, &end);
}

std::string CurrentDirectory() {
  std::vector<char> buffer(4096);
  while (::getcwd(buffer.data(), buffer.size()) == nullptr) {
    // Only a too small buffer is worth a retry; the growth is bounded by the path limit check
    // the caller applies anyway.
    if (errno != ERANGE || buffer.size() >= (std::size_t{1} << 16)) return {};
    buffer.resize(buffer.size() * 2);
  }
  return std::string(buffer.data());
}

std::string JoinPath(const std::string& directory, const char* name) {
  if (!directory.empty() && directory.back() == '/') return directory + name;
  return directory + '/' + name;
}

/// Integer key rule: the -1 default, or a literal -1, marks the key as missing.
std::int32_t ReadInteger(const ProfileReader& reader, const char* section, const char* key,
                         std::int32_t valueWhenMissing) {
  const std::int32_t value = reader.GetInt(section, key, kMissingInteger);
  return value == kMissingInteger ? valueWhenMissing : value;
}

void ReadColorSpace(const ProfileReader& reader, CommonParameters& common) {
  char text[kColorSpaceBufferSize];
  reader.GetString("Common", "ColorSpace", kMissingText, text, sizeof text);
  if (std::strcmp(text, "RGB") == 0) {
    common.ColorSpace = kColorSpaceRgb;
  } else if (std::strcmp(text, "YCC") == 0) {
    common.ColorSpace = kColorSpaceYcc;
  } else if (std::strcmp(text, "HSV") == 0) {
    common.ColorSpace = kColorSpaceHsv;
  }
}

void ReadConversionCondition(const ProfileReader& reader, LearningParameters& learning) {
  char text[kConditionBufferSize];
  reader.GetString("Learning", "ConversionCondition", kMissingText, text, sizeof text);
  if (std::strcmp(text, kMissingText) == 0) return;
  learning.ConversionCondition = ConvertDecimal(text);
}

}  // namespace

std::string ProgramDirectory() {
  std::vector<char> buffer(4096);
  for (;;) {
    const ssize_t length = ::readlink("/proc/self/exe", buffer.data(), buffer.size());
    if (length <= 0) return {};
    if (static_cast<std::size_t>(length) < buffer.size()) {
      const std::string path(buffer.data(), static_cast<std::size_t>(length));
      const std::size_t slash = path.rfind('/');
      if (slash == std::string::npos) return {};
      return slash == 0 ? std::string("/") : path.substr(0, slash);
    }
    // readlink truncates silently: a full buffer means the path may be longer.
    if (buffer.size() >= (std::size_t{1} << 16)) return {};
    buffer.resize(buffer.size() * 2);
  }
}

std::string BuildConfigFilePath(const std::string& programDirectory,
                                const std::string& currentDirectory) {
  std::string directory = programDirectory;
  // The directory counts with its separator, as the file name is appended after one.
  if (directory.empty() || directory.size() + 1 > kMaxConfigPathLength) {
    directory = currentDirectory;
    if (directory.empty() || directory.size() > kMaxConfigPathLength) return {};
  }
  std::string path = JoinPath(directory, kConfigFileName);
  if (path.size() > kMaxConfigPathLength) return {};
  return path;
}

std::string ConfigFilePath() { return BuildConfigFilePath(ProgramDirectory(), CurrentDirectory()); }

void LoadParameters(CommonParameters& common, LearningParameters& learning,
                    CompressionParameters& compression) {
  LoadParametersFrom(ConfigFilePath(), common, learning, compression);
}

std::uint32_t DeriveAverageQuantizeStep(std::uint32_t coeffQuantizeStep, std::uint32_t patchWidth) {
  // A width of 0 would divide by zero and turn an infinity into an integer; such a record is
  // refused later, so the neutral step is enough here.
  if (patchWidth == 0) return 1;
  // The quotient is at most (2^32 - 1) / 1.5, so it always fits the field.
  const double quotient = static_cast<double>(coeffQuantizeStep) / (1.5 * patchWidth);
  const auto step = static_cast<std::uint32_t>(quotient);
  return step == 0 ? 1 : step;
}

namespace {

// The keys of a read configuration, in their order (see LoadParametersFrom).
void ReadParameters(const ProfileReader& reader, CommonParameters& common,
                    LearningParameters& learning, CompressionParameters& compression) {
  // The unsigned fields take a -1 as 0xFFFFFFFF, the value CheckParameters looks for.
  ReadColorSpace(reader, common);
  common.PatchWidth =
      static_cast<std::uint32_t>(ReadInteger(reader, "Common", "PatchWidth", kMissingInteger));
  common.PatchHeight =
      static_cast<std::uint32_t>(ReadInteger(reader, "Common", "PatchHeight", kMissingInteger));

  ReadConversionCondition(reader, learning);
  learning.DimensionReduction = static_cast<std::uint32_t>(
      ReadInteger(reader, "Learning", "DimensionReduction", kMissingInteger));
  learning.MaxIterations =
      static_cast<std::uint32_t>(ReadInteger(reader, "Learning", "MaxIterations", kMissingInteger));

  compression.CoeffQuantizeStep =
      static_cast<std::uint32_t>(ReadInteger(reader, "Compression", "CoeffQuantizeStep", 0));
  compression.DoChangeStep = static_cast<std::uint32_t>(
      ReadInteger(reader, "Compression", "DoChangeStep", kMissingInteger));
  compression.MaxZeroRun = ReadInteger(reader, "Compression", "MaxZeroRun", kMissingInteger);
  compression.PrecisionBit = ReadInteger(reader, "Compression", "PrecisionBit", kMissingInteger);
  compression.BasePrecisionBit = ReadInteger(reader, "Compression", "BasePrecisionBit", 0);

  compression.AverageQuantizeStep =
      DeriveAverageQuantizeStep(compression.CoeffQuantizeStep, common.PatchWidth);
}

}  // namespace

void LoadParametersFrom(const std::string& iniPath, CommonParameters& common,
                        LearningParameters& learning, CompressionParameters& compression) {
  ProfileReader reader;
  if (iniPath.empty() || reader.LoadFile(iniPath) != kSuccess) {
    common = CommonParameters{};
    learning = LearningParameters{};
    compression = CompressionParameters{};
    compression.AverageQuantizeStep =
        DeriveAverageQuantizeStep(compression.CoeffQuantizeStep, common.PatchWidth);
    return;
  }
  ReadParameters(reader, common, learning, compression);
}

ResultCode LoadNamedParameters(const std::string& iniPath, CommonParameters& common,
                               LearningParameters& learning, CompressionParameters& compression) {
  ProfileReader reader;
  if (reader.LoadFile(iniPath) != kSuccess) return kCannotOpenFile;
  ReadParameters(reader, common, learning, compression);
  return kSuccess;
}

void ApplyLearningMethod(LearningParameters& learning, LearningMethod method) {
  switch (method) {
    case LearningMethod::kPca:
      learning.MaxIterations = 0;
      break;
    case LearningMethod::kIca:
      if (learning.MaxIterations == 0) learning.MaxIterations = kIcaIterationsWhenUnset;
      break;
  }
}

}  // namespace orvane
