#pragma once

#include <QPushButton>
#include <QString>

// A button that draws its own title, white, centred over its background.
class MyButton : public QPushButton {
  Q_OBJECT

 public:
  explicit MyButton(QWidget* parent = nullptr);

  const QString& buttonTitle() const { return buttonTitle_; }
  void setButtonTitle(const QString& title);

  QSize sizeHint() const override;

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  QString buttonTitle_;
};
