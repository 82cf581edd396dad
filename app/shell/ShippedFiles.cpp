#include "app/shell/ShippedFiles.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

static void initImages() {
  Q_INIT_RESOURCE(rolvane);
}

namespace ShippedFiles {

QString directory() {
  const QString environment = qEnvironmentVariable("ROLVANE_SHARE_DIR");
  QStringList candidates;
  if (!environment.isEmpty()) candidates << environment;
  if (QCoreApplication::instance())
    candidates << QDir(QCoreApplication::applicationDirPath()).filePath("../share/rolvane");
  candidates << QStringLiteral(ROLVANE_BUILD_SHARE_DIR);
  for (const QString& candidate : candidates)
    if (QFileInfo(candidate).isDir()) return QDir(candidate).canonicalPath();
  return {};
}

QString path(const QString& name) {
  const QString dir = directory();
  return dir.isEmpty() ? QString() : QDir(dir).filePath(name);
}

QUrl pageUrl(const QString& nameOrAddress) {
  const QUrl address(nameOrAddress);
  if (!address.scheme().isEmpty()) return address;
  const QString file = path(nameOrAddress);
  return file.isEmpty() ? QUrl() : QUrl::fromLocalFile(file);
}

void loadImages() {
  static const bool loaded = (initImages(), true);
  (void)loaded;
}

}  // namespace ShippedFiles
