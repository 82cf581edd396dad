#include "frameworks/zip/ParallelDeflate.h"

#include <zlib.h>

#include <thread>

namespace {

std::string deflatePiece(std::string_view input, int level, bool final) {
  z_stream stream{};
  deflateInit2(&stream, level, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY);
  std::string output;
  output.resize(deflateBound(&stream, input.size()) + 16);
  stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(input.data()));
  stream.avail_in = static_cast<uInt>(input.size());
  stream.next_out = reinterpret_cast<Bytef*>(output.data());
  stream.avail_out = static_cast<uInt>(output.size());
  deflate(&stream, final ? Z_FINISH : Z_SYNC_FLUSH);
  output.resize(stream.total_out);
  deflateEnd(&stream);
  return output;
}

}  // namespace

ParallelDeflate::ParallelDeflate(int level) : level_(level), crc_(crc32(0L, Z_NULL, 0)) {}

unsigned ParallelDeflate::threads() {
  const unsigned cores = std::thread::hardware_concurrency();
  return cores == 0 ? 1 : cores;
}

std::string ParallelDeflate::compressBatch(const std::vector<std::string_view>& pieces, bool last) {
  std::vector<std::string> outputs(pieces.size());
  std::vector<uint32_t> crcs(pieces.size());
  const auto work = [&](std::size_t i) {
    const bool final = last && i + 1 == pieces.size();
    outputs[i] = deflatePiece(pieces[i], level_, final);
    crcs[i] = crc32(0L, reinterpret_cast<const Bytef*>(pieces[i].data()), static_cast<uInt>(pieces[i].size()));
  };
  std::vector<std::thread> helpers;
  for (std::size_t i = 1; i < pieces.size(); ++i) helpers.emplace_back(work, i);
  if (!pieces.empty()) work(0);
  for (auto& helper : helpers) helper.join();
  std::string joined;
  std::size_t total = 0;
  for (const auto& output : outputs) total += output.size();
  joined.reserve(total);
  for (std::size_t i = 0; i < pieces.size(); ++i) {
    joined += outputs[i];
    crc_ = crc32_combine(crc_, crcs[i], static_cast<z_off_t>(pieces[i].size()));
  }
  return joined;
}
