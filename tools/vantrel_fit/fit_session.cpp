#include "fit_session.h"

#include "fit_texts.h"
#include "fitted_bitmap.h"

namespace {

bool Has(const std::string& text, const char* part) { return text.find(part) != std::string::npos; }

}  // namespace

PictureTrouble TroubleOfReason(const std::string& reason) {
  if (reason.empty()) return TroubleNone;
  if (reason == kFitCancelled) return TroubleCancelled;
  // Most telling first: "damaged or too large" is damage, a size beyond the limits says
  // "takes at most".
  if (Has(reason, "memory")) return TroubleNoMemory;
  if (Has(reason, "cut short")) return TroubleCutShort;
  if (Has(reason, "unknown format") || Has(reason, "not a picture") || Has(reason, "is empty")) {
    return TroubleUnknownFormat;
  }
  if (Has(reason, "damaged") || Has(reason, "no pixels")) return TroubleDamaged;
  if (Has(reason, "too large") || Has(reason, "takes at most")) return TroubleTooLarge;
  return TroubleOther;
}

std::string PictureTroubleText(const std::string& name, const std::string& reason) {
  switch (TroubleOfReason(reason)) {
    case TroubleUnknownFormat: return FillText(kFitUnknownFormat, {name});
    case TroubleCutShort: return FillText(kFitCutShort, {name});
    case TroubleDamaged: return FillText(kFitDamaged, {name});
    case TroubleTooLarge: return FillText(kFitTooLarge, {name});
    case TroubleNoMemory: return FillText(kFitNoMemory, {name});
    case TroubleNone:
    case TroubleCancelled:
    case TroubleOther: break;
  }
  return FillText(kFitOtherTrouble, {name, reason});
}

std::string FileTroubleText(FileFailure failure, const std::string& path, bool reading) {
  switch (failure) {
    case FileCannotOpen: return FillText(kFitCannotOpen, {path});
    case FileNotRegular: return FillText(kFitNotRegular, {path});
    case FileWrongSize: return FillText(kFitFileTooLarge, {path});
    case FileCannotRead: return FillText(kFitCannotRead, {path});
    case FileCannotCreate: return FillText(kFitCannotCreate, {path});
    case FileAlreadyExists: return FillText(kFitAlreadyExists, {path});
    case FileFine:
    case FileCannotWrite: break;
  }
  return reading ? FillText(kFitCannotRead, {path}) : FillText(kFitCannotWrite, {path});
}

const char* DitherText(DitherMode dither) {
  switch (dither) {
    case DitherOrdered: return kFitDitherOrdered;
    case DitherDiffusion: return kFitDitherDiffusion;
    case DitherNone:
    case DitherBayer:  // not offered by the window (yet)
    case DitherBest: break;
  }
  return kFitDitherNone;
}

std::string ResolutionText(Resolution res) { return std::to_string(BitmapWidth(res)) + "x200"; }

std::string ReadyStatus(const std::string& name, Resolution res, DitherMode dither) {
  return FillText(kFitStatusReady, {name, ResolutionText(res), DitherText(dither)});
}

std::string SavedStatus(const std::string& bitmapPath, Resolution res) {
  return FillText(kFitStatusSaved, {NamePart(bitmapPath), ResolutionText(res)});
}

void FitPictures::Clear() {
  canvases_[Res320] = Canvas();
  canvases_[Res640] = Canvas();
  mapped_ = false;
}

void FitPictures::Keep(Resolution res, Canvas canvas) {
  canvases_[res] = std::move(canvas);
  if (mappedRes_ == res) mapped_ = false;
}

const std::vector<uint8_t>& FitPictures::Colours(Resolution res, DitherMode dither) {
  if (!mapped_ || mappedRes_ != res || mappedDither_ != dither) {
    const Canvas& canvas = canvases_[res];
    colours_.resize(size_t(canvas.width) * canvas.height);
    MapColours(canvas, dither, colours_.data());
    mapped_ = true;
    mappedRes_ = res;
    mappedDither_ = dither;
  }
  return colours_;
}

void FitPictures::Screen(Resolution res, DitherMode dither, std::vector<uint8_t>& rgb) {
  PreviewScreen(res, Colours(res, dither).data(), rgb);
}

std::vector<uint8_t> FitPictures::Bitmap(Resolution res, DitherMode dither) {
  std::vector<uint8_t> pixels;
  PackColours(res, Colours(res, dither).data(), pixels);
  return FittedBitmapFile(res, pixels);
}

void FitPictures::Original(Resolution res, uint32_t width, uint32_t height,
                           std::vector<uint8_t>& rgb) const {
  const Canvas& canvas = canvases_[res];
  rgb.assign(size_t(width) * height * 3, 0);
  if (canvas.width == 0 || width == 0 || height == 0) return;
  // Each small pixel takes the canvas pixel under its centre.
  for (uint32_t y = 0; y < height; ++y) {
    const uint32_t from = uint32_t((uint64_t(y) * 2 + 1) * canvas.height / (uint64_t(height) * 2));
    for (uint32_t x = 0; x < width; ++x) {
      const uint32_t across =
          uint32_t((uint64_t(x) * 2 + 1) * canvas.width / (uint64_t(width) * 2));
      CanvasSrgb(canvas, size_t(from) * canvas.width + across, &rgb[(size_t(y) * width + x) * 3]);
    }
  }
}
