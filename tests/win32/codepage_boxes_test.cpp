// The plug-in's boxes and the names it is handed, under one ANSI code page: 932, 1252 or
// 65001 (Wine takes it from the locale the runner is given, see VANTREL_LANG). Every text
// must read right through the wide API, a path of that code page must come through in a
// question, and a name dropped in UTF-16 must be taken exactly or refused. The program links
// the plug-in's code itself; the dialog's templates come from the library of the build.
//
//   codepage_boxes_tests --dll=PATH --codepage=N --work=DIR [--shots=DIR]
#include <stdarg.h>
#include <stdio.h>
#include <string.h>
#include <windows.h>

#include <string>
#include <vector>

#include "box_watcher.h"
#include "common/show_message.h"
#include "common/texts.h"
#include "convert/conversions.h"
#include "dialog_host.h"
#include "dialog_png.h"
#include "dialog_user.h"
#include "gtest/gtest.h"
#include "host/module_state.h"
#include "import_bitmaps.h"
#include "platform/message_box_win32.h"

extern "C" INT_PTR WINAPI InfomationDialog(HWND parent);

namespace {

using import_test::Gram;

LiveTestOptions options;

// Per code page: a character of it beyond ASCII, a name it holds and one it cannot hold.
struct CodePageNames {
  UINT codePage;
  const wchar_t* character;
  const wchar_t* held;
  const wchar_t* notHeld;
};
const CodePageNames kNames[] = {
    {932, L"表", L"画像の表.bmp", L"café_한.bmp"},
    {1252, L"é", L"café.bmp", L"画像.bmp"},
    // UTF-8 holds every character; only a lone surrogate has no form in it.
    {65001, L"画", L"画像_café_한.bmp", L"lone_\xD800.bmp"},
};

const CodePageNames& Names() {
  for (const CodePageNames& names : kNames) {
    if (names.codePage == options.codePage) return names;
  }
  return kNames[0];
}

// Text in the ANSI code page, as the plug-in's paths are.
std::string Ansi(const std::wstring& text) {
  const int n = WideCharToMultiByte(CP_ACP, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr);
  std::string out(n, '\0');
  WideCharToMultiByte(CP_ACP, 0, text.c_str(), -1, &out[0], n, nullptr, nullptr);
  out.resize(n > 0 ? n - 1 : 0);
  return out;
}

Gram gram;

void WriteWide(const std::wstring& path, const std::vector<uint8_t>& bytes) {
  HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE) << Utf8(path);
  DWORD written = 0;
  WriteFile(file, bytes.data(), DWORD(bytes.size()), &written, nullptr);
  CloseHandle(file);
  ASSERT_EQ(written, bytes.size());
}

class CodePageBoxes : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(GetACP(), options.codePage) << "the runner did not give the code page asked for";
    folder_ = Wide(options.work.c_str()) + L"cp" + std::to_wstring(options.codePage);
    CreateDirectoryW(folder_.c_str(), nullptr);
    folder_ += L"\\";
    import_test::FillPicture(gram, 3, false);
    Module::GramPlanes = ::GramPlanes{{gram.plane[0], gram.plane[1], gram.plane[2]}};
  }

  std::wstring folder_;
};

// --- every text ------------------------------------------------------------------------

struct Shown {
  const char* text;
  MessageKind kind;
  const char* utf8;
};

const Shown kEveryText[] = {
    {kTextExportConfirm, QuestionBox, "GRAMの内容を %s へ展開します。\n実行しますか？"},
    {kTextOverwriteConfirm, QuestionBox, "%s は既に存在します。\n上書きしますか？"},
    {kTextCreateFailed, ErrorBox,
     "BMPファイルを作成できません。使用中、アクセス権などの確認をしてください。"},
    {kTextWriteFailed, ErrorBox,
     "BMPファイルへの書き込みに失敗しました。ディスクの空き容量などを確認してください。"},
    {kTextExportDone, InformationBox, "BMPファイルへの書き込み完了"},
    {kTextOpenFailed, ErrorBox,
     "%s をオープンできません。使用中、アクセス権などの確認をしてください。"},
    {kTextNotBitmap, ErrorBox, import_test::kNotBitmap},
    {kTextNoInfoHeader, ErrorBox, import_test::kNoInfoHeader},
    {kTextNot16Colour, ErrorBox, import_test::kNot16Colour},
    {kTextCompressed, ErrorBox, import_test::kCompressed},
    {kTextCanvasSize, ErrorBox, "キャンバスサイズは %d X 200 で作成してください。"},
    {kTextNoPalette, ErrorBox, import_test::kNoPalette},
    {kTextNoPixels, ErrorBox, import_test::kNoPixels},
    {kTextImportConfirm, QuestionBox, "%s の内容をGRAMへ展開します。\n実行しますか？"},
    {kTextImportDone, InformationBox, import_test::kDone},
    {kTextNoGram, ErrorBox, import_test::kNoGram},
    {kTextNoPath, ErrorBox, "BMPファイルを指定してください。"},
    {kTextPathTooLong, ErrorBox,
     "ファイルのパスが長すぎます。259バイト以内のパスを指定してください。"},
    {kTextNameNotInCodePage, ErrorBox,
     "ファイル名にこのシステムで扱えない文字が含まれています。"
     "ファイル名を変更してから指定してください。"},
};

BoxKind KindOf(MessageKind kind) {
  return kind == QuestionBox ? BoxKind::Question
         : kind == ErrorBox  ? BoxKind::Error
                             : BoxKind::Information;
}

TEST_F(CodePageBoxes, EveryTextReadsRightWithItsKind) {
  const std::wstring path = folder_ + Names().held;
  const std::string ansiPath = Ansi(path);
  const size_t count = sizeof kEveryText / sizeof kEveryText[0];
  BoxWatcher boxes;
  boxes.Start(std::vector<BoxAnswer>(count, BoxAnswer::Ok), 90000);
  for (const Shown& shown : kEveryText) {
    const bool number = strstr(shown.utf8, "%d") != nullptr;
    const MessageAnswer answer = number ? ShowMessage(shown.kind, shown.text, 640)
                                        : ShowMessage(shown.kind, shown.text, ansiPath.c_str());
    EXPECT_EQ(answer, AnswerOk) << shown.utf8;
  }
  ASSERT_TRUE(boxes.Finish()) << boxes.Report();
  ASSERT_EQ(boxes.boxes().size(), count);
  for (size_t i = 0; i < count; ++i) {
    const Shown& shown = kEveryText[i];
    const WatchedBox& box = boxes.boxes()[i];
    std::string want = shown.utf8;
    const size_t at = want.find("%d");
    if (at != std::string::npos) want.replace(at, 2, "640");
    EXPECT_EQ(box.kind(), KindOf(shown.kind)) << shown.utf8;
    EXPECT_EQ(box.wideCaption, kBoxCaption);
    EXPECT_EQ(box.wideText, Quote(want.c_str(), path));
    EXPECT_EQ(box.owner, nullptr) << "no dialog, no owner";
    if (options.codePage == 932) {
      // Where the A functions showed the texts before, the bytes are still exactly these.
      char formatted[kMessageBytes];
      const bool number = at != std::string::npos;
      EXPECT_EQ(box.text, number ? FormatMessageText(formatted, shown.text, 640)
                                 : FormatMessageText(formatted, shown.text, ansiPath.c_str()));
    }
  }
}

// --- a path of the code page in a real question ---------------------------------------

TEST_F(CodePageBoxes, QuestionCarriesAPathOfThisCodePage) {
  const std::wstring path = folder_ + Names().held;
  Gram picture;
  import_test::FillPicture(picture, 9, true);
  WriteWide(path, import_test::BitmapOf(picture, 320).Bytes());
  const Gram before = gram;

  BoxWatcher boxes;
  boxes.Start({BoxAnswer::Cancel});
  ImportBitmapToGram(Ansi(path).c_str(), Res320);
  ASSERT_TRUE(boxes.Finish()) << boxes.Report();
  ASSERT_EQ(boxes.boxes().size(), 1u);
  EXPECT_EQ(boxes.boxes()[0].kind(), BoxKind::Question);
  EXPECT_EQ(boxes.boxes()[0].wideText,
            Quote("%s の内容をGRAMへ展開します。\n実行しますか？", path));
  EXPECT_TRUE(gram == before);

  boxes.Start({BoxAnswer::Ok, BoxAnswer::Ok});
  ImportBitmapToGram(Ansi(path).c_str(), Res320);
  ASSERT_TRUE(boxes.Finish()) << boxes.Report();
  EXPECT_TRUE(gram == picture) << "the file the question named was read";
}

// --- the 512-byte bound ------------------------------------------------------------------

const wchar_t* FormatWide(wchar_t* out, const char* text, ...) {
  va_list args;
  va_start(args, text);
  FormatWideMessage(out, WideText(text), args);
  va_end(args);
  return out;
}

TEST_F(CodePageBoxes, LongTextsAreCutBetweenWholeCharacters) {
  // A path of this code page's characters that alone passes the bound: the text ends with
  // the last whole character within 511 bytes of the code page.
  const std::wstring character = Names().character;
  const size_t characterBytes = Ansi(character).size();
  for (size_t lead = 0; lead < characterBytes; ++lead) {
    std::wstring path(lead, L'a');
    while (Ansi(path).size() < 600) path += character;
    wchar_t out[kMessageBytes];
    const std::wstring shown = FormatWide(out, kTextOpenFailed, Ansi(path).c_str());
    ASSERT_LE(shown.size(), path.size());
    EXPECT_EQ(shown, path.substr(0, shown.size())) << "lead " << lead;
    EXPECT_LE(Ansi(shown).size(), kMessageBytes - 1) << "lead " << lead;
    EXPECT_GT(Ansi(shown).size(), kMessageBytes - 1 - characterBytes) << "lead " << lead;
  }

  // An ASCII path that leaves part of the text after it: the text is cut where its code
  // page 932 form passes 511 bytes, as the A boxes did, never inside a character.
  for (size_t length : {480u, 481u, 509u}) {
    const std::string path(length, 'p');
    const std::wstring full =
        Quote("%s をオープンできません。使用中、アクセス権などの確認をしてください。", Wide(path));
    size_t fits = 0;
    while (fits < full.size() && Cp932(full.substr(0, fits + 1)).size() <= kMessageBytes - 1) {
      ++fits;
    }
    wchar_t out[kMessageBytes];
    EXPECT_EQ(std::wstring(FormatWide(out, kTextOpenFailed, path.c_str())), full.substr(0, fits))
        << "length " << length;
  }
}

// --- answers that are not OK -----------------------------------------------------------

TEST_F(CodePageBoxes, OnlyAnExplicitOkGoesOn) {
  const std::wstring path = folder_ + L"answers.bmp";
  Gram picture;
  import_test::FillPicture(picture, 21, true);
  WriteWide(path, import_test::BitmapOf(picture, 320).Bytes());
  const Gram before = gram;

  // The host closing down while the question is open: WM_QUIT ends the box.
  BoxWatcher boxes;
  boxes.Start({BoxAnswer::Quit});
  ImportBitmapToGram(Ansi(path).c_str(), Res320);
  EXPECT_TRUE(boxes.Finish()) << boxes.Report();
  EXPECT_TRUE(gram == before) << "GRAM overwritten after WM_QUIT";
  MSG quit;
  EXPECT_TRUE(PeekMessageW(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE))
      << "the quit message is left for the host's own loop";

  // A box that cannot be shown at all (its owner is gone) is no OK either.
  HWND gone =
      CreateWindowW(L"STATIC", L"gone", 0, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
  DestroyWindow(gone);
  PlatformSetMessageOwner(gone);
  boxes.Start({});
  EXPECT_EQ(ShowMessage(QuestionBox, kTextImportConfirm, "x.bmp"), AnswerCancel);
  ImportBitmapToGram(Ansi(path).c_str(), Res320);
  PlatformSetMessageOwner(nullptr);
  EXPECT_TRUE(boxes.Finish()) << boxes.Report();
  EXPECT_TRUE(gram == before) << "GRAM overwritten with no box shown";
}

// --- names dropped in UTF-16 -----------------------------------------------------------

class CodePageDialog : public CodePageBoxes {
 protected:
  void SetUp() override {
    CodePageBoxes::SetUp();
    resources_ = LoadLibraryA(options.dll.c_str());
    ASSERT_NE(resources_, nullptr) << "cannot load " << options.dll;
    Module::ModuleInstance = resources_;
    host_ = CreateHostWindow();
    ASSERT_NE(host_, nullptr);
  }
  void TearDown() override {
    if (host_ != nullptr) DestroyWindow(host_);
    if (resources_ != nullptr) FreeLibrary(resources_);
  }

  HMODULE resources_ = nullptr;
  HWND host_ = nullptr;
};

TEST_F(CodePageDialog, UnicodeDropIsTakenExactlyOrRefused) {
  const std::wstring held = folder_ + Names().held;
  const std::wstring notHeld = folder_ + Names().notHeld;
  RunWithUser(
      host_, [&] { return InfomationDialog(host_); },
      [&](DialogUser& user) {
        HWND dialog = WaitMainDialog(user);
        if (dialog == nullptr) return;
        user.DropWide(dialog, {held, notHeld});
        ASSERT_TRUE(user.Flush());
        EXPECT_EQ(user.Text(dialog, kIdPath), held);
        EXPECT_EQ(std::string(Module::DropPath), Ansi(held));
        EXPECT_EQ(std::string(Module::SelectedPath), Ansi(held));

        user.DropWide(dialog, {notHeld, held});
        SeenBox refused = user.WaitBox(kStepMs);
        ASSERT_NE(refused.window, nullptr) << "no box for a name the code page cannot hold";
        EXPECT_EQ(refused.text, Wide("ファイル名にこのシステムで扱えない文字が含まれています。"
                                     "ファイル名を変更してから指定してください。"));
        EXPECT_TRUE(refused.hasOk && !refused.hasCancel);
        EXPECT_EQ(GetWindow(refused.window, GW_OWNER), dialog);
        if (!options.shots.empty()) {
          Sleep(300);
          const std::string shot =
              options.shots + "codepage_" + std::to_string(options.codePage) + "_box.png";
          EXPECT_TRUE(CaptureWindowPng(refused.window, shot)) << shot;
        }
        ASSERT_TRUE(user.Answer(refused, IDOK));
        ASSERT_TRUE(user.Flush());
        EXPECT_EQ(user.Text(dialog, kIdPath), held) << "the refused name changes nothing";
        EXPECT_EQ(std::string(Module::DropPath), Ansi(held));
        EXPECT_EQ(std::string(Module::SelectedPath), Ansi(held));

        // The same name typed (or pasted) into the field is refused alike at execute.
        user.Type(dialog, kIdPath, notHeld);
        user.Click(dialog, kIdExecute);
        SeenBox typed = user.WaitBox(kStepMs);
        ASSERT_NE(typed.window, nullptr) << "no box for a typed name the code page cannot hold";
        EXPECT_EQ(typed.text, refused.text);
        ASSERT_TRUE(user.Answer(typed, IDOK));
        ASSERT_TRUE(user.Flush());
        EXPECT_EQ(std::string(Module::SelectedPath), Ansi(held)) << "nothing else was run";
        user.Click(dialog, kIdExit);
      });
}

}  // namespace

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  options = ReadLiveTestOptions(argc, argv);
  return RUN_ALL_TESTS();
}
