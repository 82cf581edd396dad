#pragma once

#include <QImage>
#include <QString>
#include <string_view>

// A contact's photo as the window draws it: decoded below the window (platform/image, every format
// the store's photos come in, turned as it is seen), fitted within maxSide when it is above 0. A
// null image when it cannot be decoded. Safe on any thread.
QImage photoImage(std::string_view bytes, int maxSide);
// "JPEG, 1200 × 900 pixels, 312 KB"; "unreadable, 12 KB".
QString photoDescription(std::string_view bytes);
