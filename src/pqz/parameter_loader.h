#pragma once

#include <cstddef>
#include <string>

#include "foundation/result_code.h"
#include "pqz/encoding_parameters.h"

namespace orvane {

/// Longest path, in characters, that the configuration lookup accepts. Longer paths are not
/// shortened (that would name another file): they give an empty path.
inline constexpr std::size_t kMaxConfigPathLength = 260;

/// Name of the parameter file kept beside the program.
inline constexpr const char* kConfigFileName = "config.ini";

/// Directory of the running executable (from /proc/self/exe), without a trailing separator
/// except for the root; empty when it cannot be found.
std::string ProgramDirectory();

/// Path of config.ini from a program directory and a current directory: the program directory
/// when it is known and at most kMaxConfigPathLength characters long with its separator, else the
/// current directory (empty when that is unknown or too long); the whole path must also stay
/// within kMaxConfigPathLength characters, else the result is empty.
std::string BuildConfigFilePath(const std::string& programDirectory,
                                const std::string& currentDirectory);

/// config.ini beside the running program (BuildConfigFilePath with this process's directories).
std::string ConfigFilePath();

/// Loads the encoding parameters from the config.ini beside the program
/// (LoadParametersFrom(ConfigFilePath(), ...)).
void LoadParameters(CommonParameters& common, LearningParameters& learning,
                    CompressionParameters& compression);

/// Loads the encoding parameters from `iniPath`.
///
/// A file that cannot be opened gives the built-in defaults, silently. Otherwise the keys are read
/// in the order ColorSpace, PatchWidth, PatchHeight ([Common]), ConversionCondition,
/// DimensionReduction, MaxIterations ([Learning]), CoeffQuantizeStep, DoChangeStep, MaxZeroRun,
/// PrecisionBit, BasePrecisionBit ([Compression]):
/// - ColorSpace: the first three characters, "RGB", "YCC" or "HSV" exactly (case matters);
///   anything else, or a missing key, keeps the field's previous value.
/// - ConversionCondition: missing keeps the previous value; otherwise the decimal conversion of
///   the text (C locale, whatever the process locale is), keeping what was converted even when
///   text is left over ("1e-3x" gives 0.001) or the value is out of range.
/// - integer keys: a missing key, or a literal -1, leaves -1 (0xFFFFFFFF in the unsigned
///   fields), except CoeffQuantizeStep and BasePrecisionBit, which become 0. CheckParameters
///   refuses the record afterwards.
/// Finally AverageQuantizeStep = trunc(CoeffQuantizeStep / (1.5 x PatchWidth)), or 1 when that
/// is 0 (also when PatchWidth is 0, a record CheckParameters refuses).
void LoadParametersFrom(const std::string& iniPath, CommonParameters& common,
                        LearningParameters& learning, CompressionParameters& compression);

/// Loads the encoding parameters from a configuration that the user named, which must exist:
/// 8 (nothing changed) when `iniPath` is not a regular file that can be read (missing, a
/// folder, no permission); otherwise the keys as LoadParametersFrom reads them, and 0.
ResultCode LoadNamedParameters(const std::string& iniPath, CommonParameters& common,
                               LearningParameters& learning, CompressionParameters& compression);

/// The patch-mean step derived from the coefficient step and the patch width (at least 1).
std::uint32_t DeriveAverageQuantizeStep(std::uint32_t coeffQuantizeStep, std::uint32_t patchWidth);

/// Applies the learning method chosen for a batch conversion: PCA runs no ICA iteration
/// (MaxIterations = 0); ICA runs at most 100 when the configuration asked for none.
void ApplyLearningMethod(LearningParameters& learning, LearningMethod method);

}  // namespace orvane
