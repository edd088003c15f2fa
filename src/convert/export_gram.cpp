// GRAM export: encode, confirm, replace an existing file if confirmed, write, report.
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

  if (ShowMessage(QuestionBox, kTextExportConfirm, path) == AnswerCancel) return;
  if (PlatformPathExists(path)) {
    if (ShowMessage(QuestionBox, kTextOverwriteConfirm, path) == AnswerCancel) return;
    PlatformDeleteFile(path);
  }

  const FileHandle file = PlatformCreateNewFile(path);
  if (file == kNoFile) {
    ShowMessage(ErrorBox, kTextCreateFailed);
    return;
  }
  // A short write is a failure: never leave a truncated bitmap behind as if it were done.
  const bool complete =
      PlatformWrite(file, headers, kFileHeaderBytes) == kFileHeaderBytes &&
      PlatformWrite(file, headers + kFileHeaderBytes, kInfoHeaderBytes) == kInfoHeaderBytes &&
      PlatformWrite(file, FixedPalette, kPaletteBytes) == kPaletteBytes &&
      PlatformWrite(file, pixels, pixelBytes) == pixelBytes;
  PlatformClose(file);
  if (!complete) {
    PlatformDeleteFile(path);
    ShowMessage(ErrorBox, kTextWriteFailed);
    return;
  }
  ShowMessage(InformationBox, kTextExportDone);
}
