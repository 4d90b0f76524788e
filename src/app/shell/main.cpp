// orvane [FOLDER | FILE]: the desktop image viewer and searcher.
#include <QApplication>

#include "app/dialogs/about_dlg.h"
#include "app/shell/orvane_app.h"
#include "imaging/image_file.h"

int main(int argc, char** argv) {
  QApplication application(argc, argv);
  // The reader's budget is process-wide: set once, before any thumbnail or load job runs, so
  // that large PNG or TIFF photos are read rather than refused at Qt's default 128 MB.
  orvane::SetImageReaderAllocationLimit();
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
