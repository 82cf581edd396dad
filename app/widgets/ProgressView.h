#pragma once

#include <QString>
#include <QWidget>

// The dial of the progress window: "Please Waiting ...", a grey ring and, when the shape is "Arc",
// a black arc from startAngle to endAngle (degrees, counter-clockwise) over it.
class ProgressView : public QWidget {
  Q_OBJECT

 public:
  explicit ProgressView(QWidget* parent = nullptr);

  double progress() const { return progress_; }
  void setProgress(double progress);
  const QString& sharpe() const { return sharpe_; }
  void setSharpe(const QString& sharpe) { sharpe_ = sharpe; }
  double startAngle() const { return startAngle_; }
  void setStartAngle(double angle) { startAngle_ = angle; }
  double endAngle() const { return endAngle_; }
  void setEndAngle(double angle) { endAngle_ = angle; }

  static constexpr const char* kWaitingText = "Please Waiting ...";
  static constexpr double kRadius = 30.0;

  QSize sizeHint() const override { return {240, 160}; }

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  double progress_ = 0.0;
  QString sharpe_;
  double startAngle_ = 0.0;
  double endAngle_ = 0.0;
};
