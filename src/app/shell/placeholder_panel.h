#pragma once

#include "app/document/panel_base.h"

namespace orvane {

/// A panel with only the shared folder and page controls (and, on the retrieval tab, the
/// query image box), standing in for a working panel that is not built yet.
class CPlaceholderPanel : public CPanelBase {
  Q_OBJECT

 public:
  enum class Kind { kRetrieval, kConvertToPqz, kConvertToBmp };
  CPlaceholderPanel(Kind kind, QWidget* parent = nullptr);
};

}  // namespace orvane
