// What every reader's fuzz target checks besides the sanitizers: a sink that takes the rows
// and checks only their geometry, a progress that may ask for a stop, and the outcome's
// contract (a refusal is one printable line; an accepted picture gave exactly its rows).
#pragma once

#include <stddef.h>
#include <stdint.h>

#include <memory>
#include <string>
#include <vector>

#include "picture_decode.h"

// The fuzz builds refuse pictures above this many pixels (the sink's Start) and allocations
// above kFuzzMaxAllocation in the readers (capped_alloc.h): a few bytes can declare 100
// million pixels, and decoding those many zeros would cost seconds an input. The product's
// own 100-million refusal still runs on every header.
constexpr uint64_t kFuzzMaxPixels = 1 << 15;
constexpr size_t kFuzzMaxAllocation = size_t(256) << 10;

// Prints "fuzz contract: " and the reason, then aborts (a finding).
[[noreturn]] void ContractFailure(const char* format, ...);

// Takes rows by Take or by Room and Filled, in bands of at most bandRows (0: as many as the
// decoder offers), and checks their geometry; reads every byte it is given so the sanitizer
// sees a short buffer.
class CheckingSink final : public RowSink {
 public:
  explicit CheckingSink(uint32_t bandRows) : bandRows_(bandRows) {}

  bool Start(uint32_t width, uint32_t height, uint32_t channels) override;
  uint8_t* Room(uint32_t& rows) override;
  void Filled(uint32_t rows) override;
  void Take(const uint8_t* pixels, uint32_t rows) override;

  // After a decode: checks the outcome's contract for this sink's rows.
  void CheckOutcome(const std::string& failure) const;

  uint32_t width = 0, height = 0, channels = 0;
  uint32_t made = 0;            // rows given since the last Start
  uint32_t starts = 0;          // Start calls
  uint32_t refused = 0;         // Start calls refused for the fuzz cap
  std::vector<uint8_t> pixels;  // the rows given since the last Start (all of them)

 private:
  void Append(const uint8_t* rows, uint32_t count);  // the rows, read whole
  uint32_t bandRows_;
  bool granted_ = false;  // the last Start was granted
  std::unique_ptr<uint8_t[]> room_;
  uint32_t offered_ = 0;  // rows handed out by the last Room, not yet Filled
};

// Asks for a stop at its stopAt-th report (0: never) and checks every report's share.
class StoppingProgress final : public FitProgress {
 public:
  explicit StoppingProgress(uint32_t stopAt) : stopAt_(stopAt) {}
  bool Going(float done) override;
  bool stopAsked = false;

 private:
  uint32_t stopAt_;
  uint32_t reports_ = 0;
};

// A refusal's reason: one non-empty line of printable ASCII.
void CheckReason(const std::string& reason, const char* who);
