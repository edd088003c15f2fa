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

std::string DropTarget(const std::string& picturePath) {
  return FittedBitmapName(picturePath, Res640);
}

std::string DropPreview(const std::string& picturePath) {
  std::string name = DropTarget(picturePath);
  name.resize(name.size() - 4);  // ".bmp"
  return name + "-preview.png";
}

int RunFit(const FitRequest& request) {
  const std::string& target = request.bitmapPath;
  const std::string& preview = request.previewPath;
  // Known before any work: such a target is never replaced.
  if (KindOfPath(target) == PathOther) {
    return Refuse(NotReplaceable("BMP file", target));
  }
  if (!preview.empty() && KindOfPath(preview) == PathOther) {
    return Refuse(NotReplaceable("preview file", preview));
  }

  std::vector<uint8_t> pixels, png;
  try {
    std::vector<uint8_t> picture;
    const std::string problem =
        ReadWholeFile(request.picturePath, "picture", 0, kMaxPictureFileBytes,
                      "gramconv reads pictures of at most 512 MiB", picture);
    if (!problem.empty()) return Refuse(problem);
    std::vector<uint8_t> colours;
    FitLook stretch;
    stretch.frame = FrameStretch;
    const std::string bad = FitPicture(picture.data(), picture.size(), request.res, request.dither,
                                       pixels, nullptr, request.gamma, &colours, stretch, false);
    if (!bad.empty()) return Refuse(request.picturePath + ": " + bad);
    if (!preview.empty()) {
      std::vector<uint8_t> screen;
      PreviewScreen(request.res, colours.data(), screen);
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

  const std::vector<uint8_t> file = FittedBitmapFile(request.res, pixels);
  std::string problem =
      WriteFileWhole(target, "BMP file", file.data(), file.size(), kind == PathRegular);
  if (!problem.empty()) return Refuse(problem);
  WriteOut("wrote " + target + ": " + request.picturePath + " fitted to " +
           std::to_string(BitmapWidth(request.res)) + "x200, " + DitherName(request.dither) +
           (request.gamma == GammaSrgb ? ", in sRGB numbers\n" : ", in linear light\n"));
  if (preview.empty()) return kDone;
  problem =
      WriteFileWhole(preview, "preview file", png.data(), png.size(), previewKind == PathRegular);
  if (!problem.empty()) return Refuse(problem);
  WriteOut("wrote " + preview + ": the screen as the machine shows it, 640x400\n");
  return kDone;
}
