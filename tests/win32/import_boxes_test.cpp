// GRAM import in the 32-bit build through the Win32 face: real files in a temporary folder,
// real message boxes read (code page 932 bytes) and answered by the box watcher. Every
// refusal and every Cancel must leave GRAM as it was.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "box_watcher.h"
#include "convert/conversions.h"
#include "host/module_state.h"
#include "import_bitmaps.h"

namespace {

using namespace import_test;

Gram g_gram;  // the planes lent to the import

// Deletes a folder and the files in it (the tests make no subfolders).
void RemoveFolder(const std::string& dir) {
  WIN32_FIND_DATAA found;
  HANDLE search = FindFirstFileA((dir + "\\*").c_str(), &found);
  if (search != INVALID_HANDLE_VALUE) {
    do {
      if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
        DeleteFileA((dir + "\\" + found.cFileName).c_str());
      }
    } while (FindNextFileA(search, &found));
    FindClose(search);
  }
  RemoveDirectoryA(dir.c_str());
}

class ImportBoxesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char temp[MAX_PATH];
    ASSERT_NE(GetTempPathA(sizeof temp, temp), 0u);
    for (int attempt = 0; attempt < 100 && dir_.empty(); ++attempt) {
      const std::string dir = std::string(temp) + "vantrel-import-" +
                              std::to_string(GetCurrentProcessId()) + "-" + std::to_string(attempt);
      if (CreateDirectoryA(dir.c_str(), nullptr)) dir_ = dir;
    }
    ASSERT_FALSE(dir_.empty());
    FillPicture(g_gram, 5, false);
    Lend(true);
  }
  void TearDown() override {
    Lend(true);
    if (!dir_.empty()) RemoveFolder(dir_);
  }

  static void Lend(bool lend) {
    Module::GramPlanes = lend ? ::GramPlanes{{g_gram.plane[0], g_gram.plane[1], g_gram.plane[2]}}
                              : ::GramPlanes{{nullptr, nullptr, nullptr}};
  }

  // Writes a file under the folder; name is code page 932 bytes.
  std::string Write(const std::string& name, const std::vector<uint8_t>& bytes) {
    const std::string path = dir_ + "\\" + name;
    HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    EXPECT_NE(file, INVALID_HANDLE_VALUE) << Cp932ToUtf8(path);
    if (file == INVALID_HANDLE_VALUE) return path;
    DWORD written = 0;
    if (!bytes.empty()) WriteFile(file, bytes.data(), DWORD(bytes.size()), &written, nullptr);
    EXPECT_EQ(written, bytes.size());
    CloseHandle(file);
    return path;
  }

  // Imports with one answer per expected box; the boxes come back when all of them came
  // as scripted, each with the plug-in's caption.
  std::vector<WatchedBox> Import(const std::string& path, Resolution res,
                                 std::vector<BoxAnswer> answers) {
    BoxWatcher watcher;
    watcher.Start(answers);
    ImportBitmapToGram(path.c_str(), res);
    EXPECT_TRUE(watcher.Finish()) << watcher.Report();
    for (const WatchedBox& box : watcher.boxes()) {
      EXPECT_EQ(box.caption, Utf8ToCp932(kCaption)) << watcher.Report();
    }
    return watcher.boxes();
  }

  // One error box with exactly this text (UTF-8 here, code page 932 in the box), GRAM kept.
  void ExpectRefused(const std::string& path, Resolution res, const std::string& text) {
    SCOPED_TRACE(Cp932ToUtf8(path));
    const Gram before = g_gram;
    const std::vector<WatchedBox> boxes = Import(path, res, {BoxAnswer::Ok});
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].kind(), BoxKind::Error);
    EXPECT_EQ(boxes[0].text, Utf8ToCp932(text)) << Cp932ToUtf8(boxes[0].text);
    EXPECT_TRUE(g_gram == before) << "GRAM changed by a refusal";
  }

  // The question (OK), then the completion box; GRAM holds the picture.
  void ExpectLoaded(const std::string& path, Resolution res, const Gram& picture) {
    SCOPED_TRACE(Cp932ToUtf8(path));
    const std::vector<WatchedBox> boxes = Import(path, res, {BoxAnswer::Ok, BoxAnswer::Ok});
    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_EQ(boxes[0].kind(), BoxKind::Question);
    EXPECT_EQ(boxes[0].text, Utf8ToCp932(ConfirmText(Cp932ToUtf8(path))));
    EXPECT_EQ(boxes[1].kind(), BoxKind::Information);
    EXPECT_EQ(boxes[1].text, Utf8ToCp932(kDone));
    EXPECT_TRUE(g_gram == picture) << "GRAM is not the file's picture";
  }

  std::string dir_;
};

TEST_F(ImportBoxesTest, EachCheckRefusesWithItsOwnText) {
  Gram picture;
  FillPicture(picture, 1, false);
  const std::vector<uint8_t> good = BitmapOf(picture, 320).Bytes();
  auto head = [&](size_t n) { return std::vector<uint8_t>(good.begin(), good.begin() + n); };

  ExpectRefused(dir_ + "\\missing.bmp", Res320, OpenFailedText(dir_ + "\\missing.bmp"));
  ExpectRefused(dir_, Res320, OpenFailedText(dir_));  // a folder does not open as a file
  ExpectRefused(Write("empty.bmp", {}), Res320, kNotBitmap);
  ExpectRefused(Write("13.bmp", head(13)), Res320, kNotBitmap);
  ExpectRefused(Write("53.bmp", head(53)), Res320, kNoInfoHeader);
  TestBitmap depth = BitmapOf(picture, 320);
  depth.bitCount = 8;
  ExpectRefused(Write("depth.bmp", depth.Bytes()), Res320, kNot16Colour);
  ExpectRefused(Write("320.bmp", good), Res640, CanvasText(640));
  TestBitmap topDown = BitmapOf(picture, 640);
  topDown.height = -200;
  ExpectRefused(Write("topdown.bmp", topDown.Bytes()), Res640, CanvasText(640));
  TestBitmap rle = BitmapOf(picture, 320);
  rle.compression = 2;
  ExpectRefused(Write("rle.bmp", rle.Bytes()), Res320, kCompressed);
  ExpectRefused(Write("117.bmp", head(117)), Res320, kNoPalette);
  ExpectRefused(Write("short.bmp", head(good.size() - 1)), Res320, kNoPixels);
}

TEST_F(ImportBoxesTest, FileFailingTwoChecksGetsTheFirstOnesText) {
  Gram picture;
  FillPicture(picture, 2, false);
  TestBitmap bmp = BitmapOf(picture, 320);
  bmp.bitCount = 24;
  bmp.width = 127;
  ExpectRefused(Write("depth-canvas.bmp", bmp.Bytes()), Res320, kNot16Colour);
  bmp.bitCount = 4;
  bmp.compression = 1;
  ExpectRefused(Write("canvas-rle.bmp", bmp.Bytes()), Res320, CanvasText(320));
  bmp.width = 320;
  std::vector<uint8_t> cut = bmp.Bytes();
  cut.resize(80);
  ExpectRefused(Write("rle-palette.bmp", cut), Res320, kCompressed);
}

TEST_F(ImportBoxesTest, ExportedFilesComeBackInBothResolutions) {
  for (Resolution res : {Res320, Res640}) {
    SCOPED_TRACE(res == Res320 ? "320" : "640");
    FillPicture(g_gram, 11 + res, res == Res320);
    const Gram picture = g_gram;
    const std::string path = dir_ + (res == Res320 ? "\\exported320.bmp" : "\\exported640.bmp");
    {
      BoxWatcher watcher;
      watcher.Start({BoxAnswer::Ok, BoxAnswer::Ok});
      ExportGramToBitmap(path.c_str(), res);
      ASSERT_TRUE(watcher.Finish()) << watcher.Report();
    }
    FillPicture(g_gram, 99, false);
    ExpectLoaded(path, res, picture);
  }
}

TEST_F(ImportBoxesTest, CancelAfterAFullReadLeavesGramAlone) {
  Gram picture;
  FillPicture(picture, 3, false);
  const std::string path = Write("cancel.bmp", BitmapOf(picture, 640).Bytes());
  const Gram before = g_gram;
  const std::vector<WatchedBox> boxes = Import(path, Res640, {BoxAnswer::Cancel});
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].kind(), BoxKind::Question);
  EXPECT_EQ(boxes[0].text, Utf8ToCp932(ConfirmText(path)));
  EXPECT_TRUE(g_gram == before);
  // The file was closed before the question: nothing holds it now.
  HANDLE alone = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                             FILE_ATTRIBUTE_NORMAL, nullptr);
  EXPECT_NE(alone, INVALID_HANDLE_VALUE);
  if (alone != INVALID_HANDLE_VALUE) CloseHandle(alone);
}

TEST_F(ImportBoxesTest, FileHeldByAnotherHandleImportsOnlyWhenItSharesReading) {
  Gram picture;
  FillPicture(picture, 4, false);
  const std::string path = Write("held.bmp", BitmapOf(picture, 640).Bytes());

  // Another reader that lets others read: the import reads alongside it.
  HANDLE reader = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(reader, INVALID_HANDLE_VALUE);
  ExpectLoaded(path, Res640, picture);
  CloseHandle(reader);

  // A handle that shares nothing: the file does not open.
  FillPicture(g_gram, 6, false);
  HANDLE exclusive = CreateFileA(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                                 FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(exclusive, INVALID_HANDLE_VALUE);
  ExpectRefused(path, Res640, OpenFailedText(path));
  CloseHandle(exclusive);

  // A writer, even one that shares everything: the import does not read a file in the making.
  HANDLE writer = CreateFileA(path.c_str(), GENERIC_WRITE,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(writer, INVALID_HANDLE_VALUE);
  ExpectRefused(path, Res640, OpenFailedText(path));
  CloseHandle(writer);
}

// Closes a pipe's writing end after 10 s unless told sooner: an import that waits on the
// pipe then ends with a wrong box instead of hanging the test.
DWORD WINAPI CloseWriterLater(LPVOID param) {
  HANDLE* handles = static_cast<HANDLE*>(param);  // {writer, told}
  WaitForSingleObject(handles[1], 10000);
  CloseHandle(handles[0]);
  return 0;
}

TEST_F(ImportBoxesTest, PipesAndDevicesAreRefusedAsUnopenableWithoutWaiting) {
  const std::string pipe = "\\\\.\\pipe\\vantrel-silent-" + std::to_string(GetCurrentProcessId());
  HANDLE handles[2] = {CreateNamedPipeA(pipe.c_str(), PIPE_ACCESS_OUTBOUND, PIPE_TYPE_BYTE, 1, 4096,
                                        4096, 0, nullptr),
                       CreateEventA(nullptr, TRUE, FALSE, nullptr)};
  ASSERT_NE(handles[0], INVALID_HANDLE_VALUE);
  HANDLE closer = CreateThread(nullptr, 0, &CloseWriterLater, handles, 0, nullptr);
  ASSERT_NE(closer, nullptr);
  ExpectRefused(pipe, Res320, OpenFailedText(pipe));
  SetEvent(handles[1]);
  WaitForSingleObject(closer, INFINITE);
  CloseHandle(closer);
  CloseHandle(handles[1]);

  // Reserved device names in any folder, with or without an extension, and a Unix device
  // that only its handle tells apart (it would read as endless zeros).
  for (const std::string& path : {std::string("NUL"), std::string("con"), dir_ + "\\aux.bmp",
                                  dir_ + "\\COM1.bmp", std::string("Z:\\dev\\zero")}) {
    ExpectRefused(path, Res640, OpenFailedText(path));
  }
}

TEST_F(ImportBoxesTest, JapanesePathIsUsedAndShownAsGiven) {
  Gram picture;
  FillPicture(picture, 7, false);
  // "表" and "ソ" have a backslash as their second byte in code page 932.
  const std::string path = Write(Utf8ToCp932("取込み表示ソ.bmp"), BitmapOf(picture, 640).Bytes());
  ExpectLoaded(path, Res640, picture);
  const std::string missing = dir_ + "\\" + Utf8ToCp932("無い画像.bmp");
  ExpectRefused(missing, Res640, OpenFailedText(Cp932ToUtf8(missing)));
}

TEST_F(ImportBoxesTest, RowsComeFromTheOffsetTheFileGives) {
  Gram picture;
  FillPicture(picture, 8, true);
  // A V5 header (124 bytes) and a 2-entry palette: the rows sit after 118 and before it.
  TestBitmap v5 = BitmapOf(picture, 320);
  v5.infoSize = 124;
  ExpectLoaded(Write("v5.bmp", v5.Bytes()), Res320, picture);
  FillPicture(g_gram, 9, false);
  TestBitmap shortPalette = BitmapOf(picture, 320);
  shortPalette.paletteEntries = 2;
  ExpectLoaded(Write("pal2.bmp", shortPalette.Bytes()), Res320, picture);
  // An offset inside the headers means the fixed layout.
  FillPicture(g_gram, 10, false);
  ExpectLoaded(Write("zero.bmp", BitmapOf(picture, 320).OffBits(0).Bytes()), Res320, picture);
  // Offsets from which the rows cannot be read in full.
  ExpectRefused(Write("past.bmp", BitmapOf(picture, 320).OffBits(40000).Bytes()), Res320,
                kNoPixels);
  ExpectRefused(Write("far.bmp", BitmapOf(picture, 320).OffBits(0xFFFFFFF0u).Bytes()), Res320,
                kNoPixels);
}

TEST_F(ImportBoxesTest, TrailingBytesAndBit3) {
  Gram picture;
  FillPicture(picture, 12, false);
  TestBitmap bmp = BitmapOf(picture, 640);
  bmp.trailing = 333;
  for (uint8_t& byte : bmp.rows) byte |= 0x88;
  ExpectLoaded(Write("trailing.bmp", bmp.Bytes()), Res640, picture);
}

TEST_F(ImportBoxesTest, WithoutPlanesOnlyTheGramTextAppears) {
  Gram picture;
  FillPicture(picture, 13, false);
  const std::string path = Write("good.bmp", BitmapOf(picture, 320).Bytes());
  Lend(false);
  const std::vector<WatchedBox> boxes = Import(path, Res320, {BoxAnswer::Ok});
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].kind(), BoxKind::Error);
  EXPECT_EQ(boxes[0].text, Utf8ToCp932(kNoGram));
}

}  // namespace
