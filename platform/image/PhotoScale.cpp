#include <algorithm>
#include <cmath>

#include "platform/image/Photo.h"

namespace Photo {

namespace {

// The weights of the source columns (or rows) each of `to` destination ones covers, for an average
// of what it covers.
struct Span {
  int first = 0;
  std::vector<float> weights;
};

std::vector<Span> spans(int from, int to) {
  std::vector<Span> all(static_cast<size_t>(to));
  const double scale = static_cast<double>(from) / to;
  for (int i = 0; i < to; ++i) {
    const double begin = i * scale, end = (i + 1) * scale;
    Span& span = all[static_cast<size_t>(i)];
    span.first = static_cast<int>(std::floor(begin));
    for (int s = span.first; s < from && s < end; ++s) {
      const double covered = std::min<double>(s + 1, end) - std::max<double>(s, begin);
      if (covered > 0) span.weights.push_back(static_cast<float>(covered / scale));
    }
  }
  return all;
}

}  // namespace

Pixels scaledDown(const Pixels& in, int width, int height) {
  if (width >= in.width && height >= in.height) return in;
  width = std::clamp(width, 1, in.width);
  height = std::clamp(height, 1, in.height);
  bool opaque = true;
  for (size_t i = 3; i < in.rgba.size() && opaque; i += 4) opaque = in.rgba[i] == 255;
  // Columns first into a buffer (of values weighted by their alpha, unless all are opaque), then rows.
  const std::vector<Span> columns = spans(in.width, width), rows = spans(in.height, height);
  // Kept from one picture to the next on the thread: pages touched once, not for every picture.
  thread_local std::vector<float> across;
  across.resize(static_cast<size_t>(width) * in.height * 4);
  for (int y = 0; y < in.height; ++y) {
    const std::uint8_t* row = &in.rgba[static_cast<size_t>(y) * in.width * 4];
    float* out = &across[static_cast<size_t>(y) * width * 4];
    for (int x = 0; x < width; ++x) {
      float r = 0, g = 0, b = 0, a = 0;
      const Span& span = columns[static_cast<size_t>(x)];
      const std::uint8_t* p = row + static_cast<size_t>(span.first) * 4;
      const size_t count = span.weights.size();
      if (opaque) {
        for (size_t k = 0; k < count; ++k, p += 4) {
          const float weight = span.weights[k];
          r += p[0] * weight;
          g += p[1] * weight;
          b += p[2] * weight;
        }
        a = 255;
      } else {
        for (size_t k = 0; k < count; ++k, p += 4) {
          const float weight = span.weights[k] * p[3];
          r += p[0] * weight;
          g += p[1] * weight;
          b += p[2] * weight;
          a += weight;
        }
      }
      out[x * 4] = r;
      out[x * 4 + 1] = g;
      out[x * 4 + 2] = b;
      out[x * 4 + 3] = a;
    }
  }
  Pixels out;
  out.width = width;
  out.height = height;
  out.rgba.resize(static_cast<size_t>(width) * height * 4);
  std::vector<float> sum(static_cast<size_t>(width) * 4);
  for (int y = 0; y < height; ++y) {
    std::fill(sum.begin(), sum.end(), 0.0f);
    const Span& span = rows[static_cast<size_t>(y)];
    for (size_t k = 0; k < span.weights.size(); ++k) {
      const float* __restrict from = &across[static_cast<size_t>(span.first + static_cast<int>(k)) * width * 4];
      float* __restrict into = sum.data();
      const float weight = span.weights[k];
      const size_t count = sum.size();
      for (size_t i = 0; i < count; ++i) into[i] += from[i] * weight;
    }
    std::uint8_t* to = &out.rgba[static_cast<size_t>(y) * width * 4];
    if (opaque) {
      const float* __restrict from = sum.data();
      std::uint8_t* __restrict into = to;
      const size_t count = sum.size();
      for (size_t i = 0; i < count; ++i) into[i] = static_cast<std::uint8_t>(std::min(from[i] + 0.5f, 255.0f));
      continue;
    }
    for (int x = 0; x < width; ++x) {
      const float a = sum[x * 4 + 3];
      for (int c = 0; c < 3; ++c)
        to[x * 4 + c] = a > 0 ? static_cast<std::uint8_t>(std::clamp(sum[x * 4 + c] / a + 0.5f, 0.0f, 255.0f)) : 0;
      to[x * 4 + 3] = static_cast<std::uint8_t>(std::clamp(a + 0.5f, 0.0f, 255.0f));
    }
  }
  return out;
}

}  // namespace Photo
