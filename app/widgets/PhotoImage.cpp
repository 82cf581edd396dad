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
  return QString::fromStdString(Photo::description(bytes));
}
