// GRAM import through the POSIX face: real files in a temporary folder, message boxes
// recorded and answered by a script. Every refusal and every Cancel must leave GRAM as it was.
#include <dirent.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "convert/conversions.h"
#include "host/module_state.h"
#include "import_bitmaps.h"
#include "platform/message_box_handler.h"
#include "scripted_box.h"

namespace {

using namespace import_test;

Gram g_gram;  // the planes lent to the import

// Descriptors this process has open (a file left open by the import shows up here).
int OpenDescriptors() {
  int count = 0;
  DIR* dir = opendir("/proc/self/fd");
  if (dir == nullptr) return -1;
  while (readdir(dir) != nullptr) ++count;
  closedir(dir);
  return count;
}

class ImportTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/vantrel-import-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir_ = pattern;
    FillPicture(g_gram, 7, false);
    Lend(true);
  }
  void TearDown() override {
    Lend(true);
    std::filesystem::remove_all(dir_);
  }

  static void Lend(bool lend) {
    Module::GramPlanes = lend ? ::GramPlanes{{g_gram.plane[0], g_gram.plane[1], g_gram.plane[2]}}
                              : ::GramPlanes{{nullptr, nullptr, nullptr}};
  }

  std::string Write(const std::string& name, const std::vector<uint8_t>& bytes) {
    const std::string path = dir_ + "/" + name;
    FILE* f = fopen(path.c_str(), "wb");
    EXPECT_NE(f, nullptr) << path;
    if (f == nullptr) return path;
    EXPECT_EQ(fwrite(bytes.data(), 1, bytes.size(), f), bytes.size());
    fclose(f);
    return path;
  }

  // Imports with the given answers to questions; checks what every import must keep: the
  // caption of each box, no descriptor left open, no question beyond the script.
  std::vector<RecordedBox> Import(const std::string& path, Resolution res,
                                  std::vector<MessageAnswer> answers = {}) {
    const int descriptors = OpenDescriptors();
    ScriptedBoxes boxes(answers);
    ImportBitmapToGram(path.c_str(), res);
    EXPECT_FALSE(boxes.ranOutOfAnswers()) << "an unexpected question";
    EXPECT_EQ(OpenDescriptors(), descriptors) << "the file was left open";
    for (const RecordedBox& box : boxes.boxes()) EXPECT_EQ(box.caption, kCaption);
    return boxes.boxes();
  }

  // The import refuses the file with exactly one error box of this text and GRAM unchanged.
  void ExpectRefused(const std::string& path, Resolution res, const std::string& text) {
    const Gram before = g_gram;
    const std::vector<RecordedBox> boxes = Import(path, res);
    ASSERT_EQ(boxes.size(), 1u) << path;
    EXPECT_EQ(boxes[0].kind, ErrorBox);
    EXPECT_EQ(boxes[0].text, text);
    EXPECT_TRUE(g_gram == before) << "GRAM changed by a refusal";
  }

  // The import asks, is answered OK, loads the file and reports completion.
  void ExpectLoaded(const std::string& path, Resolution res, const Gram& picture) {
    const std::vector<RecordedBox> boxes = Import(path, res, {AnswerOk});
    ASSERT_EQ(boxes.size(), 2u) << path;
    EXPECT_EQ(boxes[0].kind, QuestionBox);
    EXPECT_EQ(boxes[0].text, ConfirmText(Cp932ToUtf8(path)));
    EXPECT_EQ(boxes[1].kind, InformationBox);
    EXPECT_EQ(boxes[1].text, kDone);
    EXPECT_TRUE(g_gram == picture) << "GRAM is not the file's picture";
  }

  std::string dir_;
};

TEST_F(ImportTest, EachCheckRefusesWithItsOwnText) {
  Gram picture;
  FillPicture(picture, 1, false);
  const std::vector<uint8_t> good = BitmapOf(picture, 320).Bytes();

  // 1: the file does not open (missing, or a folder).
  ExpectRefused(dir_ + "/missing.bmp", Res320, OpenFailedText(dir_ + "/missing.bmp"));
  ExpectRefused(dir_, Res640, OpenFailedText(dir_));

  // 2: fewer than 14 bytes, or not "BM".
  ExpectRefused(Write("empty.bmp", {}), Res320, kNotBitmap);
  ExpectRefused(Write("13.bmp", std::vector<uint8_t>(good.begin(), good.begin() + 13)), Res320,
                kNotBitmap);
  for (const char* type : {"MB", "BA", "bm"}) {
    TestBitmap bmp = BitmapOf(picture, 320);
    bmp.type[0] = type[0];
    bmp.type[1] = type[1];
    ExpectRefused(Write("type.bmp", bmp.Bytes()), Res320, kNotBitmap);
  }

  // 3: the info header is cut short.
  ExpectRefused(Write("14.bmp", std::vector<uint8_t>(good.begin(), good.begin() + 14)), Res320,
                kNoInfoHeader);
  ExpectRefused(Write("53.bmp", std::vector<uint8_t>(good.begin(), good.begin() + 53)), Res320,
                kNoInfoHeader);

  // 4: any depth but 4 bits.
  for (uint16_t bits : {1, 8, 16, 24, 32, 0}) {
    TestBitmap bmp = BitmapOf(picture, 320);
    bmp.bitCount = bits;
    ExpectRefused(Write("depth.bmp", bmp.Bytes()), Res320, kNot16Colour);
  }

  // 5: the canvas must be the selected width by 200; the width is named in the text.
  ExpectRefused(Write("640.bmp", BitmapOf(picture, 640).Bytes()), Res320, CanvasText(320));
  ExpectRefused(Write("320.bmp", good), Res640, CanvasText(640));
  for (int32_t height : {-200, 199, 201, 0}) {
    TestBitmap bmp = BitmapOf(picture, 320);
    bmp.height = height;
    ExpectRefused(Write("height.bmp", bmp.Bytes()), Res320, CanvasText(320));
  }
  {
    TestBitmap bmp = BitmapOf(picture, 640);
    bmp.width = -640;
    ExpectRefused(Write("negative.bmp", bmp.Bytes()), Res640, CanvasText(640));
  }

  // Then compressed files, of any compression.
  for (uint32_t compression : {1u, 2u, 3u, 0x80000000u}) {
    TestBitmap bmp = BitmapOf(picture, 320);
    bmp.compression = compression;
    ExpectRefused(Write("rle.bmp", bmp.Bytes()), Res320, kCompressed);
  }

  // 6: the palette is cut short.
  ExpectRefused(Write("54.bmp", std::vector<uint8_t>(good.begin(), good.begin() + 54)), Res320,
                kNoPalette);
  ExpectRefused(Write("117.bmp", std::vector<uint8_t>(good.begin(), good.begin() + 117)), Res320,
                kNoPalette);

  // 7: the pixel rows are cut short, by one byte or by all of them.
  ExpectRefused(Write("118.bmp", std::vector<uint8_t>(good.begin(), good.begin() + 118)), Res320,
                kNoPixels);
  ExpectRefused(Write("short.bmp", std::vector<uint8_t>(good.begin(), good.end() - 1)), Res320,
                kNoPixels);
  std::vector<uint8_t> wide = BitmapOf(picture, 640).Bytes();
  wide.pop_back();
  ExpectRefused(Write("short640.bmp", wide), Res640, kNoPixels);
}

TEST_F(ImportTest, FileFailingTwoChecksGetsTheFirstOnesText) {
  Gram picture;
  FillPicture(picture, 2, false);
  const std::vector<uint8_t> good = BitmapOf(picture, 320).Bytes();

  // Not "BM" and too short for an info header.
  std::vector<uint8_t> bytes(good.begin(), good.begin() + 20);
  bytes[0] = 'X';
  ExpectRefused(Write("a.bmp", bytes), Res320, kNotBitmap);

  // Wrong depth and wrong canvas and compressed.
  TestBitmap bmp = BitmapOf(picture, 320);
  bmp.bitCount = 8;
  bmp.width = 127;
  bmp.compression = 1;
  ExpectRefused(Write("b.bmp", bmp.Bytes()), Res320, kNot16Colour);

  // Wrong canvas and compressed, and no palette.
  bmp.bitCount = 4;
  std::vector<uint8_t> headOnly = bmp.Bytes();
  headOnly.resize(60);
  ExpectRefused(Write("c.bmp", headOnly), Res320, CanvasText(320));

  // Compressed and no palette: compression is judged before the palette is read.
  bmp.width = 320;
  headOnly = bmp.Bytes();
  headOnly.resize(60);
  ExpectRefused(Write("d.bmp", headOnly), Res320, kCompressed);

  // Compressed and too short for the rows.
  std::vector<uint8_t> noRows = bmp.Bytes();
  noRows.resize(200);
  ExpectRefused(Write("e.bmp", noRows), Res320, kCompressed);

  // Right canvas for the other width only, with the rows missing.
  std::vector<uint8_t> cut = BitmapOf(picture, 640).Bytes();
  cut.resize(1000);
  ExpectRefused(Write("f.bmp", cut), Res320, CanvasText(320));
  ExpectRefused(Write("f.bmp", cut), Res640, kNoPixels);
}

TEST_F(ImportTest, ExportedFilesComeBackInBothResolutions) {
  for (Resolution res : {Res320, Res640}) {
    SCOPED_TRACE(res == Res320 ? "320" : "640");
    // A picture each resolution keeps exactly (320 wide: equal bits in every bit pair).
    FillPicture(g_gram, 11 + res, res == Res320);
    const Gram picture = g_gram;
    const std::string path = dir_ + (res == Res320 ? "/exported320.bmp" : "/exported640.bmp");
    {
      ScriptedBoxes boxes({AnswerOk});
      ExportGramToBitmap(path.c_str(), res);
      ASSERT_EQ(boxes.boxes().size(), 2u);
    }
    struct stat st;
    ASSERT_EQ(stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_size, res == Res320 ? 32118 : 64118);

    FillPicture(g_gram, 99, false);
    ExpectLoaded(path, res, picture);
    // And the file agrees with the tests' own idea of the rows.
    FillPicture(g_gram, 98, false);
    ExpectLoaded(Write("own.bmp", BitmapOf(picture, BitmapWidth(res)).Bytes()), res, picture);
  }
}

TEST_F(ImportTest, EachPixelLandsOnItsGramBits) {
  // Only the first stored row (GRAM line 199) and the last (line 0) carry pixels.
  for (Resolution res : {Res320, Res640}) {
    SCOPED_TRACE(res == Res320 ? "320" : "640");
    const size_t rowBytes = BitmapWidth(res) / 2;
    TestBitmap bmp;
    bmp.width = int32_t(BitmapWidth(res));
    bmp.rows.assign(rowBytes * 200, 0);
    // Pixels 1 (blue), 2 (red), 4 (green), 7 (white) at the left of line 199.
    bmp.rows[0] = 0x12;
    bmp.rows[1] = 0x47;
    // Pixels 7, 0, 5 (blue + green), 3 (blue + red) at the right end of line 0.
    bmp.rows[rowBytes * 200 - 2] = 0x70;
    bmp.rows[rowBytes * 200 - 1] = 0x53;

    Gram expected;
    memset(&expected, 0, sizeof expected);
    if (res == Res320) {
      // Each pixel fills both bits of its pair: pixels p0..p3 on bits (0,1) .. (6,7).
      expected.plane[0][199 * 80] = 0xC3;  // pixels 0 (1) and 3 (7)
      expected.plane[1][199 * 80] = 0xCC;  // pixels 1 (2) and 3 (7)
      expected.plane[2][199 * 80] = 0xF0;  // pixels 2 (4) and 3 (7)
      // Line 0's last byte holds pixels 7, 0, 5, 3 on bit pairs (0,1), (2,3), (4,5), (6,7).
      expected.plane[0][79] = 0xF3;
      expected.plane[1][79] = 0xC3;
      expected.plane[2][79] = 0x33;
    } else {
      // Pixel p on bit p: 1, 2, 4, 7 on bits 0..3 of line 199's first byte.
      expected.plane[0][199 * 80] = 0x09;
      expected.plane[1][199 * 80] = 0x0A;
      expected.plane[2][199 * 80] = 0x0C;
      // 7, 0, 5, 3 on bits 4..7 of line 0's last byte.
      expected.plane[0][79] = 0xD0;
      expected.plane[1][79] = 0x90;
      expected.plane[2][79] = 0x50;
    }
    ExpectLoaded(Write("pixels.bmp", bmp.Bytes()), res, expected);
  }
}

TEST_F(ImportTest, Bit3OfEveryPixelIsIgnored) {
  for (Resolution res : {Res320, Res640}) {
    SCOPED_TRACE(res == Res320 ? "320" : "640");
    Gram picture;
    FillPicture(picture, 21 + res, res == Res320);
    TestBitmap bmp = BitmapOf(picture, BitmapWidth(res));
    for (uint8_t& byte : bmp.rows) byte |= 0x88;  // indices 8..15 instead of 0..7
    ExpectLoaded(Write("high.bmp", bmp.Bytes()), res, picture);

    // Nothing but index 8 clears all of GRAM.
    bmp.rows.assign(bmp.rows.size(), 0x88);
    Gram black;
    memset(&black, 0, sizeof black);
    ExpectLoaded(Write("eights.bmp", bmp.Bytes()), res, black);
  }
}

TEST_F(ImportTest, BytesAfterTheRowsAreIgnored) {
  Gram picture;
  FillPicture(picture, 31, false);
  TestBitmap bmp = BitmapOf(picture, 640);
  bmp.trailing = 1;
  ExpectLoaded(Write("one.bmp", bmp.Bytes()), Res640, picture);
  bmp.trailing = 70000;
  ExpectLoaded(Write("many.bmp", bmp.Bytes()), Res640, picture);
}

TEST_F(ImportTest, CancelAfterAFullReadLeavesGramAlone) {
  Gram picture;
  FillPicture(picture, 41, false);
  const std::string path = Write("cancel.bmp", BitmapOf(picture, 640).Bytes());
  const Gram before = g_gram;
  const std::vector<RecordedBox> boxes = Import(path, Res640, {AnswerCancel});
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].kind, QuestionBox);
  EXPECT_EQ(boxes[0].text, ConfirmText(path));
  EXPECT_TRUE(g_gram == before);
}

// Every box comes after the file is closed: the user may replace it while a box is up.
int g_descriptorsAtBox = -1;
MessageAnswer CountAtBox(MessageKind, const char*, const char*) {
  g_descriptorsAtBox = OpenDescriptors();
  return AnswerCancel;
}

TEST_F(ImportTest, FileIsClosedBeforeAnyBox) {
  Gram picture;
  FillPicture(picture, 43, false);
  std::vector<uint8_t> bytes = BitmapOf(picture, 320).Bytes();
  const std::string whole = Write("closed.bmp", bytes);
  bytes.pop_back();
  const std::string cut = Write("cut.bmp", bytes);
  const int before = OpenDescriptors();
  SetMessageBoxHandler(&CountAtBox);
  for (const std::string& path : {whole, cut}) {
    g_descriptorsAtBox = -1;
    ImportBitmapToGram(path.c_str(), Res320);
    EXPECT_EQ(g_descriptorsAtBox, before) << path;
  }
  SetMessageBoxHandler(nullptr);
}

TEST_F(ImportTest, RowsStartWhereTheFileSaysWhenThatIsPastTheHeaders) {
  for (Resolution res : {Res320, Res640}) {
    SCOPED_TRACE(res == Res320 ? "320" : "640");
    Gram picture;
    FillPicture(picture, 51 + res, res == Res320);
    const int width = int(BitmapWidth(res));

    // Longer info headers (V4, V5), rows after a full palette.
    for (uint32_t infoSize : {108u, 124u}) {
      TestBitmap bmp = BitmapOf(picture, width);
      bmp.infoSize = infoSize;
      ExpectLoaded(Write("v5.bmp", bmp.Bytes()), res, picture);
    }
    // Short palettes: the rows start before 118, so the import goes back for them.
    for (uint32_t entries : {0u, 2u, 15u}) {
      TestBitmap bmp = BitmapOf(picture, width);
      bmp.paletteEntries = entries;
      ExpectLoaded(Write("short-palette.bmp", bmp.Bytes()), res, picture);
    }
    // A gap between palette and rows.
    TestBitmap gap = BitmapOf(picture, width);
    gap.rowsAt = 1000;
    ExpectLoaded(Write("gap.bmp", gap.Bytes()), res, picture);
    // bfOffBits of 118 itself.
    ExpectLoaded(Write("plain.bmp", BitmapOf(picture, width).OffBits(118).Bytes()), res, picture);
  }
}

TEST_F(ImportTest, OffsetsInsideTheHeadersMeanTheFixedLayout) {
  Gram picture;
  FillPicture(picture, 61, false);
  for (uint32_t offBits : {0u, 1u, 14u, 53u}) {
    SCOPED_TRACE(offBits);
    FillPicture(g_gram, 62, false);
    ExpectLoaded(Write("low.bmp", BitmapOf(picture, 640).OffBits(offBits).Bytes()), Res640,
                 picture);
  }
}

TEST_F(ImportTest, RowsThatCannotBeReadFromTheOffsetAreRefused) {
  Gram picture;
  FillPicture(picture, 71, false);
  TestBitmap bmp = BitmapOf(picture, 320);
  // The file's rows sit at 118 but bfOffBits points somewhere they no longer fit.
  ExpectRefused(Write("one-on.bmp", bmp.OffBits(119).Bytes()), Res320, kNoPixels);
  ExpectRefused(Write("at-end.bmp", bmp.OffBits(118 + 32000).Bytes()), Res320, kNoPixels);
  ExpectRefused(Write("past.bmp", bmp.OffBits(1000000).Bytes()), Res320, kNoPixels);
  ExpectRefused(Write("far.bmp", bmp.OffBits(0xFFFFFFFFu).Bytes()), Res320, kNoPixels);
  ExpectRefused(Write("sign.bmp", bmp.OffBits(0x80000000u).Bytes()), Res320, kNoPixels);
  // A short palette whose rows lack one byte.
  TestBitmap shortRows = BitmapOf(picture, 320);
  shortRows.paletteEntries = 2;
  shortRows.rows.pop_back();
  std::vector<uint8_t> bytes = shortRows.Bytes();
  ExpectRefused(Write("short-rows.bmp", bytes), Res320, kNoPixels);
}

TEST_F(ImportTest, JapanesePathIsUsedAndShownAsGiven) {
  Gram picture;
  FillPicture(picture, 81, false);
  const std::string path = Write(Utf8ToCp932("取込み画像ソ表.bmp"), BitmapOf(picture, 640).Bytes());
  ExpectLoaded(path, Res640, picture);
  const std::string missing = dir_ + "/" + Utf8ToCp932("無い.bmp");
  ExpectRefused(missing, Res640, OpenFailedText(Cp932ToUtf8(missing)));
}

TEST_F(ImportTest, WithoutPlanesNothingElseHappens) {
  Gram picture;
  FillPicture(picture, 91, false);
  const std::string good = Write("good.bmp", BitmapOf(picture, 320).Bytes());
  const Gram before = g_gram;
  for (const std::string& path : {good, dir_ + "/missing.bmp"}) {
    Lend(false);
    const std::vector<RecordedBox> boxes = Import(path, Res320, {AnswerOk});
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].kind, ErrorBox);
    EXPECT_EQ(boxes[0].text, kNoGram);
  }
  // One plane missing is as good as none.
  Lend(true);
  Module::GramPlanes.plane[2] = nullptr;
  const std::vector<RecordedBox> boxes = Import(good, Res320, {AnswerOk});
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].text, kNoGram);
  EXPECT_TRUE(g_gram == before);
}

TEST_F(ImportTest, PipeOrDeviceIsRefusedAsUnopenableWithoutWaiting) {
  // A FIFO with nobody writing, then with a writer that stays silent: either would block a
  // plain open or the first read. A device reads as nothing but is no file either.
  const std::string fifo = dir_ + "/pipe.bmp";
  ASSERT_EQ(mkfifo(fifo.c_str(), 0644), 0);
  ExpectRefused(fifo, Res320, OpenFailedText(fifo));
  const int writer = open(fifo.c_str(), O_RDWR | O_CLOEXEC);
  ASSERT_GE(writer, 0);
  ExpectRefused(fifo, Res640, OpenFailedText(fifo));
  close(writer);
  ExpectRefused("/dev/null", Res320, OpenFailedText("/dev/null"));
}

}  // namespace
