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
    case DitherNone: break;
  }
  return "no dithering";
}

int Refuse(const std::string& problem) {
  PrintError(problem);
  return kRefused;
}

}  // namespace

std::string DropTarget(const std::string& picturePath) {
  return FittedBitmapName(picturePath, Res640);
}

int RunFit(const FitRequest& request) {
  const std::string& target = request.bitmapPath;
  // Known before any work: such a target is never replaced.
  if (KindOfPath(target) == PathOther) {
    return Refuse(NotReplaceable("BMP file", target));
  }

  std::vector<uint8_t> pixels;
  try {
    std::vector<uint8_t> picture;
    const std::string problem =
        ReadWholeFile(request.picturePath, "picture", 0, kMaxPictureFileBytes,
                      "gramconv reads pictures of at most 512 MiB", picture);
    if (!problem.empty()) return Refuse(problem);
    const std::string bad =
        FitPicture(picture.data(), picture.size(), request.res, request.dither, pixels);
    if (!bad.empty()) return Refuse(request.picturePath + ": " + bad);
  } catch (const std::bad_alloc&) {
    return Refuse(request.picturePath + ": not enough memory for this picture");
  }

  const PathKind kind = KindOfPath(target);
  if (kind == PathRegular) {
    if (!request.mayReplace) {
      return Refuse("BMP file " + target + " already exists; gramconv does not replace it");
    }
    if (ShowMessage(QuestionBox, kTextOverwriteConfirm, target.c_str()) == AnswerCancel) {
      return kRefused;
    }
  }
  const std::vector<uint8_t> file = FittedBitmapFile(request.res, pixels);
  const std::string problem =
      WriteFileWhole(target, "BMP file", file.data(), file.size(), kind == PathRegular);
  if (!problem.empty()) return Refuse(problem);
  WriteOut("wrote " + target + ": " + request.picturePath + " fitted to " +
           std::to_string(BitmapWidth(request.res)) + "x200, " + DitherName(request.dither) + "\n");
  return kDone;
}
