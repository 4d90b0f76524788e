#pragma once

#include <functional>

namespace orvane {

/// Asked between the steps of a long operation (bands of a decode, stages of an encode,
/// iterations of the learning). When it answers true the operation stops at that point,
/// leaves no output behind and returns kCanceled. An empty hook never cancels.
///
/// The hook is called on the thread that runs the operation, so it must be cheap and
/// thread-safe (an atomic flag, or QPromise::isCanceled).
using CancelHook = std::function<bool()>;

/// True when `hook` is set and asks to stop.
inline bool IsCanceled(const CancelHook& hook) { return hook && hook(); }

}  // namespace orvane
