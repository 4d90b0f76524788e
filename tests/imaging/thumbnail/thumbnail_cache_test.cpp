// The shared thumbnail cache: where entries live and what they carry, the checks that make a
// changed or foreign file a miss, failure entries, and the rights of what is written.
#include "imaging/thumbnail/thumbnail_cache.h"

#include <QByteArray>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QStandardPaths>
#include <QString>
#include <cstdlib>
#include <filesystem>
#include <string>

#include <gtest/gtest.h>

#include "scoped_temp_dir.h"

namespace orvane {
namespace {

using test_support::ScopedTempDir;

QString Q(const std::filesystem::path& p) { return QString::fromStdString(p.string()); }

TEST(ThumbnailCacheNames, KeysEntriesByTheMd5OfTheFileUri) {
  // The example of the thumbnail standard itself.
  const ThumbnailCache cache(QStringLiteral("/cache/thumbnails"));
  EXPECT_EQ(ThumbnailCache::FileUri(QStringLiteral("/home/jens/photos/me.png")),
            "file:///home/jens/photos/me.png");
  EXPECT_EQ(cache.NormalEntryPath(QStringLiteral("/home/jens/photos/me.png")),
            QStringLiteral("/cache/thumbnails/normal/c6ee772d9e49320e97ec29a7eb5b1697.png"));
  EXPECT_TRUE(cache.FailureEntryPath(QStringLiteral("/home/jens/photos/me.png"))
                  .startsWith(QStringLiteral("/cache/thumbnails/fail/orvane-")));
  // Reserved characters are percent-encoded, as the file managers spell them.
  EXPECT_EQ(ThumbnailCache::FileUri(QStringLiteral("/tmp/a b#c%.png")),
            "file:///tmp/a%20b%23c%25.png");
}

TEST(ThumbnailCacheNames, LivesUnderTheUsersXdgCacheHome) {
  const char* saved = std::getenv("XDG_CACHE_HOME");
  const std::string before = saved != nullptr ? saved : "";
  ::setenv("XDG_CACHE_HOME", "/tmp/orvane-xdg-cache", 1);
  EXPECT_EQ(ThumbnailCache().Root(), QStringLiteral("/tmp/orvane-xdg-cache/thumbnails"));
  // Also in Qt's test mode, which moves the standard folders elsewhere: the interface tests
  // point the cache at a folder of their own through the variable.
  QStandardPaths::setTestModeEnabled(true);
  EXPECT_EQ(ThumbnailCache().Root(), QStringLiteral("/tmp/orvane-xdg-cache/thumbnails"));
  QStandardPaths::setTestModeEnabled(false);
  // A relative value is not a cache home.
  ::setenv("XDG_CACHE_HOME", "relative/cache", 1);
  EXPECT_EQ(ThumbnailCache().Root(), QDir::homePath() + QStringLiteral("/.cache/thumbnails"));
  if (saved != nullptr) {
    ::setenv("XDG_CACHE_HOME", before.c_str(), 1);
  } else {
    ::unsetenv("XDG_CACHE_HOME");
  }
}

class ThumbnailCacheTest : public testing::Test {
 protected:
  ThumbnailCacheTest() : m_cache(Q(m_dir.Path() / "cache/thumbnails")) {}

  QString MakeFile(const std::string& name) {
    const QString path = Q(m_dir.Path() / name);
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("picture bytes");
    file.close();
    SetMTime(path, QDateTime::fromSecsSinceEpoch(1700000000));
    return path;
  }

  static void SetMTime(const QString& path, const QDateTime& time) {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadWrite));
    ASSERT_TRUE(file.setFileTime(time, QFileDevice::FileModificationTime));
  }

  static QImage Picture(int width, int height) {
    QImage picture(width, height, QImage::Format_RGB32);
    picture.fill(Qt::darkCyan);
    return picture;
  }

  ScopedTempDir m_dir;
  ThumbnailCache m_cache;
};

TEST_F(ThumbnailCacheTest, StoresA128PixelPngWithTheKeysThatLookupFinds) {
  const QString file = MakeFile("photo one.jpg");
  QImage thumbnail;
  EXPECT_EQ(m_cache.Lookup(file, thumbnail), CacheLookup::kMiss);
  ASSERT_TRUE(m_cache.Store(file, Picture(400, 200)));

  // Read as any other program would, by the PNG text chunks' full key names.
  const QImage entry(m_cache.NormalEntryPath(file), "png");
  EXPECT_EQ(entry.size(), QSize(128, 64));
  EXPECT_EQ(entry.text(QStringLiteral("Thumb::URI")),
            QStringLiteral("file://") + QString(file).replace(' ', QStringLiteral("%20")));
  EXPECT_EQ(entry.text(QStringLiteral("Thumb::MTime")), QStringLiteral("1700000000"));

  ASSERT_EQ(m_cache.Lookup(file, thumbnail), CacheLookup::kHit);
  EXPECT_EQ(thumbnail.size(), QSize(128, 64));
  EXPECT_EQ(thumbnail.pixel(60, 30), QColor(Qt::darkCyan).rgb());

  // Only the user may read what the cache says about the user's files.
  namespace fs = std::filesystem;
  const auto modeOf = [](const QString& p) { return fs::status(p.toStdString()).permissions(); };
  EXPECT_EQ(modeOf(m_cache.NormalEntryPath(file)), fs::perms::owner_read | fs::perms::owner_write);
  for (const QString& folder : {m_cache.Root(), m_cache.Root() + QStringLiteral("/normal")}) {
    EXPECT_EQ(modeOf(folder), fs::perms::owner_all) << folder.toStdString();
  }
  // Written in place by rename: no temporary file is left beside the entry.
  EXPECT_EQ(QDir(m_cache.Root() + QStringLiteral("/normal")).entryList(QDir::Files).size(), 1);
}

TEST_F(ThumbnailCacheTest, KeepsSmallPicturesAtTheirSize) {
  const QString file = MakeFile("icon.png");
  ASSERT_TRUE(m_cache.Store(file, Picture(40, 90)));
  QImage thumbnail;
  ASSERT_EQ(m_cache.Lookup(file, thumbnail), CacheLookup::kHit);
  EXPECT_EQ(thumbnail.size(), QSize(40, 90));
}

TEST_F(ThumbnailCacheTest, TreatsAChangedFileOrAForeignEntryAsAMiss) {
  const QString file = MakeFile("a.jpg");
  const QString other = MakeFile("b.jpg");
  ASSERT_TRUE(m_cache.Store(file, Picture(100, 100)));
  QImage thumbnail;
  SetMTime(file, QDateTime::fromSecsSinceEpoch(1700000100));
  EXPECT_EQ(m_cache.Lookup(file, thumbnail), CacheLookup::kMiss) << "changed since";
  ASSERT_TRUE(m_cache.Store(file, Picture(100, 100)));
  EXPECT_EQ(m_cache.Lookup(file, thumbnail), CacheLookup::kHit) << "stored again";

  // An entry of another file under this file's name (a collision, or a copied cache).
  QDir().mkpath(QFileInfo(m_cache.NormalEntryPath(other)).path());
  ASSERT_TRUE(QFile::copy(m_cache.NormalEntryPath(file), m_cache.NormalEntryPath(other)));
  EXPECT_EQ(m_cache.Lookup(other, thumbnail), CacheLookup::kMiss);

  // Not a PNG at all.
  QFile garbage(m_cache.NormalEntryPath(other));
  ASSERT_TRUE(garbage.open(QIODevice::WriteOnly | QIODevice::Truncate));
  garbage.write("not a png");
  garbage.close();
  EXPECT_EQ(m_cache.Lookup(other, thumbnail), CacheLookup::kMiss);

  ASSERT_TRUE(QFile::remove(file));
  EXPECT_EQ(m_cache.Lookup(file, thumbnail), CacheLookup::kMiss) << "file gone";
  EXPECT_FALSE(m_cache.Store(file, Picture(10, 10)));
  EXPECT_TRUE(thumbnail.size() == QSize(100, 100)) << "written only on a hit";
}

TEST_F(ThumbnailCacheTest, RemembersFailuresUntilTheFileChanges) {
  const QString file = MakeFile("broken.pqz");
  ASSERT_TRUE(m_cache.StoreFailure(file));
  QImage thumbnail;
  EXPECT_EQ(m_cache.Lookup(file, thumbnail), CacheLookup::kFailed);
  EXPECT_TRUE(thumbnail.isNull());
  EXPECT_TRUE(QFileInfo::exists(m_cache.FailureEntryPath(file)));
  SetMTime(file, QDateTime::fromSecsSinceEpoch(1700000200));
  EXPECT_EQ(m_cache.Lookup(file, thumbnail), CacheLookup::kMiss);
  // A thumbnail made later wins over an old failure.
  ASSERT_TRUE(m_cache.StoreFailure(file));
  ASSERT_TRUE(m_cache.Store(file, Picture(20, 20)));
  EXPECT_EQ(m_cache.Lookup(file, thumbnail), CacheLookup::kHit);
}

TEST_F(ThumbnailCacheTest, NeverMakesThumbnailsOfItsOwnEntries) {
  const QString file = MakeFile("a.png");
  ASSERT_TRUE(m_cache.Store(file, Picture(20, 20)));
  const QString entry = m_cache.NormalEntryPath(file);
  EXPECT_FALSE(m_cache.Store(entry, Picture(20, 20)));
  EXPECT_FALSE(m_cache.StoreFailure(entry));
}

}  // namespace
}  // namespace orvane
