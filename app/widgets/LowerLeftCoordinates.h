#pragma once

#include <QPointF>
#include <QRectF>

// The views describe their drawing with the origin at the lower left and y growing upwards; these
// turn such a rectangle or point into the widget's own coordinates (origin top left).
namespace LowerLeftCoordinates {

inline QRectF toWidget(const QRectF& lowerLeft, double viewHeight) {
  return {lowerLeft.x(), viewHeight - lowerLeft.y() - lowerLeft.height(), lowerLeft.width(), lowerLeft.height()};
}

inline QPointF toWidget(const QPointF& lowerLeft, double viewHeight) {
  return {lowerLeft.x(), viewHeight - lowerLeft.y()};
}

}  // namespace LowerLeftCoordinates
