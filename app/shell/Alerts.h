#pragma once

#include <string>

class QWidget;

// Modal alerts of the main window; the window answers them with message boxes, tests directly.
class Alerts {
 public:
  virtual ~Alerts() = default;
  // An alert with a title, a message and one OK button.
  virtual void showAlert(const std::string& title, const std::string& message) = 0;
};

class MessageBoxAlerts : public Alerts {
 public:
  explicit MessageBoxAlerts(QWidget* parent) : parent_(parent) {}
  void showAlert(const std::string& title, const std::string& message) override;

 private:
  QWidget* parent_;
};
