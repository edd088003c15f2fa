// Vantrel Fit's window, live in the window system.
//
// This program runs the window on its main thread (the code of VantrelFit.exe, linked in)
// while a second thread is the user (DialogUser): it drops pictures, drives the choosers,
// presses buttons by control id and answers the boxes. What the window shows is read back
// through its preview bitmap and compared with what gramconv makes of the same file. What
// the session decides without the window is tested natively (fit_session_test.cpp); these
// cases check what only the live window shows.
//
//   fit_window_live_tests --work=DIR [--shots=DIR] [--gtest_filter=FitWindowTest.NAME]
#include <stdio.h>
#include <windows.h>
// After windows.h, which it builds on.
#include <commctrl.h>

#include <algorithm>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <tuple>
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

namespace {

LiveTestOptions options;

const wchar_t kWindowTitle[] = L"Vantrel Fit — 画像をGRAMへ";
const wchar_t kFitBoxCaption[] = L"Vantrel Fit";
const wchar_t kOpenTitle[] = L"画像を開く";
const wchar_t kSaveTitle[] = L"BMPファイルとして保存";
const int kChooserMissingExit = 75;
using Bytes = std::vector<uint8_t>;

// --- files -----------------------------------------------------------------------------

std::wstring WorkPath(const std::wstring& name) { return Wide(options.work) + name; }

// The whole file (empty when it cannot be read).
Bytes ReadBytes(const std::wstring& path) {
  std::ifstream in(path.c_str(), std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), {});
}

// Replaces the file with bytes.
void WriteBytes(const std::wstring& path, const Bytes& bytes) {
  std::ofstream out(path.c_str(), std::ios::binary);
  EXPECT_TRUE(out.write(reinterpret_cast<const char*>(bytes.data()), bytes.size()).good())
      << Utf8(path);
}

bool Exists(const std::wstring& path) {
  return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

void AppendBytes(void* context, void* data, int size) {
  auto* out = static_cast<Bytes*>(context);
  out->insert(out->end(), static_cast<uint8_t*>(data), static_cast<uint8_t*>(data) + size);
}

// A PNG with every colour region the dithers treat differently (hue across, light down, a
// transparent corner composited over black), written to the work folder as name.
Bytes Picture(const std::wstring& name, int width, int height) {
  Bytes rgba(size_t(width) * height * 4), png;
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      uint8_t* p = &rgba[(size_t(y) * width + x) * 4];
      p[0] = uint8_t(255 * x / (width - 1));
      p[1] = uint8_t(255 * y / (height - 1));
      p[2] = uint8_t((x * 7 + y * 3) & 255);
      p[3] = x < width / 5 && y < height / 5 ? 96 : 255;
    }
  }
  stbi_write_png_to_func(AppendBytes, &png, width, height, 4, rgba.data(), width * 4);
  WriteBytes(WorkPath(name), png);
  return png;
}

// What gramconv makes of a file for the same choices: the screen its preview shows and the
// BMP file it writes.
struct Expected {
  Bytes screen, bitmap;
};
Expected Engine(const Bytes& file, Resolution res, DitherMode dither,
                const FitLook& look = FitLook()) {
  Expected made;
  Bytes pixels, colours;
  EXPECT_EQ(FitPicture(file.data(), file.size(), res, dither, pixels, nullptr, GammaLinear,
                       &colours, look),
            "");
  PreviewScreen(res, colours.data(), made.screen);
  made.bitmap = FittedBitmapFile(res, pixels);
  return made;
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

  // One of the window's kFitAsk questions, answer filled in where it takes one.
  static LRESULT Ask(HWND window, UINT question, void* answer = nullptr) {
    return SendMessageW(window, question, 0, LPARAM(answer));
  }
  static int State(HWND window) { return int(Ask(window, kFitAskState)); }

  // True once done() holds, asked every 50 ms; false when it still does not after timeoutMs.
  static bool WaitUntil(const std::function<bool()>& done, DWORD timeoutMs) {
    for (DWORD waited = 0; !done(); waited += 50) {
      if (waited >= timeoutMs) return false;
      Sleep(50);
    }
    return true;
  }

  // Waits until nothing runs, a search included; true when the window then shows a picture.
  static bool WaitShown(DialogUser& user, HWND window, DWORD timeoutMs = 60000) {
    if (!user.Flush()) return false;  // what was posted before has been taken
    const bool idle = WaitUntil(
        [&] { return State(window) != FitStateWorking && State(window) != FitStateSearching; },
        timeoutMs);
    return idle && user.Flush() && State(window) == FitStateShown;
  }

  // Drops the work folder's file called name; true once the window shows a picture.
  static bool DropShown(DialogUser& user, HWND window, const std::wstring& name) {
    user.DropWide(window, {WorkPath(name)});
    return WaitShown(user, window);
  }

  // The id of the control with the focus once the window has taken it back (activation comes
  // a moment after a box or chooser closes); 0 when none has it after 3 s.
  static int FocusedId(DialogUser& user) {
    WaitUntil([&] { return user.Focus() != nullptr; }, 3000);
    HWND focus = user.Focus();
    return focus != nullptr ? GetDlgCtrlID(focus) : 0;
  }

  // Every line of each control's text (an access key's & left out) fits the control's width
  // in its font: no sentence is broken by the control at a place of its own.
  static void ExpectTextsFit(HWND window, std::initializer_list<int> ids) {
    for (int id : ids) {
      HWND control = GetDlgItem(window, id);
      wchar_t buffer[1024] = L"";
      GetWindowTextW(control, buffer, 1024);
      const std::wstring text = buffer;
      RECT client;
      GetClientRect(control, &client);
      // A check box's box and a button's edges take part of the width.
      const int room = client.right - (id == kFitIdAutoLevels || id < 200 ? 24 : 0);
      HDC dc = GetDC(control);
      HGDIOBJ old = SelectObject(dc, HGDIOBJ(SendMessageW(control, WM_GETFONT, 0, 0)));
      for (size_t start = 0; start <= text.size();) {
        const size_t end = std::min(text.find(L'\n', start), text.size());
        std::wstring line = text.substr(start, end - start);
        const size_t amp = line.find(L'&');
        if (amp != std::wstring::npos) line.erase(amp, 1);
        SIZE size = {};
        GetTextExtentPoint32W(dc, line.c_str(), int(line.size()), &size);
        EXPECT_LE(size.cx, room) << id << " does not fit: " << Utf8(line);
        start = end + 1;
      }
      SelectObject(dc, old);
      ReleaseDC(control, dc);
    }
  }

  // The screen the preview shows, before it is enlarged (empty without a picture).
  static Bytes Preview(HWND window) {
    Bytes rgb(size_t(kPreviewWidth) * kPreviewHeight * 3, 0);
    if (Ask(window, kFitAskPreview, rgb.data()) != 1) rgb.clear();
    return rgb;
  }

  // The focus of 画面いっぱい as the window holds it.
  static std::pair<float, float> Focus(HWND window) {
    float focus[2] = {-1, -1};
    EXPECT_EQ(Ask(window, kFitAskFocus, focus), 1);
    return {focus[0], focus[1]};
  }

  // Chooses the item of a list that shows wanted's value.
  static void Pick(DialogUser& user, HWND window, FitList list, const FitChoices& wanted) {
    const int id = kFitIdRes + int(list);
    const int index = ChoiceIndex(wanted, list);
    user.Select(window, id, index);
    ASSERT_TRUE(user.Flush());
    EXPECT_EQ(user.Selected(window, id), index);
  }

  // Chooses res and dither from their lists.
  static void Choose(DialogUser& user, HWND window, Resolution res, DitherMode dither) {
    FitChoices wanted;
    wanted.res = res;
    wanted.dither = dither;
    for (FitList list : {ListRes, ListDither}) Pick(user, window, list, wanted);
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
    user.Click(window, kFitIdSave);
    HWND chooser = WaitChooser(user, kSaveTitle);
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

TEST_F(FitWindowTest, PreviewFollowsEveryControlAndTheDragAndGrowsWhenMaximised) {
  // A portrait picture, as phones take them: 全体 leaves bars beside it, 画面いっぱい keeps a
  // band of it that a drag moves.
  const Bytes png = Picture(L"portrait.png", 480, 640);
  Run([&](DialogUser& user, HWND window) {
    // Empty: nothing to show or save, the hint where to drop, the defaults (全体, 誤差拡散).
    EXPECT_EQ(State(window), FitStateEmpty);
    EXPECT_TRUE(Preview(window).empty());
    EXPECT_FALSE(IsWindowEnabled(GetDlgItem(window, kFitIdSave)));
    EXPECT_TRUE(GetWindowLongW(window, GWL_EXSTYLE) & WS_EX_ACCEPTFILES);
    EXPECT_EQ(user.Text(window, kFitIdPreview), Wide(kFitPreviewEmpty));
    for (int list = 0; list < kFitListCount; ++list) {
      EXPECT_EQ(user.Selected(window, kFitIdRes + list), ChoiceIndex(FitChoices(), FitList(list)));
    }
    Shot(window, "fit_window_empty");
    ASSERT_TRUE(DropShown(user, window, L"portrait.png"));
    EXPECT_TRUE(IsWindowEnabled(GetDlgItem(window, kFitIdSave)));
    FitChoices wanted;
    EXPECT_TRUE(Preview(window) == Engine(png, wanted.res, wanted.dither).screen);

    // One control at a time (a list's item, a trackbar's position, a click): what is seen
    // changes, to what gramconv makes with the same options, from the picture already read.
    auto tone = [&](int id) -> int& {
      FitTone& t = wanted.look.tone;
      return id == kFitIdBrightness ? t.brightness
             : id == kFitIdContrast ? t.contrast
                                    : t.saturation;
    };
    const struct {
      int id, value;
    } steps[] = {{kFitIdDither, 0},     {kFitIdBackground, 5},  {kFitIdRes, 1},
                 {kFitIdScreen, 1},     {kFitIdFrame, 2},       {kFitIdDither, 4},
                 {kFitIdFrame, 3},      {kFitIdBrightness, 40}, {kFitIdContrast, -60},
                 {kFitIdSaturation, 0}, {kFitIdAutoLevels, 1},  {kFitIdSaturation, 200},
                 {kFitIdResetTone, 0},  {kFitIdScreen, 0},      {kFitIdRes, 0},
                 {kFitIdDither, 2},     {kFitIdBackground, 0},  {kFitIdSaturation, 140},
                 {kFitIdFrame, 1}};
    for (const auto& step : steps) {
      const std::string what = std::to_string(step.id) + " to " + std::to_string(step.value);
      const Bytes before = Preview(window);
      const bool list = step.id >= kFitIdRes && step.id <= kFitIdBackground;
      if (list) {
        user.Select(window, step.id, step.value);
        ::Choose(wanted, FitList(step.id - kFitIdRes), step.value);
      } else if (step.id == kFitIdAutoLevels || step.id == kFitIdResetTone) {
        user.Click(window, step.id);
        if (step.id == kFitIdResetTone) ResetTone(wanted);
        wanted.look.tone.autoLevels = step.value != 0;
      } else {
        user.Slide(window, step.id, step.value);
        tone(step.id) = step.value;
      }
      ASSERT_TRUE(WaitShown(user, window)) << what;
      const Bytes shown = Preview(window);
      EXPECT_TRUE(shown != before) << what << " changes nothing seen, so proves nothing";
      EXPECT_TRUE(shown == Engine(png, wanted.res, wanted.dither, wanted.look).screen) << what;
      EXPECT_EQ(user.Text(window, kFitIdStatus),
                Wide(ReadyStatus("portrait.png", wanted.res, wanted.dither)))
          << what;
      // The controls show the choices: a list its item, a trackbar its position and number.
      if (list) {
        EXPECT_EQ(user.Text(window, step.id),
                  Wide(ChoiceTexts(FitList(step.id - kFitIdRes))[step.value]));
      }
      for (int id : {kFitIdBrightness, kFitIdContrast, kFitIdSaturation}) {
        EXPECT_EQ(SendDlgItemMessageW(window, id, TBM_GETPOS, 0, 0), tone(id)) << what;
        EXPECT_EQ(user.Text(window, id + 10), std::to_wstring(tone(id))) << what;
      }
      EXPECT_EQ(user.Checked(window, kFitIdAutoLevels), wanted.look.tone.autoLevels) << what;
    }
    EXPECT_EQ(Ask(window, kFitAskWorkers), 0) << "no new decode for a choice";

    // 画面いっぱい (the last step) at 640x200: dragged down by 80 screen lines, the picture
    // follows the mouse, so the kept band moves up by 40 canvas lines, and only up.
    EXPECT_EQ(Focus(window), std::make_pair(0.5f, 0.5f));
    const FitPlacement before = PlacePicture(480, 640, Res640, wanted.look);
    user.Drag(window, kFitIdPreview, POINT{320, 100}, POINT{320, 180});
    ASSERT_TRUE(WaitShown(user, window));
    std::tie(wanted.look.focusX, wanted.look.focusY) = Focus(window);
    EXPECT_EQ(wanted.look.focusX, 0.5f) << "no crop across, no move across";
    const FitPlacement kept = PlacePicture(480, 640, Res640, wanted.look);
    EXPECT_NEAR((before.keptY - kept.keptY) * before.canvasHeight / kept.keptHeight, 40, 1);
    const Bytes dragged = Engine(png, Res640, wanted.dither, wanted.look).screen;
    EXPECT_TRUE(Preview(window) == dragged);
    Shot(window, "fit_window");
    // Every text fits its control at this DPI; the status's sentences one a line.
    ExpectTextsFit(window, {kFitIdOpen, kFitIdSave, kFitIdCancel, kFitIdClose, kFitIdResetTone,
                            kFitIdAutoLevels, kFitIdStatus, kFitIdResLabel, kFitIdDitherLabel,
                            kFitIdFrameLabel, kFitIdScreenLabel, kFitIdBackgroundLabel,
                            kFitIdBrightnessLabel, kFitIdContrastLabel, kFitIdSaturationLabel});

    // Maximised on a desktop that has room (the set-up gives one): the preview twice as
    // large, each of its pixels a crisp 2x2 square; back at once when restored.
    EXPECT_EQ(Ask(window, kFitAskPreviewScale), 1);
    PostMessageW(window, WM_SYSCOMMAND, SC_MAXIMIZE, 0);
    ASSERT_TRUE(user.Flush());
    ASSERT_TRUE(IsZoomed(window));
    RECT client;
    GetClientRect(window, &client);
    int width = 0, height = 0;
    FitClientFor(96, 2, width, height);
    ASSERT_TRUE(client.right >= width && client.bottom >= height) << "the desktop is too small";
    EXPECT_EQ(Ask(window, kFitAskPreviewScale), 2);
    Bytes twice;  // each screen pixel a crisp 2x2 square, none blended
    for (int y = 0; y < 800; ++y) {
      for (int x = 0; x < 1280; ++x) {
        const uint8_t* pixel = &dragged[(y / 2 * 640 + x / 2) * 3];
        twice.insert(twice.end(), pixel, pixel + 3);
      }
    }
    EXPECT_TRUE(PrintClientRgb(GetDlgItem(window, kFitIdPreview), width, height) == twice)
        << "printed " << width << "x" << height;
    Shot(window, "fit_window_maximised");
    PostMessageW(window, WM_SYSCOMMAND, SC_RESTORE, 0);
    ASSERT_TRUE(user.Flush());
    EXPECT_EQ(Ask(window, kFitAskPreviewScale), 1);
  });
}

TEST_F(FitWindowTest, BadPicturesAreRefusedInJapaneseAndAWebpOpensAfterThem) {
  // A browser's WebP (written beside its PNG by the test's set-up, lossless): Wine, like
  // Windows before 10, has no WebP codec; the program's own libwebp reads it.
  const Bytes webpPixels = ReadBytes(WorkPath(L"browser.png"));
  ASSERT_FALSE(webpPixels.empty()) << "the set-up writes browser.png and browser.webp";
  const Bytes png = Picture(L"short.png", 120, 90);
  WriteBytes(WorkPath(L"short.png"), Bytes(png.begin(), png.begin() + png.size() / 2));
  WriteBytes(WorkPath(L"junk.png"), Bytes(5000, 'z'));               // no format's signature
  const std::string heic("\0\0\0\030ftypheic\0\0\0\0mif1heic", 24);  // its box 24 bytes
  WriteBytes(WorkPath(L"photo.heic"), Bytes(heic.begin(), heic.end()));
  const struct {
    const wchar_t* name;
    std::string text;
  } bad[] = {
      {L"junk.png", FillText(kFitUnknownFormat, {"junk.png"})},
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
        if (round == 1 && &picture == &bad[1]) Shot(box.window, "fit_window_refused");
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
      ASSERT_TRUE(DropShown(user, window, L"browser.webp"))
          << Utf8(user.Text(window, kFitIdStatus));
      EXPECT_TRUE(Preview(window) == Engine(webpPixels, Res640, DitherDiffusion).screen)
          << "the WebP's pixels are the PNG's";
    }
  });
}

// Grey noise, 96 million pixels: it takes the decoder seconds, and stays under the limit.
std::wstring BigPicture() {
  const std::wstring big = WorkPath(L"big.png");
  if (Exists(big)) return big;
  const int width = 12000, height = 8000;
  Bytes grey(size_t(width) * height), png;
  uint32_t seed = 12345;
  for (uint8_t& p : grey) p = uint8_t((seed = seed * 1103515245u + 12345u) >> 24);
  stbi_write_png_compression_level = 1;
  EXPECT_NE(stbi_write_png_to_func(AppendBytes, &png, width, height, 1, grey.data(), width), 0);
  WriteBytes(big, png);
  return big;
}

TEST_F(FitWindowTest, LongWorkShowsProgressAndStopsAtOnceByButtonOrEsc) {
  const std::wstring big = BigPicture();
  const Bytes png = Picture(L"small.png", 640, 400);
  Run([&](DialogUser& user, HWND window) {
    // Reading, without a picture shown (Esc, 中止), then with one (中止, Esc).
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
      escape ? user.Key(window, VK_ESCAPE) : user.Click(window, kFitIdCancel);
      ASSERT_TRUE(user.Flush());
      ASSERT_TRUE(IsWindow(window)) << "Esc stops the reading, not the window";
      EXPECT_EQ(State(window), shown ? FitStateShown : FitStateEmpty)
          << "cancelled at once, before the worker ends (round " << round << ")";
      EXPECT_FALSE(IsWindowVisible(GetDlgItem(window, kFitIdProgress)));
      const std::wstring status = user.Text(window, kFitIdStatus);
      EXPECT_EQ(status.find(Wide(FillText(kFitStatusCancelled, {"big.png"}))), 0u) << Utf8(status);
      // The worker's late result is thrown away.
      ASSERT_TRUE(WaitUntil([&] { return Ask(window, kFitAskWorkers) == 0; }, 60000))
          << "the worker ends";
      ASSERT_TRUE(user.Flush());
      EXPECT_EQ(State(window), shown ? FitStateShown : FitStateEmpty);
      if (shown) {
        EXPECT_TRUE(Preview(window) == Engine(png, Res640, DitherDiffusion).screen)
            << "the picture before stays";
      } else if (round == 1) {
        ASSERT_TRUE(DropShown(user, window, L"small.png")) << "usable after the cancel";
      }
    }

    // 最高画質's search: the quick preview first (at 320 the search takes half as long).
    Choose(user, window, Res320, DitherBest);
    EXPECT_EQ(State(window), FitStateSearching);
    EXPECT_TRUE(Preview(window) == Engine(png, Res320, DitherDiffusion).screen);
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
    EXPECT_TRUE(WaitUntil([&] { return Ask(window, kFitAskWorkers) == 0; }, 10000))
        << "abandoned searches end";
  });
}

TEST_F(FitWindowTest, KeysChoosersAndSavesUnderAnyNameAndChoicesSurviveARestart) {
  // Names of any script: 絵.png given on the command line (a picture dropped on the program's
  // icon), 한글é.png (320x200, so it opens at 320x200) chosen through Ctrl+O and saved beside
  // itself; then remember.png shown after a restart with the choices left.
  const Bytes picture = Picture(L"絵.png", 640, 400), png = Picture(L"한글é.png", 320, 200);
  const Bytes remembered = Picture(L"remember.png", 200, 150);
  const std::wstring bmp = L"한글é-320x200.bmp";
  DeleteFileW(WorkPath(bmp).c_str());
  const Expected diffusion = Engine(png, Res320, DitherDiffusion);
  const Expected ordered = Engine(png, Res320, DitherOrdered);
  FitChoices wanted;
  wanted.res = Res320;
  wanted.dither = DitherOrdered;
  wanted.look.frame = FrameStretch;
  wanted.look.screen = Screen4x3;
  wanted.look.background = 5;
  wanted.look.tone.contrast = 30;
  wanted.look.tone.autoLevels = true;  // Alt+L ticks it, as a check box's access key does
  Run(
      [&](DialogUser& user, HWND window) {
        ASSERT_TRUE(WaitShown(user, window));
        EXPECT_TRUE(Preview(window) == Engine(picture, Res640, DitherDiffusion).screen);
        user.CtrlKey(window, 'O');
        HWND chooser = WaitChooser(user, kOpenTitle);
        EXPECT_EQ(user.Text(chooser, 0x470).substr(0, 5), L"全ての画像") << "the first filter";
        ASSERT_TRUE(user.Choose(chooser, kOpenTitle, WorkPath(L"한글é.png")));
        ASSERT_TRUE(WaitShown(user, window));
        EXPECT_EQ(user.Selected(window, kFitIdRes), 1) << "a 320x200 picture opens at 320x200";
        EXPECT_NE(user.Text(window, kFitIdStatus).find(L"한글é.png"), std::wstring::npos);
        EXPECT_NE(FocusedId(user), 0) << "the focus is back after the chooser";
        // Saved under the name suggested, as gramconv writes it; the status tells the file
        // and its folder, each sentence on a line of its own.
        EXPECT_EQ(SaveAs(user, window, bmp), bmp) << "the suggested name";
        ASSERT_TRUE(user.Flush());
        EXPECT_TRUE(ReadBytes(WorkPath(bmp)) == diffusion.bitmap);
        EXPECT_EQ(user.Text(window, kFitIdStatus), Wide(SavedStatus(Utf8(WorkPath(bmp)), Res320)));
        ExpectTextsFit(window, {kFitIdStatus});
        // The same name again, with another dither: asked first with はい / いいえ; いいえ keeps
        // the file and says so.
        Choose(user, window, Res320, DitherOrdered);
        for (BoxAnswer answer : {BoxAnswer::No, BoxAnswer::Yes}) {
          BoxWatcher boxes;
          boxes.Ignore(window);
          SaveAs(user, window, bmp, &boxes, answer);
          EXPECT_TRUE(boxes.WaitUntilAnswered(45000)) << boxes.Report();
          ASSERT_TRUE(user.Flush());
          ASSERT_TRUE(boxes.Finish()) << boxes.Report();
          const WatchedBox& box = boxes.boxes()[0];
          EXPECT_EQ(box.kind(), BoxKind::YesNo);
          EXPECT_EQ(box.owner, window) << "the question belongs to the window";
          EXPECT_EQ(box.wideText, Wide(FillText(kFitOverwrite, {Utf8(WorkPath(bmp))})));
          const bool replaced = answer == BoxAnswer::Yes;
          EXPECT_TRUE(ReadBytes(WorkPath(bmp)) == (replaced ? ordered.bitmap : diffusion.bitmap))
              << (replaced ? "はい replaces the file" : "いいえ keeps the file");
          EXPECT_EQ(user.Text(window, kFitIdStatus),
                    Wide(replaced ? SavedStatus(Utf8(WorkPath(bmp)), Res320)
                                  : FillText(kFitStatusNotSaved, {Utf8(bmp)})));
          EXPECT_EQ(FocusedId(user), kFitIdSave) << "the focus back on 保存";
        }

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
        ASSERT_TRUE(IsWindow(window));
        EXPECT_EQ(State(window), FitStateShown);
        // Ctrl+S: the save chooser, then Esc there closes only the chooser.
        user.CtrlKey(window, 'S');
        chooser = WaitChooser(user, kSaveTitle);
        PostMessageW(chooser, WM_COMMAND, IDCANCEL, 0);
        ASSERT_TRUE(user.WaitGone(kSaveTitle));
        ASSERT_TRUE(user.Flush());
        EXPECT_TRUE(IsWindow(window));
        // Choices made, then Alt+X: 閉じる, which keeps them for the next start.
        for (int list = 0; list < kFitListCount; ++list) Pick(user, window, FitList(list), wanted);
        user.Slide(window, kFitIdContrast, 30);
        user.AltKey(window, L'x');
        ASSERT_TRUE(user.Flush());
        EXPECT_FALSE(IsWindow(window)) << "閉じる closes the window";
      },
      WorkPath(L"絵.png"));
  // Started again: every list as it was left, and a picture shown with them and the tone.
  Run(
      [&](DialogUser& user, HWND window) {
        ASSERT_TRUE(WaitShown(user, window));
        for (int list = 0; list < kFitListCount; ++list) {
          EXPECT_EQ(user.Selected(window, kFitIdRes + list), ChoiceIndex(wanted, FitList(list)))
              << list;
        }
        EXPECT_TRUE(Preview(window) ==
                    Engine(remembered, Res320, DitherOrdered, wanted.look).screen);
        // Alt+F4 closes it, as the close box does.
        PostMessageW(window, WM_SYSKEYDOWN, VK_F4, LPARAM(1) | LPARAM(1) << 29);
        EXPECT_TRUE(WaitUntil([&] { return !IsWindow(window); }, 5000));
      },
      WorkPath(L"remember.png"));
}

}  // namespace

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  options = ReadLiveTestOptions(argc, argv);
  return RUN_ALL_TESTS();
}
