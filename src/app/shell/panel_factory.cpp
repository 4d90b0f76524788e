#include "app/shell/panel_factory.h"

#include "app/shell/placeholder_panel.h"

namespace orvane {

std::array<CPanelBase*, 3> CreatePanels(QWidget* parent) {
  return {new CPlaceholderPanel(CPlaceholderPanel::Kind::kRetrieval, parent),
          new CPlaceholderPanel(CPlaceholderPanel::Kind::kConvertToPqz, parent),
          new CPlaceholderPanel(CPlaceholderPanel::Kind::kConvertToBmp, parent)};
}

}  // namespace orvane
