// The decoder's rows scaled as they come, so a big picture is never held whole (when its
// decoder gives rows in bands).
#pragma once

#include <memory>

#include "canvas_scaler.h"
#include "picture_decode.h"

class ScalingSink : public RowSink {
 public:
  virtual ~ScalingSink() = default;
  // Returns once every row given has reached the scaler.
  virtual void Finish() = 0;
  // The canvas of a sink made for one (NewScalingSink by width), once every row is scaled.
  const Canvas& Result() {
    Finish();
    return canvas_->Result();
  }

 protected:
  std::unique_ptr<CanvasScaler> canvas_;
};

// A sink handing the rows to scaler. Where the build has C++ threads (not the Windows one:
// Windows XP lacks what they need), the rows are scaled on a second thread while the decoder
// makes the next ones; otherwise on the decoding thread.
std::unique_ptr<ScalingSink> NewScalingSink(BandScaler& scaler);
// The same for a canvas this wide, averaging in gamma's space.
std::unique_ptr<ScalingSink> NewScalingSink(uint32_t canvasWidth, FitGamma gamma);
