#include "demo_script.h"

#include <stdio.h>
#include <string.h>

#include <vector>

#include "common/show_message.h"
#include "common/texts.h"
#include "convert/gram_bitmap.h"
#include "dialog_driver.h"

namespace {

const int kGramToBitmapId = 401;
const int kBitmapToGramId = 402;
const int kRes320Id = 403;
const int kRes640Id = 404;
const int kExecuteId = 102;
const int kExitId = 2;
const DWORD kDialogTimeoutMs = 60000;
const DWORD kBoxTimeoutMs = 60000;

typedef std::vector<uint8_t> Gram;  // planes 0, 1, 2 back to back, as in a dump file

Gram Snapshot(const DemoSetup& setup) {
  Gram gram(3 * kGramPlaneBytes);
  for (int p = 0; p < 3; ++p) memcpy(&gram[p * kGramPlaneBytes], setup.planes[p], kGramPlaneBytes);
  return gram;
}

size_t DifferingBytes(const Gram& a, const Gram& b) {
  size_t count = 0;
  for (size_t i = 0; i < a.size(); ++i) count += a[i] != b[i];
  return count;
}

bool WriteWholeFile(const std::string& path, const void* data, DWORD size) {
  HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  const bool ok = WriteFile(file, data, size, &written, nullptr) && written == size;
  CloseHandle(file);
  return ok;
}

long long FileSize(const std::string& path) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data)) return -1;
  return (long long)data.nFileSizeHigh << 32 | data.nFileSizeLow;
}

std::string Formatted(const char* text, const std::string& path) {
  char buffer[kMessageBytes];
  return FormatMessageText(buffer, text, path.c_str());
}

class Demo {
 public:
  Demo(const DemoSetup& setup) : setup_(setup), driver_(setup.folder) {}

  bool Run() {
    Gram picture = Snapshot(setup_);
    if (!SaveGram("sample.gram", picture)) return false;
    if (!driver_.FindDialog(kDialogTimeoutMs)) return Fail(driver_.problem());
    Step("the converter dialog is open over GRAM holding the sample picture");
    if (!Shot("01-dialog")) return false;

    if (!Convert(kGramToBitmapId, kRes640Id, "sample-640x200.bmp", "02-export-640")) return false;
    if (!Convert(kGramToBitmapId, kRes320Id, "sample-320x200.bmp", "03-export-320")) return false;
    if (!CheckSize("sample-640x200.bmp", 64118) || !CheckSize("sample-320x200.bmp", 32118)) {
      return false;
    }

    // 320x200 keeps one of each pair of GRAM bits, so this import changes the picture...
    if (!Convert(kBitmapToGramId, kRes320Id, "sample-320x200.bmp", "04-import-320")) return false;
    const Gram coarse = Snapshot(setup_);
    if (!SaveGram("after-import-320.gram", coarse)) return false;
    Gram expected = picture;
    uint8_t pixels[kMaxPixelBytes];
    EncodeGram(Planes(picture), Res320, pixels);
    DecodeGram(pixels, Res320, Planes(expected));
    if (coarse != expected) {
      return Fail("GRAM after the 320x200 import is not the 320x200 picture (" +
                  std::to_string(DifferingBytes(coarse, expected)) + " bytes differ)");
    }
    Step("GRAM holds the 320x200 picture: " + std::to_string(DifferingBytes(coarse, picture)) +
         " of 48000 bytes changed");

    // ...and the 640x200 file brings every bit back.
    if (!Convert(kBitmapToGramId, kRes640Id, "sample-640x200.bmp", "05-import-640")) return false;
    const Gram restored = Snapshot(setup_);
    if (!SaveGram("after-import-640.gram", restored)) return false;
    if (restored != picture) {
      return Fail("GRAM after the 640x200 import differs from the sample picture in " +
                  std::to_string(DifferingBytes(restored, picture)) + " bytes");
    }
    Step("GRAM is the sample picture again, all 48000 bytes");

    if (!driver_.Press(kExitId)) return Fail(driver_.problem());
    const ULONGLONG deadline = GetTickCount64() + kDialogTimeoutMs;
    while (IsWindow(driver_.dialog())) {
      if (GetTickCount64() > deadline) return Fail("the dialog did not close on exit");
      Sleep(50);
    }
    Step("exit closed the dialog");
    return true;
  }

  // After a failure: answers whatever box is open and exits the dialog, so the host's
  // thread gets its dialog call back. False when the dialog would not go.
  bool Abandon() {
    for (int attempt = 0; attempt < 20 && IsWindow(driver_.dialog()); ++attempt) {
      SeenBox box;
      if (driver_.WaitForBox(2000, box)) {
        driver_.AnswerBox(box.hasCancel ? BoxButton::Cancel : BoxButton::Ok, 5000);
        continue;
      }
      driver_.Press(kExitId);
      Sleep(1000);
    }
    return !IsWindow(driver_.dialog());
  }

  const std::string& problem() const { return problem_; }

 private:
  GramPlanes Planes(Gram& gram) {
    return {{&gram[0], &gram[kGramPlaneBytes], &gram[2 * kGramPlaneBytes]}};
  }

  std::string InFolder(const std::string& name) const { return setup_.folder + "\\" + name; }

  bool Fail(const std::string& what) {
    problem_ = what;
    printf("FAILED: %s\n", what.c_str());
    fflush(stdout);
    return false;
  }

  void Step(const std::string& what) {
    printf("  ok  %s\n", what.c_str());
    fflush(stdout);
  }

  bool Shot(const std::string& name) {
    return driver_.RequestShot(name) || Fail(driver_.problem());
  }

  bool SaveGram(const std::string& name, const Gram& gram) {
    return WriteWholeFile(InFolder(name), gram.data(), DWORD(gram.size())) ||
           Fail("could not write " + name);
  }

  bool CheckSize(const std::string& name, long long size) {
    const long long actual = FileSize(InFolder(name));
    if (actual != size) {
      return Fail(name + " has " + std::to_string(actual) + " bytes, not " + std::to_string(size));
    }
    return true;
  }

  // Checks the box the driver found, screenshots it and presses OK.
  bool AcceptBox(const SeenBox& box, const std::string& text, const std::string& shot) {
    if (box.text != text) {
      return Fail("expected the box \"" + Cp932ToUtf8(text) + "\", got \"" + Cp932ToUtf8(box.text) +
                  "\"");
    }
    if (!Shot(shot)) return false;
    if (!driver_.AnswerBox(BoxButton::Ok, kBoxTimeoutMs)) return Fail(driver_.problem());
    std::string shown = Cp932ToUtf8(text);
    for (char& c : shown) c = c == '\n' ? ' ' : c;
    Step("box \"" + shown + "\": OK");
    return true;
  }

  bool NextBox(SeenBox& box) {
    return driver_.WaitForBox(kBoxTimeoutMs, box) || Fail(driver_.problem());
  }

  // One execute: the path typed into the field, the two radio buttons clicked, execute
  // pressed, and each box the conversion shows answered OK.
  bool Convert(int directionId, int resolutionId, const std::string& name,
               const std::string& shot) {
    const bool exporting = directionId == kGramToBitmapId;
    const std::string path = InFolder(name);
    if (!driver_.TypePath(path) || !driver_.Click(directionId) || !driver_.Click(resolutionId)) {
      return Fail(driver_.problem());
    }
    if (!driver_.IsChecked(directionId) || !driver_.IsChecked(resolutionId)) {
      return Fail("the radio buttons did not take the clicks");
    }
    Step(std::string(exporting ? "export" : "import") + " " + name + ": path typed, " +
         (exporting ? "GRAM->BMP" : "BMP->GRAM") + " and " +
         (resolutionId == kRes320Id ? "320x200" : "640x200") + " chosen");
    if (!Shot(shot + "-1-settings")) return false;
    if (!driver_.Press(kExecuteId)) return Fail(driver_.problem());
    const char* question = exporting ? kTextExportConfirm : kTextImportConfirm;
    SeenBox box;
    if (!NextBox(box) || !AcceptBox(box, Formatted(question, path), shot + "-2-question")) {
      return false;
    }
    if (!NextBox(box)) return false;
    const std::string overwrite = Formatted(kTextOverwriteConfirm, path);
    if (exporting && box.text == overwrite) {
      // Left from an earlier run in the same folder: replace it, as the user would.
      if (!AcceptBox(box, overwrite, shot + "-2-overwrite") || !NextBox(box)) return false;
    }
    return AcceptBox(box, exporting ? kTextExportDone : kTextImportDone, shot + "-3-done");
  }

  const DemoSetup& setup_;
  DialogDriver driver_;
  std::string problem_;
};

DemoSetup g_setup;
HANDLE g_thread = nullptr;
bool g_succeeded = false;
std::string g_problem;

DWORD WINAPI DemoThread(LPVOID) {
  Demo demo(g_setup);
  g_succeeded = demo.Run();
  g_problem = demo.problem();
  if (!g_succeeded && !demo.Abandon()) {
    // Nothing else would ever end the host's dialog call.
    printf("FAILED: the dialog could not be closed; stopping\n");
    fflush(stdout);
    TerminateProcess(GetCurrentProcess(), 3);
  }
  return 0;
}

}  // namespace

bool StartDemo(const DemoSetup& setup) {
  char full[MAX_PATH];
  const DWORD length = GetFullPathNameA(setup.folder.c_str(), MAX_PATH, full, nullptr);
  if (length == 0 || length >= MAX_PATH) return false;
  g_setup = setup;
  g_setup.folder = full;
  if (!g_setup.folder.empty() && g_setup.folder.back() == '\\') g_setup.folder.pop_back();
  g_thread = CreateThread(nullptr, 0, DemoThread, nullptr, 0, nullptr);
  return g_thread != nullptr;
}

bool FinishDemo(std::string& problem) {
  if (g_thread == nullptr) {
    problem = "the demo was not started";
    return false;
  }
  WaitForSingleObject(g_thread, INFINITE);
  CloseHandle(g_thread);
  g_thread = nullptr;
  problem = g_problem;
  return g_succeeded;
}
