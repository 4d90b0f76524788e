#include "app/shell/placeholder_panel.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QSlider>

#include "app/document/query_image_box.h"

namespace orvane {

CPlaceholderPanel::CPlaceholderPanel(Kind kind, QWidget* parent) : CPanelBase(parent) {
  auto* layout = new QGridLayout(this);
  int row = 0;
  if (kind == Kind::kRetrieval) {
    layout->addWidget(new QLabel(QStringLiteral("Query Image"), this), row++, 0, 1, 4);
    layout->addWidget(new CQueryImageBox(this), row++, 0, 1, 4);
    layout->setRowStretch(row - 1, 1);
  }
  layout->addWidget(new QLabel(QStringLiteral("Target Directory"), this), row, 0);
  layout->addWidget(TargetDirectoryEdit(), row++, 1, 1, 3);
  layout->addWidget(IncludeSubDirectoryCheck(), row++, 1, 1, 3);
  layout->addWidget(PageTrackbar(), row, 0, 1, 2);
  CurrentPageEdit()->setMaximumWidth(48);
  layout->addWidget(CurrentPageEdit(), row, 2);
  layout->addWidget(PageCountLabel(), row++, 3);
  if (kind != Kind::kRetrieval) layout->setRowStretch(row, 1);
}

}  // namespace orvane
