#include "fit_command.h"

#include <new>
#include <vector>

#include "command_line.h"
#include "common/show_message.h"
#include "common/texts.h"
#include "console_boxes.h"
#include "console_output.h"
#include "fitted_bitmap.h"
#include "tool_files.h"

namespace {

const char* DitherName(DitherMode dither) {
  switch (dither) {
    case DitherOrdered: return "ordered dithering";
    case DitherDiffusion: return "error diffusion";
    case DitherBayer: return "Bayer dithering";
    case DitherBest: return "searched dithering";
    case DitherNone: break;
  }
  return "no dithering";
}

int Refuse(const std::string& problem) {
  PrintError(problem);
  return kRefused;
}

// Whether an existing target may be replaced: refused without mayReplace, else asked.
// Returns -1 to go on, else the exit status.
int MayWrite(const FitRequest& request, const char* what, const std::string& target,
             PathKind kind) {
  if (kind != PathRegular) return -1;
  if (!request.mayReplace) {
    Refuse(std::string(what) + " " + target + " already exists; gramconv does not replace it");
    return kRefused;
  }
  SetBoxPath(target);
  if (ShowMessage(QuestionBox, kTextOverwriteConfirm, target.c_str()) == AnswerCancel) {
    return kRefused;
  }
  return -1;
}

}  // namespace

std::string DropTarget(const std::string& picturePath, Resolution res) {
  return FittedBitmapName(picturePath, res);
}

std::string DropPreview(const std::string& picturePath, Resolution res) {
  std::string name = DropTarget(picturePath, res);
  name.resize(name.size() - 4);  // ".bmp"
  return name + "-preview.png";
}

namespace {

// Known before any work where the names are: such a target is never replaced. Returns -1 to
// go on, else the exit status.
int RefuseOddTargets(const std::string& target, const std::string& preview) {
  if (KindOfPath(target) == PathOther) return Refuse(NotReplaceable("BMP file", target));
  if (!preview.empty() && KindOfPath(preview) == PathOther) {
    return Refuse(NotReplaceable("preview file", preview));
  }
  return -1;
}

// How the picture was laid on the screen, for the closing line: "whole, 16:10 screen".
std::string LookText(const FitLook& look, int orientation) {
  static const char* const kFrames[] = {"whole", "fill", "stretch", "pixel"};
  static const char* const kColours[] = {"black", "blue", "red",    "magenta",
                                         "green", "cyan", "yellow", "white"};
  std::string text = kFrames[look.frame];
  text += look.screen == Screen4x3 ? ", 4:3 screen" : ", 16:10 screen";
  if (look.background != 0) text += std::string(", on ") + kColours[look.background & 7];
  if (!look.tone.Neutral()) text += ", toned";
  if (orientation != 1)
    text += ", turned upright by EXIF orientation " + std::to_string(orientation);
  return text;
}

}  // namespace

int RunFit(const FitRequest& request) {
  const bool dropped = request.bitmapPath.empty();
  if (!dropped) {
    const int stop = RefuseOddTargets(request.bitmapPath, request.previewPath);
    if (stop >= 0) return stop;
  }

  std::vector<uint8_t> pixels, png;
  Resolution res = request.res;
  int orientation = 1;
  std::string target = request.bitmapPath, preview = request.previewPath;
  try {
    std::vector<uint8_t> file;
    const std::string problem =
        ReadWholeFile(request.picturePath, "picture", 0, kMaxPictureFileBytes,
                      "gramconv reads pictures of at most 512 MiB", file);
    if (!problem.empty()) return Refuse(problem);
    WorkingPicture picture;
    const std::string bad =
        LoadPicture(file.data(), file.size(), picture, nullptr, request.gamma, request.orient);
    if (!bad.empty()) return Refuse(request.picturePath + ": " + bad);
    if (request.autoRes) res = AutoResolution(picture);
    orientation = picture.orientation;
    if (dropped) {
      target = DropTarget(request.picturePath, res);
      preview = DropPreview(request.picturePath, res);
      const int stop = RefuseOddTargets(target, preview);
      if (stop >= 0) return stop;
    }
    std::vector<uint8_t> colours;
    FitWorkingPicture(picture, res, request.dither, request.look, pixels, &colours);
    if (!preview.empty()) {
      std::vector<uint8_t> screen;
      PreviewScreen(res, colours.data(), screen);
      if (!EncodePreviewPng(screen, png)) throw std::bad_alloc();
    }
  } catch (const std::bad_alloc&) {
    return Refuse(request.picturePath + ": not enough memory for this picture");
  }

  // Every question before any file is written, so a Cancel leaves both as they were.
  const PathKind kind = KindOfPath(target);
  int stop = MayWrite(request, "BMP file", target, kind);
  if (stop >= 0) return stop;
  const PathKind previewKind = preview.empty() ? PathMissing : KindOfPath(preview);
  stop = MayWrite(request, "preview file", preview, previewKind);
  if (stop >= 0) return stop;

  const std::vector<uint8_t> file = FittedBitmapFile(res, pixels);
  std::string problem =
      WriteFileWhole(target, "BMP file", file.data(), file.size(), kind == PathRegular);
  if (!problem.empty()) return Refuse(problem);
  WriteOut("wrote " + target + ": " + request.picturePath + " fitted to " +
           std::to_string(BitmapWidth(res)) + "x200, " + DitherName(request.dither) +
           (request.gamma == GammaSrgb ? ", in sRGB numbers (" : ", in linear light (") +
           LookText(request.look, orientation) + ")\n");
  if (preview.empty()) return kDone;
  problem =
      WriteFileWhole(preview, "preview file", png.data(), png.size(), previewKind == PathRegular);
  if (!problem.empty()) return Refuse(problem);
  WriteOut("wrote " + preview + ": the screen as the machine shows it, 640x400\n");
  return kDone;
}
