#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// A contact's photo as the store keeps it (the bytes of a JPEG, PNG, GIF or WebP file), read with
// the reference library of each format: libjpeg-turbo, libpng, giflib and libwebp, and libexif for
// a JPEG's orientation. Nothing here draws: the window turns Pixels into its own images.
namespace Photo {

enum class Format { kUnknown, kJpeg, kPng, kGif, kWebP };

// "JPEG", "PNG", "GIF", "WebP"; "unknown".
const char* formatName(Format format);
// A size as the user reads it: "312 KB" (rounded up).
std::string kilobytes(std::size_t bytes);
// What a photo is: "JPEG, 2000 × 1500 pixels, 312 KB" (as it is seen); "unreadable, 12 KB".
std::string description(std::string_view bytes);
// By the file's first bytes.
Format formatOf(std::string_view bytes);

struct Header {
  Format format = Format::kUnknown;
  int width = 0;  // as stored, before the orientation is applied
  int height = 0;
  int orientation = 1;  // the EXIF orientation (1 to 8) when it was asked for
  bool turned() const { return orientation >= 5 && orientation <= 8; }
  int shownWidth() const { return turned() ? height : width; }
  int shownHeight() const { return turned() ? width : height; }
  int longerSide() const { return width > height ? width : height; }
};

// The format and size from the file's header alone (no pixel is decoded); with `orientation`, a
// JPEG's EXIF orientation too. nullopt and *error when no library reads the header.
std::optional<Header> readHeader(std::string_view bytes, bool orientation, std::string* error);

// Pixels in rows of red, green, blue and alpha bytes.
struct Pixels {
  int width = 0;
  int height = 0;
  std::vector<std::uint8_t> rgba;
  bool operator==(const Pixels&) const = default;
};

// The picture as it is meant to be seen (its orientation applied; the first frame of an animation),
// fitted within maxSide on its longer side when maxSide > 0 and the picture is larger (a JPEG is
// scaled while it is decoded). nullopt and *error when it cannot be decoded.
std::optional<Pixels> decode(std::string_view bytes, int maxSide, std::string* error);

// Scaled down to width x height by the average of the pixels each covers (alpha-weighted); never up.
Pixels scaledDown(const Pixels& pixels, int width, int height);
// The size that fits within maxSide on the longer side, keeping the proportions (at least 1 x 1).
std::pair<int, int> fittedSize(int width, int height, int maxSide);
// Turned clockwise by quarter turns (negative: anticlockwise).
Pixels turned(const Pixels& pixels, int quarterTurns);

// Encoded as a baseline JPEG of this quality (1 to 100), transparency laid on white; empty and
// *error on failure.
std::string encodeJpeg(const Pixels& pixels, int quality, std::string* error);
std::string encodePng(const Pixels& pixels, std::string* error);

// What shrinking makes of a photo: the picture as seen, fitted within longerSide, as a JPEG.
struct Shrunk {
  std::string bytes;
  int width = 0;
  int height = 0;
};
std::optional<Shrunk> shrink(std::string_view bytes, int longerSide, int quality, std::string* error);

// The photo turned clockwise by quarter turns and written again: a JPEG without a partial block
// at its edges is turned without loss (its blocks moved, its EXIF left out since the turn applies
// it), any other JPEG is written anew at quality 92, the other formats as PNG.
std::optional<std::string> turnedPhoto(std::string_view bytes, int quarterTurns, std::string* error);

// What identifies the picture a photo shows apart from what is written around it: for a JPEG its
// coded frame, tables and scans (not its APPn and COM segments, but its orientation), for a PNG its
// header, palette, transparency and image data chunks, for a WebP its image chunks, for a GIF its
// bytes. Two photos of one key show the same pixels. Empty when the bytes are no such file.
std::string pictureKey(std::string_view bytes);
// The pieces of the bytes that key is made of, in order (views into the bytes; the orientation
// aside): for comparing many photos before any is copied. Empty when the bytes are no such file.
std::vector<std::string_view> pictureParts(std::string_view bytes);
// Whether the format stores pixels without loss (PNG, GIF, a lossless WebP).
bool isLossless(std::string_view bytes);

}  // namespace Photo
