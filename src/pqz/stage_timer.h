#pragma once

#include <chrono>

namespace orvane {

/// Elapsed seconds of one codec stage, from a monotonic clock, for the timing lines.
class StageTimer {
 public:
  StageTimer() : m_start(Clock::now()) {}
  void Restart() { m_start = Clock::now(); }
  double Seconds() const { return std::chrono::duration<double>(Clock::now() - m_start).count(); }

 private:
  using Clock = std::chrono::steady_clock;
  Clock::time_point m_start;
};

}  // namespace orvane
