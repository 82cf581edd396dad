#include "app/shell/ProgressWindow.h"

#include <QPushButton>
#include <QVBoxLayout>

#include "app/widgets/ProgressView.h"

ProgressWindow::ProgressWindow(QWidget* parent)
    : QDialog(parent), animationView_(new ProgressView(this)), cancelButton_(new QPushButton(tr("Cancel"), this)) {
  setWindowTitle(tr("Scanning"));
  setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
  setWindowModality(Qt::WindowModal);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(animationView_, 1);
  cancelButton_->setObjectName("progressCancelButton");
  cancelButton_->setAutoDefault(false);
  cancelButton_->hide();
  layout->addWidget(cancelButton_, 0, Qt::AlignHCenter);
  connect(cancelButton_, &QPushButton::clicked, this, &ProgressWindow::cancelled);
  setFixedSize(260, 220);
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

void ProgressWindow::setCancellable(bool cancellable) {
  cancelButton_->setVisible(cancellable);
}

void ProgressWindow::reject() {
  if (cancelButton_->isVisible()) emit cancelled();
}
