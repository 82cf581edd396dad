#include "app/shell/ProgressWindow.h"

#include <QVBoxLayout>

#include "app/widgets/ProgressView.h"

ProgressWindow::ProgressWindow(QWidget* parent) : QDialog(parent), animationView_(new ProgressView(this)) {
  setWindowTitle(tr("Scanning"));
  setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
  setWindowModality(Qt::WindowModal);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(animationView_);
  setFixedSize(260, 180);
  timer_.setTimerType(Qt::PreciseTimer);
  timer_.setInterval(kTickMilliseconds);
  connect(&timer_, &QTimer::timeout, this, &ProgressWindow::tick);
}

void ProgressWindow::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  timer_.start();
}

void ProgressWindow::hideEvent(QHideEvent* event) {
  timer_.stop();
  QDialog::hideEvent(event);
}
