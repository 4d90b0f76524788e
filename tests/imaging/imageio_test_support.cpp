#include "imageio_test_support.h"

namespace orvane::test {

QRgb ToRgb(std::uint32_t colour, int alpha) {
  return qRgba(static_cast<int>(colour & 0xFF), static_cast<int>((colour >> 8) & 0xFF),
               static_cast<int>((colour >> 16) & 0xFF), alpha);
}

QByteArray ReadBytes(const QString& path) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) {
    return {};
  }
  return file.readAll();
}

bool WriteBytes(const QString& path, const QByteArray& bytes) {
  QFile file(path);
  return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

QStringList Entries(const QString& dir) {
  return QDir(dir).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
}

}  // namespace orvane::test
