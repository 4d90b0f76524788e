#pragma once

#include <QObject>

namespace orvane {

/// Lets one conversion batch run at a time across both conversion panels: a panel begins a
/// batch only through the gate, and both panels disable "Convert" while the gate is closed.
class CConversionGate : public QObject {
  Q_OBJECT

 public:
  /// The program's one gate (interface thread only).
  static CConversionGate& Instance();

  /// Closes the gate for a batch; false when another batch already holds it.
  bool TryBegin();
  /// Opens the gate again when the batch has ended.
  void End();
  bool IsRunning() const { return m_bRunning; }

 signals:
  void RunningChanged(bool running);

 private:
  CConversionGate() = default;
  bool m_bRunning = false;
};

}  // namespace orvane
