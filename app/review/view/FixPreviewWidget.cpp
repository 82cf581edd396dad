#include "app/review/view/FixPreviewWidget.h"

#include <QHelpEvent>
#include <QPainter>
#include <QToolTip>
#include <algorithm>

namespace {

constexpr double kGap = 4;  // between a text and the next one on its row
constexpr double kBottomMargin = 8;

}  // namespace

FixPreviewWidget::FixPreviewWidget(QWidget* parent) : QWidget(parent) {
  setMinimumSize(static_cast<int>(FixPreview::documentWidth), static_cast<int>(FixPreview::documentHeight));
  setMouseTracking(true);
}

void FixPreviewWidget::setPreview(FixPreview preview) {
  preview_ = std::move(preview);
  setMinimumHeight(static_cast<int>(contentHeight()));
  updateGeometry();
  update();
}

double FixPreviewWidget::contentHeight() const {
  // Texts below the document's bottom (negative y) make the view taller.
  return FixPreview::documentHeight - preview_.lowestY() + (preview_.lowestY() < 0 ? kBottomMargin : 0);
}

QSize FixPreviewWidget::sizeHint() const {
  return {static_cast<int>(FixPreview::documentWidth) + 80, static_cast<int>(contentHeight())};
}

std::vector<FixPreviewWidget::Placed> FixPreviewWidget::placedTexts() const {
  std::vector<Placed> placed;
  // The document's own top stays at the top; texts below its bottom (negative y) go on below it.
  const double height = FixPreview::documentHeight;
  const QFontMetricsF metrics(font());
  const auto& texts = preview_.texts;
  for (size_t i = 0; i < texts.size(); ++i) {
    const PreviewText& item = texts[i];
    // The frame reaches at most to the next text that starts to its right on the same row, and to
    // the view's right edge: no text runs into another.
    double right = std::min(item.x + item.width, width() - kGap);
    for (size_t k = 0; k < texts.size(); ++k) {
      const PreviewText& other = texts[k];
      if (k == i || other.text.empty() || other.x <= item.x) continue;
      const bool sameRow = other.y < item.y + item.height && item.y < other.y + other.height;
      if (sameRow) right = std::min(right, other.x - kGap);
    }
    // A label wider than its frame takes the room up to the next text, where there is room.
    double roomTo = width() - kGap;
    for (size_t k = 0; k < texts.size(); ++k) {
      const PreviewText& other = texts[k];
      if (k == i || other.text.empty() || other.x <= item.x) continue;
      if (other.y < item.y + item.height && item.y < other.y + other.height) roomTo = std::min(roomTo, other.x - kGap);
    }
    const QString whole = QString::fromStdString(item.text);
    const double needed = metrics.horizontalAdvance(whole);
    if (needed > right - item.x) right = std::max(right, std::min(roomTo, item.x + needed));
    const double available = std::max(0.0, right - item.x);
    // One line: a text holding line breaks shows them as spaces; the whole text is the tooltip.
    QString line = whole;
    line.replace('\n', ' ');
    const QString shown =
        metrics.horizontalAdvance(line) > available ? metrics.elidedText(line, Qt::ElideRight, available) : line;
    placed.push_back({QRectF(item.x, height - item.y - item.height, available, item.height), shown, whole});
  }
  return placed;
}

bool FixPreviewWidget::event(QEvent* event) {
  if (event->type() == QEvent::ToolTip) {
    auto* help = static_cast<QHelpEvent*>(event);
    for (const Placed& text : placedTexts()) {
      if (!text.frame.contains(help->pos())) continue;
      // Only a text cut short needs its whole text shown.
      if (text.shown != text.whole) {
        QToolTip::showText(help->globalPos(), text.whole, this);
        return true;
      }
    }
    QToolTip::hideText();
    event->ignore();
    return true;
  }
  return QWidget::event(event);
}

void FixPreviewWidget::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  // Under a light scheme the preview sits on its own light paper with black text; under a dark
  // scheme it takes the scheme's base and text colours, so its text always stands out.
  const bool dark = palette().color(QPalette::Base).lightness() < 128;
  QPixmap background(QString(":/images/") + FixPreview::backgroundImage);
  const bool paper = !dark && !background.isNull();
  if (paper)
    painter.fillRect(rect(), QBrush(background));
  else
    painter.fillRect(rect(), palette().color(QPalette::Base));
  const QColor text = paper ? QColor(0, 0, 0) : palette().color(QPalette::Text);
  const auto placed = placedTexts();
  for (size_t i = 0; i < placed.size(); ++i) {
    const auto& item = preview_.texts[i];
    QColor colour = text;
    if (item.colour == PreviewText::Colour::Red) colour = dark ? QColor(248, 113, 113) : QColor(220, 38, 38);
    // Faint labels stay readable on a dark base.
    colour.setAlphaF(dark ? std::max(item.alpha, 0.7) : item.alpha);
    painter.setPen(colour);
    painter.drawText(placed[i].frame, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, placed[i].shown);
  }
}
