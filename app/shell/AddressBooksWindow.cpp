#include "app/shell/AddressBooksWindow.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QDir>
#include <QEventLoop>
#include <QFileDialog>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QProgressDialog>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <algorithm>
#include <atomic>
#include <thread>

#include "platform/addressbook/ABAddressBook.h"
#include "platform/sync/CardDavCollection.h"
#include "platform/sync/HttpSession.h"
#include "platform/sync/SourcePassword.h"
#include "platform/sync/SyncRun.h"

namespace {

QString q(const std::string& text) {
  return QString::fromStdString(text);
}

// Runs work on a thread of its own while the window keeps drawing, and returns when it is done.
template <typename Work>
void runAside(Work&& work) {
  std::atomic<bool> done{false};
  QEventLoop loop;
  std::thread worker([&] {
    work();
    done = true;
    QMetaObject::invokeMethod(&loop, "quit", Qt::QueuedConnection);
  });
  if (!done) loop.exec(QEventLoop::ExcludeUserInputEvents);
  worker.join();
}

}  // namespace

AddressBooksWindow::AddressBooksWindow(ABAddressBook& book, QWidget* parent) : QDialog(parent), book_(book) {
  setWindowTitle(tr("Address Books"));
  auto* layout = new QVBoxLayout(this);
  auto* intro = new QLabel(tr("The folders and CardDAV address books this address book is linked to. A sync brings "
                              "their changes in and sends the changes made here back to them."),
                           this);
  intro->setWordWrap(true);
  layout->addWidget(intro);
  list_ = new QTreeWidget(this);
  list_->setHeaderLabels({tr("Name"), tr("Kind"), tr("Location"), tr("Last sync")});
  list_->setRootIsDecorated(false);
  list_->header()->setStretchLastSection(true);
  list_->setMinimumSize(640, 180);
  layout->addWidget(list_);
  status_ = new QLabel(this);
  status_->setWordWrap(true);
  status_->setTextInteractionFlags(Qt::TextSelectableByMouse);
  layout->addWidget(status_);

  auto* buttons = new QHBoxLayout;
  auto* addFolderButton = new QPushButton(tr("Add &Folder…"), this);
  auto* addCardDavButton = new QPushButton(tr("Add &CardDAV…"), this);
  removeButton_ = new QPushButton(tr("&Remove"), this);
  syncButton_ = new QPushButton(tr("&Sync Now"), this);
  auto* closeButton = new QPushButton(tr("Close"), this);
  buttons->addWidget(addFolderButton);
  buttons->addWidget(addCardDavButton);
  buttons->addWidget(removeButton_);
  buttons->addStretch();
  buttons->addWidget(syncButton_);
  buttons->addWidget(closeButton);
  layout->addLayout(buttons);
  connect(addFolderButton, &QPushButton::clicked, this, &AddressBooksWindow::addFolder);
  connect(addCardDavButton, &QPushButton::clicked, this, &AddressBooksWindow::addCardDav);
  connect(removeButton_, &QPushButton::clicked, this, &AddressBooksWindow::removeSelected);
  connect(syncButton_, &QPushButton::clicked, this, &AddressBooksWindow::syncNow);
  connect(closeButton, &QPushButton::clicked, this, &QDialog::accept);
  connect(list_, &QTreeWidget::itemSelectionChanged, this,
          [this] { removeButton_->setEnabled(!list_->selectedItems().isEmpty()); });
  refresh();
}

void AddressBooksWindow::refresh() {
  list_->clear();
  std::string why;
  auto state = SyncState::open(book_.path(), &why);
  std::vector<SyncSource> sources;
  if (!state || !state->sources(sources, &why)) {
    status_->setText(tr("The linked address books cannot be read: %1").arg(q(why)));
    return;
  }
  for (const auto& source : sources) {
    auto* item = new QTreeWidgetItem(list_);
    item->setText(0, q(source.name));
    item->setText(1, source.kind == SyncSource::Kind::CardDav ? tr("CardDAV") : tr("Folder"));
    item->setText(2, q(HttpSession::withoutUserInfo(source.location)) +
                         (source.user.empty() ? QString() : tr(" (user %1)").arg(q(source.user))));
    item->setText(3, source.lastSync.empty() ? tr("never") : q(source.lastSync) + " — " + q(source.lastReport));
    item->setToolTip(3, item->text(3));
  }
  for (int column = 0; column < 3; ++column) list_->resizeColumnToContents(column);
  removeButton_->setEnabled(false);
  syncButton_->setEnabled(!sources.empty());
  if (sources.empty()) status_->setText(tr("No address book is linked yet."));
}

bool AddressBooksWindow::link(const SyncSource& source) {
  std::string why;
  if (!linkSource(book_, source, &why)) {
    QMessageBox::warning(this, tr("Address Books"), tr("“%1” could not be linked: %2").arg(q(source.name), q(why)));
    return false;
  }
  refresh();
  status_->setText(tr("Linked “%1”. Sync Now brings its contacts in.").arg(q(source.name)));
  return true;
}

void AddressBooksWindow::addFolder() {
  QString folder =
      QFileDialog::getExistingDirectory(this, tr("Choose the Folder of the Address Book"), QDir::homePath());
  if (folder.isEmpty()) return;
  bool ok = false;
  QString name = QInputDialog::getText(this, tr("Add Folder"), tr("Name of this address book:"), QLineEdit::Normal,
                                       QDir(folder).dirName(), &ok);
  if (!ok || name.trimmed().isEmpty()) return;
  SyncSource source;
  source.name = name.trimmed().toStdString();
  source.kind = SyncSource::Kind::Vdir;
  source.location = folder.toStdString();
  link(source);
}

void AddressBooksWindow::addCardDav() {
  QDialog form(this);
  form.setWindowTitle(tr("Add CardDAV Address Book"));
  auto* layout = new QFormLayout(&form);
  auto* name = new QLineEdit(&form);
  auto* url = new QLineEdit(&form);
  url->setPlaceholderText("https://dav.example.com/");
  auto* user = new QLineEdit(&form);
  auto* password = new QLineEdit(&form);
  password->setEchoMode(QLineEdit::Password);
  layout->addRow(tr("Name:"), name);
  layout->addRow(tr("Server or address book:"), url);
  layout->addRow(tr("User:"), user);
  layout->addRow(tr("Password:"), password);
  auto* box = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &form);
  layout->addRow(box);
  connect(box, &QDialogButtonBox::accepted, &form, &QDialog::accept);
  connect(box, &QDialogButtonBox::rejected, &form, &QDialog::reject);
  if (form.exec() != QDialog::Accepted) return;

  SyncSource source;
  source.name = name->text().trimmed().toStdString();
  source.kind = SyncSource::Kind::CardDav;
  source.user = user->text().trimmed().toStdString();
  // A user and password written in the address are taken out of it, into the secret store.
  std::string urlUser, urlPassword;
  source.location = HttpSession::withoutUserInfo(url->text().trimmed().toStdString(), &urlUser, &urlPassword);
  if (source.user.empty()) source.user = urlUser;
  if (source.name.empty() || source.location.empty()) {
    QMessageBox::warning(this, tr("Address Books"), tr("Give the address book a name and the server's address."));
    return;
  }
  CardDavAccount account{source.location, source.user,
                         password->text().isEmpty() ? urlPassword : password->text().toStdString(), false};
  std::vector<CardDavAddressBook> books;
  std::string why;
  bool found = false;
  QApplication::setOverrideCursor(Qt::WaitCursor);
  runAside([&] { found = CardDavCollection::discover(account, books, &why); });
  QApplication::restoreOverrideCursor();
  if (!found) {
    QMessageBox::warning(this, tr("Address Books"), tr("No address book was found: %1").arg(q(why)));
    return;
  }
  std::size_t chosen = 0;
  if (books.size() > 1) {
    QStringList names;
    for (const auto& book : books)
      names << (book.displayName.empty() ? q(book.url) : q(book.displayName) + " — " + q(book.url));
    bool ok = false;
    QString pick =
        QInputDialog::getItem(this, tr("Add CardDAV Address Book"),
                              tr("The server holds several address books. Which one?"), names, 0, false, &ok);
    if (!ok) return;
    chosen = static_cast<std::size_t>(names.indexOf(pick));
  }
  source.location = books[chosen].url;
  if (!source.user.empty() && !keepSourcePassword(source, account.password, &why))
    QMessageBox::warning(this, tr("Address Books"),
                         tr("The password could not be kept in the desktop's secret store, so it will be asked at "
                            "each sync: %1")
                             .arg(q(why)));
  link(source);
}

void AddressBooksWindow::removeSelected() {
  auto selected = list_->selectedItems();
  if (selected.isEmpty()) return;
  QString name = selected.front()->text(0);
  QMessageBox question(QMessageBox::Question, tr("Address Books"), tr("Unlink “%1”?").arg(name), QMessageBox::Cancel,
                       this);
  question.setInformativeText(tr("Its contacts stay in this address book; they are no longer synced."));
  question.addButton(tr("Unlink"), QMessageBox::DestructiveRole);
  if (question.exec() == QMessageBox::Cancel) return;
  std::string why;
  auto state = SyncState::open(book_.path(), &why);
  auto source = state ? state->source(name.toStdString(), &why) : std::nullopt;
  if (!state || !state->removeSource(name.toStdString(), &why)) {
    QMessageBox::warning(this, tr("Address Books"), tr("“%1” could not be unlinked: %2").arg(name, q(why)));
    return;
  }
  if (source && source->kind == SyncSource::Kind::CardDav && source->passwordFile.empty())
    forgetSourcePassword(*source);
  refresh();
  status_->setText(tr("Unlinked “%1”; its contacts stay in this address book.").arg(name));
}

void AddressBooksWindow::syncNow() {
  syncButton_->setEnabled(false);
  QProgressDialog progress(tr("Syncing the linked address books…"), QString(), 0, 0, this);
  progress.setWindowModality(Qt::WindowModal);
  progress.setMinimumDuration(0);
  progress.show();
  // A password that neither a file nor the secret store holds is asked here, on the window's thread.
  PasswordPrompt prompt = [this](const SyncSource& source, std::string& password) {
    bool ok = false;
    QString answer;
    QMetaObject::invokeMethod(
        this,
        [&] {
          answer = QInputDialog::getText(this, tr("Password"),
                                         tr("Password for %1 at %2:").arg(q(source.user), q(source.location)),
                                         QLineEdit::Password, QString(), &ok);
        },
        Qt::BlockingQueuedConnection);
    password = answer.toStdString();
    return ok;
  };
  SyncRunResult result;
  runAside([&] { result = syncSources(book_, book_.path(), {}, prompt); });
  progress.close();
  // A source that would delete many of its contacts stopped without changing anything: it goes on
  // only when the user says these deletions are meant.
  std::vector<std::string> allowed;
  for (const auto& stopped : result.stoppedByMassDelete) {
    const int count = stopped.wouldDeleteInStore + stopped.wouldDeleteInSource;
    QMessageBox question(QMessageBox::Warning, tr("Address Books"),
                         tr("Syncing “%1” would delete %n contact(s).", "", count).arg(q(stopped.source)),
                         QMessageBox::Cancel, this);
    question.setInformativeText(
        tr("%1 would leave this address book because they are no longer in “%2”, and %3 deleted here would be "
           "deleted there. A folder on a drive that is not mounted, or a server that lost its contacts, looks like "
           "this. Nothing has been changed yet.")
            .arg(stopped.wouldDeleteInStore)
            .arg(q(stopped.source))
            .arg(stopped.wouldDeleteInSource));
    question.addButton(tr("Delete %n Contact(s)", "", count), QMessageBox::DestructiveRole);
    if (question.exec() != QMessageBox::Cancel) allowed.push_back(stopped.source);
  }
  if (!allowed.empty()) {
    SyncOptions options;
    options.allowMassDelete = true;
    SyncRunResult again;
    progress.show();
    runAside([&] { again = syncSources(book_, book_.path(), allowed, prompt, options); });
    progress.close();
    std::erase_if(result.failures, [&](const std::string& failure) {
      return std::any_of(allowed.begin(), allowed.end(),
                         [&](const std::string& name) { return failure.rfind(name + ": ", 0) == 0; });
    });
    for (auto& report : again.reports) result.reports.push_back(std::move(report));
    for (auto& failure : again.failures) result.failures.push_back(std::move(failure));
  }
  refresh();

  QStringList lines;
  bool changedStore = false;
  for (const auto& report : result.reports) {
    lines << q(report.summary());
    for (const auto& conflict : report.conflicts) lines << "  " + tr("Conflict: %1").arg(q(conflict));
    for (const auto& kept : report.kept) lines << "  " + q(kept);
    for (const auto& error : report.errorLines()) lines << "  " + q(error);
    changedStore = changedStore || report.addedToStore || report.changedInStore || report.removedFromStore ||
                   !report.conflicts.empty();
  }
  for (const auto& failure : result.failures) lines << q(failure);
  status_->setText(lines.join("\n"));
  if (changedStore) emit storeChanged();
  if (!result.ok()) {
    QMessageBox box(QMessageBox::Warning, tr("Address Books"), tr("Not every address book could be synced."),
                    QMessageBox::Ok, this);
    box.setInformativeText(lines.join("\n"));
    box.exec();
  }
}
