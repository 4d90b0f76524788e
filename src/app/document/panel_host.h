#pragma once

namespace orvane {

class CPanelBase;

/// What the document needs of the tab view: the three panels and which one is selected.
class CPanelHost {
 public:
  virtual ~CPanelHost() = default;
  /// Tab 0 retrieval, 1 conversion to PQZ, 2 conversion to BMP; null for another index.
  virtual CPanelBase* Panel(int index) const = 0;
  /// Index of the selected tab.
  virtual int SelectedIndex() const = 0;
  CPanelBase* SelectedPanel() const { return Panel(SelectedIndex()); }
};

}  // namespace orvane
