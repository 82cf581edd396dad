#pragma once

#include <algorithm>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

#include "app/export/BlockFile.h"
#include "app/export/ExportResult.h"
#include "app/export/OrderedChunks.h"
#include "app/export/StoredPersons.h"
#include "app/model/PersonRecord.h"
#include "core/record/ContactRecord.h"

// Formats one row per stored person (group cards are none) into a file, in store order, from batches handed in as they
// are read: the persons of a batch are cut into pieces of personsPerPiece, and each piece's
// records are made straight from the persons' stored encodings and formatted on a thread per core
// while more batches come. No record is kept. A damaged person stops the formatting: nothing more
// goes into the file, and finish() says which person, the first damaged one in store order.
// row(state, record, text) appends a record's row to text; State is what a formatting thread
// keeps from row to row (default-constructed on that thread).
template <typename State>
class StoredRowFormatter {
 public:
  using Row = std::function<void(State&, const ContactRecord&, ChunkText&)>;

  StoredRowFormatter(BlockFile& file, size_t personsPerPiece, Row row)
      : personsPerPiece_(std::max<size_t>(personsPerPiece, 1)),
        row_(std::move(row)),
        formatter_(file, [this](ThreadState& state, const Piece& piece, ChunkText& text) {
          return format(state, piece, text);
        }) {}

  // Hands in the next batch; false once formatting has stopped.
  bool add(const std::shared_ptr<const ABStoredBatch>& batch) {
    for (size_t begin = 0; begin < batch->size(); begin += personsPerPiece_)
      if (!formatter_.add({batch, begin, std::min(batch->size(), begin + personsPerPiece_), seq_++})) return false;
    return true;
  }

  // Waits until every row is in the file. False when not every person could be formatted: with
  // result unreadable and its error the store's words naming the first damaged person, or else
  // with the source's error when the persons could not all be given (given false).
  bool finish(ExportResult& result, bool given, const std::string& sourceError) {
    const bool formatted = formatter_.finish();
    if (!damage_.empty()) {
      result.error = damage_;
      result.unreadable = true;
      return false;
    }
    if (!given || !formatted) {
      result.error = sourceError.empty() ? "Cannot read the contacts." : sourceError;
      return false;
    }
    return true;
  }

 private:
  struct Piece {
    std::shared_ptr<const ABStoredBatch> batch;
    size_t begin = 0, end = 0;
    size_t seq = 0;  // place in store order
  };
  struct ThreadState {
    ContactRecord record;
    State state;
  };

  bool format(ThreadState& state, const Piece& piece, ChunkText& text) {
    const ABStoredBatch& batch = *piece.batch;
    for (size_t i = piece.begin; i < piece.end; ++i) {
      bool groupCard = false;
      if (!recordOfEncodedInto(state.record, batch.data(i), &groupCard)) {
        std::lock_guard lock(damageLock_);
        if (piece.seq < damagedPiece_) {
          damagedPiece_ = piece.seq;
          damage_ = batch.damagedError(i);
        }
        return false;
      }
      // A group card is no person's row.
      if (groupCard) continue;
      row_(state.state, state.record, text);
    }
    return true;
  }

  size_t personsPerPiece_;
  Row row_;
  size_t seq_ = 0;
  std::mutex damageLock_;
  size_t damagedPiece_ = SIZE_MAX;
  std::string damage_;
  OrderedFormatter<Piece, ThreadState> formatter_;  // last: its threads stop before the rest goes
};
