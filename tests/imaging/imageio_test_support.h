#pragma once

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QString>
#include <cstdint>
#include <string>

namespace orvane::test {

/// The QRgb of a colour given as 0x00BBGGRR with `alpha`.
QRgb ToRgb(std::uint32_t colour, int alpha = 255);

/// The whole content of a file, or an empty array when it cannot be read.
QByteArray ReadBytes(const QString& path);

/// Writes `bytes` to `path`; false on failure.
bool WriteBytes(const QString& path, const QByteArray& bytes);

/// The names of the entries of `dir`, dot entries excluded.
QStringList Entries(const QString& dir);

inline std::string Local(const QString& path) { return QFile::encodeName(path).toStdString(); }

}  // namespace orvane::test
