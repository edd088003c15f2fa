// libFuzzer target: every input is a file handed to the real import through the POSIX face,
// once per resolution. The harness predicts the outcome from the bytes with its own simple
// reading of the format and aborts when the import disagrees: a different box, GRAM touched
// by a refusal or a Cancel, or GRAM not equal to the decoded rows after an accepted import.
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/mman.h>
#include <unistd.h>

#include "common/show_message.h"
#include "common/texts.h"
#include "convert/conversions.h"
#include "host/module_state.h"
#include "platform/message_box_handler.h"

namespace {

uint8_t g_gram[3][kGramPlaneBytes];
uint8_t g_before[3][kGramPlaneBytes];
uint8_t g_expected[3][kGramPlaneBytes];
int g_fd = -1;
char g_path[64];

struct Box {
  MessageKind kind;
  char text[kMessageBytes];
};
Box g_boxes[4];
int g_boxCount;
MessageAnswer g_answer;

MessageAnswer RecordBox(MessageKind kind, const char*, const char* text) {
  if (g_boxCount < 4) {
    g_boxes[g_boxCount].kind = kind;
    snprintf(g_boxes[g_boxCount].text, kMessageBytes, "%s", text);
  }
  ++g_boxCount;
  return g_answer;
}

uint32_t Le16(const uint8_t* p) { return p[0] | p[1] << 8; }
uint32_t Le32(const uint8_t* p) { return Le16(p) | Le16(p + 2) << 16; }

// The text the import must show for this file, or null when it must accept it; rows is
// set to the start of the pixel rows then.
const char* ExpectedRefusal(const uint8_t* d, size_t n, uint32_t width, const uint8_t** rows,
                            char* canvasText) {
  if (n < 14 || d[0] != 'B' || d[1] != 'M') return kTextNotBitmap;
  if (n < 54) return kTextNoInfoHeader;
  if (Le16(d + 28) != 4) return kTextNot16Colour;
  if (Le32(d + 18) != width || Le32(d + 22) != 200) {
    snprintf(canvasText, kMessageBytes, kTextCanvasSize, int(width));
    return canvasText;
  }
  if (Le32(d + 30) != 0) return kTextCompressed;
  if (n < 118) return kTextNoPalette;
  uint64_t start = Le32(d + 10);
  if (start < 54) start = 118;
  if (start + uint64_t(width) * 100 > n) return kTextNoPixels;
  *rows = d + start;
  return nullptr;
}

void Fail(const char* what, Resolution res, size_t size) {
  fprintf(stderr, "import disagrees (%s) at width %u, %zu-byte file; boxes %d\n", what,
          BitmapWidth(res), size, g_boxCount);
  abort();
}

void FillGram(uint32_t seed) {
  for (uint32_t p = 0; p < 3; ++p) {
    for (uint32_t i = 0; i < kGramPlaneBytes; ++i) g_gram[p][i] = uint8_t(i * 7 + p * 89 + seed);
  }
  memcpy(g_before, g_gram, sizeof g_gram);
}

bool GramUntouched() { return memcmp(g_gram, g_before, sizeof g_gram) == 0; }

void RunOne(const uint8_t* data, size_t size, Resolution res) {
  char canvasText[kMessageBytes];
  const uint8_t* rows = nullptr;
  const char* refusal = ExpectedRefusal(data, size, BitmapWidth(res), &rows, canvasText);

  FillGram(uint32_t(size) + res);
  g_boxCount = 0;
  g_answer = AnswerOk;
  ImportBitmapToGram(g_path, res);

  if (refusal != nullptr) {
    if (g_boxCount != 1 || g_boxes[0].kind != ErrorBox) Fail("box count or kind", res, size);
    if (strcmp(g_boxes[0].text, refusal) != 0) Fail("refusal text", res, size);
    if (!GramUntouched()) Fail("GRAM touched by a refusal", res, size);
    return;
  }

  char confirm[kMessageBytes];
  snprintf(confirm, sizeof confirm, kTextImportConfirm, g_path);
  if (g_boxCount != 2 || g_boxes[0].kind != QuestionBox || g_boxes[1].kind != InformationBox) {
    Fail("boxes of an accepted file", res, size);
  }
  if (strcmp(g_boxes[0].text, confirm) != 0 || strcmp(g_boxes[1].text, kTextImportDone) != 0) {
    Fail("texts of an accepted file", res, size);
  }
  const GramPlanes expected = {{g_expected[0], g_expected[1], g_expected[2]}};
  DecodeGram(rows, res, expected);
  if (memcmp(g_gram, g_expected, sizeof g_gram) != 0) Fail("GRAM is not the rows", res, size);

  // The same file again, answered Cancel: nothing may change.
  FillGram(uint32_t(size) + res + 1);
  g_boxCount = 0;
  g_answer = AnswerCancel;
  ImportBitmapToGram(g_path, res);
  if (g_boxCount != 1 || g_boxes[0].kind != QuestionBox) Fail("boxes after Cancel", res, size);
  if (!GramUntouched()) Fail("GRAM touched after Cancel", res, size);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  // An anonymous in-memory file, opened by the import through its /proc path like any file.
  g_fd = memfd_create("vantrel-import-fuzz", 0);
  if (g_fd < 0) {
    perror("memfd_create");
    abort();
  }
  snprintf(g_path, sizeof g_path, "/proc/self/fd/%d", g_fd);
  Module::GramPlanes = {{g_gram[0], g_gram[1], g_gram[2]}};
  SetMessageBoxHandler(&RecordBox);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (ftruncate(g_fd, 0) != 0 || pwrite(g_fd, data, size, 0) != ssize_t(size)) {
    perror("writing the input file");
    abort();
  }
  RunOne(data, size, Res320);
  RunOne(data, size, Res640);
  return 0;
}
