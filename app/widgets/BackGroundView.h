#pragma once

#include <QImage>
#include <QWidget>

// A view whose image is stretched over its whole area. Under a dark colour scheme a light image
// gives way to a bar drawn in the scheme's own window colour.
class BackGroundView : public QWidget {
  Q_OBJECT

 public:
  explicit BackGroundView(QWidget* parent = nullptr) : QWidget(parent) {}

  const QImage& image() const { return image_; }
  void setImage(const QImage& image);
  // Whether the image is drawn with the present palette (else the palette's bar).
  bool drawsImage() const;

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  QImage image_;
  bool imageIsLight_ = false;
};
