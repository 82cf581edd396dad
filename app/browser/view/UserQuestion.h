#pragma once

#include <QString>

class QWidget;

// Asks the user to confirm something; tests answer in place of the user.
class UserQuestion {
 public:
  virtual ~UserQuestion() = default;
  // true when the user chose acceptTitle.
  virtual bool confirm(const QString& message, const QString& information, const QString& acceptTitle,
                       const QString& cancelTitle) = 0;
  // Tells the user why something was not done.
  virtual void inform(const QString& message, const QString& information) = 0;
};

// Asks with modal message boxes over the parent.
class MessageBoxQuestion : public UserQuestion {
 public:
  explicit MessageBoxQuestion(QWidget* parent) : parent_(parent) {}
  bool confirm(const QString& message, const QString& information, const QString& acceptTitle,
               const QString& cancelTitle) override;
  void inform(const QString& message, const QString& information) override;

 private:
  QWidget* parent_;
};
