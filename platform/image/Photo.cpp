#include "platform/image/Photo.h"

#include <gif_lib.h>
#include <libexif/exif-data.h>
#include <png.h>
#include <turbojpeg.h>
#include <webp/decode.h>
#include <webp/demux.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>

namespace Photo {

namespace {

bool fail(std::string* error, const std::string& line) {
  if (error) *error = line;
  return false;
}

const unsigned char* bytesOf(std::string_view bytes) {
  return reinterpret_cast<const unsigned char*>(bytes.data());
}

// One TurboJPEG handle of each kind per thread: making one allocates libjpeg's state.
tjhandle decompressor() {
  thread_local std::unique_ptr<void, int (*)(tjhandle)> handle(tjInitDecompress(), tjDestroy);
  return handle.get();
}

tjhandle compressor() {
  thread_local std::unique_ptr<void, int (*)(tjhandle)> handle(tjInitCompress(), tjDestroy);
  return handle.get();
}

tjhandle transformer() {
  thread_local std::unique_ptr<void, int (*)(tjhandle)> handle(tjInitTransform(), tjDestroy);
  return handle.get();
}

std::string jpegError(tjhandle handle) {
  return std::string("JPEG: ") + tjGetErrorStr2(handle);
}

// A JPEG's EXIF orientation, 1 when it holds none (or one out of range).
int jpegOrientation(std::string_view bytes) {
  std::unique_ptr<ExifData, void (*)(ExifData*)> exif(
      exif_data_new_from_data(bytesOf(bytes), static_cast<unsigned>(std::min<size_t>(bytes.size(), 0xFFFFFFFFu))),
      exif_data_unref);
  if (!exif) return 1;
  ExifEntry* entry = exif_data_get_entry(exif.get(), EXIF_TAG_ORIENTATION);
  if (!entry || entry->format != EXIF_FORMAT_SHORT || entry->components < 1) return 1;
  const int orientation = exif_get_short(entry->data, exif_data_get_byte_order(exif.get()));
  return orientation >= 1 && orientation <= 8 ? orientation : 1;
}

// The pixels arranged as the orientation says they are seen (EXIF orientations 1 to 8).
Pixels oriented(const Pixels& in, int orientation) {
  if (orientation <= 1 || orientation > 8) return in;
  const bool swap = orientation >= 5;
  Pixels out;
  out.width = swap ? in.height : in.width;
  out.height = swap ? in.width : in.height;
  out.rgba.resize(in.rgba.size());
  const int w = out.width, h = out.height;
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) {
      int sx = x, sy = y;
      switch (orientation) {
        case 2:
          sx = w - 1 - x;
          break;
        case 3:
          sx = w - 1 - x;
          sy = h - 1 - y;
          break;
        case 4:
          sy = h - 1 - y;
          break;
        case 5:
          sx = y;
          sy = x;
          break;
        case 6:
          sx = y;
          sy = w - 1 - x;
          break;
        case 7:
          sx = h - 1 - y;
          sy = w - 1 - x;
          break;
        case 8:
          sx = h - 1 - y;
          sy = x;
          break;
        default:
          break;
      }
      std::memcpy(&out.rgba[(static_cast<size_t>(y) * w + x) * 4],
                  &in.rgba[(static_cast<size_t>(sy) * in.width + sx) * 4], 4);
    }
  }
  return out;
}

std::optional<Pixels> decodeJpeg(std::string_view bytes, int maxSide, std::string* error) {
  tjhandle handle = decompressor();
  int width = 0, height = 0, subsampling = 0, colorspace = 0;
  if (!handle ||
      tjDecompressHeader3(handle, bytesOf(bytes), bytes.size(), &width, &height, &subsampling, &colorspace) != 0) {
    fail(error, handle ? jpegError(handle) : "JPEG: no decoder");
    return std::nullopt;
  }
  // The smallest scale the decoder offers that still holds maxSide on the longer side.
  int scaledWidth = width, scaledHeight = height;
  if (maxSide > 0 && std::max(width, height) > maxSide) {
    int count = 0;
    const tjscalingfactor* factors = tjGetScalingFactors(&count);
    for (int i = 0; i < count; ++i) {
      const int w = TJSCALED(width, factors[i]), h = TJSCALED(height, factors[i]);
      if (std::max(w, h) >= maxSide && w * static_cast<long>(h) < scaledWidth * static_cast<long>(scaledHeight)) {
        scaledWidth = w;
        scaledHeight = h;
      }
    }
  }
  const bool cmyk = colorspace == TJCS_CMYK || colorspace == TJCS_YCCK;
  // What a faster transform loses is below what scaling down averages away.
  const bool scaled = scaledWidth < width;
  Pixels pixels;
  pixels.width = scaledWidth;
  pixels.height = scaledHeight;
  pixels.rgba.resize(static_cast<size_t>(scaledWidth) * scaledHeight * 4);
  if (tjDecompress2(handle, bytesOf(bytes), bytes.size(), pixels.rgba.data(), scaledWidth, 0, scaledHeight,
                    cmyk ? TJPF_CMYK : TJPF_RGBA, scaled ? TJFLAG_FASTDCT : 0) != 0 &&
      tjGetErrorCode(handle) != TJERR_WARNING) {
    // A warning (a picture cut short, say) still gives the pixels that were there.
    fail(error, jpegError(handle));
    return std::nullopt;
  }
  if (cmyk) {
    // Inks as Adobe's programs write them (inverted): what is left of each colour under black.
    for (size_t i = 0; i < pixels.rgba.size(); i += 4) {
      const unsigned k = pixels.rgba[i + 3];
      for (int c = 0; c < 3; ++c) pixels.rgba[i + c] = static_cast<std::uint8_t>(pixels.rgba[i + c] * k / 255);
      pixels.rgba[i + 3] = 255;
    }
  }
  return oriented(pixels, jpegOrientation(bytes));
}

std::optional<Pixels> decodePng(std::string_view bytes, std::string* error) {
  png_image image;
  std::memset(&image, 0, sizeof image);
  image.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_memory(&image, bytes.data(), bytes.size())) {
    fail(error, std::string("PNG: ") + image.message);
    png_image_free(&image);
    return std::nullopt;
  }
  image.format = PNG_FORMAT_RGBA;
  Pixels pixels;
  pixels.width = static_cast<int>(image.width);
  pixels.height = static_cast<int>(image.height);
  pixels.rgba.resize(PNG_IMAGE_SIZE(image));
  if (!png_image_finish_read(&image, nullptr, pixels.rgba.data(), 0, nullptr)) {
    fail(error, std::string("PNG: ") + image.message);
    png_image_free(&image);
    return std::nullopt;
  }
  return pixels;
}

struct GifInput {
  std::string_view bytes;
  size_t at = 0;
};

int readGif(GifFileType* file, GifByteType* into, int length) {
  auto* input = static_cast<GifInput*>(file->UserData);
  const size_t n = std::min<size_t>(static_cast<size_t>(std::max(length, 0)), input->bytes.size() - input->at);
  std::memcpy(into, input->bytes.data() + input->at, n);
  input->at += n;
  return static_cast<int>(n);
}

struct GifFile {
  GifInput input;
  GifFileType* file = nullptr;
  explicit GifFile(std::string_view bytes, int* code) : input{bytes} { file = DGifOpen(&input, readGif, code); }
  ~GifFile() {
    int code = 0;
    if (file) DGifCloseFile(file, &code);
  }
};

std::optional<Pixels> decodeGif(std::string_view bytes, std::string* error) {
  int code = 0;
  GifFile gif(bytes, &code);
  if (!gif.file) {
    fail(error, std::string("GIF: ") + GifErrorString(code));
    return std::nullopt;
  }
  if (DGifSlurp(gif.file) != GIF_OK || gif.file->ImageCount < 1 || gif.file->SWidth <= 0 || gif.file->SHeight <= 0) {
    fail(error, std::string("GIF: ") + (gif.file->Error ? GifErrorString(gif.file->Error) : "no picture"));
    return std::nullopt;
  }
  // The first frame on a transparent screen.
  const SavedImage& frame = gif.file->SavedImages[0];
  const ColorMapObject* colours = frame.ImageDesc.ColorMap ? frame.ImageDesc.ColorMap : gif.file->SColorMap;
  if (!colours || !frame.RasterBits) {
    fail(error, "GIF: the first picture has no colours");
    return std::nullopt;
  }
  GraphicsControlBlock control{};
  control.TransparentColor = NO_TRANSPARENT_COLOR;
  DGifSavedExtensionToGCB(gif.file, 0, &control);
  Pixels pixels;
  pixels.width = gif.file->SWidth;
  pixels.height = gif.file->SHeight;
  pixels.rgba.assign(static_cast<size_t>(pixels.width) * pixels.height * 4, 0);
  const GifImageDesc& place = frame.ImageDesc;
  for (int y = 0; y < place.Height; ++y) {
    const int sy = place.Top + y;
    if (sy < 0 || sy >= pixels.height) continue;
    for (int x = 0; x < place.Width; ++x) {
      const int sx = place.Left + x;
      if (sx < 0 || sx >= pixels.width) continue;
      const int index = frame.RasterBits[static_cast<size_t>(y) * place.Width + x];
      if (index == control.TransparentColor || index >= colours->ColorCount) continue;
      std::uint8_t* to = &pixels.rgba[(static_cast<size_t>(sy) * pixels.width + sx) * 4];
      to[0] = colours->Colors[index].Red;
      to[1] = colours->Colors[index].Green;
      to[2] = colours->Colors[index].Blue;
      to[3] = 255;
    }
  }
  return pixels;
}

std::optional<Pixels> decodeWebP(std::string_view bytes, std::string* error) {
  WebPBitstreamFeatures features;
  if (WebPGetFeatures(bytesOf(bytes), bytes.size(), &features) != VP8_STATUS_OK) {
    fail(error, "WebP: not a WebP picture");
    return std::nullopt;
  }
  Pixels pixels;
  if (!features.has_animation) {
    int width = 0, height = 0;
    std::unique_ptr<uint8_t, void (*)(void*)> decoded(WebPDecodeRGBA(bytesOf(bytes), bytes.size(), &width, &height),
                                                      WebPFree);
    if (!decoded) {
      fail(error, "WebP: the picture cannot be decoded");
      return std::nullopt;
    }
    pixels.width = width;
    pixels.height = height;
    pixels.rgba.assign(decoded.get(), decoded.get() + static_cast<size_t>(width) * height * 4);
    return pixels;
  }
  WebPAnimDecoderOptions options;
  WebPAnimDecoderOptionsInit(&options);
  options.color_mode = MODE_RGBA;
  options.use_threads = 0;
  const WebPData data{bytesOf(bytes), bytes.size()};
  std::unique_ptr<WebPAnimDecoder, void (*)(WebPAnimDecoder*)> decoder(WebPAnimDecoderNew(&data, &options),
                                                                       WebPAnimDecoderDelete);
  WebPAnimInfo info;
  uint8_t* frame = nullptr;
  int timestamp = 0;
  if (!decoder || !WebPAnimDecoderGetInfo(decoder.get(), &info) ||
      !WebPAnimDecoderGetNext(decoder.get(), &frame, &timestamp)) {
    fail(error, "WebP: the first picture of the animation cannot be decoded");
    return std::nullopt;
  }
  pixels.width = static_cast<int>(info.canvas_width);
  pixels.height = static_cast<int>(info.canvas_height);
  pixels.rgba.assign(frame, frame + static_cast<size_t>(pixels.width) * pixels.height * 4);
  return pixels;
}

std::uint32_t bigEndian32(const unsigned char* p) {
  return (std::uint32_t(p[0]) << 24) | (std::uint32_t(p[1]) << 16) | (std::uint32_t(p[2]) << 8) | p[3];
}

std::uint32_t littleEndian32(const unsigned char* p) {
  return (std::uint32_t(p[3]) << 24) | (std::uint32_t(p[2]) << 16) | (std::uint32_t(p[1]) << 8) | p[0];
}

}  // namespace

std::string kilobytes(std::size_t bytes) {
  return std::to_string((bytes + 1023) / 1024) + " KB";
}

std::string description(std::string_view bytes) {
  const auto header = readHeader(bytes, true, nullptr);
  if (!header) return "unreadable, " + kilobytes(bytes.size());
  return std::string(formatName(header->format)) + ", " + std::to_string(header->shownWidth()) + " \xC3\x97 " +
         std::to_string(header->shownHeight()) + " pixels, " + kilobytes(bytes.size());
}

const char* formatName(Format format) {
  switch (format) {
    case Format::kJpeg:
      return "JPEG";
    case Format::kPng:
      return "PNG";
    case Format::kGif:
      return "GIF";
    case Format::kWebP:
      return "WebP";
    case Format::kUnknown:
      break;
  }
  return "unknown";
}

Format formatOf(std::string_view bytes) {
  if (bytes.size() >= 3 && bytes.substr(0, 3) == "\xFF\xD8\xFF") return Format::kJpeg;
  if (bytes.size() >= 8 && bytes.substr(0, 8) == "\x89PNG\r\n\x1A\n") return Format::kPng;
  if (bytes.size() >= 6 && (bytes.substr(0, 6) == "GIF87a" || bytes.substr(0, 6) == "GIF89a")) return Format::kGif;
  if (bytes.size() >= 12 && bytes.substr(0, 4) == "RIFF" && bytes.substr(8, 4) == "WEBP") return Format::kWebP;
  return Format::kUnknown;
}

std::optional<Header> readHeader(std::string_view bytes, bool orientation, std::string* error) {
  Header header;
  header.format = formatOf(bytes);
  switch (header.format) {
    case Format::kJpeg: {
      tjhandle handle = decompressor();
      int subsampling = 0, colorspace = 0;
      if (!handle || tjDecompressHeader3(handle, bytesOf(bytes), bytes.size(), &header.width, &header.height,
                                         &subsampling, &colorspace) != 0) {
        fail(error, handle ? jpegError(handle) : "JPEG: no decoder");
        return std::nullopt;
      }
      if (orientation) header.orientation = jpegOrientation(bytes);
      break;
    }
    case Format::kPng: {
      png_image image;
      std::memset(&image, 0, sizeof image);
      image.version = PNG_IMAGE_VERSION;
      const bool read = png_image_begin_read_from_memory(&image, bytes.data(), bytes.size());
      if (!read) fail(error, std::string("PNG: ") + image.message);
      header.width = static_cast<int>(image.width);
      header.height = static_cast<int>(image.height);
      png_image_free(&image);
      if (!read) return std::nullopt;
      break;
    }
    case Format::kGif: {
      int code = 0;
      GifFile gif(bytes, &code);
      if (!gif.file) {
        fail(error, std::string("GIF: ") + GifErrorString(code));
        return std::nullopt;
      }
      header.width = gif.file->SWidth;
      header.height = gif.file->SHeight;
      break;
    }
    case Format::kWebP: {
      WebPBitstreamFeatures features;
      if (WebPGetFeatures(bytesOf(bytes), bytes.size(), &features) != VP8_STATUS_OK) {
        fail(error, "WebP: not a WebP picture");
        return std::nullopt;
      }
      header.width = features.width;
      header.height = features.height;
      break;
    }
    case Format::kUnknown:
      fail(error, "not a JPEG, PNG, GIF or WebP picture");
      return std::nullopt;
  }
  if (header.width <= 0 || header.height <= 0) {
    fail(error, std::string(formatName(header.format)) + ": the picture has no size");
    return std::nullopt;
  }
  return header;
}

std::pair<int, int> fittedSize(int width, int height, int maxSide) {
  if (maxSide <= 0 || std::max(width, height) <= maxSide) return {width, height};
  const double scale = static_cast<double>(maxSide) / std::max(width, height);
  return {std::max(1, static_cast<int>(std::lround(width * scale))),
          std::max(1, static_cast<int>(std::lround(height * scale)))};
}

Pixels turned(const Pixels& pixels, int quarterTurns) {
  switch (((quarterTurns % 4) + 4) % 4) {
    case 1:
      return oriented(pixels, 6);
    case 2:
      return oriented(pixels, 3);
    case 3:
      return oriented(pixels, 8);
    default:
      return pixels;
  }
}

std::optional<Pixels> decode(std::string_view bytes, int maxSide, std::string* error) {
  std::optional<Pixels> pixels;
  switch (formatOf(bytes)) {
    case Format::kJpeg:
      pixels = decodeJpeg(bytes, maxSide, error);
      break;
    case Format::kPng:
      pixels = decodePng(bytes, error);
      break;
    case Format::kGif:
      pixels = decodeGif(bytes, error);
      break;
    case Format::kWebP:
      pixels = decodeWebP(bytes, error);
      break;
    case Format::kUnknown:
      fail(error, "not a JPEG, PNG, GIF or WebP picture");
      return std::nullopt;
  }
  if (!pixels || pixels->width <= 0 || pixels->height <= 0) {
    if (pixels) fail(error, "the picture has no size");
    return std::nullopt;
  }
  if (maxSide > 0) {
    const auto [width, height] = fittedSize(pixels->width, pixels->height, maxSide);
    if (width < pixels->width || height < pixels->height) *pixels = scaledDown(*pixels, width, height);
  }
  return pixels;
}

std::string encodeJpeg(const Pixels& pixels, int quality, std::string* error) {
  tjhandle handle = compressor();
  if (!handle) {
    fail(error, "JPEG: no encoder");
    return {};
  }
  std::vector<std::uint8_t> rgb(static_cast<size_t>(pixels.width) * pixels.height * 3);
  for (size_t i = 0, o = 0; i < pixels.rgba.size(); i += 4, o += 3) {
    const unsigned a = pixels.rgba[i + 3];
    for (int c = 0; c < 3; ++c)
      rgb[o + c] = static_cast<std::uint8_t>((pixels.rgba[i + c] * a + 255 * (255 - a) + 127) / 255);
  }
  unsigned char* out = nullptr;
  unsigned long size = 0;
  if (tjCompress2(handle, rgb.data(), pixels.width, 0, pixels.height, TJPF_RGB, &out, &size, TJSAMP_420,
                  std::clamp(quality, 1, 100), 0) != 0) {
    fail(error, jpegError(handle));
    tjFree(out);
    return {};
  }
  std::string bytes(reinterpret_cast<const char*>(out), size);
  tjFree(out);
  return bytes;
}

std::string encodePng(const Pixels& pixels, std::string* error) {
  png_image image;
  std::memset(&image, 0, sizeof image);
  image.version = PNG_IMAGE_VERSION;
  image.width = static_cast<png_uint_32>(pixels.width);
  image.height = static_cast<png_uint_32>(pixels.height);
  image.format = PNG_FORMAT_RGBA;
  png_alloc_size_t size = 0;
  if (!png_image_write_to_memory(&image, nullptr, &size, 0, pixels.rgba.data(), 0, nullptr)) {
    fail(error, std::string("PNG: ") + image.message);
    return {};
  }
  std::string bytes(size, '\0');
  if (!png_image_write_to_memory(&image, bytes.data(), &size, 0, pixels.rgba.data(), 0, nullptr)) {
    fail(error, std::string("PNG: ") + image.message);
    return {};
  }
  bytes.resize(size);
  return bytes;
}

std::optional<Shrunk> shrink(std::string_view bytes, int longerSide, int quality, std::string* error) {
  std::optional<Pixels> pixels = decode(bytes, longerSide, error);
  if (!pixels) return std::nullopt;
  Shrunk shrunk;
  shrunk.width = pixels->width;
  shrunk.height = pixels->height;
  shrunk.bytes = encodeJpeg(*pixels, quality, error);
  if (shrunk.bytes.empty()) return std::nullopt;
  return shrunk;
}

std::optional<std::string> turnedPhoto(std::string_view bytes, int quarterTurns, std::string* error) {
  const int turns = ((quarterTurns % 4) + 4) % 4;
  const Format format = formatOf(bytes);
  if (format == Format::kJpeg && turns != 0) {
    std::optional<Header> header = readHeader(bytes, true, error);
    if (!header) return std::nullopt;
    tjhandle handle = transformer();
    if (header->orientation == 1 && handle) {
      tjtransform transform{};
      transform.op = turns == 1 ? TJXOP_ROT90 : turns == 2 ? TJXOP_ROT180 : TJXOP_ROT270;
      transform.options = TJXOPT_PERFECT | TJXOPT_COPYNONE;
      unsigned char* out = nullptr;
      unsigned long size = 0;
      if (tjTransform(handle, bytesOf(bytes), bytes.size(), 1, &out, &size, &transform, 0) == 0) {
        std::string turnedBytes(reinterpret_cast<const char*>(out), size);
        tjFree(out);
        return turnedBytes;
      }
      tjFree(out);  // a partial block at an edge: written anew below
    }
  }
  std::optional<Pixels> pixels = decode(bytes, 0, error);
  if (!pixels) return std::nullopt;
  const Pixels result = turned(*pixels, turns);
  std::string written = format == Format::kJpeg ? encodeJpeg(result, 92, error) : encodePng(result, error);
  if (written.empty()) return std::nullopt;
  return written;
}

std::vector<std::string_view> pictureParts(std::string_view bytes) {
  const unsigned char* p = bytesOf(bytes);
  const size_t size = bytes.size();
  std::vector<std::string_view> parts;
  switch (formatOf(bytes)) {
    case Format::kJpeg: {
      size_t at = 2;
      while (at + 4 <= size) {
        if (p[at] != 0xFF) return {};
        const unsigned char marker = p[at + 1];
        if (marker == 0xFF) {  // fill byte
          ++at;
          continue;
        }
        const size_t length = (size_t(p[at + 2]) << 8) | p[at + 3];
        if (length < 2 || at + 2 + length > size) return {};
        if (marker == 0xDA) {  // the scans run to the end
          parts.push_back(bytes.substr(at));
          return parts;
        }
        // APPn (but Adobe's, which says how colours are coded) and comments are around the picture.
        const bool around = (marker >= 0xE0 && marker <= 0xEF && marker != 0xEE) || marker == 0xFE;
        if (!around) parts.push_back(bytes.substr(at, 2 + length));
        at += 2 + length;
      }
      return {};  // no scan
    }
    case Format::kPng: {
      size_t at = 8;
      while (at + 12 <= size) {
        const size_t length = bigEndian32(p + at);
        if (length > size - at - 12) return {};
        const std::string_view type = bytes.substr(at + 4, 4);
        if (type == "IHDR" || type == "PLTE" || type == "tRNS" || type == "IDAT")
          parts.push_back(bytes.substr(at + 4, 4 + length));
        if (type == "IEND") break;
        at += 12 + length;
      }
      return parts;
    }
    case Format::kWebP: {
      size_t at = 12;
      while (at + 8 <= size) {
        const size_t length = littleEndian32(p + at + 4);
        if (length > size - at - 8) return {};
        const std::string_view type = bytes.substr(at, 4);
        if (type == "VP8 " || type == "VP8L" || type == "ALPH" || type == "ANIM" || type == "ANMF")
          parts.push_back(bytes.substr(at, 8 + length));
        at += 8 + length + (length & 1);
      }
      return parts;
    }
    case Format::kGif:
      parts.push_back(bytes);
      return parts;
    case Format::kUnknown:
      break;
  }
  return {};
}

std::string pictureKey(std::string_view bytes) {
  const std::vector<std::string_view> parts = pictureParts(bytes);
  if (parts.empty()) return {};
  const Format format = formatOf(bytes);
  std::string key(1, format == Format::kJpeg   ? 'J'
                     : format == Format::kPng  ? 'P'
                     : format == Format::kWebP ? 'W'
                                               : 'G');
  for (std::string_view part : parts) key.append(part);
  if (format == Format::kJpeg) key += "o" + std::to_string(jpegOrientation(bytes));
  return key;
}

bool isLossless(std::string_view bytes) {
  switch (formatOf(bytes)) {
    case Format::kPng:
    case Format::kGif:
      return true;
    case Format::kWebP: {
      WebPBitstreamFeatures features;
      return WebPGetFeatures(bytesOf(bytes), bytes.size(), &features) == VP8_STATUS_OK && features.format == 2;
    }
    default:
      return false;
  }
}

}  // namespace Photo
