#include "app/widgets/PhotoImage.h"

#include <QCoreApplication>

#include "platform/image/Photo.h"

QImage photoImage(std::string_view bytes, int maxSide) {
  const auto pixels = Photo::decode(bytes, maxSide, nullptr);
  if (!pixels) return {};
  QImage image(pixels->width, pixels->height, QImage::Format_RGBA8888);
  for (int y = 0; y < pixels->height; ++y)
    std::copy_n(&pixels->rgba[static_cast<size_t>(y) * pixels->width * 4], static_cast<size_t>(pixels->width) * 4,
                image.scanLine(y));
  return image;
}

QString photoDescription(std::string_view bytes) {
  const QString size = QCoreApplication::translate("Photo", "%1 KB").arg((bytes.size() + 1023) / 1024);
  const auto header = Photo::readHeader(bytes, true, nullptr);
  if (!header) return QCoreApplication::translate("Photo", "unreadable, %1").arg(size);
  return QCoreApplication::translate("Photo", "%1, %2 \u00D7 %3 pixels, %4")
      .arg(QString::fromLatin1(Photo::formatName(header->format)))
      .arg(header->shownWidth())
      .arg(header->shownHeight())
      .arg(size);
}
