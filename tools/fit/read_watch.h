// How far a decoder has read its file, told to the fit's progress now and then; a stop once
// asked for holds, so every later read fails and the decode ends soon.
#pragma once

#include <stddef.h>

#include "picture_decode.h"

struct ReadWatch {
  FitProgress* progress = nullptr;
  size_t size = 1;  // the file's bytes
  size_t next = 0;  // the position of the next report
  bool stopped = false;

  // Called with the read position before each read. false: stop reading.
  bool Going(size_t pos) {
    if (stopped || progress == nullptr || pos < next) return !stopped;
    next = pos + size / 256 + 1;  // a report every 1/256 of the file at most
    stopped = !progress->Going(float(double(pos) / double(size)));
    return !stopped;
  }
};
