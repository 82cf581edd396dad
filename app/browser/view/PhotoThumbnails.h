#pragma once

#include <QCache>
#include <QObject>
#include <QPixmap>
#include <QSet>
#include <QString>
#include <QThreadPool>

#include "platform/addressbook/ABPerson.h"

// The small photos of the contact table, made off the GUI thread: asking for one that is not made
// yet starts its making and answers a null pixmap at once, so that drawing a row never waits on a
// decoder, however fast the rows go by. The rows asked for last are made first. ready() says that
// some have been made since (once for those made together).
class PhotoThumbnails : public QObject {
  Q_OBJECT

 public:
  explicit PhotoThumbnails(QObject* parent = nullptr);
  ~PhotoThumbnails() override;

  // Fitted within side x side pixels (of the device).
  void setSide(int side);
  int side() const { return side_; }
  // The thumbnail of the person's photo; null while it is being made, and for a person without a
  // photo or with one that cannot be decoded.
  QPixmap thumbnail(const ABPersonRef& person);
  // Whether thumbnails are being made.
  bool busy() const;

 signals:
  void ready();

 private:
  QThreadPool pool_;
  QCache<QString, QPixmap> made_;  // a null pixmap: the photo cannot be decoded
  QSet<QString> asked_;            // being made
  int side_ = 20;
  int next_ = 0;  // the priority of the next asked for: higher, sooner
  bool readyPosted_ = false;
};
