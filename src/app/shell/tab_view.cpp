#include "app/shell/tab_view.h"

#include <QCheckBox>

#include "app/document/orvane_doc.h"
#include "app/document/panel_base.h"
#include "app/shell/panel_factory.h"

namespace orvane {

CTabView::CTabView(QWidget* parent) : QTabWidget(parent) {
  setObjectName(QStringLiteral("tabView"));
  m_panels = CreatePanels(this);
  const char* const texts[] = {"Retrieval", "Convert to PQZ", "Convert to BMP"};
  for (int i = 0; i < 3; ++i) addTab(m_panels[i], QString::fromLatin1(texts[i]));
  setCurrentIndex(0);
  connect(this, &QTabWidget::currentChanged, this, &CTabView::OnTabChanged);
  if (COrvaneDoc* doc = GetAppDocument()) doc->SetPanelHost(this);
}

CTabView::~CTabView() {
  COrvaneDoc* doc = GetAppDocument();
  if (doc != nullptr && doc->PanelHost() == this) doc->SetPanelHost(nullptr);
}

CPanelBase* CTabView::Panel(int index) const {
  return index >= 0 && index < 3 ? m_panels[index] : nullptr;
}

void CTabView::OnTabChanged(int index) {
  COrvaneDoc* doc = GetAppDocument();
  CPanelBase* panel = Panel(index);
  if (doc == nullptr || panel == nullptr) return;
  if (!doc->CurrentFolder().empty()) {
    panel->SetTargetDirectory(QString::fromStdString(doc->CurrentFolder()));
  }
  panel->IncludeSubDirectoryCheck()->setChecked(doc->IncludeSubFolders());
  doc->UpdatePageControls();
}

}  // namespace orvane
