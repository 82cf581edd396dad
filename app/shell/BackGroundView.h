#pragma once

#include <QImage>
#include <QWidget>

// A view whose image is stretched over its whole area.
class BackGroundView : public QWidget {
  Q_OBJECT

 public:
  explicit BackGroundView(QWidget* parent = nullptr) : QWidget(parent) {}

  const QImage& image() const { return image_; }
  void setImage(const QImage& image) {
    image_ = image;
    update();
  }

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  QImage image_;
};
