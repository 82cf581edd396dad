#include "app/browser/view/ValueEditors.h"

#include <QAbstractItemView>
#include <QKeyEvent>
#include <QLineEdit>
#include <QTextDocument>
#include <limits>

#include "app/browser/ContactCommit.h"

namespace {

// Set on an editor when it is given its value: what it must hold for the value to count as unchanged.
constexpr const char* kGivenText = "rolvaneGivenText";

}  // namespace

MultiLineValueEdit::MultiLineValueEdit(QWidget* parent) : QPlainTextEdit(parent) {
  setTabChangesFocus(true);
  setLineWrapMode(QPlainTextEdit::WidgetWidth);
}

void MultiLineValueEdit::setText(const QString& text) {
  // The document keeps paragraphs, not line-break characters: "\r\n" would become two breaks.
  crlf_ = text.contains(QLatin1String("\r\n"));
  QString shown = text;
  shown.replace(QLatin1String("\r\n"), QLatin1String("\n"));
  setPlainText(shown);
}

QString MultiLineValueEdit::text() const {
  // The raw text, so that non-breaking spaces stay what they are (toPlainText makes them spaces).
  QString text = document()->toRawText();
  text.replace(QChar::ParagraphSeparator, QLatin1Char('\n'));
  text.replace(QChar::LineSeparator, QLatin1Char('\n'));
  if (crlf_) text.replace(QLatin1String("\n"), QLatin1String("\r\n"));
  return text;
}

namespace ValueEditors {

bool isMultiLine(const std::string& key, const QString& value) {
  return ContactCommit::isMultiLineKey(key) || value.contains(QLatin1Char('\n')) || value.contains(QLatin1Char('\r'));
}

QLineEdit* newLineEdit(QWidget* parent) {
  auto* edit = new QLineEdit(parent);
  edit->setMaxLength(std::numeric_limits<int>::max());
  return edit;
}

QWidget* newEditor(const std::string& key, const QString& value, QWidget* parent) {
  QWidget* editor;
  if (isMultiLine(key, value))
    editor = new MultiLineValueEdit(parent);
  else
    editor = newLineEdit(parent);
  setTextOf(editor, value);
  return editor;
}

QString textOf(const QWidget* editor) {
  if (const auto* lines = qobject_cast<const MultiLineValueEdit*>(editor)) return lines->text();
  if (const auto* line = qobject_cast<const QLineEdit*>(editor)) return line->text();
  return {};
}

void setTextOf(QWidget* editor, const QString& text) {
  if (auto* lines = qobject_cast<MultiLineValueEdit*>(editor))
    lines->setText(text);
  else if (auto* line = qobject_cast<QLineEdit*>(editor))
    line->setText(text);
  editor->setProperty(kGivenText, textOf(editor));
}

}  // namespace ValueEditors

QWidget* ValueCellDelegate::createEditor(QWidget* parent, const QStyleOptionViewItem&, const QModelIndex& index) const {
  const std::string key = index.model()->headerData(index.column(), Qt::Horizontal).toString().toStdString();
  QWidget* editor = ValueEditors::newEditor(key, index.data(Qt::EditRole).toString(), parent);
  editor->setAutoFillBackground(true);
  return editor;
}

void ValueCellDelegate::setEditorData(QWidget* editor, const QModelIndex& index) const {
  // Given once, when the editor opens: a reload while it is open does not undo the user's typing.
  if (editor->property(kGivenText).isValid()) return;
  ValueEditors::setTextOf(editor, index.data(Qt::EditRole).toString());
}

void ValueCellDelegate::setModelData(QWidget* editor, QAbstractItemModel* model, const QModelIndex& index) const {
  const QString text = ValueEditors::textOf(editor);
  // An editor may not give back every value exactly as it was given (line breaks, lengths):
  // what the user did not change is not written.
  if (text == editor->property(kGivenText).toString()) return;
  model->setData(index, text, Qt::EditRole);
}

void ValueCellDelegate::updateEditorGeometry(QWidget* editor, const QStyleOptionViewItem& option,
                                             const QModelIndex& index) const {
  if (!qobject_cast<MultiLineValueEdit*>(editor)) {
    QStyledItemDelegate::updateEditorGeometry(editor, option, index);
    return;
  }
  // Several lines high and at least 300 pixels wide, inside the table's visible area.
  QRect area = option.rect;
  area.setWidth(std::max(area.width(), 300));
  area.setHeight(std::max(area.height(), option.fontMetrics.lineSpacing() * 6 + 12));
  if (const auto* view = qobject_cast<const QAbstractItemView*>(option.widget)) {
    const QRect visible = view->viewport()->rect();
    if (area.bottom() > visible.bottom()) area.moveBottom(std::max(visible.bottom(), option.rect.bottom()));
    if (area.right() > visible.right()) area.moveRight(std::max(visible.right(), option.rect.right()));
  }
  editor->setGeometry(area);
}

bool ValueCellDelegate::eventFilter(QObject* object, QEvent* event) {
  auto* lines = qobject_cast<MultiLineValueEdit*>(object);
  auto* editor = qobject_cast<QWidget*>(object);
  if (editor && event->type() == QEvent::KeyPress) {
    auto* key = static_cast<QKeyEvent*>(event);
    if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) {
      if (lines && (key->modifiers() & (Qt::ShiftModifier | Qt::ControlModifier))) {
        lines->insertPlainText(QStringLiteral("\n"));
        return true;
      }
      // The edit ends here: Enter does not go on to the table, where it opens the contact.
      emit commitData(editor);
      emit closeEditor(editor, QAbstractItemDelegate::NoHint);
      return true;
    }
  }
  return QStyledItemDelegate::eventFilter(object, event);
}
