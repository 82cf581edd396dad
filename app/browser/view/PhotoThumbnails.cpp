#include "app/browser/view/PhotoThumbnails.h"

#include <QTimer>
#include <functional>

#include "app/widgets/PhotoImage.h"
#include "platform/addressbook/ABConstants.h"

namespace {

// The photo's bytes, or none.
std::string_view photoOf(const ABPersonData& data) {
  const ABBytes* bytes = data.bytes(kABImageDataProperty);
  return bytes ? bytesView(*bytes) : std::string_view();
}

// What tells one photo of a person from another without reading all of it: its length and its
// ends.
QString keyOf(const std::string& uid, std::string_view photo, int side) {
  const std::hash<std::string_view> hash;
  const size_t ends =
      hash(photo.substr(0, 512)) ^ (hash(photo.substr(photo.size() - std::min<size_t>(photo.size(), 512))) * 31);
  return QString::fromStdString(uid) + '/' + QString::number(photo.size()) + '/' + QString::number(ends, 16) + '/' +
         QString::number(side);
}

}  // namespace

PhotoThumbnails::PhotoThumbnails(QObject* parent) : QObject(parent) {
  // One core for the photos, the other for the window.
  pool_.setMaxThreadCount(1);
  made_.setMaxCost(4000);
}

PhotoThumbnails::~PhotoThumbnails() {
  pool_.clear();
  pool_.waitForDone();
}

void PhotoThumbnails::setSide(int side) {
  if (side == side_ || side <= 0) return;
  side_ = side;
  made_.clear();
}

bool PhotoThumbnails::busy() const {
  return !asked_.isEmpty();
}

QPixmap PhotoThumbnails::thumbnail(const ABPersonRef& person) {
  if (!person) return {};
  ABPersonSnapshot data = person->snapshot();
  const std::string_view photo = photoOf(*data);
  if (photo.empty()) return {};
  const QString key = keyOf(person->uniqueId(), photo, side_);
  if (const QPixmap* made = made_.object(key)) return *made;
  if (asked_.contains(key)) return {};
  asked_.insert(key);
  const int side = side_;
  pool_.start(
      [this, key, side, data = std::move(data)] {
        QImage image = photoImage(photoOf(*data), side);
        QMetaObject::invokeMethod(
            this,
            [this, key, image = std::move(image)] {
              asked_.remove(key);
              made_.insert(key, new QPixmap(image.isNull() ? QPixmap() : QPixmap::fromImage(image)));
              if (readyPosted_) return;
              readyPosted_ = true;
              QTimer::singleShot(0, this, [this] {
                readyPosted_ = false;
                emit ready();
              });
            },
            Qt::QueuedConnection);
      },
      ++next_);
  return {};
}
