#pragma once

#include <QPlainTextEdit>
#include <QString>
#include <QStyledItemDelegate>
#include <string>

class QLineEdit;

// The editors of contact values, shared by the contact table and the contact card. None limits
// the length of a value; notes, streets and every value that holds a line break are edited over
// several lines.

// A multi-line editor whose text() is exactly the text it was given while the user changes
// nothing, and otherwise the text as edited, with the line breaks the value used ("\r\n" or "\n").
class MultiLineValueEdit : public QPlainTextEdit {
  Q_OBJECT

 public:
  explicit MultiLineValueEdit(QWidget* parent = nullptr);
  void setText(const QString& text);
  QString text() const;

 private:
  bool crlf_ = false;
};

namespace ValueEditors {

// Whether a value of the key is edited over several lines.
bool isMultiLine(const std::string& key, const QString& value);
// A single-line editor that takes a value of any length.
QLineEdit* newLineEdit(QWidget* parent);
// The editor for a value of the key: multi-line or single-line, holding the value.
QWidget* newEditor(const std::string& key, const QString& value, QWidget* parent);
QString textOf(const QWidget* editor);
void setTextOf(QWidget* editor, const QString& text);

}  // namespace ValueEditors

// The contact table's cell editor. Enter finishes a multi-line edit too (Shift+Enter or
// Ctrl+Enter breaks the line); an edit that leaves the text as it was writes nothing.
class ValueCellDelegate : public QStyledItemDelegate {
  Q_OBJECT

 public:
  using QStyledItemDelegate::QStyledItemDelegate;

  QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
  void setEditorData(QWidget* editor, const QModelIndex& index) const override;
  void setModelData(QWidget* editor, QAbstractItemModel* model, const QModelIndex& index) const override;
  void updateEditorGeometry(QWidget* editor, const QStyleOptionViewItem& option,
                            const QModelIndex& index) const override;

 protected:
  bool eventFilter(QObject* object, QEvent* event) override;
};
