// GRAM export: encode, confirm, write the whole file under a temporary name beside the
// target, then move it onto the target in one step, so a failure never costs the old file.
#include <stdint.h>

#include "common/show_message.h"
#include "common/texts.h"
#include "convert/conversions.h"
#include "host/module_state.h"
#include "platform/platform.h"

void ExportGramToBitmap(const char* path, Resolution res) {
  if (!HavePlanes()) {
    ShowMessage(ErrorBox, kTextNoGram);
    return;
  }

  uint8_t headers[kHeaderBytes];
  uint8_t pixels[kMaxPixelBytes];
  const uint32_t pixelBytes = PixelDataBytes(res);
  EncodeGram(Module::GramPlanes, res, pixels);
  BuildBitmapHeaders(res, headers);

  // Whether there is a file to replace is settled as the user is first asked: a name taken
  // while the question is up is not the user's to overwrite, and the move then refuses.
  const bool replacing = PlatformPathExists(path);
  if (ShowMessage(QuestionBox, kTextExportConfirm, path) == AnswerCancel) return;
  if (replacing) {
    if (ShowMessage(QuestionBox, kTextOverwriteConfirm, path) == AnswerCancel) return;
  }
  // A folder, a device or a pipe is never written to nor replaced.
  if (PlatformIsSpecialFile(path)) {
    ShowMessage(ErrorBox, kTextCreateFailed);
    return;
  }

  char tempPath[kPathBytes];
  FileHandle file = PlatformCreateTempBeside(path, tempPath);
  // No temporary name fits beside a path this long: write in place, the old file deleted first.
  const bool inPlace = file == kNoFile && tempPath[0] == '\0';
  if (inPlace) {
    if (replacing) PlatformDeleteFile(path);
    file = PlatformCreateNewFile(path);
  }
  if (file == kNoFile) {
    ShowMessage(ErrorBox, kTextCreateFailed);
    return;
  }
  const char* written = inPlace ? path : tempPath;
  // A short write is a failure: never leave a truncated bitmap behind as if it were done.
  const bool complete =
      PlatformWrite(file, headers, kFileHeaderBytes) == kFileHeaderBytes &&
      PlatformWrite(file, headers + kFileHeaderBytes, kInfoHeaderBytes) == kInfoHeaderBytes &&
      PlatformWrite(file, FixedPalette, kPaletteBytes) == kPaletteBytes &&
      PlatformWrite(file, pixels, pixelBytes) == pixelBytes && PlatformFlush(file);
  PlatformClose(file);
  if (!complete) {
    PlatformDeleteFile(written);
    ShowMessage(ErrorBox, kTextWriteFailed);
    return;
  }
  if (!inPlace) {
    const bool moved =
        replacing ? PlatformMoveReplacing(tempPath, path) : PlatformMoveToNewName(tempPath, path);
    if (!moved) {
      PlatformDeleteFile(tempPath);
      ShowMessage(ErrorBox, kTextCreateFailed);
      return;
    }
  }
  ShowMessage(InformationBox, kTextExportDone);
}
