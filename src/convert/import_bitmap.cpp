// GRAM import: read and check the whole file, close it, confirm, then rewrite GRAM.
#include <stdint.h>

#include "common/show_message.h"
#include "common/texts.h"
#include "convert/bitmap_check.h"
#include "convert/conversions.h"
#include "host/module_state.h"
#include "platform/platform.h"

namespace {

// Reads the pixel rows from where the file says they start; true when all arrived.
bool ReadPixelRows(FileHandle file, const uint8_t* fileHeader, uint8_t* pixels, uint32_t count) {
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
  if (!HavePlanes()) {
    ShowMessage(ErrorBox, kTextNoGram);
    return;
  }

  const FileHandle file = PlatformOpenForRead(path);
  if (file == kNoFile) {
    ShowMessage(ErrorBox, kTextOpenFailed, path);
    return;
  }

  // Reading all three parts before judging them gives the same first failure as judging
  // after each read: a short read only makes the later ones shorter.
  BitmapHeadRead head;
  head.fileHeaderCount = PlatformRead(file, head.fileHeader, kFileHeaderBytes);
  head.infoHeaderCount = PlatformRead(file, head.infoHeader, kInfoHeaderBytes);
  head.paletteCount = PlatformRead(file, head.palette, kPaletteBytes);
  BitmapCheck check = CheckBitmapHead(head, res);

  uint8_t pixels[kMaxPixelBytes];
  const uint32_t pixelBytes = PixelDataBytes(res);
  if (check == BitmapAccepted && !ReadPixelRows(file, head.fileHeader, pixels, pixelBytes)) {
    check = BitmapNoPixels;
  }
  PlatformClose(file);
  if (check != BitmapAccepted) {
    ShowRefusal(check, res);
    return;
  }

  if (ShowMessage(QuestionBox, kTextImportConfirm, path) == AnswerCancel) return;
  DecodeGram(pixels, res, Module::GramPlanes);
  ShowMessage(InformationBox, kTextImportDone);
}
