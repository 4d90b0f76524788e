#pragma once

#include <cstdint>

namespace orvane {

/// Program-wide outcome of an operation: 0 is success, 1..33 name a failure.
/// A sequence of steps returns the first non-zero code of its steps unchanged.
using ResultCode = std::int32_t;

inline constexpr ResultCode kSuccess = 0;
inline constexpr ResultCode kAlreadyLaunched = 1;
inline constexpr ResultCode kBufferEmpty = 2;
inline constexpr ResultCode kBufferShort = 3;
inline constexpr ResultCode kOutOfRange = 4;
inline constexpr ResultCode kCacheLoadFailed = 5;
inline constexpr ResultCode kCacheStoreFailed = 6;
inline constexpr ResultCode kNoMemory = 7;
inline constexpr ResultCode kCannotOpenFile = 8;
inline constexpr ResultCode kCompressFailed = 9;
inline constexpr ResultCode kConfigLoadFailed = 10;
inline constexpr ResultCode kConfigStoreFailed = 11;
inline constexpr ResultCode kDecompressFailed = 12;
inline constexpr ResultCode kDividedByZero = 13;
inline constexpr ResultCode kReadFailed = 14;
inline constexpr ResultCode kWriteFailed = 15;
inline constexpr ResultCode kUnsupportedVersion = 16;
inline constexpr ResultCode kInconsistentParameters = 17;
inline constexpr ResultCode kInvalidArguments = 18;
inline constexpr ResultCode kInvalidConfigFile = 19;
inline constexpr ResultCode kInvalidConfigValue = 20;
inline constexpr ResultCode kInvalidFileType = 21;
inline constexpr ResultCode kInvalidValues = 22;
inline constexpr ResultCode kNotReady = 23;
inline constexpr ResultCode kCannotCreateProcess = 24;
inline constexpr ResultCode kNotPqzFile = 25;
inline constexpr ResultCode kNotImplemented = 26;
inline constexpr ResultCode kUnsupportedColorSpace = 27;
inline constexpr ResultCode kNoQueryImage = 28;
inline constexpr ResultCode kCanceled = 29;
inline constexpr ResultCode kUnknownError = 30;
inline constexpr ResultCode kValueNotFound = 31;
inline constexpr ResultCode kTimedOut = 32;
inline constexpr ResultCode kPlatformError = 33;

/// Number of entries of the message catalogue (codes 0..33).
inline constexpr int kResultCodeCount = 34;

/// The catalogue text of `code` (each ends with a line feed), or nullptr for a code
/// outside 0..33. The table is never indexed with an unchecked value.
const char* ResultMessage(ResultCode code);

}  // namespace orvane
