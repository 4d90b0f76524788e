#include "config_ini_entry.h"

#include <string_view>

#include "fuzz_input_file.h"
#include "pqz/encoding_parameters.h"
#include "pqz/parameter_check.h"
#include "pqz/parameter_loader.h"
#include "pqz/profile_reader.h"

namespace orvane::fuzz {
namespace {

struct Key {
  std::string_view section;
  std::string_view name;
};

constexpr Key kKeys[] = {
    {"Common", "ColorSpace"},
    {"Common", "PatchWidth"},
    {"Common", "PatchHeight"},
    {"Learning", "ConversionCondition"},
    {"Learning", "DimensionReduction"},
    {"Learning", "MaxIterations"},
    {"Compression", "CoeffQuantizeStep"},
    {"Compression", "DoChangeStep"},
    {"Compression", "MaxZeroRun"},
    {"Compression", "PrecisionBit"},
    {"Compression", "BasePrecisionBit"},
};

// Every lookup of the reader on the text itself, buffers of awkward sizes included.
void LookUpEveryKey(std::string_view text) {
  ProfileReader reader;
  reader.SetText(text);
  char buffer[16];
  for (const Key& key : kKeys) {
    reader.GetInt(key.section, key.name, -1);
    reader.GetString(key.section, key.name, "default", buffer, sizeof buffer);
    reader.GetString(key.section, key.name, "", buffer, 1);
    reader.GetString(key.section, key.name, "", buffer, 0);
  }
}

}  // namespace

ResultCode ReadConfigBytes(const std::uint8_t* data, std::size_t size) {
  LookUpEveryKey(std::string_view(reinterpret_cast<const char*>(data), size));
  const std::string path = WriteInputFile(data, size, "config.ini");
  if (path.empty()) return kCannotOpenFile;
  EncodingParameters parameters;
  LoadParametersFrom(path, parameters.Common, parameters.Learning, parameters.Compression);
  const ResultCode code = CheckParameters(parameters);
  for (LearningMethod method : {LearningMethod::kPca, LearningMethod::kIca}) {
    EncodingParameters chosen = parameters;
    ApplyLearningMethod(chosen.Learning, method);
    CheckParameters(chosen);
  }
  return code;
}

}  // namespace orvane::fuzz
