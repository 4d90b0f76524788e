#pragma once

#include <QDialog>

namespace orvane {

/// The modal version box: "Orvane version information", the application icon, the line
/// "Quorlane Version beta" and an OK button that closes it.
class CAboutDlg : public QDialog {
  Q_OBJECT

 public:
  explicit CAboutDlg(QWidget* parent = nullptr);
};

/// The application icon (resource 128) at every size it is drawn in.
QIcon ApplicationIcon();

}  // namespace orvane
