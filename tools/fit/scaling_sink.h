// The decoder's rows scaled onto the canvas as they come, so a big picture is never held
// whole (when its decoder gives rows in bands).
#pragma once

#include <memory>

#include "canvas_scaler.h"
#include "picture_decode.h"

class ScalingSink : public RowSink {
 public:
  virtual ~ScalingSink() = default;
  // The canvas, once every row given is scaled.
  virtual const Canvas& Result() = 0;
};

// A sink for a canvas this wide, averaging in gamma's space. Where the build has C++ threads (not
// the Windows one: Windows XP lacks what they need), the rows are scaled on a second thread while
// the decoder makes the next ones; otherwise on the decoding thread.
std::unique_ptr<ScalingSink> NewScalingSink(uint32_t canvasWidth, FitGamma gamma);
