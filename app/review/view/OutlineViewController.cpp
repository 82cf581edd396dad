#include "app/review/view/OutlineViewController.h"

#include <QButtonGroup>
#include <QElapsedTimer>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollArea>
#include <QSplitter>
#include <QStackedWidget>
#include <QTimer>
#include <QTreeView>
#include <QVBoxLayout>
#include <unordered_set>

#include "app/review/DetailsPane.h"
#include "app/review/FixAll.h"
#include "app/review/FixPreview.h"
#include "app/review/view/FixPreviewWidget.h"
#include "app/review/view/MergeDialog.h"
#include "app/review/view/ReviewOutlineView.h"
#include "app/review/view/ReviewRowDelegate.h"
#include "app/review/view/ReviewTreeModel.h"
#include "app/widgets/BackGroundView.h"
#include "app/widgets/MyButton.h"
#include "app/widgets/MyView.h"
#include "app/widgets/Plural.h"
#include "platform/addressbook/ABAddressBook.h"

namespace {

class MessageBoxQuestions : public ReviewQuestions {
 public:
  explicit MessageBoxQuestions(QWidget* parent) : parent_(parent) {}
  bool confirm(const std::string& title, const std::string& message, const std::string& defaultButton,
               const std::string& alternateButton) override {
    // The question leads the box in bold: not every desktop shows a dialog's window title.
    const QString heading = QString::fromStdString(title);
    QMessageBox box(QMessageBox::Warning, heading, QString("<b>%1</b>").arg(heading.toHtmlEscaped()),
                    QMessageBox::NoButton, parent_);
    box.setInformativeText(QString::fromStdString(message));
    box.setStyleSheet("QLabel#qt_msgbox_informativelabel { min-width: 320px; }");
    QPushButton* yes = box.addButton(QString::fromStdString(defaultButton), QMessageBox::AcceptRole);
    // Every question here is before a change to the address book: Enter (or a click by habit)
    // must not make it.
    QPushButton* no = box.addButton(QString::fromStdString(alternateButton), QMessageBox::RejectRole);
    box.setDefaultButton(no);
    box.setEscapeButton(no);
    box.exec();
    return box.clickedButton() == yes;
  }

 private:
  QWidget* parent_;
};

}  // namespace

OutlineViewController::OutlineViewController(ABAddressBook& book, ContactsApplication* contacts, QWidget* parent)
    : QWidget(parent), book_(book), contacts_(contacts) {
  defaultQuestions_ = std::make_unique<MessageBoxQuestions>(this);
  questions_ = defaultQuestions_.get();
  buildInterface();
}

OutlineViewController::~OutlineViewController() = default;

void OutlineViewController::setQuestions(ReviewQuestions* questions) {
  questions_ = questions ? questions : defaultQuestions_.get();
}

void OutlineViewController::buildInterface() {
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  changedBar_ = new QWidget(this);
  changedBar_->setObjectName("storeChangedBar");
  changedBar_->setAutoFillBackground(true);
  changedBar_->setBackgroundRole(QPalette::ToolTipBase);
  auto* changedLayout = new QHBoxLayout(changedBar_);
  changedLayout->setContentsMargins(12, 6, 12, 6);
  changedText_ = new QLabel(changedBar_);
  changedText_->setObjectName("storeChangedText");
  changedText_->setWordWrap(true);
  changedText_->setForegroundRole(QPalette::ToolTipText);
  scanAgainButton_ = new QPushButton(tr("Scan Again"), changedBar_);
  scanAgainButton_->setObjectName("scanAgainButton");
  changedLayout->addWidget(changedText_, 1);
  changedLayout->addWidget(scanAgainButton_);
  changedBar_->hide();
  connect(scanAgainButton_, &QPushButton::clicked, this, &OutlineViewController::scanAgainRequested);
  layout->addWidget(changedBar_);
  auto* splitter = new QSplitter(Qt::Horizontal, this);
  layout->addWidget(splitter, 1);

  model_ = new ReviewTreeModel(outline_, this);
  outlineView_ = new ReviewOutlineView(splitter);
  outlineView_->setObjectName("outlineView");
  outlineView_->setModel(model_);
  outlineView_->setHeaderHidden(true);
  outlineView_->setItemDelegate(new ReviewRowDelegate(outlineView_));
  outlineView_->setSelectionMode(QAbstractItemView::SingleSelection);
  outlineView_->setMinimumWidth(320);
  outlineView_->setUniformRowHeights(false);
  connect(outlineView_->selectionModel(), &QItemSelectionModel::currentChanged, this,
          [this](const QModelIndex& current) {
            if (syncing_) return;
            PersonItem* item = model_->itemAt(current);
            if (item && outline_.shouldSelectItem(item)) {
              outline_.selectItem(item);
              updateUI();
            } else if (item) {
              syncFromOutline();  // a category row never stays selected
            }
          });
  connect(outlineView_, &QTreeView::collapsed, this, [this](const QModelIndex& index) {
    if (syncing_) return;
    outline_.collapseItem(model_->itemAt(index));
    syncFromOutline();
  });
  connect(outlineView_, &QTreeView::expanded, this, [this](const QModelIndex& index) {
    if (!syncing_) outline_.expandItem(model_->itemAt(index));
  });

  rightSide_ = new QStackedWidget(splitter);
  solutionView_ = new QWidget(rightSide_);
  auto* solution = new QVBoxLayout(solutionView_);
  auto* header = new QHBoxLayout();
  imageView_ = new QLabel(solutionView_);
  imageView_->setFixedSize(64, 64);
  imageView_->setScaledContents(true);
  auto* nameBox = new QVBoxLayout();
  nameTextField_ = new QLabel(solutionView_);
  QFont big = nameTextField_->font();
  big.setPointSizeF(big.pointSizeF() * 1.4);
  big.setBold(true);
  nameTextField_->setFont(big);
  homeEmailTextField_ = new QLabel(solutionView_);
  homeEmailTextField_->setTextInteractionFlags(Qt::TextSelectableByMouse);
  nameBox->addWidget(nameTextField_);
  nameBox->addWidget(homeEmailTextField_);
  header->addWidget(imageView_);
  header->addLayout(nameBox, 1);
  solution->addLayout(header);
  problemText_ = new QLabel(solutionView_);
  problemText_->setWordWrap(true);
  solution->addWidget(problemText_);
  boxWithMatrix_ = new QGroupBox(tr("Fix"), solutionView_);
  matrixLayout_ = new QVBoxLayout(boxWithMatrix_);
  solution->addWidget(boxWithMatrix_);
  auto* scroll = new QScrollArea(solutionView_);
  scroll->setFrameShape(QFrame::NoFrame);
  preview_ = new FixPreviewWidget(scroll);
  scroll->setWidget(preview_);
  scroll->setWidgetResizable(true);
  solution->addWidget(scroll, 1);
  rightSide_->addWidget(solutionView_);

  tipsView_ = new MyView(rightSide_);
  tipsView_->setImage(QImage(":/images/tipsView.png"));
  rightSide_->addWidget(tipsView_);
  splitter->addWidget(outlineView_);
  splitter->addWidget(rightSide_);
  splitter->setStretchFactor(1, 1);

  bottomButtonView_ = new BackGroundView(this);
  bottomButtonView_->setObjectName("bottomButtonView");
  bottomButtonView_->setImage(QImage(":/images/downBG.png"));
  bottomButtonView_->setFixedHeight(48);
  auto* buttons = new QHBoxLayout(bottomButtonView_);
  buttons->setContentsMargins(12, 8, 12, 8);
  openContactButton_ = new MyButton(bottomButtonView_);
  backButton_ = new MyButton(bottomButtonView_);
  fixButton_ = new MyButton(bottomButtonView_);
  openContactButton_->setButtonTitle("Open In Contacts");
  backButton_->setButtonTitle("Back");
  fixButton_->setButtonTitle("Fix");
  fixButton_->setDefault(true);
  fixAllButton_ = new MyButton(bottomButtonView_);
  fixAllButton_->setObjectName("fixAllButton");
  fixAllButton_->setButtonTitle(tr("Fix All…"));
  fixAllButton_->setToolTip(tr("Apply the chosen option to every finding of this category"));
  buttons->addWidget(openContactButton_);
  noticeText_ = new QLabel(bottomButtonView_);
  noticeText_->setObjectName("noticeText");
  noticeText_->setTextInteractionFlags(Qt::TextSelectableByMouse);
  buttons->addWidget(noticeText_, 1);
  progress_ = new QProgressBar(bottomButtonView_);
  progress_->setObjectName("fixAllProgress");
  progress_->setTextVisible(false);
  progress_->setMaximumWidth(220);
  progress_->hide();
  buttons->addWidget(progress_);
  cancelButton_ = new MyButton(bottomButtonView_);
  cancelButton_->setObjectName("cancelFixAllButton");
  cancelButton_->setButtonTitle(tr("Cancel"));
  cancelButton_->setToolTip(tr("Stop after the finding being fixed; what was fixed stays fixed"));
  cancelButton_->hide();
  buttons->addWidget(cancelButton_);
  connect(cancelButton_, &QPushButton::clicked, this, &OutlineViewController::cancelFixAll);
  runTimer_ = new QTimer(this);
  runTimer_->setSingleShot(true);
  runTimer_->setInterval(0);
  connect(runTimer_, &QTimer::timeout, this, &OutlineViewController::runFixAllSlice);
  buttons->addWidget(backButton_);
  mergeButton_ = new MyButton(bottomButtonView_);
  mergeButton_->setObjectName("mergeButton");
  mergeButton_->setButtonTitle(tr("Merge contacts…"));
  mergeButton_->setToolTip(tr("Merge the contacts of this finding, choosing what the merged contact keeps"));
  buttons->addWidget(mergeButton_);
  buttons->addWidget(fixAllButton_);
  buttons->addWidget(fixButton_);
  layout->addWidget(bottomButtonView_);
  connect(fixButton_, &QPushButton::clicked, this, &OutlineViewController::fixClick);
  connect(fixAllButton_, &QPushButton::clicked, this, &OutlineViewController::fixAllClick);
  connect(mergeButton_, &QPushButton::clicked, this, &OutlineViewController::mergeClick);
  fixAllReport_ = [this](const QString& summary, const QString& details, bool failed) {
    fixAllReportBox(this, summary, details, failed)->exec();
  };
  connect(openContactButton_, &QPushButton::clicked, this, &OutlineViewController::openInContacts);
  connect(backButton_, &QPushButton::clicked, this, &OutlineViewController::backClicked);
}

void OutlineViewController::setOutlineViewDataSouce(const std::map<std::string, std::vector<ABPersonRef>>& lists,
                                                    const std::vector<SharedEmailRow>& sharedEmails) {
  outline_.setOutlineViewDataSouce(lists, sharedEmails);
}

void OutlineViewController::setOutlineViewDataSouce(const ScanResult& result) {
  outline_.setOutlineViewDataSouce(result);
}

void OutlineViewController::showResults() {
  outline_.expandAll();
  outline_.selectRow(1);
  syncFromOutline();
}

void OutlineViewController::followStore(const ABRefreshResult& found) {
  if (!found.any() || run_) return;
  // What another program changed is checked again like the rest: a finding about a contact it
  // changed stays while it still holds.
  storeChangedElsewhere();
}

void OutlineViewController::showStoreChanged(size_t dropped) {
  const int count = static_cast<int>(dropped);
  changedText_->setText(
      dropped == 0 ? tr("The address book changed \u2014 every finding was checked again and still holds. Scan Again "
                        "to find what else it holds now.")
                   : countedText(tr("The address book changed \u2014 every finding was checked again; %n finding(s) "
                                    "no longer held and left the list. Scan Again to find what it holds now.",
                                    nullptr, count),
                                 count));
  changedBar_->show();
}

bool OutlineViewController::showingTips() const {
  return rightSide_->currentWidget() == tipsView_;
}

QList<QAbstractButton*> OutlineViewController::optionButtons() const {
  return matrix_ ? matrix_->buttons() : QList<QAbstractButton*>();
}

// Makes the view show the outline's state: rows, expansion, selection and right-hand side.
void OutlineViewController::syncFromOutline() {
  syncing_ = true;
  model_->reload();
  for (const auto& father : outline_.rootNodes()) {
    QModelIndex index = model_->indexOf(father.get());
    outlineView_->setExpanded(index, outline_.isExpanded(father.get()));
  }
  QModelIndex selected = model_->indexOf(outline_.selectedItem());
  if (selected.isValid())
    outlineView_->selectionModel()->setCurrentIndex(selected, QItemSelectionModel::ClearAndSelect);
  else
    outlineView_->selectionModel()->clearSelection();
  syncing_ = false;
  updateUI();
}

void OutlineViewController::setFixAllReport(std::function<void(const QString&, const QString&, bool)> report) {
  fixAllReport_ = std::move(report);
}

void OutlineViewController::updateUI() {
  openContactButton_->setEnabled(outline_.openContactButtonEnabled() && outline_.selectedItem());
  fixButton_->setEnabled(outline_.fixButtonEnabled() && outline_.selectedItem());
  // Editing in the contact card is one contact at a time.
  fixAllButton_->setEnabled(fixButton_->isEnabled() &&
                            outline_.selectedOption() != ReviewCategories::Option::kEditInContacts);
  {
    const ReviewCategories::Category* category = outline_.selectedCategory();
    const auto& options = category && category->matrix ? category->matrix->options : std::vector<std::string>();
    mergeButton_->setVisible(std::find(options.begin(), options.end(), ReviewCategories::Option::kMerge) !=
                             options.end());
    mergeButton_->setEnabled(outline_.selectedItem() != nullptr);
  }
  if (run_) {
    // The store is held for the Fix All: the screen only reads meanwhile.
    fixButton_->setEnabled(false);
    fixAllButton_->setEnabled(false);
    mergeButton_->setEnabled(false);
    backButton_->setEnabled(false);
  } else {
    backButton_->setEnabled(true);
  }
  auto pane = ::updateUI(outline_, &book_);
  if (!pane) {
    rightSide_->setCurrentWidget(outline_.showingTips() || outline_.rootNodes().empty() ? tipsView_ : solutionView_);
    return;
  }
  rightSide_->setCurrentWidget(solutionView_);
  nameTextField_->setText(QString::fromStdString(pane->name));
  QImage picture;
  if (pane->picture) picture.loadFromData(pane->picture->data(), static_cast<int>(pane->picture->size()));
  if (picture.isNull()) picture.load(QString(":/images/") + DetailsPane::placeholderImage);
  imageView_->setPixmap(QPixmap::fromImage(picture));
  homeEmailTextField_->setText(QString::fromStdString(pane->emailLine));
  problemText_->setText(QString::fromStdString(pane->problemText));
  placeMatrix(pane->matrix, pane->selectedOption);
  rebuildPreview();
}

void OutlineViewController::placeMatrix(const ReviewCategories::FixMatrix* matrix, const std::string& selected) {
  if (matrix_) {
    for (QAbstractButton* button : matrix_->buttons()) delete button;
    delete matrix_;
    matrix_ = nullptr;
  }
  if (!matrix) return;
  matrix_ = new QButtonGroup(this);
  matrix_->setObjectName(QString::fromStdString(matrix->name));
  const ReviewCategories::Category* category = outline_.selectedCategory();
  const PersonItem* row = outline_.selectedItem();
  for (const auto& option : matrix->options) {
    // An option may say more for the row than its title (the allowed form it writes).
    std::string text = option;
    const ReviewCategories::FixOption* fix = category ? category->fix(option) : nullptr;
    if (fix && row && !fix->offeredFor({outline_, *row, *category, &book_})) continue;
    if (fix && fix->label && row) text = fix->label({outline_, *row, *category, &book_});
    auto* button = new QRadioButton(QString::fromStdString(text), boxWithMatrix_);
    button->setProperty("option", QString::fromStdString(option));
    button->setChecked(option == selected);
    matrix_->addButton(button);
    matrixLayout_->addWidget(button);
  }
  connect(matrix_, &QButtonGroup::buttonClicked, this, &OutlineViewController::matrixClicked);
}

void OutlineViewController::matrixClicked() {
  if (!matrix_ || !matrix_->checkedButton()) return;
  outline_.selectOption(matrix_->checkedButton()->property("option").toString().toStdString());
  fixAllButton_->setEnabled(!run_ && fixButton_->isEnabled() &&
                            outline_.selectedOption() != ReviewCategories::Option::kEditInContacts);
  rebuildPreview();
}

void OutlineViewController::rebuildPreview() {
  preview_->setPreview(creatScrollerViewWithTitle(outline_, outline_.selectedOption(), book_));
}

void OutlineViewController::fixClick() {
  if (run_) return;
  FixActions actions(outline_, book_, *questions_, contacts_);
  lastOutcome_ = actions.FixFounction();
  noticeText_->setText(QString::fromStdString(lastOutcome_.stale));
  if (!lastOutcome_.ok())
    QMessageBox::warning(this, tr("The fix was not saved"), QString::fromStdString(lastOutcome_.error));
  if (lastOutcome_.storeChanged) emit storeChanged();
  if (outline_.isFinished()) {
    model_->reload();
    emit backRequested();
    return;
  }
  syncFromOutline();
}

namespace {

// Answers yes to the delete confirmations of a Fix All: the user said yes once for all of them.
class AlreadyConfirmed : public ReviewQuestions {
 public:
  bool confirm(const std::string&, const std::string&, const std::string&, const std::string&) override { return true; }
};

}  // namespace

void OutlineViewController::fixAllClick() {
  if (run_) return;
  PersonItem* row = outline_.selectedItem();
  if (!row || !row->parentNode()) return;
  const std::string option = outline_.selectedOption();
  if (option.empty() || option == ReviewCategories::Option::kEditInContacts) return;
  const ReviewCategories::Category* category = ReviewCategories::byTitle(row->parentNode()->name());
  if (!category) return;
  // Every Fix All asks once, naming how many findings and what will happen to them.
  const int count = static_cast<int>(row->parentNode()->childrenCount());
  const FixAllQuestion ask = fixAllQuestion(*category, option, count);
  if (!questions_->confirm(ask.question, ask.detail, ask.acceptButton, tr("Cancel").toStdString())) return;
  // The user said yes once for all of them.
  runQuestions_ = std::make_unique<AlreadyConfirmed>();
  run_ = std::make_unique<FixAllRun>(outline_, book_, *category, option, *runQuestions_, std::set<std::string>{},
                                     contacts_);
  changedBar_->hide();
  noticeText_->setText(QString::fromStdString(fixAllProgress(option, std::min(1, run_->total()), run_->total())));
  progress_->setRange(0, std::max(1, run_->total()));
  progress_->setValue(0);
  progress_->show();
  cancelButton_->show();
  updateUI();
  emit busyChanged(true);
  runTimer_->start();
}

void OutlineViewController::runFixAllSlice() {
  if (!run_) return;
  // One finding after the other until a slice of time is used up; between slices the window
  // repaints and answers (Cancel among it), so the run stops only between two findings.
  QElapsedTimer slice;
  slice.start();
  do {
    if (!run_->step()) {
      finishFixAll(false);
      return;
    }
  } while (slice.elapsed() < slice_.count());
  progress_->setValue(run_->tried());
  noticeText_->setText(QString::fromStdString(
      fixAllProgress(run_->option(), std::min(run_->tried() + 1, run_->total()), run_->total())));
  refreshRowsDuringRun();
  runTimer_->start();
}

void OutlineViewController::refreshRowsDuringRun() {
  PersonItem* selected = outline_.selectedItem();
  syncing_ = true;
  model_->reload();
  for (const auto& father : outline_.rootNodes())
    outlineView_->setExpanded(model_->indexOf(father.get()), outline_.isExpanded(father.get()));
  if (selected)
    outlineView_->selectionModel()->setCurrentIndex(model_->indexOf(selected), QItemSelectionModel::ClearAndSelect);
  syncing_ = false;
  // The row whose details were shown was fixed: the details go until the user picks another row.
  if (!selected && !nameTextField_->text().isEmpty()) {
    nameTextField_->clear();
    updateUI();
  }
}

void OutlineViewController::setFixAllSlice(std::chrono::milliseconds slice) {
  slice_ = slice;
}

void OutlineViewController::cancelFixAll() {
  if (run_) finishFixAll(true);
}

void OutlineViewController::finishFixAll(bool cancelled) {
  runTimer_->stop();
  const FixAllOutcome outcome = run_->finish(cancelled);
  const std::string summaryText = fixAllSummary(outcome, run_->category(), run_->option());
  run_.reset();
  runQuestions_.reset();
  progress_->hide();
  cancelButton_->hide();
  noticeText_->clear();
  emit busyChanged(false);
  if (outcome.storeChanged) emit storeChanged();
  QStringList lines;
  for (const auto& line : outcome.findings) lines << QString::fromStdString(line);
  if (fixAllReport_) fixAllReport_(QString::fromStdString(summaryText), lines.join('\n'), !outcome.errors.empty());
  if (outline_.isFinished()) {
    model_->reload();
    emit backRequested();
    return;
  }
  // The fixed rows are gone; the first contact still listed is selected.
  if (!outline_.selectedItem()) outline_.selectRow(1);
  syncFromOutline();
}

std::unique_ptr<QMessageBox> OutlineViewController::fixAllReportBox(QWidget* parent, const QString& summary,
                                                                    const QString& details, bool failed) {
  auto box = std::make_unique<QMessageBox>(failed ? QMessageBox::Warning : QMessageBox::Information, tr("Fix All"),
                                           QString("<b>%1</b>").arg(summary.toHtmlEscaped()), QMessageBox::Ok, parent);
  box->setObjectName("fixAllReport");
  // One line per finding: in the list behind "Show Details…", which scrolls.
  if (!details.isEmpty()) box->setDetailedText(details);
  return box;
}

void OutlineViewController::mergeClick() {
  if (run_) return;
  PersonItem* row = outline_.selectedItem();
  const ReviewCategories::Category* category = outline_.selectedCategory();
  if (!row || !category) return;
  FixActions actions(outline_, book_, *questions_, contacts_);
  std::string why;
  std::vector<ABPersonRef> members = actions.membersToMerge(*category, *row, &why);
  if (members.size() < 2) {
    // The finding no longer holds: it goes, as a Fix of it would.
    noticeText_->setText(QString::fromStdString(why.empty() ? "nothing is left to merge" : why));
    PersonItem* father = row->parentNode();
    outline_.removeRow(row);
    if (outline_.contains(father)) outline_.removeCategoryIfEmpty(father);
  } else {
    MergeDialog dialog(book_, members, this);
    runMergeDialog(dialog);
    if (dialog.result() != QDialog::Accepted) return;
    PersonItem* father = row->parentNode();
    outline_.removeRow(row);
    for (const auto& member : dialog.plan().includedMembers()) outline_.purgePerson(*member, true, father);
    outline_.purgeMissing(book_);
    if (outline_.contains(father)) outline_.removeCategoryIfEmpty(father);
    QStringList lines;
    for (const auto& change : dialog.changes()) lines << QString::fromStdString(change);
    noticeText_->setText(lines.join("; "));
    emit storeChanged();
  }
  showWhatIsLeft();
}

void OutlineViewController::storeChangedElsewhere() {
  // The Fix All's own saves are not a change from elsewhere; nothing else changes it meanwhile.
  if (run_) return;
  FixActions actions(outline_, book_, *questions_, contacts_);
  const size_t dropped = actions.recheckFindings();
  showStoreChanged(dropped);
  showWhatIsLeft();
}

// After rows went: back to the browser when nothing is left, else a listed contact selected.
void OutlineViewController::showWhatIsLeft() {
  if (outline_.isFinished()) {
    model_->reload();
    emit backRequested();
    return;
  }
  if (!outline_.selectedItem()) outline_.selectFirstContact();
  syncFromOutline();
}

void OutlineViewController::openInContacts() {
  PersonItem* row = outline_.selectedItem();
  if (row && contacts_) contacts_->selectInAddressBook(row->person());
}

void OutlineViewController::backClicked() {
  if (run_) return;
  emit backRequested();
}
