#include "app/shell/panel_factory.h"

#include "convert/convert2bmp_view.h"
#include "convert/convert2pqz_view.h"
#include "retrieval/view/retrieval_view.h"

namespace orvane {

std::array<CPanelBase*, 3> CreatePanels(QWidget* parent) {
  return {new CRetrievalView(parent), new CConvert2PQZView(parent), new CConvert2BMPView(parent)};
}

}  // namespace orvane
