#pragma once

// Photos a test makes itself, in each format the store's photos come in. A test including this
// links the image library and, for WebP and GIF, libwebp and giflib (rolvane_test_photos).
#include <gif_lib.h>
#include <webp/encode.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "platform/addressbook/ABValue.h"
#include "platform/image/Photo.h"

namespace TestPhotos {

// A picture of two halves, left and right, in two colours (red and blue unless told), with a little
// noise so that a JPEG of it is not tiny.
inline Photo::Pixels halves(int width, int height, std::uint32_t left = 0xFF0000, std::uint32_t right = 0x0000FF,
                            bool noise = false) {
  Photo::Pixels pixels;
  pixels.width = width;
  pixels.height = height;
  pixels.rgba.resize(static_cast<size_t>(width) * height * 4);
  std::uint32_t seed = 12345;
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) {
      const std::uint32_t colour = x < width / 2 ? left : right;
      std::uint8_t* p = &pixels.rgba[(static_cast<size_t>(y) * width + x) * 4];
      int jitter = 0;
      if (noise) {
        seed = seed * 1103515245u + 12345u;
        jitter = static_cast<int>((seed >> 16) % 61) - 30;
      }
      auto channel = [&](int value) { return static_cast<std::uint8_t>(std::clamp(value + jitter, 0, 255)); };
      p[0] = channel(static_cast<int>((colour >> 16) & 0xFF));
      p[1] = channel(static_cast<int>((colour >> 8) & 0xFF));
      p[2] = channel(static_cast<int>(colour & 0xFF));
      p[3] = 255;
    }
  return pixels;
}

inline std::string jpeg(const Photo::Pixels& pixels, int quality = 90) {
  return Photo::encodeJpeg(pixels, quality, nullptr);
}

inline std::string png(const Photo::Pixels& pixels) {
  return Photo::encodePng(pixels, nullptr);
}

inline std::string webp(const Photo::Pixels& pixels, bool lossless = false) {
  uint8_t* out = nullptr;
  const size_t size =
      lossless ? WebPEncodeLosslessRGBA(pixels.rgba.data(), pixels.width, pixels.height, pixels.width * 4, &out)
               : WebPEncodeRGBA(pixels.rgba.data(), pixels.width, pixels.height, pixels.width * 4, 80, &out);
  std::string bytes(reinterpret_cast<const char*>(out), size);
  WebPFree(out);
  return bytes;
}

// A GIF of the picture's colours (at most 256 of them).
inline std::string gif(const Photo::Pixels& pixels) {
  std::vector<GifColorType> colours;
  std::vector<GifByteType> indexes(static_cast<size_t>(pixels.width) * pixels.height);
  for (size_t i = 0; i < indexes.size(); ++i) {
    const std::uint8_t* p = &pixels.rgba[i * 4];
    size_t c = 0;
    while (c < colours.size() && !(colours[c].Red == p[0] && colours[c].Green == p[1] && colours[c].Blue == p[2])) ++c;
    if (c == colours.size() && colours.size() < 256) colours.push_back({p[0], p[1], p[2]});
    indexes[i] = static_cast<GifByteType>(std::min<size_t>(c, 255));
  }
  while (colours.size() < 2 || (colours.size() & (colours.size() - 1))) colours.push_back({0, 0, 0});
  std::string bytes;
  auto write = [](GifFileType* file, const GifByteType* data, int length) {
    static_cast<std::string*>(file->UserData)->append(reinterpret_cast<const char*>(data), length);
    return length;
  };
  int error = 0;
  GifFileType* file = EGifOpen(&bytes, write, &error);
  ColorMapObject* map = GifMakeMapObject(static_cast<int>(colours.size()), colours.data());
  EGifSetGifVersion(file, true);
  EGifPutScreenDesc(file, pixels.width, pixels.height, 8, 0, map);
  EGifPutImageDesc(file, 0, 0, pixels.width, pixels.height, false, nullptr);
  for (int y = 0; y < pixels.height; ++y)
    EGifPutLine(file, &indexes[static_cast<size_t>(y) * pixels.width], pixels.width);
  EGifCloseFile(file, &error);
  GifFreeMapObject(map);
  return bytes;
}

// The JPEG with an EXIF block saying how it is to be turned (orientation 1 to 8) after its start.
inline std::string withOrientation(const std::string& jpegBytes, int orientation) {
  // Exif header, a big-endian TIFF header, one IFD with one entry: Orientation (0x0112), SHORT, 1.
  const std::string tiff = std::string("MM\0*\0\0\0\x08", 8) + std::string("\0\x01", 2) +
                           std::string("\x01\x12\0\x03\0\0\0\x01", 8) + std::string(1, '\0') +
                           std::string(1, static_cast<char>(orientation)) + std::string("\0\0", 2) +
                           std::string("\0\0\0\0", 4);
  const std::string body = std::string("Exif\0\0", 6) + tiff;
  const size_t length = body.size() + 2;
  const std::string segment =
      std::string("\xFF\xE1", 2) + static_cast<char>(length >> 8) + static_cast<char>(length & 0xFF) + body;
  return jpegBytes.substr(0, 2) + segment + jpegBytes.substr(2);
}

// The JPEG with a comment after its start: other bytes, the same picture.
inline std::string withComment(const std::string& jpegBytes, const std::string& comment) {
  const size_t length = comment.size() + 2;
  return jpegBytes.substr(0, 2) + std::string("\xFF\xFE", 2) + static_cast<char>(length >> 8) +
         static_cast<char>(length & 0xFF) + comment + jpegBytes.substr(2);
}

// Bytes that begin as a JPEG and then are nothing of the kind.
inline std::string broken() {
  return std::string("\xFF\xD8\xFF\xE0\x00\x10JFIF\x00garbage that no decoder reads", 36);
}

inline ABBytes bytes(const std::string& text) {
  return ABBytes(text.begin(), text.end());
}

// The colour of one pixel, 0xRRGGBB.
inline std::uint32_t colourAt(const Photo::Pixels& pixels, int x, int y) {
  const std::uint8_t* p = &pixels.rgba[(static_cast<size_t>(y) * pixels.width + x) * 4];
  return (std::uint32_t(p[0]) << 16) | (std::uint32_t(p[1]) << 8) | p[2];
}

// Whether the colour is near the other (a JPEG's colours move a little).
inline bool near(std::uint32_t colour, std::uint32_t other, int within = 40) {
  for (int shift = 0; shift <= 16; shift += 8) {
    const int a = static_cast<int>((colour >> shift) & 0xFF), b = static_cast<int>((other >> shift) & 0xFF);
    if (a - b > within || b - a > within) return false;
  }
  return true;
}

}  // namespace TestPhotos
