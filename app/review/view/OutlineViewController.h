#pragma once

#include <QDialog>
#include <QList>
#include <QString>
#include <QWidget>
#include <chrono>
#include <functional>
#include <map>
#include <memory>
#include <vector>

#include "app/review/FixActions.h"
#include "app/review/ReviewOutline.h"

class QAbstractButton;
class QButtonGroup;
class QMessageBox;
class QProgressBar;
class QTimer;
class FixAllRun;

class QGroupBox;
class QLabel;
class QPushButton;
class QStackedWidget;
class QTreeView;
class QVBoxLayout;
class FixPreviewWidget;
class ReviewTreeModel;
class ABAddressBook;
struct ABRefreshResult;
class BackGroundView;
class MyButton;
class MyView;

// The review screen: the outline of findings on the left; the selected contact's problem, the fix
// options of its category and the preview of the chosen option on the right; Open In Contacts,
// Back and Fix below. The decisions live in ReviewOutline and FixActions.
class OutlineViewController : public QWidget {
  Q_OBJECT

 public:
  OutlineViewController(ABAddressBook& book, ContactsApplication* contacts, QWidget* parent = nullptr);
  ~OutlineViewController() override;

  // Questions (the delete confirmation) go here; by default a message box asks the user.
  void setQuestions(ReviewQuestions* questions);

  void setOutlineViewDataSouce(const ScanResult& result);
  void setOutlineViewDataSouce(const std::map<std::string, std::vector<ABPersonRef>>& lists,
                               const std::vector<SharedEmailRow>& sharedEmails);
  // Reloads the outline, expands every category and selects the first contact.
  void showResults();
  // Another program changed or removed these contacts: their findings no longer stand and go, and
  // the bottom bar says so once.
  void followStore(const ABRefreshResult& found);

  QTreeView* myOutlineView() const { return outlineView_; }
  ReviewOutline& outline() { return outline_; }
  MyButton* fixButton() const { return fixButton_; }
  // "Fix All": the chosen option on every finding of the selected row's category.
  MyButton* fixAllButton() const { return fixAllButton_; }
  // Tells the user what a Fix All did; by default a message box (fixAllReportBox), tests listen
  // instead.
  void setFixAllReport(std::function<void(const QString& summary, const QString& details, bool failed)> report);
  // The box that tells what a Fix All did: the counts, and a line per finding behind "Show
  // Details…" in a list that scrolls, so that it stays within the screen however many there were.
  static std::unique_ptr<QMessageBox> fixAllReportBox(QWidget* parent, const QString& summary, const QString& details,
                                                      bool failed);
  // While a Fix All runs: its progress ("Merging 812 of 2,304…") and Cancel, which stops it
  // between two findings, keeping what was done (one change set).
  bool fixAllRunning() const { return run_ != nullptr; }
  // How long each turn of the event loop fixes findings before the window runs again (at least
  // one finding a turn).
  void setFixAllSlice(std::chrono::milliseconds slice);
  QProgressBar* fixAllProgressBar() const { return progress_; }
  MyButton* cancelFixAllButton() const { return cancelButton_; }
  // After the address book changed under the screen: what the screen did about it, and Scan Again.
  QWidget* storeChangedBar() const { return changedBar_; }
  QLabel* storeChangedText() const { return changedText_; }
  QPushButton* scanAgainButton() const { return scanAgainButton_; }
  // "Merge contacts…": the merge the user steers, for a finding whose contacts can be merged.
  MyButton* mergeButton() const { return mergeButton_; }
  // Opens the merge dialog modally; tests replace it to drive the dialog.
  std::function<void(QDialog&)> runMergeDialog = [](QDialog& dialog) { dialog.exec(); };
  MyButton* openContactButton() const { return openContactButton_; }
  MyButton* backButton() const { return backButton_; }
  BackGroundView* bottomButtonView() const { return bottomButtonView_; }
  MyView* tipsView() const { return tipsView_; }
  QLabel* problemText() const { return problemText_; }
  QLabel* emailLine() const { return homeEmailTextField_; }
  // One line after a fix that did not act because its finding no longer held; empty otherwise.
  QLabel* noticeText() const { return noticeText_; }
  FixPreviewWidget* previewWidget() const { return preview_; }
  bool showingTips() const;
  // The option buttons of the fix matrix now shown.
  QList<QAbstractButton*> optionButtons() const;
  const FixOutcome& lastOutcome() const { return lastOutcome_; }

 public slots:
  void fixClick();
  void fixAllClick();
  void mergeClick();
  void openInContacts();
  void backClicked();
  void matrixClicked();
  // Stops a Fix All that runs, between two findings.
  void cancelFixAll();
  // After the store changed under the screen (undo, redo, restore, a sync): every finding is
  // checked again on the store as it is now and those that no longer hold go, the counts with
  // them; what the change may have brought is for a new scan, which the screen offers.
  void storeChangedElsewhere();

 signals:
  // Back was pressed or the last category was fixed: the browser comes back and reloads.
  void backRequested();
  // The store was changed by a fix.
  void storeChanged();
  // A Fix All began (true) or ended (false): the store is held for it meanwhile.
  void busyChanged(bool busy);
  // "Scan Again" was pressed.
  void scanAgainRequested();

 private:
  void buildInterface();
  void syncFromOutline();
  void showWhatIsLeft();
  void updateUI();
  void placeMatrix(const ReviewCategories::FixMatrix* matrix, const std::string& selected);
  void rebuildPreview();
  void runFixAllSlice();
  void finishFixAll(bool cancelled);
  // The rows as the outline holds them now, while a Fix All runs (details only when the selected
  // row went).
  void refreshRowsDuringRun();
  void showStoreChanged(size_t dropped);

  ABAddressBook& book_;
  ContactsApplication* contacts_;
  ReviewQuestions* questions_;
  std::unique_ptr<ReviewQuestions> defaultQuestions_;
  ReviewOutline outline_;
  ReviewTreeModel* model_ = nullptr;
  FixOutcome lastOutcome_;
  bool syncing_ = false;

  QTreeView* outlineView_ = nullptr;
  QStackedWidget* rightSide_ = nullptr;  // solution view or tips view
  QWidget* solutionView_ = nullptr;
  MyView* tipsView_ = nullptr;
  QLabel* imageView_ = nullptr;
  QLabel* nameTextField_ = nullptr;
  QLabel* homeEmailTextField_ = nullptr;
  QLabel* problemText_ = nullptr;
  QGroupBox* boxWithMatrix_ = nullptr;
  QVBoxLayout* matrixLayout_ = nullptr;
  QButtonGroup* matrix_ = nullptr;
  FixPreviewWidget* preview_ = nullptr;
  BackGroundView* bottomButtonView_ = nullptr;
  MyButton* openContactButton_ = nullptr;
  MyButton* backButton_ = nullptr;
  MyButton* fixButton_ = nullptr;
  QLabel* noticeText_ = nullptr;
  MyButton* fixAllButton_ = nullptr;
  MyButton* mergeButton_ = nullptr;
  std::function<void(const QString&, const QString&, bool)> fixAllReport_;
  QProgressBar* progress_ = nullptr;
  MyButton* cancelButton_ = nullptr;
  QTimer* runTimer_ = nullptr;
  std::chrono::milliseconds slice_{40};
  QWidget* changedBar_ = nullptr;
  QLabel* changedText_ = nullptr;
  QPushButton* scanAgainButton_ = nullptr;
  // The Fix All that runs and the answers it gives its questions (asked once before it began);
  // after outline_, which the run changes, so that it ends first.
  std::unique_ptr<ReviewQuestions> runQuestions_;
  std::unique_ptr<FixAllRun> run_;
};
