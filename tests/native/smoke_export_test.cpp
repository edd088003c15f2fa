// Placeholder removed once the export tests land.
#include <gtest/gtest.h>
#include <stdio.h>
#include <unistd.h>

#include "convert/conversions.h"
#include "host/module_state.h"
#include "scripted_box.h"

TEST(ExportSmoke, WritesFileAfterConfirm) {
  static uint8_t planes[3][kGramPlaneBytes];
  Module::GramPlanes = {{planes[0], planes[1], planes[2]}};
  char path[] = "/tmp/vantrel-smoke-XXXXXX";
  int fd = mkstemp(path);
  close(fd);
  unlink(path);
  ScriptedBoxes boxes({AnswerOk});
  ExportGramToBitmap(path, Res320);
  ASSERT_EQ(boxes.boxes().size(), 2u);
  EXPECT_EQ(boxes.boxes()[1].text, "BMPファイルへの書き込み完了");
  EXPECT_EQ(boxes.boxes()[0].caption, "HalcyonGRAM-BMP変換ツール");
  FILE* f = fopen(path, "rb");
  ASSERT_NE(f, nullptr);
  fseek(f, 0, SEEK_END);
  EXPECT_EQ(ftell(f), 32118);
  fclose(f);
  unlink(path);
}
