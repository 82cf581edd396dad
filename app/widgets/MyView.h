#pragma once

#include <QImage>
#include <QWidget>

// A view that shows its image at natural size in its centre.
class MyView : public QWidget {
  Q_OBJECT

 public:
  explicit MyView(QWidget* parent = nullptr);

  const QImage& image() const { return image_; }
  void setImage(const QImage& image);
  QSize sizeHint() const override { return image_.isNull() ? QSize(100, 100) : image_.size(); }

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  QImage image_;
};
