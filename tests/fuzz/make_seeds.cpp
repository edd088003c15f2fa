// Writes the fuzzer's starting corpus into a folder: files exported by the real export in
// both resolutions, and variants of them with the layouts the import must also handle.
#include <stdint.h>
#include <stdio.h>
#include <string.h>

#include "convert/conversions.h"
#include "host/module_state.h"
#include "platform/message_box_handler.h"

namespace {

uint8_t g_gram[3][kGramPlaneBytes];
uint8_t g_file[kPixelOffset + kMaxPixelBytes];
uint8_t g_variant[kPixelOffset + kMaxPixelBytes + 128];

MessageAnswer AnswerEverythingOk(MessageKind, const char*, const char*) { return AnswerOk; }

bool WriteFile(const char* dir, const char* name, const uint8_t* data, size_t size) {
  char path[4096];
  snprintf(path, sizeof path, "%s/%s", dir, name);
  FILE* f = fopen(path, "wb");
  if (f == nullptr) return false;
  const bool ok = fwrite(data, 1, size, f) == size;
  return fclose(f) == 0 && ok;
}

void PutLe32(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = uint8_t(v >> (8 * i));
}

// Exports one GRAM pattern and derives the variants from the exported bytes.
bool Seed(const char* dir, Resolution res, int pattern) {
  for (uint32_t p = 0; p < 3; ++p) {
    for (uint32_t i = 0; i < kGramPlaneBytes; ++i) {
      g_gram[p][i] = pattern == 0 ? 0 : pattern == 1 ? 0xFF : uint8_t(i * 37 + p * 101);
    }
  }
  char name[96];
  char path[4096];
  snprintf(name, sizeof name, "exported-%u-%d.bmp", BitmapWidth(res), pattern);
  snprintf(path, sizeof path, "%s/%s", dir, name);
  remove(path);
  ExportGramToBitmap(path, res);
  FILE* f = fopen(path, "rb");
  if (f == nullptr) return false;
  const size_t size = fread(g_file, 1, sizeof g_file, f);
  fclose(f);
  if (size != kPixelOffset + PixelDataBytes(res)) return false;
  const size_t pixels = PixelDataBytes(res);

  // A longer (124-byte) info header, rows where bfOffBits says.
  memcpy(g_variant, g_file, kHeaderBytes);
  memset(g_variant + kHeaderBytes, 0, 84);
  PutLe32(g_variant + kOffInfoSize, 124);
  PutLe32(g_variant + kOffOffBits, 14 + 124 + kPaletteBytes);
  memcpy(g_variant + 14 + 124, g_file + kHeaderBytes, size - kHeaderBytes);
  snprintf(name, sizeof name, "v5-%u-%d.bmp", BitmapWidth(res), pattern);
  if (!WriteFile(dir, name, g_variant, size + 84)) return false;

  // Palettes of 8 entries and of none, rows right after them.
  const uint32_t paletteEntries[] = {8, 0};
  for (uint32_t entries : paletteEntries) {
    const uint32_t rows = kHeaderBytes + entries * 4;
    memcpy(g_variant, g_file, rows);
    PutLe32(g_variant + kOffOffBits, rows);
    memcpy(g_variant + rows, g_file + kPixelOffset, pixels);
    snprintf(name, sizeof name, "pal%u-%u-%d.bmp", entries, BitmapWidth(res), pattern);
    if (!WriteFile(dir, name, g_variant, rows + pixels)) return false;
  }

  // A zero bfOffBits: the fixed layout applies.
  memcpy(g_variant, g_file, size);
  PutLe32(g_variant + kOffOffBits, 0);
  snprintf(name, sizeof name, "nooffset-%u-%d.bmp", BitmapWidth(res), pattern);
  return WriteFile(dir, name, g_variant, size);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    fprintf(stderr, "usage: %s FOLDER\n", argv[0]);
    return 2;
  }
  Module::GramPlanes = {{g_gram[0], g_gram[1], g_gram[2]}};
  SetMessageBoxHandler(&AnswerEverythingOk);
  for (int pattern = 0; pattern < 3; ++pattern) {
    if (!Seed(argv[1], Res320, pattern) || !Seed(argv[1], Res640, pattern)) {
      fprintf(stderr, "%s: cannot write seeds into %s\n", argv[0], argv[1]);
      return 1;
    }
  }
  return 0;
}
