// The bmpsuite images (bitmaps written by a program this project did not write, in many
// header versions, depths and compressions), each imported in both resolutions: every one
// must get the text of the first check it fails, without a crash and with GRAM unchanged.
#include <dirent.h>
#include <gtest/gtest.h>
#include <stdio.h>
#include <sys/stat.h>

#include <algorithm>
#include <string>
#include <vector>

#include "convert/conversions.h"
#include "host/module_state.h"
#include "import_bitmaps.h"
#include "scripted_box.h"

namespace {

using namespace import_test;

Gram g_gram;

bool IsFolder(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

std::vector<std::string> BitmapsIn(const std::string& dir) {
  std::vector<std::string> names;
  DIR* d = opendir(dir.c_str());
  if (d == nullptr) return names;
  while (const dirent* entry = readdir(d)) {
    const std::string name = entry->d_name;
    if (name.size() > 4 && name.compare(name.size() - 4, 4, ".bmp") == 0) names.push_back(name);
  }
  closedir(d);
  std::sort(names.begin(), names.end());
  return names;
}

std::vector<uint8_t> ReadAll(const std::string& path) {
  std::vector<uint8_t> bytes;
  FILE* f = fopen(path.c_str(), "rb");
  if (f == nullptr) return bytes;
  uint8_t chunk[4096];
  size_t n;
  while ((n = fread(chunk, 1, sizeof chunk, f)) > 0) bytes.insert(bytes.end(), chunk, chunk + n);
  fclose(f);
  return bytes;
}

class BmpsuiteTest : public ::testing::TestWithParam<const char*> {
 protected:
  void SetUp() override {
    suite_ = VANTREL_BMPSUITE_DIR;
    if (!IsFolder(suite_)) {
      GTEST_SKIP() << "no bmpsuite images at " << suite_ << " (expected next to the checkout)";
    }
    Module::GramPlanes = {{g_gram.plane[0], g_gram.plane[1], g_gram.plane[2]}};
  }

  std::string suite_;
};

TEST_P(BmpsuiteTest, EachImageGetsTheTextOfItsFirstFailingCheck) {
  const std::string dir = suite_ + "/" + GetParam();
  const std::vector<std::string> names = BitmapsIn(dir);
  ASSERT_FALSE(names.empty()) << "no images in " << dir;

  for (const std::string& name : names) {
    const std::string path = dir + "/" + name;
    const std::vector<uint8_t> file = ReadAll(path);
    for (Resolution res : {Res320, Res640}) {
      SCOPED_TRACE(path + (res == Res320 ? " at 320" : " at 640"));
      const std::string expected = ExpectedRefusal(file, int(BitmapWidth(res)));
      FillPicture(g_gram, uint32_t(file.size()) + res, false);
      const Gram before = g_gram;

      ScriptedBoxes boxes({AnswerOk});
      ImportBitmapToGram(path.c_str(), res);

      if (expected.empty()) {
        // Accepted: asked, loaded, reported; GRAM re-encodes to the rows without bit 3.
        ASSERT_EQ(boxes.boxes().size(), 2u);
        EXPECT_EQ(boxes.boxes()[1].text, kDone);
        uint32_t start = Le32(file, 10) < 54 ? 118 : Le32(file, 10);
        std::vector<uint8_t> rows(file.begin() + start, file.begin() + start + PixelDataBytes(res));
        for (uint8_t& byte : rows) byte &= 0x77;
        EXPECT_EQ(RowsOf(g_gram, int(BitmapWidth(res))), rows);
      } else {
        ASSERT_EQ(boxes.boxes().size(), 1u);
        EXPECT_EQ(boxes.boxes()[0].kind, ErrorBox);
        EXPECT_EQ(boxes.boxes()[0].text, expected);
        EXPECT_TRUE(g_gram == before) << "GRAM changed by a refusal";
      }
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Bmpsuite, BmpsuiteTest, ::testing::Values("g", "q", "b"));

// A few images whose answer a reader can see at a glance, so the tests' own reasoning above
// is checked too.
TEST(BmpsuiteSamples, KnownImagesGetKnownTexts) {
  const std::string suite = VANTREL_BMPSUITE_DIR;
  if (!IsFolder(suite)) GTEST_SKIP() << "no bmpsuite images at " << suite;
  Module::GramPlanes = {{g_gram.plane[0], g_gram.plane[1], g_gram.plane[2]}};
  const struct {
    const char* file;
    Resolution res;
    std::string text;
  } samples[] = {
      {"g/pal4.bmp", Res640, CanvasText(640)},        // 16 colours, 127 x 64
      {"q/pal4rlecut.bmp", Res320, CanvasText(320)},  // the canvas is judged first
      {"g/pal8.bmp", Res320, kNot16Colour},           // 256 colours
      {"g/rgb24.bmp", Res640, kNot16Colour},          // true colour
      {"g/pal8os2.bmp", Res320, kNot16Colour},        // 12-byte header: no depth of 4
      {"b/badbitcount.bmp", Res320, kNot16Colour},    // nonsense depth
      {"b/shortfile.bmp", Res640, kNot16Colour},      // 1 bit, cut short
  };
  for (const auto& sample : samples) {
    SCOPED_TRACE(sample.file);
    ScriptedBoxes boxes;
    ImportBitmapToGram((suite + "/" + sample.file).c_str(), sample.res);
    ASSERT_EQ(boxes.boxes().size(), 1u);
    EXPECT_EQ(boxes.boxes()[0].text, sample.text);
    EXPECT_EQ(ExpectedRefusal(ReadAll(suite + "/" + sample.file), int(BitmapWidth(sample.res))),
              sample.text);
  }
}

}  // namespace
