// The converter dialog and the About box, live in the window system.
//
// This program is the host: it loads the plug-in library of its own build, lends it three
// GRAM planes through InitializeBoardEx and its QueryPlanes service, and calls
// InfomationDialog on its main thread. A second thread is the user (DialogUser): it finds
// the windows of the main thread and works them by control id.
//
//   dialog_live_tests --dll=PATH --work=DIR [--shots=DIR] [--gtest_filter=LiveDialog.NAME]
//
// Each test loads the library afresh, so it starts from the state right after loading.
// Exit code 75 means the open-file chooser never appeared (a known hang of the window
// system under emulation): the caller runs the program once more.
#include <stdint.h>
#include <stdio.h>
#include <string.h>
#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include "box_watcher.h"
#include "dialog_host.h"
#include "dialog_png.h"
#include "dialog_user.h"
#include "gtest/gtest.h"

namespace {

LiveTestOptions options;

const int kChooserMissingExit = 75;

// --- the host side ---------------------------------------------------------------------

enum : size_t { kPlaneBytes = 16000 };
uint8_t gram[3][kPlaneBytes];
uint32_t cookieSeen;
int planeQueries;

uint32_t WINAPI QueryPlanes(uint32_t cookie, uint8_t** plane0, uint8_t** plane1, uint8_t** plane2) {
  cookieSeen = cookie;
  ++planeQueries;
  *plane0 = gram[0];
  *plane1 = gram[1];
  *plane2 = gram[2];
  return 1;
}

// Only the fifth entry is the plug-in's business; the others must never be called.
uintptr_t hostServices[8] = {0, 0, 0, 0, uintptr_t(&QueryPlanes), 0, 0, 0};

typedef uint32_t(WINAPI* BoardInfomationServiceEntry)(void** record, uint32_t cookie);
typedef uint32_t(WINAPI* InitializeBoardExEntry)(const uintptr_t* services);
typedef INT_PTR(WINAPI* InfomationDialogEntry)(HWND parent);

// Fills the planes with a fixed pseudo-random picture, every bit pattern present.
void FillGram(uint32_t seed) {
  for (auto& plane : gram) {
    for (uint8_t& byte : plane) {
      seed = seed * 1103515245u + 12345u;
      byte = uint8_t(seed >> 16);
    }
  }
}

// --- files -----------------------------------------------------------------------------

std::string ReadFileBytes(const std::string& cp932Path, bool* exists) {
  std::string data;
  HANDLE file = CreateFileA(cp932Path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  *exists = file != INVALID_HANDLE_VALUE;
  if (!*exists) return data;
  char buffer[65536];
  DWORD got = 0;
  while (ReadFile(file, buffer, sizeof buffer, &got, nullptr) && got > 0) data.append(buffer, got);
  CloseHandle(file);
  return data;
}

bool FileExists(const std::string& cp932Path) {
  return GetFileAttributesA(cp932Path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

void WriteFileBytes(const std::string& cp932Path, const std::string& data) {
  HANDLE file = CreateFileA(cp932Path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE) << cp932Path;
  DWORD written = 0;
  WriteFile(file, data.data(), DWORD(data.size()), &written, nullptr);
  CloseHandle(file);
  ASSERT_EQ(written, data.size());
}

uint32_t Le32(const std::string& data, size_t at) {
  return uint32_t(uint8_t(data[at])) | uint32_t(uint8_t(data[at + 1])) << 8 |
         uint32_t(uint8_t(data[at + 2])) << 16 | uint32_t(uint8_t(data[at + 3])) << 24;
}

void PutLe(std::string& data, size_t at, uint32_t value, int bytes) {
  for (int i = 0; i < bytes; ++i) data[at + i] = char(value >> (8 * i));
}

// The colour of one picture position of the planes: plane 0 blue bit, 1 red, 2 green.
int GramColour(int line, int column, int bit) {
  const size_t at = size_t(line) * 80 + column;
  return ((gram[0][at] >> bit) & 1) | ((gram[1][at] >> bit) & 1) << 1 |
         ((gram[2][at] >> bit) & 1) << 2;
}

// The nibble a bitmap holds for pixel x of GRAM line y (rows stored bottom-up).
int BitmapNibble(const std::string& file, int width, int line, int x) {
  const size_t row = size_t(199 - line) * (width / 2);
  const uint8_t byte = uint8_t(file[118 + row + x / 2]);
  return x % 2 == 0 ? byte >> 4 : byte & 15;
}

// Checks an exported file against the lent planes, pixel by pixel. At 640 pixels each bit
// is one pixel; at 320 each pixel is sampled from bit 0, 3, 4 or 7 of its GRAM byte.
void ExpectFileShowsGram(const std::string& file, int width) {
  ASSERT_EQ(file.size(), 118u + width * 100u);
  EXPECT_EQ(file.substr(0, 2), "BM");
  EXPECT_EQ(Le32(file, 2), 118u + width * 100u);
  EXPECT_EQ(Le32(file, 10), 118u);
  EXPECT_EQ(Le32(file, 18), uint32_t(width));
  EXPECT_EQ(Le32(file, 22), 200u);
  EXPECT_EQ(uint8_t(file[28]), 4);
  static const int sampled[4] = {0, 3, 4, 7};
  int wrong = 0;
  for (int line = 0; line < 200; ++line) {
    for (int x = 0; x < width; ++x) {
      const int column = width == 640 ? x / 8 : x / 4;
      const int bit = width == 640 ? x % 8 : sampled[x % 4];
      if (BitmapNibble(file, width, line, x) != GramColour(line, column, bit) && ++wrong <= 3) {
        ADD_FAILURE() << "pixel " << x << " of line " << line << " differs";
      }
    }
  }
  EXPECT_EQ(wrong, 0);
}

// A 16-colour bitmap of the given width whose nibbles run through all 16 values.
std::string MakeBitmap(int width, uint32_t seed) {
  std::string file(118 + width * 100, '\0');
  file[0] = 'B';
  file[1] = 'M';
  PutLe(file, 2, uint32_t(file.size()), 4);
  PutLe(file, 10, 118, 4);
  PutLe(file, 14, 40, 4);
  PutLe(file, 18, uint32_t(width), 4);
  PutLe(file, 22, 200, 4);
  PutLe(file, 26, 1, 2);
  PutLe(file, 28, 4, 2);
  PutLe(file, 34, uint32_t(width * 100), 4);
  for (size_t i = 118; i < file.size(); ++i) {
    seed = seed * 1103515245u + 12345u;
    file[i] = char(seed >> 16);
  }
  return file;
}

// Checks the planes against an imported file: bit 3 of a nibble is ignored; at 320 pixels
// each pixel fills both bits of its pair.
void ExpectGramShowsFile(const std::string& file, int width) {
  int wrong = 0;
  for (int line = 0; line < 200; ++line) {
    for (int x = 0; x < width; ++x) {
      const int nibble = BitmapNibble(file, width, line, x) & 7;
      const int column = width == 640 ? x / 8 : x / 4;
      const int firstBit = width == 640 ? x % 8 : 2 * (x % 4);
      for (int bit = firstBit; bit < firstBit + (width == 640 ? 1 : 2); ++bit) {
        if (GramColour(line, column, bit) != nibble && ++wrong <= 3) {
          ADD_FAILURE() << "GRAM line " << line << " pixel " << x << " differs";
        }
      }
    }
  }
  EXPECT_EQ(wrong, 0);
}

// --- the fixture -----------------------------------------------------------------------

class LiveDialog : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(options.dll.empty()) << "--dll=PATH is required";
    library_ = LoadLibraryA(options.dll.c_str());
    ASSERT_NE(library_, nullptr) << "cannot load " << options.dll;
    auto boardInformation = Entry<BoardInfomationServiceEntry>("BoardInfomationService");
    auto initialize = Entry<InitializeBoardExEntry>("InitializeBoardEx");
    dialog_ = Entry<InfomationDialogEntry>("InfomationDialog");
    ASSERT_TRUE(boardInformation != nullptr && initialize != nullptr && dialog_ != nullptr);

    void* record = nullptr;
    planeQueries = 0;
    EXPECT_EQ(boardInformation(&record, 0x5EED), 1u);
    EXPECT_EQ(initialize(hostServices), 1u);
    EXPECT_EQ(planeQueries, 1);
    EXPECT_EQ(cookieSeen, 0x5EEDu);
    FillGram(7);

    host_ = CreateHostWindow();
    ASSERT_NE(host_, nullptr);

    folder_ = options.work + ::testing::UnitTest::GetInstance()->current_test_info()->name();
    CreateDirectoryA(folder_.c_str(), nullptr);
    folder_ += "\\";
  }

  void TearDown() override {
    if (host_ != nullptr) DestroyWindow(host_);
    if (library_ != nullptr) FreeLibrary(library_);
  }

  template <typename T>
  T Entry(const char* name) {
    return reinterpret_cast<T>(reinterpret_cast<void*>(GetProcAddress(library_, name)));
  }

  // A path in this test's scratch folder; the name is UTF-8, the path code page 932.
  std::string PathOf(const char* name) { return folder_ + Cp932(Wide(name)); }
  std::wstring WidePathOf(const char* name) { return FromCp932(PathOf(name)); }
  void Remove(const char* name) { DeleteFileA(PathOf(name).c_str()); }

  // Runs the converter dialog once, with script as the user; returns its end code.
  INT_PTR RunDialog(const std::function<void(DialogUser&)>& script) {
    return RunWithUser(
        host_, [&] { return dialog_(host_); }, script);
  }

  HWND MainDialog(DialogUser& user) { return WaitMainDialog(user); }

  std::vector<WatchedBox> Execute(DialogUser& user, HWND dialog, std::vector<BoxAnswer> answers) {
    return ExecuteAndAnswer(user, dialog, answers);
  }

  void Shot(HWND window, const char* name) {
    if (options.shots.empty()) return;
    const std::string path = options.shots + name + ".png";
    EXPECT_TRUE(CapturePaintedWindowPng(window, path)) << "cannot capture " << path;
  }

  HMODULE library_ = nullptr;
  InfomationDialogEntry dialog_ = nullptr;
  HWND host_ = nullptr;
  std::string folder_;
};

// --- opening, settings, path sources ------------------------------------------------

TEST_F(LiveDialog, FirstOpeningShowsDefaultsAndEscapeClosesWithZero) {
  const INT_PTR result = RunDialog([&](DialogUser& user) {
    HWND dialog = MainDialog(user);
    if (dialog == nullptr) return;
    EXPECT_TRUE(user.Checked(dialog, kIdGramToBitmap));
    EXPECT_FALSE(user.Checked(dialog, kIdBitmapToGram));
    EXPECT_TRUE(user.Checked(dialog, kIdRes320));
    EXPECT_FALSE(user.Checked(dialog, kIdRes640));
    EXPECT_EQ(user.Text(dialog, kIdPath), L"");
    EXPECT_TRUE(GetWindowLongW(dialog, GWL_EXSTYLE) & WS_EX_ACCEPTFILES)
        << "the dialog takes dropped files";
    EXPECT_EQ(GetWindow(dialog, GW_OWNER), host_) << "modal over the host's window";
    EXPECT_FALSE(IsWindowEnabled(host_)) << "the host's window is disabled meanwhile";
    user.Key(dialog, VK_ESCAPE);
    EXPECT_TRUE(user.WaitGone(kMainTitle));
  });
  EXPECT_EQ(result, 0);
  EXPECT_TRUE(IsWindowEnabled(host_));
}

TEST_F(LiveDialog, SettingsComeBackFromTheLastExecuteOnly) {
  Remove("missing.bmp");
  const std::wstring missing = WidePathOf("missing.bmp");
  // Changing the choices and leaving without execute stores nothing.
  EXPECT_EQ(RunDialog([&](DialogUser& user) {
              HWND dialog = MainDialog(user);
              if (dialog == nullptr) return;
              user.Click(dialog, kIdBitmapToGram);
              user.Click(dialog, kIdRes640);
              ASSERT_TRUE(user.Flush());
              EXPECT_TRUE(user.Checked(dialog, kIdBitmapToGram));
              EXPECT_FALSE(user.Checked(dialog, kIdGramToBitmap)) << "one group, one choice";
              EXPECT_TRUE(user.Checked(dialog, kIdRes640));
              EXPECT_FALSE(user.Checked(dialog, kIdRes320));
              user.Click(dialog, kIdExit);
            }),
            0);
  // Execute stores them, even when the conversion then fails.
  RunDialog([&](DialogUser& user) {
    HWND dialog = MainDialog(user);
    if (dialog == nullptr) return;
    EXPECT_TRUE(user.Checked(dialog, kIdGramToBitmap));
    EXPECT_TRUE(user.Checked(dialog, kIdRes320));
    user.Click(dialog, kIdBitmapToGram);
    user.Click(dialog, kIdRes640);
    user.Type(dialog, kIdPath, missing);
    std::vector<WatchedBox> seen = Execute(user, dialog, {BoxAnswer::Ok});
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_BOX(
        seen[0], BoxKind::Error,
        Quote("%s をオープンできません。使用中、アクセス権などの確認をしてください。", missing));
    user.Key(dialog, VK_ESCAPE);
  });
  // They come back; the field does not. An empty execute changes nothing.
  RunDialog([&](DialogUser& user) {
    HWND dialog = MainDialog(user);
    if (dialog == nullptr) return;
    EXPECT_TRUE(user.Checked(dialog, kIdBitmapToGram));
    EXPECT_FALSE(user.Checked(dialog, kIdGramToBitmap));
    EXPECT_TRUE(user.Checked(dialog, kIdRes640));
    EXPECT_FALSE(user.Checked(dialog, kIdRes320));
    EXPECT_EQ(user.Text(dialog, kIdPath), L"");
    user.Click(dialog, kIdGramToBitmap);
    user.Click(dialog, kIdRes320);
    std::vector<WatchedBox> seen = Execute(user, dialog, {BoxAnswer::Ok});
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_BOX(seen[0], BoxKind::Error, L"BMPファイルを指定してください。");
    user.Click(dialog, kIdExit);
  });
  RunDialog([&](DialogUser& user) {
    HWND dialog = MainDialog(user);
    if (dialog == nullptr) return;
    EXPECT_TRUE(user.Checked(dialog, kIdBitmapToGram)) << "the empty execute stored nothing";
    EXPECT_TRUE(user.Checked(dialog, kIdRes640));
    user.Click(dialog, kIdExit);
  });
}

TEST_F(LiveDialog, DroppedFilesOnlyTheFirstIsKept) {
  const std::string first = PathOf("第一.bmp");
  WriteFileBytes(first, MakeBitmap(320, 11));
  const std::string second = PathOf("second.bmp");
  const std::string third = PathOf("third.bmp");
  RunDialog([&](DialogUser& user) {
    HWND dialog = MainDialog(user);
    if (dialog == nullptr) return;
    user.Drop(dialog, {first, second, third});
    ASSERT_TRUE(user.Flush());
    EXPECT_EQ(user.CountBoxes(), 0) << "dropping never starts a conversion";
    EXPECT_EQ(user.TextBytes(dialog, kIdPath), first);
    // The dropped name is the one the next conversion uses.
    user.Click(dialog, kIdBitmapToGram);
    std::vector<WatchedBox> seen = Execute(user, dialog, {BoxAnswer::Cancel});
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_BOX(seen[0], BoxKind::Question,
               Quote("%s の内容をGRAMへ展開します。\n実行しますか？", FromCp932(first)));
    user.Click(dialog, kIdExit);
  });
}

TEST_F(LiveDialog, NameWithoutExtensionIsUsedAsTyped) {
  Remove("plain");
  Remove("plain.bmp");
  RunDialog([&](DialogUser& user) {
    HWND dialog = MainDialog(user);
    if (dialog == nullptr) return;
    user.Type(dialog, kIdPath, WidePathOf("plain"));
    std::vector<WatchedBox> seen = Execute(user, dialog, {BoxAnswer::Ok, BoxAnswer::Ok});
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_BOX(seen[0], BoxKind::Question,
               Quote("GRAMの内容を %s へ展開します。\n実行しますか？", WidePathOf("plain")));
    EXPECT_BOX(seen[1], BoxKind::Information, L"BMPファイルへの書き込み完了");
    user.Click(dialog, kIdExit);
  });
  bool exists = false;
  const std::string written = ReadFileBytes(PathOf("plain"), &exists);
  ASSERT_TRUE(exists) << "the file carries the name as typed";
  EXPECT_FALSE(FileExists(PathOf("plain.bmp")));
  ExpectFileShowsGram(written, 320);
}

// --- the open-file chooser -------------------------------------------------------------

// Opens the chooser with the browse button; ends the process for a retry if it never comes.
HWND OpenChooser(DialogUser& user, HWND dialog) {
  user.Click(dialog, kIdBrowse);
  HWND chooser = user.WaitWindow(kChooserTitle, kStepMs);
  if (chooser == nullptr) {
    fprintf(stderr, "the open-file chooser did not appear; run again\n");
    fflush(stderr);
    TerminateProcess(GetCurrentProcess(), kChooserMissingExit);
  }
  Sleep(300);  // let it finish filling its list before it is driven
  return chooser;
}

HWND ChooserNameField(HWND chooser) { return DialogUser::ChooserNameField(chooser); }

void ChooseInChooser(DialogUser& user, HWND chooser, const std::wstring& path) {
  ASSERT_NE(ChooserNameField(chooser), nullptr) << "the chooser has no file name field";
  EXPECT_TRUE(user.Choose(chooser, kChooserTitle, path))
      << "the chooser did not close on its OK button";
}

TEST_F(LiveDialog, BrowseFillsTheFieldAndCancelChangesNothing) {
  const std::wstring chosen = WidePathOf("選んだ.bmp");
  RunDialog([&](DialogUser& user) {
    HWND dialog = MainDialog(user);
    if (dialog == nullptr) return;
    user.Type(dialog, kIdPath, L"typed before");
    HWND chooser = OpenChooser(user, dialog);
    EXPECT_EQ(GetWindow(chooser, GW_OWNER), dialog) << "the chooser belongs to the dialog";
    EXPECT_EQ(user.Text(chooser, GetDlgCtrlID(ChooserNameField(chooser))), L"")
        << "the chooser starts with an empty name";
    EXPECT_EQ(user.Text(chooser, 0x470), L"BMPファイル (*.bmp)") << "the file type list";
    PostMessageW(chooser, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
    EXPECT_TRUE(user.WaitGone(kChooserTitle));
    ASSERT_TRUE(user.Flush());
    EXPECT_EQ(user.Text(dialog, kIdPath), L"typed before") << "Cancel changes nothing";

    chooser = OpenChooser(user, dialog);
    ChooseInChooser(user, chooser, chosen);
    ASSERT_TRUE(user.Flush());
    EXPECT_EQ(user.Text(dialog, kIdPath), chosen);
    EXPECT_EQ(user.CountBoxes(), 0) << "choosing never starts a conversion";

    // The chosen name is the next conversion's path; a new file may be named.
    user.Click(dialog, kIdBitmapToGram);
    std::vector<WatchedBox> seen = Execute(user, dialog, {BoxAnswer::Ok});
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_BOX(
        seen[0], BoxKind::Error,
        Quote("%s をオープンできません。使用中、アクセス権などの確認をしてください。", chosen));
    user.Click(dialog, kIdExit);
  });
}

TEST_F(LiveDialog, TypedPathWinsOverBrowse) {
  Remove("browsed.bmp");
  Remove("typed.bmp");
  RunDialog([&](DialogUser& user) {
    HWND dialog = MainDialog(user);
    if (dialog == nullptr) return;
    HWND chooser = OpenChooser(user, dialog);
    ChooseInChooser(user, chooser, WidePathOf("browsed.bmp"));
    ASSERT_TRUE(user.Flush());
    EXPECT_EQ(user.Text(dialog, kIdPath), WidePathOf("browsed.bmp"));
    user.Type(dialog, kIdPath, WidePathOf("typed.bmp"));
    user.Click(dialog, kIdRes640);
    std::vector<WatchedBox> seen = Execute(user, dialog, {BoxAnswer::Ok, BoxAnswer::Ok});
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_BOX(seen[0], BoxKind::Question,
               Quote("GRAMの内容を %s へ展開します。\n実行しますか？", WidePathOf("typed.bmp")));
    user.Click(dialog, kIdExit);
  });
  EXPECT_FALSE(FileExists(PathOf("browsed.bmp")));
  bool exists = false;
  const std::string written = ReadFileBytes(PathOf("typed.bmp"), &exists);
  ASSERT_TRUE(exists);
  ExpectFileShowsGram(written, 640);
}

// --- whole conversions -----------------------------------------------------------------

TEST_F(LiveDialog, ExportWritesTheLentPlanes) {
  // A Japanese name checks that the path goes through as code page 932 bytes.
  Remove("書き出し.bmp");
  const std::string path = PathOf("書き出し.bmp");
  const std::wstring shown = FromCp932(path);
  FillGram(2024);
  RunDialog([&](DialogUser& user) {
    HWND dialog = MainDialog(user);
    if (dialog == nullptr) return;
    user.Click(dialog, kIdRes640);
    user.Type(dialog, kIdPath, shown);
    std::vector<WatchedBox> seen = Execute(user, dialog, {BoxAnswer::Ok, BoxAnswer::Ok});
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_BOX(seen[0], BoxKind::Question,
               Quote("GRAMの内容を %s へ展開します。\n実行しますか？", shown));
    EXPECT_BOX(seen[1], BoxKind::Information, L"BMPファイルへの書き込み完了");
    bool exists = false;
    ExpectFileShowsGram(ReadFileBytes(path, &exists), 640);

    // Again at 320 over the same file: proceed, overwrite, done; the dialog stays open.
    FillGram(99);
    user.Click(dialog, kIdRes320);
    seen = Execute(user, dialog, {BoxAnswer::Ok, BoxAnswer::Ok, BoxAnswer::Ok});
    ASSERT_EQ(seen.size(), 3u);
    EXPECT_BOX(seen[1], BoxKind::Question, Quote("%s は既に存在します。\n上書きしますか？", shown));
    EXPECT_BOX(seen[2], BoxKind::Information, L"BMPファイルへの書き込み完了");
    const std::string replaced = ReadFileBytes(path, &exists);
    ExpectFileShowsGram(replaced, 320);

    // Cancel at the first question leaves the file as it was.
    FillGram(5);
    seen = Execute(user, dialog, {BoxAnswer::Cancel});
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].kind(), BoxKind::Question);
    EXPECT_EQ(ReadFileBytes(path, &exists), replaced);
    user.Click(dialog, kIdExit);
  });
}

TEST_F(LiveDialog, ImportOverwritesTheLentPlanes) {
  const std::string wide = MakeBitmap(640, 31);
  const std::string narrow = MakeBitmap(320, 32);
  WriteFileBytes(PathOf("wide.bmp"), wide);
  WriteFileBytes(PathOf("narrow.bmp"), narrow);
  FillGram(1);
  uint8_t before[3][kPlaneBytes];
  memcpy(before, gram, sizeof gram);
  RunDialog([&](DialogUser& user) {
    HWND dialog = MainDialog(user);
    if (dialog == nullptr) return;
    user.Click(dialog, kIdBitmapToGram);
    user.Click(dialog, kIdRes640);
    user.Type(dialog, kIdPath, WidePathOf("wide.bmp"));

    // Cancel at the question: the file was read, GRAM stays.
    std::vector<WatchedBox> seen = Execute(user, dialog, {BoxAnswer::Cancel});
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_BOX(seen[0], BoxKind::Question,
               Quote("%s の内容をGRAMへ展開します。\n実行しますか？", WidePathOf("wide.bmp")));
    EXPECT_EQ(memcmp(before, gram, sizeof gram), 0);

    seen = Execute(user, dialog, {BoxAnswer::Ok, BoxAnswer::Ok});
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_BOX(seen[1], BoxKind::Information, L"GRAMへの書き込み完了");
    ExpectGramShowsFile(wide, 640);

    // A 640-wide file with 320 selected is refused with the selected width.
    user.Click(dialog, kIdRes320);
    seen = Execute(user, dialog, {BoxAnswer::Ok});
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_BOX(seen[0], BoxKind::Error, L"キャンバスサイズは 320 X 200 で作成してください。");
    ExpectGramShowsFile(wide, 640);

    user.Type(dialog, kIdPath, WidePathOf("narrow.bmp"));
    seen = Execute(user, dialog, {BoxAnswer::Ok, BoxAnswer::Ok});
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_BOX(seen[1], BoxKind::Information, L"GRAMへの書き込み完了");
    ExpectGramShowsFile(narrow, 320);
    user.Click(dialog, kIdExit);
  });
}

// --- keys ------------------------------------------------------------------------------

// The About box's icon control keeps the 18 x 20 dialog units of its template instead of
// taking the icon's 32 x 32 pixels; the OK button (48 x 15 units) gives the scale.
void ExpectIconKeepsItsSize(HWND about) {
  HWND icon = nullptr;
  for (HWND child = GetWindow(about, GW_CHILD); child != nullptr;
       child = GetWindow(child, GW_HWNDNEXT)) {
    if ((GetWindowLongW(child, GWL_STYLE) & SS_TYPEMASK) == SS_ICON) icon = child;
  }
  ASSERT_NE(icon, nullptr) << "the About box shows an icon";
  RECT iconRect, okRect;
  GetWindowRect(icon, &iconRect);
  GetWindowRect(GetDlgItem(about, IDOK), &okRect);
  const double pixelsPerUnitX = (okRect.right - okRect.left) / 48.0;
  const double pixelsPerUnitY = (okRect.bottom - okRect.top) / 15.0;
  EXPECT_NEAR(iconRect.right - iconRect.left, 18 * pixelsPerUnitX, 1.5);
  EXPECT_NEAR(iconRect.bottom - iconRect.top, 20 * pixelsPerUnitY, 1.5);
}

TEST_F(LiveDialog, EscapeAndEnterInBothDialogs) {
  const INT_PTR result = RunDialog([&](DialogUser& user) {
    HWND dialog = MainDialog(user);
    if (dialog == nullptr) return;
    user.Click(dialog, kIdAbout);
    HWND about = user.WaitWindow(kAboutTitle, kStepMs);
    ASSERT_NE(about, nullptr) << "the About box did not open";
    EXPECT_EQ(GetWindow(about, GW_OWNER), dialog);
    EXPECT_FALSE(IsWindowEnabled(dialog)) << "the About box is modal over the dialog";
    EXPECT_FALSE(GetWindowLongW(about, GWL_STYLE) & WS_SYSMENU) << "no system menu";
    ExpectIconKeepsItsSize(about);

    user.Key(about, VK_ESCAPE);
    ASSERT_TRUE(user.Flush());
    EXPECT_EQ(user.Windows(kAboutTitle).size(), 1u) << "Escape does not close the About box";
    // The close command the system menu would send is ignored the same way.
    PostMessageW(about, WM_COMMAND, IDCANCEL, 0);
    ASSERT_TRUE(user.Flush());
    EXPECT_EQ(user.Windows(kAboutTitle).size(), 1u);

    user.Key(about, VK_RETURN);
    EXPECT_TRUE(user.WaitGone(kAboutTitle)) << "Enter closes the About box";
    ASSERT_TRUE(user.Flush());
    EXPECT_TRUE(IsWindowEnabled(dialog));
    EXPECT_EQ(user.Windows(kMainTitle).size(), 1u) << "the converter dialog stays open";

    // Enter in the field presses the default button. Three buttons carry the default style;
    // the dialog manager keeps the last of them, About..., as the default: never a
    // conversion, never the exit.
    user.Type(dialog, kIdPath, WidePathOf("never.bmp"));
    PostMessageW(dialog, WM_NEXTDLGCTL, WPARAM(GetDlgItem(dialog, kIdPath)), TRUE);
    ASSERT_TRUE(user.Flush());
    DWORD_PTR defaultId = 0;
    SendMessageTimeoutW(dialog, DM_GETDEFID, 0, 0, SMTO_ABORTIFHUNG, 5000, &defaultId);
    EXPECT_EQ(defaultId, MAKELONG(kIdAbout, DC_HASDEFID));
    user.Key(dialog, VK_RETURN);
    about = user.WaitWindow(kAboutTitle, kStepMs);
    ASSERT_NE(about, nullptr) << "Enter in the field opens the About box";
    EXPECT_EQ(user.CountBoxes(), 0);
    user.Key(about, VK_RETURN);
    EXPECT_TRUE(user.WaitGone(kAboutTitle));
    ASSERT_TRUE(user.Flush());
    EXPECT_EQ(user.Windows(kMainTitle).size(), 1u);

    user.Key(dialog, VK_ESCAPE);
    EXPECT_TRUE(user.WaitGone(kMainTitle)) << "Escape closes the converter dialog";
  });
  EXPECT_EQ(result, 0);
  EXPECT_FALSE(FileExists(PathOf("never.bmp")));
}

// --- paths that do not fit, and nested conversions -------------------------------------

TEST_F(LiveDialog, OverlongTypedPathIsRefusedAndChangesNothing) {
  // 260 bytes do not fit a 260-byte buffer with its terminator; 259 do.
  const std::string tooLong = folder_ + std::string(260 - folder_.size(), 'a');
  ASSERT_EQ(tooLong.size(), 260u);
  const std::string fits = tooLong.substr(0, 259);
  RunDialog([&](DialogUser& user) {
    HWND dialog = MainDialog(user);
    if (dialog == nullptr) return;
    user.Click(dialog, kIdBitmapToGram);
    user.Click(dialog, kIdRes640);
    user.TypeBytes(dialog, kIdPath, tooLong);
    std::vector<WatchedBox> seen = Execute(user, dialog, {BoxAnswer::Ok});
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_BOX(seen[0], BoxKind::Error,
               L"ファイルのパスが長すぎます。259バイト以内のパスを指定してください。");
    EXPECT_EQ(user.TextBytes(dialog, kIdPath), tooLong) << "the field keeps what was typed";

    // A 259-byte path is used whole: the box names all of it.
    user.TypeBytes(dialog, kIdPath, fits);
    seen = Execute(user, dialog, {BoxAnswer::Ok});
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_BOX(seen[0], BoxKind::Error,
               Quote("%s をオープンできません。使用中、アクセス権などの確認をしてください。",
                     FromCp932(fits)));
    user.Click(dialog, kIdExit);
  });
  // The refused execute stored nothing; the second one did.
  RunDialog([&](DialogUser& user) {
    HWND dialog = MainDialog(user);
    if (dialog == nullptr) return;
    EXPECT_TRUE(user.Checked(dialog, kIdBitmapToGram));
    EXPECT_TRUE(user.Checked(dialog, kIdRes640));
    // Double-byte characters count as two bytes: 130 of them are too long.
    std::wstring japanese = FromCp932(folder_);
    while (Cp932(japanese).size() < 261) japanese += L"画";
    user.Click(dialog, kIdGramToBitmap);
    user.Type(dialog, kIdPath, japanese);
    std::vector<WatchedBox> seen = Execute(user, dialog, {BoxAnswer::Ok});
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_BOX(seen[0], BoxKind::Error,
               L"ファイルのパスが長すぎます。259バイト以内のパスを指定してください。");
    EXPECT_EQ(user.Text(dialog, kIdPath), japanese);
    user.Click(dialog, kIdExit);
  });
  RunDialog([&](DialogUser& user) {
    HWND dialog = MainDialog(user);
    if (dialog == nullptr) return;
    EXPECT_TRUE(user.Checked(dialog, kIdBitmapToGram)) << "the refused execute stored nothing";
    user.Click(dialog, kIdExit);
  });
}

TEST_F(LiveDialog, OverlongDroppedNameIsRefusedAndChangesNothing) {
  const std::string first = PathOf("kept.bmp");
  const std::string tooLong = folder_ + std::string(300, 'b') + ".bmp";
  RunDialog([&](DialogUser& user) {
    HWND dialog = MainDialog(user);
    if (dialog == nullptr) return;
    user.Drop(dialog, {first});
    ASSERT_TRUE(user.Flush());
    ASSERT_EQ(user.TextBytes(dialog, kIdPath), first);

    BoxWatcher boxes;
    boxes.Start({BoxAnswer::Ok}, 30000);
    user.Drop(dialog, {tooLong, first});
    EXPECT_TRUE(boxes.WaitUntilAnswered(35000));
    EXPECT_TRUE(boxes.Finish()) << boxes.Report();
    ASSERT_EQ(boxes.boxes().size(), 1u);
    EXPECT_BOX(boxes.boxes()[0], BoxKind::Error,
               L"ファイルのパスが長すぎます。259バイト以内のパスを指定してください。");
    ASSERT_TRUE(user.Flush());
    EXPECT_EQ(user.TextBytes(dialog, kIdPath), first) << "the field is unchanged";

    // The next conversion still uses the name dropped before.
    user.Click(dialog, kIdBitmapToGram);
    std::vector<WatchedBox> seen = Execute(user, dialog, {BoxAnswer::Ok});
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_BOX(seen[0], BoxKind::Error,
               Quote("%s をオープンできません。使用中、アクセス権などの確認をしてください。",
                     FromCp932(first)));
    user.Click(dialog, kIdExit);
  });
}

TEST_F(LiveDialog, SecondExecuteDuringAConversionDoesNothing) {
  Remove("once.bmp");
  Remove("next.bmp");
  RunDialog([&](DialogUser& user) {
    HWND dialog = MainDialog(user);
    if (dialog == nullptr) return;
    user.Type(dialog, kIdPath, WidePathOf("once.bmp"));
    user.Click(dialog, kIdExecute);
    SeenBox question = user.WaitBox(kStepMs);
    ASSERT_NE(question.window, nullptr);
    EXPECT_EQ(question.text,
              Quote("GRAMの内容を %s へ展開します。\n実行しますか？", WidePathOf("once.bmp")));
    EXPECT_EQ(GetWindow(question.window, GW_OWNER), dialog);
    EXPECT_FALSE(IsWindowEnabled(dialog)) << "the box belongs to the dialog, which waits";

    // Execute again, by the button and by the command, while the question is open: should
    // one still reach the dialog, it is ignored.
    user.Click(dialog, kIdExecute);
    PostMessageW(dialog, WM_COMMAND, kIdExecute, 0);
    ASSERT_TRUE(user.Flush());
    EXPECT_EQ(user.CountBoxes(), 1) << "a second conversion started inside the first";

    // A file dropped meanwhile names the next conversion, not the confirmed one.
    user.Drop(dialog, {PathOf("next.bmp")});
    ASSERT_TRUE(user.Flush());
    EXPECT_EQ(user.Text(dialog, kIdPath), WidePathOf("next.bmp"));

    // The first one goes on normally, to the file it named, and, once done, execute works
    // again.
    ASSERT_TRUE(user.Answer(question, IDOK));
    SeenBox done = user.WaitBox(kStepMs);
    EXPECT_EQ(done.text, L"BMPファイルへの書き込み完了");
    ASSERT_TRUE(user.Answer(done, IDOK));
    ASSERT_TRUE(user.Flush());
    EXPECT_EQ(user.CountBoxes(), 0);
    EXPECT_FALSE(FileExists(PathOf("next.bmp")));

    user.Type(dialog, kIdPath, WidePathOf("once.bmp"));
    std::vector<WatchedBox> seen = Execute(user, dialog, {BoxAnswer::Ok, BoxAnswer::Cancel});
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_BOX(seen[1], BoxKind::Question,
               Quote("%s は既に存在します。\n上書きしますか？", WidePathOf("once.bmp")));
    user.Click(dialog, kIdExit);
  });
  bool exists = false;
  ExpectFileShowsGram(ReadFileBytes(PathOf("once.bmp"), &exists), 320);
}

// --- boxes belong to the dialog ---------------------------------------------------------

// True when first lies above second in the window system's order of top-level windows.
bool Above(HWND first, HWND second) {
  for (HWND window = GetTopWindow(nullptr); window != nullptr;
       window = GetWindow(window, GW_HWNDNEXT)) {
    if (window == first) return true;
    if (window == second) return false;
  }
  return false;
}

TEST_F(LiveDialog, BoxesBelongToTheDialogAboveAnAlwaysOnTopHost) {
  Remove("owned.bmp");
  SetWindowPos(host_, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
  ASSERT_TRUE(GetWindowLongW(host_, GWL_EXSTYLE) & WS_EX_TOPMOST);
  RunDialog([&](DialogUser& user) {
    HWND dialog = MainDialog(user);
    if (dialog == nullptr) return;
    user.Type(dialog, kIdPath, WidePathOf("owned.bmp"));
    user.Click(dialog, kIdExecute);
    SeenBox question = user.WaitBox(kStepMs);
    ASSERT_NE(question.window, nullptr);
    EXPECT_EQ(GetWindow(question.window, GW_OWNER), dialog);
    EXPECT_TRUE(GetWindowLongW(question.window, GWL_EXSTYLE) & WS_EX_TOPMOST);
    EXPECT_TRUE(Above(question.window, host_)) << "the question opened behind the host";
    EXPECT_FALSE(IsWindowEnabled(dialog));
    EXPECT_FALSE(IsWindowEnabled(host_));
    ASSERT_TRUE(user.Answer(question, IDCANCEL));
    ASSERT_TRUE(user.Flush());
    EXPECT_TRUE(IsWindowEnabled(dialog)) << "the dialog is live again once the box is gone";

    user.Click(dialog, kIdExit);
  });
  EXPECT_FALSE(FileExists(PathOf("owned.bmp")));
}

TEST_F(LiveDialog, ExitDuringAQuestionWaitsForTheConversion) {
  Remove("exit.bmp");
  const INT_PTR result = RunDialog([&](DialogUser& user) {
    HWND dialog = MainDialog(user);
    if (dialog == nullptr) return;
    user.Type(dialog, kIdPath, WidePathOf("exit.bmp"));
    user.Click(dialog, kIdExecute);
    SeenBox question = user.WaitBox(kStepMs);
    ASSERT_NE(question.window, nullptr);
    // 終了 and Escape send the exit command, the close box WM_CLOSE, which ends in it too.
    PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(kIdExit, BN_CLICKED), 0);
    PostMessageW(dialog, WM_CLOSE, 0, 0);
    ASSERT_TRUE(user.Flush());
    EXPECT_EQ(user.Windows(kMainTitle).size(), 1u) << "the dialog ended inside the conversion";
    EXPECT_FALSE(IsWindowEnabled(host_)) << "the host came back inside the conversion";
    EXPECT_TRUE(IsWindowVisible(question.window));

    // The conversion goes on to its end; then the dialog closes as asked.
    ASSERT_TRUE(user.Answer(question, IDOK));
    SeenBox done = user.WaitBox(kStepMs);
    EXPECT_EQ(done.text, L"BMPファイルへの書き込み完了");
    EXPECT_EQ(user.Windows(kMainTitle).size(), 1u);
    ASSERT_TRUE(user.Answer(done, IDOK));
    EXPECT_TRUE(user.WaitGone(kMainTitle)) << "the exit asked for during the question";
  });
  EXPECT_EQ(result, 0);
  EXPECT_TRUE(IsWindowEnabled(host_));
  bool exists = false;
  ExpectFileShowsGram(ReadFileBytes(PathOf("exit.bmp"), &exists), 320);
}

// --- browsing and the current folder -----------------------------------------------------

std::wstring CurrentFolder() {
  wchar_t folder[MAX_PATH * 2] = L"";
  GetCurrentDirectoryW(MAX_PATH * 2, folder);
  return folder;
}

TEST_F(LiveDialog, BrowsingLeavesTheCurrentFolderAlone) {
  const std::string elsewhere = folder_ + "elsewhere";
  CreateDirectoryA(elsewhere.c_str(), nullptr);
  const std::wstring home = FromCp932(folder_.substr(0, folder_.size() - 1));
  ASSERT_TRUE(SetCurrentDirectoryW(home.c_str()));
  const std::wstring before = CurrentFolder();
  RunDialog([&](DialogUser& user) {
    HWND dialog = MainDialog(user);
    if (dialog == nullptr) return;
    // Into another folder, then Cancel.
    HWND chooser = OpenChooser(user, dialog);
    user.Type(chooser, GetDlgCtrlID(ChooserNameField(chooser)), FromCp932(elsewhere));
    PostMessageW(chooser, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED),
                 LPARAM(GetDlgItem(chooser, IDOK)));
    Sleep(500);
    ASSERT_EQ(user.Windows(kChooserTitle).size(), 1u) << "a folder name opens the folder";
    PostMessageW(chooser, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
    EXPECT_TRUE(user.WaitGone(kChooserTitle));
    ASSERT_TRUE(user.Flush());
    EXPECT_EQ(CurrentFolder(), before) << "after Cancel";

    // A file chosen in another folder.
    chooser = OpenChooser(user, dialog);
    ChooseInChooser(user, chooser, FromCp932(elsewhere) + L"\\chosen.bmp");
    ASSERT_TRUE(user.Flush());
    EXPECT_EQ(user.Text(dialog, kIdPath), FromCp932(elsewhere) + L"\\chosen.bmp");
    EXPECT_EQ(CurrentFolder(), before) << "after a choice";
    user.Click(dialog, kIdExit);
  });
}

TEST_F(LiveDialog, OverlongChosenNameIsRefusedAndChangesNothing) {
  // Few enough characters for the chooser's buffer, but too many bytes in the code page.
  // (A name with more characters than the buffer holds overruns the emulated chooser's own
  // buffers before it can report that; it is left to real Windows.)
  const std::wstring names[] = {FromCp932(folder_) + std::wstring(120, L'画') + L".bmp"};
  RunDialog([&](DialogUser& user) {
    HWND dialog = MainDialog(user);
    if (dialog == nullptr) return;
    user.Type(dialog, kIdPath, L"typed before");
    for (const std::wstring& name : names) {
      ASSERT_GE(Cp932(name).size(), 260u);
      HWND chooser = OpenChooser(user, dialog);
      BoxWatcher boxes;
      boxes.Start({BoxAnswer::Ok}, 30000);
      ChooseInChooser(user, chooser, name);
      EXPECT_TRUE(boxes.WaitUntilAnswered(35000));
      EXPECT_TRUE(boxes.Finish()) << boxes.Report();
      ASSERT_EQ(boxes.boxes().size(), 1u);
      EXPECT_BOX(boxes.boxes()[0], BoxKind::Error,
                 L"ファイルのパスが長すぎます。259バイト以内のパスを指定してください。");
      EXPECT_EQ(boxes.boxes()[0].owner, dialog);
      ASSERT_TRUE(user.Flush());
      EXPECT_EQ(user.Text(dialog, kIdPath), L"typed before") << "the field is unchanged";
    }
    user.Click(dialog, kIdExit);
  });
}

// --- pictures for people ---------------------------------------------------------------

TEST_F(LiveDialog, Screenshots) {
  ASSERT_FALSE(options.shots.empty()) << "--shots=DIR is required";
  Remove("picture.bmp");
  RunDialog([&](DialogUser& user) {
    HWND dialog = MainDialog(user);
    if (dialog == nullptr) return;
    user.Type(dialog, kIdPath, WidePathOf("picture.bmp"));
    ASSERT_TRUE(user.Flush());

    user.Click(dialog, kIdAbout);
    HWND about = user.WaitWindow(kAboutTitle, kStepMs);
    ASSERT_NE(about, nullptr);
    Sleep(300);
    Shot(about, "about_box");
    user.Key(about, VK_RETURN);
    ASSERT_TRUE(user.WaitGone(kAboutTitle));

    HWND chooser = OpenChooser(user, dialog);
    Shot(chooser, "file_chooser");
    PostMessageW(chooser, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
    ASSERT_TRUE(user.WaitGone(kChooserTitle));

    user.Click(dialog, kIdExecute);
    SeenBox question = user.WaitBox(kStepMs);
    ASSERT_NE(question.window, nullptr);
    EXPECT_TRUE(question.hasOk && question.hasCancel);
    Shot(question.window, "question_box");
    ASSERT_TRUE(user.Answer(question, IDOK));
    SeenBox information = user.WaitBox(kStepMs);
    ASSERT_NE(information.window, nullptr);
    EXPECT_TRUE(information.hasOk && !information.hasCancel);
    Shot(information.window, "information_box");
    ASSERT_TRUE(user.Answer(information, IDOK));

    user.Type(dialog, kIdPath, L"");
    user.Click(dialog, kIdExecute);
    SeenBox error = user.WaitBox(kStepMs);
    ASSERT_NE(error.window, nullptr);
    Shot(error.window, "error_box");
    ASSERT_TRUE(user.Answer(error, IDOK));

    // Last, once the boxes have given the activation back to it.
    user.Type(dialog, kIdPath, WidePathOf("picture.bmp"));
    ASSERT_TRUE(user.Flush());
    Shot(dialog, "main_dialog");
    user.Click(dialog, kIdExit);
  });
}

}  // namespace

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  options = ReadLiveTestOptions(argc, argv);
  return RUN_ALL_TESTS();
}
