// Vantrel Fit's window, live in the window system.
//
// This program runs the window on its main thread (the code of VantrelFit.exe, linked in)
// while a second thread is the user (DialogUser): it drops pictures, drives the choosers,
// presses buttons by control id and answers the boxes. What the window shows is read back
// through its preview bitmap and compared with the fit engine run here on the same file.
//
//   fit_window_live_tests --work=DIR [--shots=DIR] [--gtest_filter=FitWindowTest.NAME]
#include <stdio.h>
#include <windows.h>
// After windows.h, which it builds on.
#include <commctrl.h>

#include <string>
#include <vector>

#include "box_watcher.h"
#include "dialog_host.h"
#include "dialog_png.h"
#include "dialog_user.h"
#include "fit_session.h"
#include "fit_texts.h"
#include "fit_window.h"
#include "fitted_bitmap.h"
#include "gtest/gtest.h"
#include "picture_fit.h"
#define STB_IMAGE_WRITE_IMPLEMENTATION
#include "stb_image_write.h"
#include "tool_text_win32.h"

namespace {

LiveTestOptions options;

const wchar_t kWindowTitle[] = L"Vantrel Fit — 画像をGRAMへ";
const wchar_t kFitBoxCaption[] = L"Vantrel Fit";
const wchar_t kOpenTitle[] = L"画像を開く";
const wchar_t kSaveTitle[] = L"BMPファイルとして保存";
const int kChooserMissingExit = 75;

// --- files -----------------------------------------------------------------------------

std::wstring WorkPath(const std::wstring& name) { return Wide(options.work) + name; }

std::vector<uint8_t> ReadBytes(const std::wstring& path) {
  std::vector<uint8_t> bytes;
  HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return bytes;
  uint8_t buffer[65536];
  DWORD got = 0;
  while (ReadFile(file, buffer, sizeof buffer, &got, nullptr) && got > 0) {
    bytes.insert(bytes.end(), buffer, buffer + got);
  }
  CloseHandle(file);
  return bytes;
}

void WriteBytes(const std::wstring& path, const std::vector<uint8_t>& bytes) {
  HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE) << Utf8(path);
  DWORD written = 0;
  EXPECT_TRUE(WriteFile(file, bytes.data(), DWORD(bytes.size()), &written, nullptr));
  EXPECT_EQ(written, bytes.size());
  CloseHandle(file);
}

bool Exists(const std::wstring& path) {
  return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

void AppendBytes(void* context, void* data, int size) {
  auto* out = static_cast<std::vector<uint8_t>*>(context);
  out->insert(out->end(), static_cast<uint8_t*>(data), static_cast<uint8_t*>(data) + size);
}

// A picture with every colour region the dithers treat differently: hue across, light
// down, a transparent corner (composited over black).
std::vector<uint8_t> TestPng(int width, int height) {
  std::vector<uint8_t> rgba(size_t(width) * height * 4);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      uint8_t* p = &rgba[(size_t(y) * width + x) * 4];
      p[0] = uint8_t(255 * x / (width - 1));
      p[1] = uint8_t(255 * y / (height - 1));
      p[2] = uint8_t((x * 7 + y * 3) & 255);
      p[3] = x < width / 5 && y < height / 5 ? 96 : 255;
    }
  }
  std::vector<uint8_t> png;
  stbi_write_png_to_func(AppendBytes, &png, width, height, 4, rgba.data(), width * 4);
  return png;
}

// What the engine makes of a file for one choice: the screen and the BMP file, from the
// working picture framed and toned as the window does.
struct Expected {
  std::vector<uint8_t> screen;
  std::vector<uint8_t> bitmap;
};

Expected Engine(const std::vector<uint8_t>& picture, Resolution res, DitherMode dither,
                const FitLook& look = FitLook()) {
  Expected expected;
  WorkingPicture working;
  EXPECT_EQ(LoadPicture(picture.data(), picture.size(), working), "");
  Canvas canvas;
  FrameCanvas(working, res, look, canvas);
  std::vector<uint8_t> colours(size_t(canvas.width) * canvas.height);
  if (dither == DitherBest) {
    MapColoursBest(canvas, colours.data());
  } else {
    MapColours(canvas, dither, colours.data());
  }
  PreviewScreen(res, colours.data(), expected.screen);
  std::vector<uint8_t> pixels;
  PackColours(res, colours.data(), pixels);
  expected.bitmap = FittedBitmapFile(res, pixels);
  return expected;
}

// --- the window ------------------------------------------------------------------------

class FitWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(options.work.empty()) << "--work=DIR is required";
    // Each test remembers its choices in its own file, fresh at its start.
    settings_ = WorkPath(L"settings-" +
                         Wide(::testing::UnitTest::GetInstance()->current_test_info()->name()) +
                         L"\\VantrelFit.ini");
    DeleteFileW(settings_.c_str());
    host_ = CreateHostWindow();
    ASSERT_NE(host_, nullptr) << "error " << GetLastError();
  }
  void TearDown() override {
    if (host_ != nullptr) DestroyWindow(host_);
  }

  // Runs the window (opening picture when given, as the command line does) while script is
  // the user; returns the window's exit code. The script may close the window itself.
  int Run(const std::function<void(DialogUser&, HWND)>& script, const std::wstring& picture = L"") {
    return int(RunWithUser(
        host_,
        [&] {
          return INT_PTR(RunFitWindow(CreateFitWindow(nullptr, picture, SW_SHOW, settings_)));
        },
        [&](DialogUser& user) {
          user.SetBoxCaption(kFitBoxCaption);
          HWND window = user.WaitWindow(kWindowTitle, kStepMs);
          EXPECT_NE(window, nullptr) << "the window did not appear";
          if (window == nullptr) return;
          script(user, window);
          // A window the script closed leaves no loop to flush (the host thread then waits
          // for this one, and a wait for it would only make the host look hung).
          if (!IsWindow(window)) return;
          user.Flush();
          PostMessageW(window, WM_CLOSE, 0, 0);
        }));
  }

  static int State(HWND window) { return int(SendMessageW(window, kFitAskState, 0, 0)); }

  // Waits until nothing runs (a search too, unless searchToo is false); true when the window
  // then shows a picture.
  static bool WaitShown(DialogUser& user, HWND window, DWORD timeoutMs = 60000,
                        bool searchToo = true) {
    if (!user.Flush()) return false;  // what was posted before has been taken
    for (DWORD waited = 0; waited < timeoutMs; waited += 50) {
      const int state = State(window);
      if (state != FitStateWorking && (state != FitStateSearching || !searchToo)) {
        user.Flush();
        return State(window) == FitStateShown || (!searchToo && state == FitStateSearching);
      }
      Sleep(50);
    }
    return false;
  }

  // The id of the control with the focus once the window has taken it back (activation comes
  // a moment after a box or chooser closes); 0 when none has it after timeoutMs.
  static int FocusedId(DialogUser& user, DWORD timeoutMs = 3000) {
    for (DWORD waited = 0; waited < timeoutMs; waited += 50) {
      if (user.Focus() != nullptr) return GetDlgCtrlID(user.Focus());
      Sleep(50);
    }
    return 0;
  }

  // Each line of a control's text (access keys' & left out) fits its width in the control's
  // font: no sentence is broken by the control at a place of its own. Returns the lines
  // that do not fit.
  static std::vector<std::wstring> LinesPastWidth(HWND window, int id) {
    HWND control = GetDlgItem(window, id);
    std::wstring text(size_t(GetWindowTextLengthW(control)) + 1, L'\0');
    text.resize(size_t(GetWindowTextW(control, &text[0], int(text.size()))));
    RECT client;
    GetClientRect(control, &client);
    // A check box's box and a button's edges take part of the width.
    const bool button = id == kFitIdAutoLevels || id < 200;
    const int room = client.right - (button ? 24 : 0);
    HDC dc = GetDC(control);
    HGDIOBJ old = SelectObject(dc, HGDIOBJ(SendMessageW(control, WM_GETFONT, 0, 0)));
    std::vector<std::wstring> past;
    size_t start = 0;
    while (start <= text.size()) {
      size_t end = text.find(L'\n', start);
      if (end == std::wstring::npos) end = text.size();
      std::wstring line = text.substr(start, end - start);
      const size_t amp = line.find(L'&');
      if (amp != std::wstring::npos) line.erase(amp, 1);
      SIZE size = {};
      GetTextExtentPoint32W(dc, line.c_str(), int(line.size()), &size);
      if (size.cx > room) past.push_back(line);
      start = end + 1;
    }
    SelectObject(dc, old);
    ReleaseDC(control, dc);
    return past;
  }

  static std::vector<uint8_t> Preview(HWND window) {
    std::vector<uint8_t> rgb(size_t(kPreviewWidth) * kPreviewHeight * 3, 0);
    if (SendMessageW(window, kFitAskPreview, 0, LPARAM(rgb.data())) != 1) rgb.clear();
    return rgb;
  }

  // Chooses an item of a list by its value, checking the item shows the value's text.
  static void Pick(DialogUser& user, HWND window, FitList list, const FitChoices& wanted) {
    const int id = kFitIdRes + int(list);
    const int index = ChoiceIndex(wanted, list);
    user.Select(window, id, index);
    ASSERT_TRUE(user.Flush());
    EXPECT_EQ(user.Selected(window, id), index);
  }

  static void Choose(DialogUser& user, HWND window, Resolution res, DitherMode dither) {
    FitChoices wanted;
    wanted.res = res;
    wanted.dither = dither;
    Pick(user, window, ListRes, wanted);
    Pick(user, window, ListDither, wanted);
    wchar_t text[64] = L"";
    GetDlgItemTextW(window, kFitIdDither, text, 64);
    EXPECT_EQ(std::wstring(text), Wide(DitherText(dither)));
  }

  static HWND OpenChooser(DialogUser& user, HWND window, int button, const wchar_t* title) {
    user.Click(window, button);
    return WaitChooser(user, title);
  }

  static HWND WaitChooser(DialogUser& user, const wchar_t* title) {
    HWND chooser = user.WaitWindow(title, kStepMs);
    if (chooser == nullptr) {
      fprintf(stderr, "the file chooser did not appear; run again\n");
      fflush(stderr);
      TerminateProcess(GetCurrentProcess(), kChooserMissingExit);
    }
    Sleep(300);  // let it finish filling its list before it is driven
    return chooser;
  }

  // Saves through the save chooser under name (in the work folder); returns the name the
  // chooser suggested. boxes, when given, starts watching for the boxes after the save once
  // the chooser (itself a dialog with OK and Cancel) is open.
  static std::wstring SaveAs(DialogUser& user, HWND window, const std::wstring& name,
                             BoxWatcher* boxes = nullptr, BoxAnswer answer = BoxAnswer::Ok) {
    HWND chooser = OpenChooser(user, window, kFitIdSave, kSaveTitle);
    if (boxes != nullptr) {
      boxes->Ignore(chooser);
      boxes->Start({answer}, 40000);
    }
    const std::wstring suggested =
        user.Text(chooser, GetDlgCtrlID(DialogUser::ChooserNameField(chooser)));
    EXPECT_TRUE(user.Choose(chooser, kSaveTitle, WorkPath(name)));
    return suggested;
  }

  void Shot(HWND window, const char* name) {
    if (options.shots.empty()) return;
    const std::string path = options.shots + name + ".png";
    EXPECT_TRUE(CapturePaintedWindowPng(window, path)) << "cannot capture " << path;
  }

  HWND host_ = nullptr;
  std::wstring settings_;
};

TEST_F(FitWindowTest, DroppedPictureShowsWhatGramShowsForEveryChoice) {
  const std::vector<uint8_t> png = TestPng(301, 187);
  WriteBytes(WorkPath(L"dropped.png"), png);
  EXPECT_EQ(Run([&](DialogUser& user, HWND window) {
              EXPECT_EQ(State(window), FitStateEmpty);
              EXPECT_TRUE(Preview(window).empty()) << "no picture, no preview";
              EXPECT_FALSE(IsWindowEnabled(GetDlgItem(window, kFitIdSave)));
              EXPECT_TRUE(GetWindowLongW(window, GWL_EXSTYLE) & WS_EX_ACCEPTFILES);
              EXPECT_EQ(user.Text(window, kFitIdPreview), Wide(kFitPreviewEmpty))
                  << "the empty preview says how to bring a picture in";
              // The defaults: 全体 and 誤差拡散.
              EXPECT_EQ(user.Selected(window, kFitIdFrame), 0);
              EXPECT_EQ(user.Selected(window, kFitIdDither), ChoiceIndex(FitChoices(), ListDither));
              user.DropWide(window, {WorkPath(L"dropped.png")});
              ASSERT_TRUE(WaitShown(user, window));
              EXPECT_TRUE(IsWindowEnabled(GetDlgItem(window, kFitIdSave)));
              EXPECT_TRUE(Preview(window) == Engine(png, Res640, DitherDiffusion).screen);
              const struct {
                Resolution res;
                DitherMode dither;
              } choices[] = {{Res640, DitherNone},    {Res640, DitherOrdered},
                             {Res640, DitherBayer},   {Res320, DitherDiffusion},
                             {Res320, DitherOrdered}, {Res320, DitherNone}};
              for (const auto& choice : choices) {
                Choose(user, window, choice.res, choice.dither);
                ASSERT_TRUE(WaitShown(user, window));
                EXPECT_TRUE(Preview(window) == Engine(png, choice.res, choice.dither).screen)
                    << "res " << BitmapWidth(choice.res) << " dither " << int(choice.dither);
                EXPECT_EQ(user.Text(window, kFitIdStatus),
                          Wide(ReadyStatus("dropped.png", choice.res, choice.dither)));
              }
              EXPECT_EQ(SendMessageW(window, kFitAskWorkers, 0, 0), 0) << "no decode for a choice";
              // Every text fits its control at this DPI; the status's sentences one a line.
              for (int id : {kFitIdOpen, kFitIdSave, kFitIdCancel, kFitIdClose, kFitIdResetTone,
                             kFitIdAutoLevels, kFitIdStatus, kFitIdResLabel, kFitIdDitherLabel,
                             kFitIdFrameLabel, kFitIdScreenLabel, kFitIdBackgroundLabel,
                             kFitIdBrightnessLabel, kFitIdContrastLabel, kFitIdSaturationLabel}) {
                for (const std::wstring& line : LinesPastWidth(window, id)) {
                  ADD_FAILURE() << id << " does not fit: " << Utf8(line);
                }
              }
            }),
            0);
}

TEST_F(FitWindowTest, WebpOpensWhereWindowsHasNoCodec) {
  // A browser's WebP (written beside its PNG by the test's set-up, lossless): Wine, like
  // Windows before 10, has no WebP codec; the program's own libwebp reads it.
  const std::vector<uint8_t> png = ReadBytes(WorkPath(L"browser.png"));
  ASSERT_FALSE(png.empty()) << "the set-up writes browser.png and browser.webp";
  Run([&](DialogUser& user, HWND window) {
    user.DropWide(window, {WorkPath(L"browser.webp")});
    ASSERT_TRUE(WaitShown(user, window)) << Utf8(user.Text(window, kFitIdStatus));
    EXPECT_TRUE(Preview(window) == Engine(png, Res640, DitherDiffusion).screen)
        << "the WebP's pixels are the PNG's";
  });
}

TEST_F(FitWindowTest, ChosenPictureIsSavedAsGramconvWritesItAndOverwriteIsAsked) {
  const std::vector<uint8_t> png = TestPng(640, 400);
  WriteBytes(WorkPath(L"chosen.png"), png);
  DeleteFileW(WorkPath(L"chosen-320x200.bmp").c_str());
  const Expected diffusion = Engine(png, Res320, DitherDiffusion);
  const Expected ordered = Engine(png, Res320, DitherOrdered);
  Run([&](DialogUser& user, HWND window) {
    HWND chooser = OpenChooser(user, window, kFitIdOpen, kOpenTitle);
    EXPECT_EQ(user.Text(chooser, 0x470).substr(0, 5), L"全ての画像") << "the first filter";
    ASSERT_TRUE(user.Choose(chooser, kOpenTitle, WorkPath(L"chosen.png")));
    ASSERT_TRUE(WaitShown(user, window));
    Choose(user, window, Res320, DitherDiffusion);
    ASSERT_TRUE(WaitShown(user, window));

    EXPECT_EQ(SaveAs(user, window, L"chosen-320x200.bmp"), L"chosen-320x200.bmp")
        << "the suggested name";
    ASSERT_TRUE(user.Flush());
    EXPECT_TRUE(ReadBytes(WorkPath(L"chosen-320x200.bmp")) == diffusion.bitmap);
    const std::wstring status = user.Text(window, kFitIdStatus);
    EXPECT_EQ(status, Wide(SavedStatus(Utf8(WorkPath(L"chosen-320x200.bmp")), Res320)));
    EXPECT_NE(status.find(Wide(options.work).substr(0, options.work.size() - 1) + L"\n"),
              std::wstring::npos)
        << "the folder is told";
    for (const std::wstring& line : LinesPastWidth(window, kFitIdStatus)) {
      ADD_FAILURE() << "a line of the status does not fit: " << Utf8(line);
    }

    // The same name again, with another dither: asked first with はい / いいえ; いいえ keeps
    // the file and says so.
    Choose(user, window, Res320, DitherOrdered);
    for (BoxAnswer answer : {BoxAnswer::No, BoxAnswer::Yes}) {
      BoxWatcher boxes;
      boxes.Ignore(window);
      SaveAs(user, window, L"chosen-320x200.bmp", &boxes, answer);
      EXPECT_TRUE(boxes.WaitUntilAnswered(45000)) << boxes.Report();
      ASSERT_TRUE(user.Flush());
      ASSERT_TRUE(boxes.Finish()) << boxes.Report();
      const WatchedBox& box = boxes.boxes()[0];
      EXPECT_EQ(box.kind(), BoxKind::YesNo);
      EXPECT_EQ(box.owner, window) << "the question belongs to the window";
      EXPECT_EQ(box.wideText,
                Wide(FillText(kFitOverwrite, {Utf8(WorkPath(L"chosen-320x200.bmp"))})));
      const bool replaced = answer == BoxAnswer::Yes;
      EXPECT_TRUE(ReadBytes(WorkPath(L"chosen-320x200.bmp")) ==
                  (replaced ? ordered.bitmap : diffusion.bitmap))
          << (replaced ? "はい replaces the file" : "いいえ keeps the file");
      EXPECT_EQ(user.Text(window, kFitIdStatus),
                replaced ? Wide(SavedStatus(Utf8(WorkPath(L"chosen-320x200.bmp")), Res320))
                         : Wide(FillText(kFitStatusNotSaved, {"chosen-320x200.bmp"})));
      EXPECT_EQ(FocusedId(user), kFitIdSave) << "the focus back on 保存";
    }
  });
}

TEST_F(FitWindowTest, BadPicturesAreRefusedInJapaneseAndTheWindowStaysUsable) {
  const std::vector<uint8_t> png = TestPng(120, 90);
  std::vector<uint8_t> noise(5000);
  for (size_t i = 0; i < noise.size(); ++i) noise[i] = uint8_t(i * 2654435761u >> 13);
  WriteBytes(WorkPath(L"noise.png"), noise);
  WriteBytes(WorkPath(L"short.png"),
             std::vector<uint8_t>(png.begin(), png.begin() + png.size() / 2));
  WriteBytes(WorkPath(L"good.png"), png);
  static const char kHeic[] =
      "\0\0\0\x18"
      "ftypheic\0\0\0\0mif1heic";
  WriteBytes(WorkPath(L"photo.heic"), std::vector<uint8_t>(kHeic, kHeic + 24));
  const struct {
    const wchar_t* name;
    std::string text;
  } bad[] = {
      {L"noise.png", FillText(kFitUnknownFormat, {"noise.png"})},
      {L"short.png", FillText(kFitCutShort, {"short.png"})},
      {L"missing.png", FillText(kFitCannotOpen, {Utf8(WorkPath(L"missing.png"))})},
      {L"photo.heic", FillText(kFitUnreadFormat, {"photo.heic", "HEIF", kFitUnreadHeif})},
  };
  Run([&](DialogUser& user, HWND window) {
    for (int round = 0; round < 2; ++round) {  // without and with a picture shown
      for (const auto& picture : bad) {
        user.DropWide(window, {WorkPath(picture.name)});
        const SeenBox box = user.WaitBox(kStepMs);
        ASSERT_NE(box.window, nullptr) << Utf8(picture.name);
        EXPECT_EQ(box.text, Wide(picture.text)) << Utf8(picture.name);
        EXPECT_EQ(GetWindow(box.window, GW_OWNER), window);
        // While the box is up: no more "reading", and 中止 is of no use.
        EXPECT_EQ(user.Text(window, kFitIdStatus),
                  Wide(FillText(kFitStatusRefused, {Utf8(picture.name)})));
        EXPECT_FALSE(IsWindowEnabled(GetDlgItem(window, kFitIdCancel)));
        EXPECT_TRUE(user.Answer(box, IDOK));
        ASSERT_TRUE(user.Flush());
        EXPECT_EQ(State(window), round == 0 ? FitStateEmpty : FitStateShown)
            << "a refused picture leaves the window as it was";
        EXPECT_NE(FocusedId(user), 0) << "the focus is back in the window";
      }
      user.DropWide(window, {WorkPath(L"good.png")});
      ASSERT_TRUE(WaitShown(user, window)) << "the window still opens pictures";
      EXPECT_TRUE(Preview(window) == Engine(png, Res640, DitherDiffusion).screen);
    }
  });
}

TEST_F(FitWindowTest, JapaneseAndOtherNamesOpenAndSaveBesideThePicture) {
  const std::vector<uint8_t> png = TestPng(200, 100);
  const std::wstring names[] = {L"絵.png", L"한글é.png"};
  for (const std::wstring& name : names) {
    WriteBytes(WorkPath(name), png);
    DeleteFileW(WorkPath(name.substr(0, name.size() - 4) + L"-640x200.bmp").c_str());
  }
  const Expected expected = Engine(png, Res640, DitherDiffusion);
  // 絵.png as a picture dropped on the program's icon: the command line.
  Run(
      [&](DialogUser& user, HWND window) {
        ASSERT_TRUE(WaitShown(user, window));
        EXPECT_TRUE(Preview(window) == expected.screen);
        EXPECT_EQ(SaveAs(user, window, L"絵-640x200.bmp"), L"絵-640x200.bmp");
        ASSERT_TRUE(user.Flush());

        HWND chooser = OpenChooser(user, window, kFitIdOpen, kOpenTitle);
        ASSERT_TRUE(user.Choose(chooser, kOpenTitle, WorkPath(names[1])));
        ASSERT_TRUE(WaitShown(user, window));
        EXPECT_NE(user.Text(window, kFitIdStatus).find(names[1]), std::wstring::npos);
        EXPECT_EQ(SaveAs(user, window, L"한글é-640x200.bmp"), L"한글é-640x200.bmp");
        ASSERT_TRUE(user.Flush());
      },
      WorkPath(names[0]));
  EXPECT_TRUE(ReadBytes(WorkPath(L"絵-640x200.bmp")) == expected.bitmap);
  EXPECT_TRUE(ReadBytes(WorkPath(L"한글é-640x200.bmp")) == expected.bitmap);
}

// Grey noise, 96 million pixels: it takes the decoder seconds, and stays under the limit.
std::wstring BigPicture() {
  const int width = 12000, height = 8000;
  const std::wstring big = WorkPath(L"big.png");
  if (!Exists(big)) {
    std::vector<uint8_t> grey(size_t(width) * height);
    uint32_t seed = 12345;
    for (uint8_t& p : grey) {
      seed = seed * 1103515245u + 12345u;
      p = uint8_t(seed >> 24);
    }
    std::vector<uint8_t> png;
    stbi_write_png_compression_level = 1;
    EXPECT_NE(stbi_write_png_to_func(AppendBytes, &png, width, height, 1, grey.data(), width), 0);
    grey = std::vector<uint8_t>();
    WriteBytes(big, png);
  }
  return big;
}

TEST_F(FitWindowTest, LongFitShowsProgressAndCancelsAtOnceByButtonOrEsc) {
  const std::wstring big = BigPicture();
  const std::vector<uint8_t> small = TestPng(64, 40);
  WriteBytes(WorkPath(L"small.png"), small);
  DeleteFileW(WorkPath(L"big-640x200.bmp").c_str());
  Run([&](DialogUser& user, HWND window) {
    // Without a picture shown (Esc, 中止), then with one (中止, Esc).
    for (int round = 0; round < 4; ++round) {
      const bool shown = round >= 2, escape = round == 0 || round == 3;
      user.DropWide(window, {big});
      ASSERT_TRUE(user.Flush());
      ASSERT_EQ(State(window), FitStateWorking) << "the fit takes long";
      EXPECT_TRUE(IsWindowVisible(GetDlgItem(window, kFitIdProgress)));
      EXPECT_TRUE(IsWindowEnabled(GetDlgItem(window, kFitIdCancel)));
      EXPECT_FALSE(IsWindowEnabled(GetDlgItem(window, kFitIdSave)));
      if (round == 0) Shot(window, "fit_window_reading");
      EXPECT_TRUE(user.Flush()) << "the window answers while it fits";
      if (escape) {
        user.Key(window, VK_ESCAPE);
      } else {
        user.Click(window, kFitIdCancel);
      }
      ASSERT_TRUE(user.Flush());
      ASSERT_TRUE(IsWindow(window)) << "Esc stops the reading, not the window";
      EXPECT_EQ(State(window), shown ? FitStateShown : FitStateEmpty)
          << "cancelled at once, before the worker ends (round " << round << ")";
      EXPECT_FALSE(IsWindowVisible(GetDlgItem(window, kFitIdProgress)));
      const std::wstring status = user.Text(window, kFitIdStatus);
      EXPECT_EQ(status.find(Wide(FillText(kFitStatusCancelled, {"big.png"}))), 0u) << Utf8(status);
      // The worker's late result is thrown away.
      for (int waited = 0; waited < 1200 && SendMessageW(window, kFitAskWorkers, 0, 0) != 0;
           ++waited) {
        Sleep(50);
      }
      ASSERT_EQ(SendMessageW(window, kFitAskWorkers, 0, 0), 0) << "the worker ends";
      ASSERT_TRUE(user.Flush());
      EXPECT_EQ(State(window), shown ? FitStateShown : FitStateEmpty);
      if (shown) {
        EXPECT_TRUE(Preview(window) == Engine(small, Res640, DitherDiffusion).screen)
            << "the picture before stays";
      } else if (round == 1) {
        user.DropWide(window, {WorkPath(L"small.png")});
        ASSERT_TRUE(WaitShown(user, window)) << "usable after the cancel";
      }
    }
  });
  EXPECT_FALSE(Exists(WorkPath(L"big-640x200.bmp"))) << "no output";
}

TEST_F(FitWindowTest, TrackbarsAndToneFollowTheEngineWhileTheyMove) {
  const std::vector<uint8_t> png = TestPng(320, 240);
  WriteBytes(WorkPath(L"tone.png"), png);
  Run([&](DialogUser& user, HWND window) {
    user.DropWide(window, {WorkPath(L"tone.png")});
    ASSERT_TRUE(WaitShown(user, window));
    FitLook look;
    const struct {
      int id, position;
    } moves[] = {{kFitIdBrightness, 40},
                 {kFitIdContrast, -60},
                 {kFitIdSaturation, 0},
                 {kFitIdSaturation, 200},
                 {kFitIdBrightness, -100}};
    for (const auto& move : moves) {
      user.Slide(window, move.id, move.position);
      ASSERT_TRUE(user.Flush());
      (move.id == kFitIdBrightness ? look.tone.brightness
       : move.id == kFitIdContrast ? look.tone.contrast
                                   : look.tone.saturation) = move.position;
      EXPECT_TRUE(Preview(window) == Engine(png, Res640, DitherDiffusion, look).screen)
          << "after " << move.id << " to " << move.position;
      EXPECT_EQ(user.Text(window, move.id + 10), std::to_wstring(move.position));
    }
    EXPECT_EQ(SendMessageW(window, kFitAskWorkers, 0, 0), 0) << "no new decode";
    user.Click(window, kFitIdAutoLevels);
    ASSERT_TRUE(user.Flush());
    look.tone.autoLevels = true;
    EXPECT_TRUE(Preview(window) == Engine(png, Res640, DitherDiffusion, look).screen);
    // 元に戻す: the tone neutral again, the sliders at their middle.
    user.Click(window, kFitIdResetTone);
    ASSERT_TRUE(user.Flush());
    EXPECT_TRUE(Preview(window) == Engine(png, Res640, DitherDiffusion).screen);
    EXPECT_EQ(SendDlgItemMessageW(window, kFitIdSaturation, TBM_GETPOS, 0, 0), 100);
    EXPECT_FALSE(user.Checked(window, kFitIdAutoLevels));
  });
}

// The focus of 画面いっぱい as the window holds it.
std::pair<float, float> Focus(HWND window) {
  float focus[2] = {-1, -1};
  EXPECT_EQ(SendMessageW(window, kFitAskFocus, 0, LPARAM(focus)), 1);
  return {focus[0], focus[1]};
}

TEST_F(FitWindowTest, DragInFillMovesTheFocus) {
  // A tall picture: 画面いっぱい keeps a band of it, which the drag moves up and down.
  const std::vector<uint8_t> png = TestPng(300, 900);
  WriteBytes(WorkPath(L"tall.png"), png);
  Run([&](DialogUser& user, HWND window) {
    user.DropWide(window, {WorkPath(L"tall.png")});
    ASSERT_TRUE(WaitShown(user, window));
    FitChoices wanted;
    wanted.look.frame = FrameFill;
    Pick(user, window, ListFrame, wanted);
    ASSERT_TRUE(WaitShown(user, window));
    EXPECT_EQ(Focus(window), std::make_pair(0.5f, 0.5f));
    const FitPlacement before = PlacePicture(300, 900, Res640, wanted.look);
    // Dragged down by 200 screen lines: the picture follows, so the kept band moves up.
    user.Drag(window, kFitIdPreview, POINT{300, 50}, POINT{300, 250});
    ASSERT_TRUE(user.Flush());
    const auto [focusX, focusY] = Focus(window);
    EXPECT_EQ(focusX, 0.5f) << "no crop across, no move across";
    EXPECT_LT(focusY, 0.5f) << "the focus moved up";
    wanted.look.focusX = focusX;
    wanted.look.focusY = focusY;
    const FitPlacement kept = PlacePicture(300, 900, Res640, wanted.look);
    EXPECT_NEAR((before.keptY - kept.keptY) * before.canvasHeight / kept.keptHeight, 100, 1)
        << "200 screen lines are 100 canvas lines";
    EXPECT_TRUE(Preview(window) == Engine(png, Res640, DitherDiffusion, wanted.look).screen);
    // In 全体 a drag moves nothing.
    wanted.look.frame = FrameWhole;
    Pick(user, window, ListFrame, wanted);
    user.Drag(window, kFitIdPreview, POINT{300, 100}, POINT{300, 300});
    ASSERT_TRUE(user.Flush());
    EXPECT_EQ(Focus(window), std::make_pair(focusX, focusY));
  });
}

TEST_F(FitWindowTest, ChoicesSurviveARestartAndBadMemoryMeansDefaults) {
  const std::vector<uint8_t> png = TestPng(200, 150);
  WriteBytes(WorkPath(L"remember.png"), png);
  FitChoices wanted;
  wanted.res = Res320;
  wanted.dither = DitherOrdered;
  wanted.look.frame = FrameStretch;
  wanted.look.screen = Screen4x3;
  wanted.look.background = 5;
  wanted.look.tone.contrast = 30;
  Run([&](DialogUser& user, HWND window) {
    for (int list = 0; list < kFitListCount; ++list) Pick(user, window, FitList(list), wanted);
    user.Slide(window, kFitIdContrast, 30);
    ASSERT_TRUE(user.Flush());
    user.Click(window, kFitIdClose);
  });
  // Started again: every choice as it was left, and a picture shown with them.
  Run(
      [&](DialogUser& user, HWND window) {
        ASSERT_TRUE(WaitShown(user, window));
        for (int list = 0; list < kFitListCount; ++list) {
          EXPECT_EQ(user.Selected(window, kFitIdRes + list), ChoiceIndex(wanted, FitList(list)))
              << list;
        }
        EXPECT_EQ(SendDlgItemMessageW(window, kFitIdContrast, TBM_GETPOS, 0, 0), 30);
        EXPECT_TRUE(Preview(window) == Engine(png, Res320, DitherOrdered, wanted.look).screen);
        // Alt+F4 closes it, as the close box does.
        PostMessageW(window, WM_SYSKEYDOWN, VK_F4, LPARAM(1) | LPARAM(1) << 29);
        for (int waited = 0; waited < 100 && IsWindow(window); ++waited) Sleep(50);  // posted on
        EXPECT_FALSE(IsWindow(window));
      },
      WorkPath(L"remember.png"));
  // A damaged file: the defaults.
  WriteBytes(settings_, std::vector<uint8_t>{'f', 'r', 'a', 'm', 'e', '=', 0xff, '\n', 0});
  Run([&](DialogUser& user, HWND window) {
    for (int list = 0; list < kFitListCount; ++list) {
      EXPECT_EQ(user.Selected(window, kFitIdRes + list), ChoiceIndex(FitChoices(), FitList(list)));
    }
  });
}

TEST_F(FitWindowTest, KeysReachEveryControlAndEscAloneDoesNothing) {
  const std::vector<uint8_t> png = TestPng(320, 200);  // opens at 320x200
  WriteBytes(WorkPath(L"keys.png"), png);
  Run([&](DialogUser& user, HWND window) {
    // Ctrl+O: the chooser.
    user.CtrlKey(window, 'O');
    HWND chooser = WaitChooser(user, kOpenTitle);
    ASSERT_TRUE(user.Choose(chooser, kOpenTitle, WorkPath(L"keys.png")));
    ASSERT_TRUE(WaitShown(user, window));
    EXPECT_EQ(user.Selected(window, kFitIdRes), 1) << "a 320x200 picture opens at 320x200";
    EXPECT_NE(FocusedId(user), 0) << "the focus is back after the chooser";
    // Each access key reaches its control.
    const struct {
      wchar_t letter;
      int id;
    } keys[] = {{L'r', kFitIdRes},      {L'd', kFitIdDither},     {L'f', kFitIdFrame},
                {L'm', kFitIdScreen},   {L'g', kFitIdBackground}, {L'b', kFitIdBrightness},
                {L'c', kFitIdContrast}, {L'u', kFitIdSaturation}, {L'l', kFitIdAutoLevels}};
    for (const auto& key : keys) {
      user.AltKey(window, key.letter);
      ASSERT_TRUE(user.Flush());
      EXPECT_EQ(FocusedId(user), key.id) << "Alt+" << char(key.letter);
    }
    // Esc with nothing running: nothing happens.
    user.Key(window, VK_ESCAPE);
    ASSERT_TRUE(user.Flush());
    EXPECT_TRUE(IsWindow(window));
    EXPECT_EQ(State(window), FitStateShown);
    // Ctrl+S: the save chooser, then Esc there closes only the chooser.
    user.CtrlKey(window, 'S');
    chooser = WaitChooser(user, kSaveTitle);
    PostMessageW(chooser, WM_COMMAND, IDCANCEL, 0);
    ASSERT_TRUE(user.WaitGone(kSaveTitle));
    ASSERT_TRUE(user.Flush());
    EXPECT_TRUE(IsWindow(window));
    // Alt+X: 閉じる.
    user.AltKey(window, L'x');
    ASSERT_TRUE(user.Flush());
    EXPECT_FALSE(IsWindow(window)) << "閉じる closes the window";
  });
}

TEST_F(FitWindowTest, MaximisedOnALargeScreenThePreviewIsTwiceAsLarge) {
  const std::vector<uint8_t> png = TestPng(640, 400);
  WriteBytes(WorkPath(L"large.png"), png);
  RECT work;
  SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
  Run([&](DialogUser& user, HWND window) {
    EXPECT_EQ(SendMessageW(window, kFitAskPreviewScale, 0, 0), 1);
    user.DropWide(window, {WorkPath(L"large.png")});
    ASSERT_TRUE(WaitShown(user, window));
    PostMessageW(window, WM_SYSCOMMAND, SC_MAXIMIZE, 0);
    ASSERT_TRUE(user.Flush());
    ASSERT_TRUE(IsZoomed(window));
    RECT client;
    GetClientRect(window, &client);
    int width = 0, height = 0;
    FitClientFor(96, 2, width, height);
    ASSERT_GE(client.right, width) << "the desktop is too small for the test";
    ASSERT_GE(client.bottom, height) << "the desktop is too small for the test";
    EXPECT_EQ(SendMessageW(window, kFitAskPreviewScale, 0, 0), 2);
    RECT preview;
    GetClientRect(GetDlgItem(window, kFitIdPreview), &preview);
    EXPECT_EQ(preview.right, 1280);
    EXPECT_EQ(preview.bottom, 800);
    // What the screen shows there: each preview pixel a 2x2 square of the engine's.
    int shownWidth = 0, shownHeight = 0;
    const std::vector<uint8_t> shown =
        PrintClientRgb(GetDlgItem(window, kFitIdPreview), shownWidth, shownHeight);
    const std::vector<uint8_t> expected = Engine(png, Res640, DitherDiffusion).screen;
    ASSERT_EQ(shown.size(), size_t(1280) * 800 * 3);
    int wrong = 0;
    for (int y = 0; y < 800; ++y) {
      for (int x = 0; x < 1280; ++x) {
        wrong += memcmp(&shown[(size_t(y) * 1280 + x) * 3],
                        &expected[(size_t(y / 2) * 640 + x / 2) * 3], 3) != 0;
      }
    }
    EXPECT_EQ(wrong, 0) << "crisp: no pixel blended";
    Shot(window, "fit_window_maximised");
    PostMessageW(window, WM_SYSCOMMAND, SC_RESTORE, 0);
    ASSERT_TRUE(user.Flush());
    EXPECT_EQ(SendMessageW(window, kFitAskPreviewScale, 0, 0), 1);
  });
}

TEST_F(FitWindowTest, BestShowsTheQuickPreviewFirstAndANewChoiceAbandonsIt) {
  const std::vector<uint8_t> png = TestPng(640, 400);
  WriteBytes(WorkPath(L"best.png"), png);
  Run([&](DialogUser& user, HWND window) {
    user.DropWide(window, {WorkPath(L"best.png")});
    ASSERT_TRUE(WaitShown(user, window));
    Choose(user, window, Res320, DitherBest);  // at 320 the search takes half as long
    EXPECT_EQ(State(window), FitStateSearching);
    EXPECT_TRUE(Preview(window) == Engine(png, Res320, DitherDiffusion).screen)
        << "the quick preview first";
    EXPECT_TRUE(IsWindowVisible(GetDlgItem(window, kFitIdProgress)));
    // A new choice abandons the search and starts another for it.
    FitChoices wanted;
    wanted.look.background = 1;
    Pick(user, window, ListBackground, wanted);
    EXPECT_EQ(State(window), FitStateSearching);
    // Esc stops it: the quick one stays.
    user.Key(window, VK_ESCAPE);
    ASSERT_TRUE(user.Flush());
    EXPECT_EQ(State(window), FitStateShown);
    EXPECT_TRUE(Preview(window) == Engine(png, Res320, DitherDiffusion, wanted.look).screen);
    // Chosen again and left to finish: the search's result replaces it.
    Choose(user, window, Res320, DitherDiffusion);
    Choose(user, window, Res320, DitherBest);
    ASSERT_TRUE(WaitShown(user, window, 120000));
    EXPECT_TRUE(Preview(window) == Engine(png, Res320, DitherBest, wanted.look).screen);
    for (int waited = 0; waited < 200 && SendMessageW(window, kFitAskWorkers, 0, 0) != 0;
         ++waited) {
      Sleep(50);
    }
    EXPECT_EQ(SendMessageW(window, kFitAskWorkers, 0, 0), 0) << "abandoned searches end";
  });
}

TEST_F(FitWindowTest, Screenshots) {
  ASSERT_FALSE(options.shots.empty()) << "--shots=DIR is required";
  // A portrait picture, as phones take them: 画面いっぱい keeps a band of it, moved up a little
  // by a drag, which the small original outlines.
  const std::vector<uint8_t> png = TestPng(480, 640);
  WriteBytes(WorkPath(L"portrait.png"), png);
  WriteBytes(WorkPath(L"broken.png"), std::vector<uint8_t>(png.begin(), png.begin() + 300));
  Run([&](DialogUser& user, HWND window) {
    Shot(window, "fit_window_empty");
    user.DropWide(window, {WorkPath(L"portrait.png")});
    ASSERT_TRUE(WaitShown(user, window));
    FitChoices wanted;
    wanted.look.frame = FrameFill;
    Pick(user, window, ListFrame, wanted);
    user.Drag(window, kFitIdPreview, POINT{320, 100}, POINT{320, 180});
    user.Slide(window, kFitIdSaturation, 140);
    ASSERT_TRUE(user.Flush());
    Shot(window, "fit_window");
    user.DropWide(window, {WorkPath(L"broken.png")});
    SeenBox box = user.WaitBox(kStepMs);
    ASSERT_NE(box.window, nullptr);
    Shot(box.window, "fit_window_refused");
    EXPECT_TRUE(user.Answer(box, IDOK));
  });
}

}  // namespace

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  options = ReadLiveTestOptions(argc, argv);
  return RUN_ALL_TESTS();
}
