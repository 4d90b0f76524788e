#pragma once

#include <QTabWidget>
#include <array>

#include "app/document/panel_host.h"

namespace orvane {

/// The tab view above the thumbnail list: three tabs, "Retrieval", "Convert to PQZ" and
/// "Convert to BMP", one working panel each. Switching tabs hands the document's folder and
/// include-sub-folders flag to the panel shown and updates its page controls.
class CTabView : public QTabWidget, public CPanelHost {
  Q_OBJECT

 public:
  explicit CTabView(QWidget* parent = nullptr);
  ~CTabView() override;

  CPanelBase* Panel(int index) const override;
  int SelectedIndex() const override { return currentIndex(); }

 private:
  void OnTabChanged(int index);

  std::array<CPanelBase*, 3> m_panels{};
};

}  // namespace orvane
