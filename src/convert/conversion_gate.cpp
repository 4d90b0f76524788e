#include "convert/conversion_gate.h"

namespace orvane {

CConversionGate& CConversionGate::Instance() {
  static CConversionGate gate;
  return gate;
}

bool CConversionGate::TryBegin() {
  if (m_bRunning) return false;
  m_bRunning = true;
  emit RunningChanged(true);
  return true;
}

void CConversionGate::End() {
  if (!m_bRunning) return;
  m_bRunning = false;
  emit RunningChanged(false);
}

}  // namespace orvane
