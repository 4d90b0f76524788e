#include "app/dialogs/about_dlg.h"

#include <QGridLayout>
#include <QIcon>
#include <QLabel>
#include <QPushButton>

static void InitOrvaneResources() { Q_INIT_RESOURCE(orvane); }

namespace orvane {

QIcon ApplicationIcon() {
  static const bool loaded = (InitOrvaneResources(), true);
  (void)loaded;
  QIcon icon;
  for (const int side : {16, 32, 48, 64, 128, 256}) {
    icon.addFile(QStringLiteral(":/orvane/icons/orvane-%1.png").arg(side), QSize(side, side));
  }
  return icon;
}

CAboutDlg::CAboutDlg(QWidget* parent) : QDialog(parent) {
  setObjectName(QStringLiteral("aboutDlg_100"));
  setWindowTitle(QStringLiteral("Orvane version information"));
  auto* icon = new QLabel(this);
  icon->setObjectName(QStringLiteral("aboutIcon_128"));
  icon->setPixmap(ApplicationIcon().pixmap(48, 48));
  auto* text = new QLabel(QStringLiteral("Quorlane Version beta"), this);
  text->setObjectName(QStringLiteral("aboutText"));
  text->setTextFormat(Qt::PlainText);
  auto* ok = new QPushButton(QStringLiteral("OK"), this);
  ok->setObjectName(QStringLiteral("1"));
  ok->setDefault(true);
  connect(ok, &QPushButton::clicked, this, &QDialog::accept);
  auto* layout = new QGridLayout(this);
  layout->addWidget(icon, 0, 0, 2, 1, Qt::AlignTop);
  layout->addWidget(text, 0, 1, Qt::AlignTop);
  layout->addWidget(ok, 0, 2, Qt::AlignTop);
  layout->setColumnStretch(1, 1);
  layout->setColumnMinimumWidth(1, 240);
}

}  // namespace orvane
