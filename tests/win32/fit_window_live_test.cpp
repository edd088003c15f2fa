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

// What the engine makes of a file for one choice: the screen and the BMP file.
struct Expected {
  std::vector<uint8_t> screen;
  std::vector<uint8_t> bitmap;
};

Expected Engine(const std::vector<uint8_t>& picture, Resolution res, DitherMode dither) {
  Expected expected;
  Canvas canvas;
  EXPECT_EQ(ScalePicture(picture.data(), picture.size(), res, canvas), "");
  std::vector<uint8_t> colours(size_t(canvas.width) * canvas.height);
  MapColours(canvas, dither, colours.data());
  PreviewScreen(res, colours.data(), expected.screen);
  std::vector<uint8_t> pixels;
  FitLook stretch;  // the window's own framing
  stretch.frame = FrameStretch;
  EXPECT_EQ(FitPicture(picture.data(), picture.size(), res, dither, pixels, nullptr, GammaLinear,
                       nullptr, stretch, false),
            "");
  expected.bitmap = FittedBitmapFile(res, pixels);
  return expected;
}

// --- the window ------------------------------------------------------------------------

class FitWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(options.work.empty()) << "--work=DIR is required";
    host_ = CreateHostWindow();
    ASSERT_NE(host_, nullptr) << "error " << GetLastError();
  }
  void TearDown() override {
    if (host_ != nullptr) DestroyWindow(host_);
  }

  // Runs the window (opening picture when given, as the command line does) while script is
  // the user; returns the window's exit code.
  int Run(const std::function<void(DialogUser&, HWND)>& script, const std::wstring& picture = L"") {
    return int(RunWithUser(
        host_, [&] { return INT_PTR(RunFitWindow(CreateFitWindow(nullptr, picture, SW_SHOW))); },
        [&](DialogUser& user) {
          user.SetBoxCaption(kFitBoxCaption);
          HWND window = user.WaitWindow(kWindowTitle, kStepMs);
          EXPECT_NE(window, nullptr) << "the window did not appear";
          if (window == nullptr) return;
          script(user, window);
          user.Flush();
          PostMessageW(window, WM_CLOSE, 0, 0);
        }));
  }

  static int State(HWND window) { return int(SendMessageW(window, kFitAskState, 0, 0)); }

  // Waits until no fit runs; true when the window then shows a picture.
  static bool WaitShown(DialogUser& user, HWND window, DWORD timeoutMs = 60000) {
    if (!user.Flush()) return false;  // what was posted before has been taken
    for (DWORD waited = 0; waited < timeoutMs; waited += 50) {
      if (State(window) != FitStateWorking) {
        user.Flush();
        return State(window) == FitStateShown;
      }
      Sleep(50);
    }
    return false;
  }

  static std::vector<uint8_t> Preview(HWND window) {
    std::vector<uint8_t> rgb(size_t(kPreviewWidth) * kPreviewHeight * 3, 0);
    if (SendMessageW(window, kFitAskPreview, 0, LPARAM(rgb.data())) != 1) rgb.clear();
    return rgb;
  }

  static void Choose(DialogUser& user, HWND window, Resolution res, DitherMode dither) {
    user.Click(window, res == Res320 ? kFitIdRes320 : kFitIdRes640);
    user.Click(window, dither == DitherNone      ? kFitIdDitherNone
                       : dither == DitherOrdered ? kFitIdDitherOrdered
                                                 : kFitIdDitherDiffusion);
    ASSERT_TRUE(user.Flush());
  }

  static HWND OpenChooser(DialogUser& user, HWND window, int button, const wchar_t* title) {
    user.Click(window, button);
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
};

TEST_F(FitWindowTest, DroppedPictureShowsWhatGramShowsForEveryChoice) {
  const std::vector<uint8_t> png = TestPng(301, 187);
  WriteBytes(WorkPath(L"dropped.png"), png);
  EXPECT_EQ(Run([&](DialogUser& user, HWND window) {
              EXPECT_EQ(State(window), FitStateEmpty);
              EXPECT_TRUE(Preview(window).empty()) << "no picture, no preview";
              EXPECT_FALSE(IsWindowEnabled(GetDlgItem(window, kFitIdSave)));
              EXPECT_TRUE(GetWindowLongW(window, GWL_EXSTYLE) & WS_EX_ACCEPTFILES);
              user.DropWide(window, {WorkPath(L"dropped.png")});
              ASSERT_TRUE(WaitShown(user, window));
              EXPECT_TRUE(IsWindowEnabled(GetDlgItem(window, kFitIdSave)));
              const struct {
                Resolution res;
                DitherMode dither;
              } choices[] = {{Res640, DitherNone},      {Res640, DitherOrdered},
                             {Res640, DitherDiffusion}, {Res320, DitherDiffusion},
                             {Res320, DitherOrdered},   {Res320, DitherNone}};
              for (const auto& choice : choices) {
                Choose(user, window, choice.res, choice.dither);
                ASSERT_TRUE(WaitShown(user, window));
                EXPECT_TRUE(Preview(window) == Engine(png, choice.res, choice.dither).screen)
                    << "res " << BitmapWidth(choice.res) << " dither " << int(choice.dither);
                EXPECT_EQ(user.Text(window, kFitIdStatus),
                          Wide(ReadyStatus("dropped.png", choice.res, choice.dither)));
              }
              // Both canvases are kept: going back to 640 and changing the dither needs no fit.
              user.Click(window, kFitIdRes640);
              ASSERT_TRUE(user.Flush());
              EXPECT_EQ(State(window), FitStateShown) << "640x200 was fitted before";
              EXPECT_EQ(SendMessageW(window, kFitAskWorkers, 0, 0), 0);
              EXPECT_TRUE(Preview(window) == Engine(png, Res640, DitherNone).screen);
            }),
            0);
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
    EXPECT_EQ(status, Wide(SavedStatus("chosen-320x200.bmp", Res320)));
    EXPECT_NE(status.find(L"BMPファイルからGRAM"), std::wstring::npos);
    EXPECT_NE(status.find(L"320x200"), std::wstring::npos);

    // The same name again, with another dither: asked first, Cancel keeps the file.
    Choose(user, window, Res320, DitherOrdered);
    for (BoxAnswer answer : {BoxAnswer::Cancel, BoxAnswer::Ok}) {
      BoxWatcher boxes;
      boxes.Ignore(window);
      SaveAs(user, window, L"chosen-320x200.bmp", &boxes, answer);
      EXPECT_TRUE(boxes.WaitUntilAnswered(45000)) << boxes.Report();
      ASSERT_TRUE(user.Flush());
      ASSERT_TRUE(boxes.Finish()) << boxes.Report();
      const WatchedBox& box = boxes.boxes()[0];
      EXPECT_EQ(box.kind(), BoxKind::Question);
      EXPECT_EQ(box.owner, window) << "the question belongs to the window";
      EXPECT_EQ(box.wideText,
                Wide(FillText(kFitOverwrite, {Utf8(WorkPath(L"chosen-320x200.bmp"))})));
      const bool replaced = answer == BoxAnswer::Ok;
      EXPECT_TRUE(ReadBytes(WorkPath(L"chosen-320x200.bmp")) ==
                  (replaced ? ordered.bitmap : diffusion.bitmap))
          << (replaced ? "OK replaces the file" : "Cancel keeps the file");
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
  const struct {
    const wchar_t* name;
    std::string text;
  } bad[] = {
      {L"noise.png", FillText(kFitUnknownFormat, {"noise.png"})},
      {L"short.png", FillText(kFitCutShort, {"short.png"})},
      {L"missing.png", FillText(kFitCannotOpen, {Utf8(WorkPath(L"missing.png"))})},
  };
  Run([&](DialogUser& user, HWND window) {
    for (int round = 0; round < 2; ++round) {  // without and with a picture shown
      for (const auto& picture : bad) {
        BoxWatcher boxes;
        boxes.Ignore(window);
        boxes.Start({BoxAnswer::Ok}, 40000);
        user.DropWide(window, {WorkPath(picture.name)});
        EXPECT_TRUE(boxes.WaitUntilAnswered(45000)) << boxes.Report();
        ASSERT_TRUE(user.Flush());
        ASSERT_TRUE(boxes.Finish()) << boxes.Report();
        EXPECT_EQ(boxes.boxes()[0].kind(), BoxKind::Error);
        EXPECT_EQ(boxes.boxes()[0].owner, window);
        EXPECT_EQ(boxes.boxes()[0].wideText, Wide(picture.text)) << Utf8(picture.name);
        EXPECT_EQ(State(window), round == 0 ? FitStateEmpty : FitStateShown)
            << "a refused picture leaves the window as it was";
      }
      user.DropWide(window, {WorkPath(L"good.png")});
      ASSERT_TRUE(WaitShown(user, window)) << "the window still opens pictures";
      EXPECT_TRUE(Preview(window) == Engine(png, Res640, DitherNone).screen);
    }

    // A picture gone before its other resolution is fitted: refused once, and the window
    // goes back to the resolution it has.
    WriteBytes(WorkPath(L"gone.png"), png);
    user.DropWide(window, {WorkPath(L"gone.png")});
    ASSERT_TRUE(WaitShown(user, window));
    ASSERT_TRUE(DeleteFileW(WorkPath(L"gone.png").c_str()));
    BoxWatcher boxes;
    boxes.Ignore(window);
    boxes.Start({BoxAnswer::Ok}, 40000);
    user.Click(window, kFitIdRes320);
    EXPECT_TRUE(boxes.WaitUntilAnswered(45000)) << boxes.Report();
    Sleep(500);  // a second box would come now
    ASSERT_TRUE(user.Flush());
    EXPECT_TRUE(boxes.Finish()) << boxes.Report();
    EXPECT_EQ(State(window), FitStateShown);
    EXPECT_TRUE(user.Checked(window, kFitIdRes640)) << "back to the fitted resolution";
    EXPECT_TRUE(Preview(window) == Engine(png, Res640, DitherNone).screen);
  });
}

TEST_F(FitWindowTest, JapaneseAndOtherNamesOpenAndSaveBesideThePicture) {
  const std::vector<uint8_t> png = TestPng(200, 100);
  const std::wstring names[] = {L"絵.png", L"한글é.png"};
  for (const std::wstring& name : names) {
    WriteBytes(WorkPath(name), png);
    DeleteFileW(WorkPath(name.substr(0, name.size() - 4) + L"-640x200.bmp").c_str());
  }
  const Expected expected = Engine(png, Res640, DitherNone);
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

TEST_F(FitWindowTest, LongFitShowsProgressAndCancelsAtOnce) {
  // Grey noise, 96 million pixels: it takes the decoder seconds, and stays under the limit.
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
    ASSERT_NE(stbi_write_png_to_func(AppendBytes, &png, width, height, 1, grey.data(), width), 0);
    grey = std::vector<uint8_t>();
    WriteBytes(big, png);
  }
  const std::vector<uint8_t> small = TestPng(64, 40);
  WriteBytes(WorkPath(L"small.png"), small);
  DeleteFileW(WorkPath(L"big-640x200.bmp").c_str());
  Run([&](DialogUser& user, HWND window) {
    for (int round = 0; round < 2; ++round) {  // without and with a picture shown
      user.DropWide(window, {big});
      ASSERT_TRUE(user.Flush());
      ASSERT_EQ(State(window), FitStateWorking) << "the fit takes long";
      EXPECT_TRUE(IsWindowVisible(GetDlgItem(window, kFitIdProgress)));
      EXPECT_TRUE(IsWindowEnabled(GetDlgItem(window, kFitIdCancel)));
      EXPECT_FALSE(IsWindowEnabled(GetDlgItem(window, kFitIdSave)));
      if (round == 0) Shot(window, "fit_window_reading");
      EXPECT_TRUE(user.Flush()) << "the window answers while it fits";
      user.Click(window, kFitIdCancel);
      ASSERT_TRUE(user.Flush());
      EXPECT_EQ(State(window), round == 0 ? FitStateEmpty : FitStateShown)
          << "cancelled at once, before the worker ends";
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
      EXPECT_EQ(State(window), round == 0 ? FitStateEmpty : FitStateShown);
      if (round == 1) {
        EXPECT_TRUE(Preview(window) == Engine(small, Res640, DitherNone).screen)
            << "the picture before stays";
      }
      user.DropWide(window, {WorkPath(L"small.png")});
      ASSERT_TRUE(WaitShown(user, window)) << "usable after the cancel";
    }
  });
  EXPECT_FALSE(Exists(WorkPath(L"big-640x200.bmp"))) << "no output";
}

TEST_F(FitWindowTest, Screenshots) {
  ASSERT_FALSE(options.shots.empty()) << "--shots=DIR is required";
  const std::vector<uint8_t> png = TestPng(640, 400);
  WriteBytes(WorkPath(L"picture.png"), png);
  WriteBytes(WorkPath(L"broken.png"), std::vector<uint8_t>(png.begin(), png.begin() + 300));
  Run([&](DialogUser& user, HWND window) {
    user.DropWide(window, {WorkPath(L"picture.png")});
    ASSERT_TRUE(WaitShown(user, window));
    Choose(user, window, Res640, DitherDiffusion);
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
