#pragma once

#include <array>

class QWidget;

namespace orvane {

class CPanelBase;

/// Makes the three working panels of the tab view, in tab order: retrieval, conversion to
/// PQZ, conversion to BMP, all children of `parent`.
std::array<CPanelBase*, 3> CreatePanels(QWidget* parent);

}  // namespace orvane
