#include "fuzz_contract.h"

#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>

#include <algorithm>

void ContractFailure(const char* format, ...) {
  va_list args;
  va_start(args, format);
  fputs("fuzz contract: ", stderr);
  vfprintf(stderr, format, args);
  fputc('\n', stderr);
  va_end(args);
  abort();
}

// The readers' allocations, capped (capped_alloc.h renames malloc and realloc in them): a
// failed allocation is a refusal they must handle, never a finding.
extern "C" void* FuzzCappedMalloc(size_t size) noexcept {
  return size > kFuzzMaxAllocation ? nullptr : malloc(size);
}
extern "C" void* FuzzCappedRealloc(void* pointer, size_t size) noexcept {
  return size > kFuzzMaxAllocation ? nullptr : realloc(pointer, size);
}

bool CheckingSink::Start(uint32_t w, uint32_t h, uint32_t c) {
  ++starts;
  if (w == 0 || h == 0 || w > kMaxPictureSide || h > kMaxPictureSide ||
      uint64_t(w) * h > kMaxPicturePixels || c < 1 || c > 4) {
    ContractFailure("Start(%u, %u, %u) past the header checks", w, h, c);
  }
  width = w;
  height = h;
  channels = c;
  made = 0;
  offered_ = 0;
  pixels.clear();
  room_.reset();
  granted_ = uint64_t(w) * h <= kFuzzMaxPixels;
  if (!granted_) ++refused;
  return granted_;
}

uint8_t* CheckingSink::Room(uint32_t& rows) {
  if (!granted_) ContractFailure("Room before a granted Start");
  if (rows == 0) ContractFailure("Room asked for no rows");
  if (made >= height) ContractFailure("Room after the last row");
  if (offered_ != 0) ContractFailure("Room twice without Filled");
  if (bandRows_ != 0) rows = std::min(rows, bandRows_);
  offered_ = rows;
  // A block of exactly the rows offered, so a decoder writing past them is caught.
  room_.reset(new uint8_t[size_t(rows) * width * channels]);
  return room_.get();
}

void CheckingSink::Filled(uint32_t rows) {
  if (rows == 0 || rows > offered_)
    ContractFailure("Filled(%u) after Room gave %u", rows, offered_);
  offered_ = 0;
  Append(room_.get(), rows);
}

void CheckingSink::Take(const uint8_t* rows, uint32_t count) {
  if (!granted_) ContractFailure("Take before a granted Start");
  if (offered_ != 0) ContractFailure("Take while a Room is open");
  if (count == 0) ContractFailure("Take of no rows");
  Append(rows, count);
}

void CheckingSink::Append(const uint8_t* rows, uint32_t count) {
  if (count > height - made) {
    ContractFailure("%u rows given after %u of a %u-row picture", count, made, height);
  }
  pixels.insert(pixels.end(), rows, rows + size_t(count) * width * channels);
  made += count;
}

void CheckingSink::CheckOutcome(const std::string& failure) const {
  if (!failure.empty()) {
    CheckReason(failure, "decoder");
    return;
  }
  if (starts == 0 || made != height || pixels.size() != size_t(width) * height * channels) {
    ContractFailure("accepted after %u of %u rows (%u starts)", made, height, starts);
  }
  if (offered_ != 0) ContractFailure("accepted with a Room not Filled");
}

bool StoppingProgress::Going(float done) {
  if (!(done >= 0.0f && done <= 1.0f)) ContractFailure("progress %g outside 0 to 1", done);
  if (stopAsked) ContractFailure("progress asked again after a stop");
  ++reports_;
  if (stopAt_ != 0 && reports_ >= stopAt_) stopAsked = true;
  return !stopAsked;
}

void CheckReason(const std::string& reason, const char* who) {
  if (reason.empty()) ContractFailure("%s: an empty reason", who);
  for (char c : reason) {
    if (c < 0x20 || c > 0x7e)
      ContractFailure("%s: reason not one printable line: %s", who, reason.c_str());
  }
}
