#pragma once

#include <QWidget>

#include "app/review/FixPreview.h"

// Draws a fix preview: its texts at their frames (origin lower left) over the preview background.
class FixPreviewWidget : public QWidget {
  Q_OBJECT

 public:
  explicit FixPreviewWidget(QWidget* parent = nullptr);
  void setPreview(FixPreview preview);
  const FixPreview& preview() const { return preview_; }
  QSize sizeHint() const override;

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  FixPreview preview_;
};
