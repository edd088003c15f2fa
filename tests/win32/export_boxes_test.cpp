// GRAM export through the Win32 face, on real files with real message boxes: each box is
// found, read (caption, text bytes with the path filled in, icon and buttons) and answered.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "box_watcher.h"
#include "convert/conversions.h"
#include "expected_export.h"
#include "host/module_state.h"

namespace {

// Expected texts, written out here rather than taken from the plug-in's own table.
std::string Sjis(const char* utf8) { return Utf8ToCp932(utf8); }
const std::string kCaption = Sjis("HalcyonGRAM-BMP変換ツール");
std::string ExportQuestion(const std::string& path) {
  return Sjis("GRAMの内容を ") + path + Sjis(" へ展開します。\n実行しますか？");
}
std::string OverwriteQuestion(const std::string& path) {
  return path + Sjis(" は既に存在します。\n上書きしますか？");
}
const std::string kCreateFailed =
    Sjis("BMPファイルを作成できません。使用中、アクセス権などの確認をしてください。");
const std::string kDone = Sjis("BMPファイルへの書き込み完了");
const std::string kWriteFailed =
    Sjis("BMPファイルへの書き込みに失敗しました。ディスクの空き容量などを確認してください。");
const std::string kNoGram =
    Sjis("GRAMを取得できていません。エミュレータ本体の状態を確認してください。");

const BoxAnswer Ok = BoxAnswer::Ok;
const BoxAnswer Cancel = BoxAnswer::Cancel;

struct Expected {
  BoxKind kind;
  std::string text;
};

// Runs one export with the scripted answers (one per box, OK for error and information
// boxes) and checks every box it showed.
void ExportAndExpect(const std::string& path, Resolution res, std::vector<BoxAnswer> answers,
                     const std::vector<Expected>& expected) {
  BoxWatcher boxes;
  boxes.Start(std::move(answers), 60000);
  ExportGramToBitmap(path.c_str(), res);
  ASSERT_TRUE(boxes.Finish()) << boxes.Report();
  const std::vector<WatchedBox>& seen = boxes.boxes();
  ASSERT_EQ(seen.size(), expected.size()) << boxes.Report();
  for (size_t i = 0; i < seen.size(); ++i) {
    SCOPED_TRACE("box " + std::to_string(i + 1) + "\n" + boxes.Report());
    EXPECT_EQ(seen[i].caption, kCaption);
    EXPECT_EQ(seen[i].text, expected[i].text);
    EXPECT_EQ(seen[i].kind(), expected[i].kind);
  }
}

std::string ReadAll(const std::string& path) {
  std::string bytes;
  HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return "<cannot open>";
  char chunk[8192];
  DWORD got = 0;
  while (ReadFile(file, chunk, sizeof chunk, &got, nullptr) && got > 0) bytes.append(chunk, got);
  CloseHandle(file);
  return bytes;
}

void WriteAll(const std::string& path, const std::string& bytes) {
  HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE) << path;
  DWORD written = 0;
  WriteFile(file, bytes.data(), DWORD(bytes.size()), &written, nullptr);
  CloseHandle(file);
  ASSERT_EQ(written, bytes.size());
}

bool Exists(const std::string& path) {
  return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// Names in a folder that look like the export's temporary files ("~vt…").
std::string Temporaries(const std::string& dir) {
  std::string names;
  WIN32_FIND_DATAA found;
  HANDLE search = FindFirstFileA((dir + "\\~vt*").c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return names;
  do names += std::string(found.cFileName) + " ";
  while (FindNextFileA(search, &found));
  FindClose(search);
  return names;
}

// Set to a path, the next box that comes up on this thread takes that name first.
std::string g_nameToTake;
LRESULT CALLBACK TakeTheNameAsTheBoxComesUp(int code, WPARAM wParam, LPARAM lParam) {
  if (code == HCBT_ACTIVATE && !g_nameToTake.empty()) {
    WriteAll(g_nameToTake, "someone else's");
    g_nameToTake.clear();
  }
  return CallNextHookEx(nullptr, code, wParam, lParam);
}

uint8_t g_planes[3][kGramPlaneBytes];

class ExportBoxes : public ::testing::Test {
 protected:
  void SetUp() override {
    char temp[MAX_PATH];
    ASSERT_GT(GetTempPathA(MAX_PATH, temp), 0u);
    dir_ = std::string(temp) + "vantrel-export-" + std::to_string(GetCurrentProcessId()) + "-" +
           ::testing::UnitTest::GetInstance()->current_test_info()->name();
    ASSERT_TRUE(CreateDirectoryA(dir_.c_str(), nullptr)) << dir_;
    uint32_t seed = 0x9E3779B9u;
    for (auto& plane : g_planes) {
      for (uint8_t& b : plane) {
        seed ^= seed << 13;
        seed ^= seed >> 17;
        seed ^= seed << 5;
        b = uint8_t(seed);
      }
    }
    Module::GramPlanes = {{g_planes[0], g_planes[1], g_planes[2]}};
  }
  void TearDown() override {
    // Whatever happened, no temporary file is left beside the target.
    EXPECT_EQ(Temporaries(dir_), "");
    Module::GramPlanes = {};
    RemoveTree(dir_);
  }
  static void RemoveTree(const std::string& dir) {
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((dir + "\\*").c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
      do {
        const std::string name = found.cFileName;
        if (name == "." || name == "..") continue;
        const std::string path = dir + "\\" + name;
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
          RemoveTree(path);
        } else {
          DeleteFileA(path.c_str());
        }
      } while (FindNextFileA(search, &found));
      FindClose(search);
    }
    RemoveDirectoryA(dir.c_str());
  }
  std::string Path(const std::string& name) const { return dir_ + "\\" + name; }

  std::string dir_;
};

TEST_F(ExportBoxes, NewFileInBothResolutions) {
  for (Resolution res : {Res320, Res640}) {
    SCOPED_TRACE(res == Res320 ? "320" : "640");
    const std::string path = Path(res == Res320 ? "new320.bmp" : "new640.bmp");
    ExportAndExpect(path, res, {Ok, Ok},
                    {{BoxKind::Question, ExportQuestion(path)}, {BoxKind::Information, kDone}});
    const std::string bytes = ReadAll(path);
    EXPECT_EQ(bytes.size(), res == Res320 ? 32118u : 64118u);
    EXPECT_TRUE(bytes == ExpectedFile(res)) << "file differs from headers + palette + pixels";
  }
}

TEST_F(ExportBoxes, ExistingFileConfirmedTwiceIsReplaced) {
  const std::string path = Path("old.bmp");
  WriteAll(path, std::string(70000, 'x'));
  ExportAndExpect(path, Res640, {Ok, Ok, Ok},
                  {{BoxKind::Question, ExportQuestion(path)},
                   {BoxKind::Question, OverwriteQuestion(path)},
                   {BoxKind::Information, kDone}});
  EXPECT_TRUE(ReadAll(path) == ExpectedFile(Res640));
}

TEST_F(ExportBoxes, CancelAtEitherQuestionTouchesNothing) {
  const std::string absent = Path("absent.bmp");
  ExportAndExpect(absent, Res320, {Cancel}, {{BoxKind::Question, ExportQuestion(absent)}});
  EXPECT_FALSE(Exists(absent));

  const std::string existing = Path("mine.bmp");
  WriteAll(existing, "keep me");
  ExportAndExpect(existing, Res320, {Cancel}, {{BoxKind::Question, ExportQuestion(existing)}});
  EXPECT_EQ(ReadAll(existing), "keep me");
  ExportAndExpect(existing, Res640, {Ok, Cancel},
                  {{BoxKind::Question, ExportQuestion(existing)},
                   {BoxKind::Question, OverwriteQuestion(existing)}});
  EXPECT_EQ(ReadAll(existing), "keep me");
}

TEST_F(ExportBoxes, DirectoryAsTargetAsksToOverwriteThenCannotCreate) {
  const std::string path = Path("folder.bmp");
  ASSERT_TRUE(CreateDirectoryA(path.c_str(), nullptr));
  ExportAndExpect(path, Res320, {Ok, Ok, Ok},
                  {{BoxKind::Question, ExportQuestion(path)},
                   {BoxKind::Question, OverwriteQuestion(path)},
                   {BoxKind::Error, kCreateFailed}});
  const DWORD attributes = GetFileAttributesA(path.c_str());
  ASSERT_NE(attributes, INVALID_FILE_ATTRIBUTES);
  EXPECT_TRUE(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

TEST_F(ExportBoxes, FileHeldOpenWithoutSharingCannotBeReplaced) {
  const std::string path = Path("busy.bmp");
  WriteAll(path, "in use");
  HANDLE held = CreateFileA(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(held, INVALID_HANDLE_VALUE);
  ExportAndExpect(path, Res320, {Ok, Ok, Ok},
                  {{BoxKind::Question, ExportQuestion(path)},
                   {BoxKind::Question, OverwriteQuestion(path)},
                   {BoxKind::Error, kCreateFailed}});
  CloseHandle(held);
  EXPECT_EQ(ReadAll(path), "in use");
}

TEST_F(ExportBoxes, FileInUseOrReadOnlyIsKeptByteForByte) {
  // Held by a viewer that lets others delete it: deleting it first would only mark it, and
  // it would vanish once the viewer closes it.
  const std::string viewed = Path("viewed.bmp");
  WriteAll(viewed, "viewed");
  HANDLE held = CreateFileA(viewed.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE,
                            nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(held, INVALID_HANDLE_VALUE);
  ExportAndExpect(viewed, Res320, {Ok, Ok, Ok},
                  {{BoxKind::Question, ExportQuestion(viewed)},
                   {BoxKind::Question, OverwriteQuestion(viewed)},
                   {BoxKind::Error, kCreateFailed}});
  CloseHandle(held);
  EXPECT_EQ(ReadAll(viewed), "viewed");

  const std::string readOnly = Path("readonly.bmp");
  WriteAll(readOnly, "read-only");
  ASSERT_TRUE(SetFileAttributesA(readOnly.c_str(), FILE_ATTRIBUTE_READONLY));
  ExportAndExpect(readOnly, Res640, {Ok, Ok, Ok},
                  {{BoxKind::Question, ExportQuestion(readOnly)},
                   {BoxKind::Question, OverwriteQuestion(readOnly)},
                   {BoxKind::Error, kCreateFailed}});
  EXPECT_EQ(ReadAll(readOnly), "read-only");
  SetFileAttributesA(readOnly.c_str(), FILE_ATTRIBUTE_NORMAL);
}

TEST_F(ExportBoxes, NameTakenWhileTheQuestionIsUpIsNotReplaced) {
  // Taken before anyone could answer: nobody agreed to replace it.
  const std::string path = Path("taken.bmp");
  g_nameToTake = path;
  HHOOK hook =
      SetWindowsHookExA(WH_CBT, &TakeTheNameAsTheBoxComesUp, nullptr, GetCurrentThreadId());
  ExportAndExpect(path, Res320, {Ok, Ok},
                  {{BoxKind::Question, ExportQuestion(path)}, {BoxKind::Error, kCreateFailed}});
  UnhookWindowsHookEx(hook);
  EXPECT_EQ(ReadAll(path), "someone else's");
}

TEST_F(ExportBoxes, DevicesAreRefusedAfterTheQuestions) {
  // Reserved names are devices in every folder and with any extension; aux.bmp used to hang.
  for (const std::string& path : {std::string("NUL"), Path("nul.bmp"), Path("Aux.bmp"),
                                  Path("com1.bmp"), std::string("\\\\.\\pipe\\vantrel-none")}) {
    SCOPED_TRACE(path);
    ExportAndExpect(path, Res320, {Ok, Ok, Ok},
                    {{BoxKind::Question, ExportQuestion(path)},
                     {BoxKind::Question, OverwriteQuestion(path)},
                     {BoxKind::Error, kCreateFailed}});
  }
}

// A disk that fills up while a 640-dot export replaces a 320-dot one: a 48 KiB tmpfs that the
// test's fixture mounts (VANTREL_SMALL_DISK, the Unix path; Wine shows / as Z:).
TEST_F(ExportBoxes, FullDiskDuringAnOverwriteKeepsTheOldFile) {
  const char* unixDir = getenv("VANTREL_SMALL_DISK");
  std::string dir = unixDir != nullptr ? std::string("Z:") + unixDir : "";
  for (char& c : dir) c = c == '/' ? '\\' : c;
  if (dir.empty() || !Exists(dir + "\\mounted")) {
    GTEST_SKIP() << "no small disk mounted by the fixture (mounting needs root, as in CI)";
  }
  const std::string path = dir + "\\pic.bmp";
  DeleteFileA(path.c_str());
  ExportAndExpect(path, Res320, {Ok, Ok},
                  {{BoxKind::Question, ExportQuestion(path)}, {BoxKind::Information, kDone}});
  ExportAndExpect(path, Res640, {Ok, Ok, Ok},
                  {{BoxKind::Question, ExportQuestion(path)},
                   {BoxKind::Question, OverwriteQuestion(path)},
                   {BoxKind::Error, kWriteFailed}});
  EXPECT_TRUE(ReadAll(path) == ExpectedFile(Res320)) << "the old file was lost";
  EXPECT_EQ(Temporaries(dir), "");
  DeleteFileA(path.c_str());
}

TEST_F(ExportBoxes, JapanesePathIsUsedAsCodePage932Bytes) {
  ASSERT_EQ(GetACP(), 932u) << "the runner must give the Japanese ANSI code page";
  // 表 and ソ end in a 0x5C byte, the same as a backslash.
  const std::string folder = Path(Sjis("画像表"));
  ASSERT_TRUE(CreateDirectoryA(folder.c_str(), nullptr));
  const std::string path = folder + "\\" + Sjis("出力ソ.bmp");
  ExportAndExpect(path, Res320, {Ok, Ok},
                  {{BoxKind::Question, ExportQuestion(path)}, {BoxKind::Information, kDone}});
  // The file has the Japanese name, seen through the wide API too.
  wchar_t wide[MAX_PATH];
  ASSERT_GT(MultiByteToWideChar(932, 0, path.c_str(), -1, wide, MAX_PATH), 0);
  WIN32_FILE_ATTRIBUTE_DATA data;
  ASSERT_TRUE(GetFileAttributesExW(wide, GetFileExInfoStandard, &data));
  EXPECT_EQ(data.nFileSizeLow, 32118u);
  EXPECT_TRUE(ReadAll(path) == ExpectedFile(Res320));
}

TEST_F(ExportBoxes, NoPlanesLentShowsOnlyTheError) {
  const std::string existing = Path("there.bmp");
  WriteAll(existing, "untouched");
  const std::string absent = Path("absent.bmp");
  Module::GramPlanes = {};
  ExportAndExpect(existing, Res320, {Ok}, {{BoxKind::Error, kNoGram}});
  Module::GramPlanes = {{g_planes[0], nullptr, g_planes[2]}};
  ExportAndExpect(absent, Res640, {Ok}, {{BoxKind::Error, kNoGram}});
  EXPECT_EQ(ReadAll(existing), "untouched");
  EXPECT_FALSE(Exists(absent));
}

}  // namespace
