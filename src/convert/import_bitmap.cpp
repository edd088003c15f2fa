// GRAM import: read and check the whole file, close it, confirm, then rewrite GRAM.
#include <stdint.h>

#include "common/show_message.h"
#include "common/texts.h"
#include "convert/bitmap_check.h"
#include "convert/conversions.h"
#include "host/module_state.h"
#include "platform/platform.h"

namespace {

// Reads the headers and the palette in sequence, stopping at the first check that fails.
BitmapCheck ReadHead(FileHandle file, Resolution res, uint8_t* fileHeader) {
  uint8_t infoHeader[kInfoHeaderBytes];
  uint8_t palette[kPaletteBytes];
  BitmapCheck check = CheckFileHeader(fileHeader, PlatformRead(file, fileHeader, kFileHeaderBytes));
  if (check != BitmapAccepted) return check;
  check = CheckInfoHeader(infoHeader, PlatformRead(file, infoHeader, kInfoHeaderBytes), res);
  if (check != BitmapAccepted) return check;
  // The palette is read only to step over it: colours come from the pixel indices alone.
  return CheckPalette(PlatformRead(file, palette, kPaletteBytes));
}

// Reads the pixel rows from where the file says they start; true when all arrived.
bool ReadPixelRows(FileHandle file, const uint8_t* fileHeader, uint8_t* pixels, uint32_t count) {
  // After the palette the file stands at 118; any other start is a seek, forward or back.
  const uint32_t offset = PixelRowsOffset(fileHeader);
  if (offset != kPixelOffset && !PlatformSeek(file, offset)) return false;
  return PlatformRead(file, pixels, count) == count;
}

void ShowRefusal(BitmapCheck check, Resolution res) {
  switch (check) {
    case BitmapNotBitmap: ShowMessage(ErrorBox, kTextNotBitmap); break;
    case BitmapNoInfoHeader: ShowMessage(ErrorBox, kTextNoInfoHeader); break;
    case BitmapNot16Colour: ShowMessage(ErrorBox, kTextNot16Colour); break;
    case BitmapWrongCanvas: ShowMessage(ErrorBox, kTextCanvasSize, int(BitmapWidth(res))); break;
    case BitmapCompressed: ShowMessage(ErrorBox, kTextCompressed); break;
    case BitmapNoPalette: ShowMessage(ErrorBox, kTextNoPalette); break;
    case BitmapNoPixels: ShowMessage(ErrorBox, kTextNoPixels); break;
    case BitmapAccepted: break;
  }
}

}  // namespace

void ImportBitmapToGram(const char* path, Resolution res) {
  // Without the host's planes there is nothing to write into: say so before touching the file.
  if (!HavePlanes()) {
    ShowMessage(ErrorBox, kTextNoGram);
    return;
  }

  const FileHandle file = PlatformOpenForRead(path);
  if (file == kNoFile) {
    ShowMessage(ErrorBox, kTextOpenFailed, path);
    return;
  }

  uint8_t fileHeader[kFileHeaderBytes];
  uint8_t pixels[kMaxPixelBytes];
  BitmapCheck check = ReadHead(file, res, fileHeader);
  if (check == BitmapAccepted && !ReadPixelRows(file, fileHeader, pixels, PixelDataBytes(res))) {
    check = BitmapNoPixels;
  }
  // Closed before any box: the user may edit or replace the file while a box is up.
  PlatformClose(file);
  if (check != BitmapAccepted) {
    ShowRefusal(check, res);
    return;
  }

  if (ShowMessage(QuestionBox, kTextImportConfirm, path) == AnswerCancel) return;
  DecodeGram(pixels, res, Module::GramPlanes);
  ShowMessage(InformationBox, kTextImportDone);
}
