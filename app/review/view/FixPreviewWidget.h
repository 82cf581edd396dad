#pragma once

#include <QWidget>

#include "app/review/FixPreview.h"

// Draws a fix preview: its texts at their frames (origin lower left) over the preview background.
// A preview longer than its document grows downwards; a text that would run into the next text on
// its row (or past the view's edge) is cut short with "…" and shows its whole text when hovered.
class FixPreviewWidget : public QWidget {
  Q_OBJECT

 public:
  explicit FixPreviewWidget(QWidget* parent = nullptr);
  void setPreview(FixPreview preview);
  const FixPreview& preview() const { return preview_; }
  QSize sizeHint() const override;

  // Where each text is drawn, in the widget's coordinates, and the text drawn there (elided or whole).
  struct Placed {
    QRectF frame;
    QString shown;
    QString whole;
  };
  std::vector<Placed> placedTexts() const;

 protected:
  void paintEvent(QPaintEvent* event) override;
  bool event(QEvent* event) override;

 private:
  double contentHeight() const;

  FixPreview preview_;
};
