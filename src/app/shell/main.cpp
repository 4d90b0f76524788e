// orvane [FOLDER | FILE]: the desktop image viewer and searcher.
#include <QApplication>

#include "app/dialogs/about_dlg.h"
#include "app/shell/orvane_app.h"

int main(int argc, char** argv) {
  QApplication application(argc, argv);
  // Where the settings are kept: the organisation names the settings key, the application
  // its file.
  QApplication::setOrganizationName(
      QStringLiteral("アプリケーション ウィザードで生成されたローカル アプリケーション"));
  QApplication::setApplicationName(QStringLiteral("Orvane"));
  QApplication::setApplicationDisplayName(QStringLiteral("Orvane"));
  QApplication::setWindowIcon(orvane::ApplicationIcon());
  orvane::COrvaneApp app;
  QStringList arguments = QApplication::arguments();
  arguments.removeFirst();
  if (!app.InitInstance(arguments)) return 1;
  return QApplication::exec();
}
