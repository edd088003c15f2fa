// The converter dialog's effect on the module-wide state, which the library does not show
// from outside: this program links the dialog code itself (its templates come from the
// library of the build, loaded only for its resources) and reads SelectedPath, DropPath
// and ConverterSettings while a user thread works the dialog.
//
//   dialog_state_tests --dll=PATH
#include <string.h>
#include <windows.h>

#include <string>
#include <vector>

#include "box_watcher.h"
#include "dialog_host.h"
#include "dialog_user.h"
#include "gtest/gtest.h"
#include "host/module_state.h"

extern "C" INT_PTR WINAPI InfomationDialog(HWND parent);

namespace {

std::string dllPath;
uint8_t gram[3][16000];

const char kTooLongText[] = "ファイルのパスが長すぎます。259バイト以内のパスを指定してください。";

class DialogState : public ::testing::Test {
 protected:
  void SetUp() override {
    resources_ = LoadLibraryA(dllPath.c_str());
    ASSERT_NE(resources_, nullptr) << "cannot load " << dllPath;
    Module::ModuleInstance = resources_;
    for (int i = 0; i < 3; ++i) Module::GramPlanes.plane[i] = gram[i];
    host_ = CreateHostWindow();
    ASSERT_NE(host_, nullptr);
  }

  void TearDown() override {
    if (host_ != nullptr) DestroyWindow(host_);
    if (resources_ != nullptr) FreeLibrary(resources_);
  }

  INT_PTR RunDialog(const std::function<void(DialogUser&)>& script) {
    return RunWithUser(
        host_, [&] { return InfomationDialog(host_); }, script);
  }

  // The state is only read while the dialog's thread waits for messages.
  static std::string Selected() { return Module::SelectedPath; }
  static std::string Dropped() { return Module::DropPath; }
  static void ExpectSettings(Direction direction, Resolution resolution) {
    EXPECT_EQ(Module::ConverterSettings.direction, direction);
    EXPECT_EQ(Module::ConverterSettings.resolution, resolution);
  }

  HMODULE resources_ = nullptr;
  HWND host_ = nullptr;
};

TEST_F(DialogState, RefusedPathsLeaveSettingsAndPathsAlone) {
  Module::ConverterSettings.direction = BitmapToGram;
  Module::ConverterSettings.resolution = Res640;
  strcpy(Module::SelectedPath, "left from before");
  const std::string kept = "Z:\\nowhere\\kept.bmp";
  const std::string tooLong = "Z:\\nowhere\\" + std::string(260, 'x') + ".bmp";

  RunDialog([&](DialogUser& user) {
    HWND dialog = WaitMainDialog(user);
    if (dialog == nullptr) return;
    ASSERT_TRUE(user.Flush());
    EXPECT_EQ(Selected(), "") << "opening clears the path";
    EXPECT_TRUE(user.Checked(dialog, kIdBitmapToGram));
    EXPECT_TRUE(user.Checked(dialog, kIdRes640));

    user.Drop(dialog, {kept});
    ASSERT_TRUE(user.Flush());
    EXPECT_EQ(Dropped(), kept);
    EXPECT_EQ(Selected(), kept);

    // Over-long typed path: only the error box; nothing stored, nothing cut.
    user.Click(dialog, kIdGramToBitmap);
    user.Click(dialog, kIdRes320);
    user.TypeBytes(dialog, kIdPath, tooLong);
    std::vector<WatchedBox> seen = ExecuteAndAnswer(user, dialog, {BoxAnswer::Ok});
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_BOX(seen[0], BoxKind::Error, Wide(kTooLongText));
    EXPECT_EQ(Selected(), kept);
    EXPECT_EQ(Dropped(), kept);
    ExpectSettings(BitmapToGram, Res640);

    // Over-long dropped name: the same.
    BoxWatcher boxes;
    boxes.Start({BoxAnswer::Ok}, 30000);
    user.Drop(dialog, {tooLong});
    EXPECT_TRUE(boxes.WaitUntilAnswered(35000));
    EXPECT_TRUE(boxes.Finish()) << boxes.Report();
    ASSERT_TRUE(user.Flush());
    EXPECT_EQ(Selected(), kept);
    EXPECT_EQ(Dropped(), kept);
    EXPECT_EQ(user.TextBytes(dialog, kIdPath), tooLong);

    // Empty field: the path is read (so now empty), the settings stay.
    user.Type(dialog, kIdPath, L"");
    seen = ExecuteAndAnswer(user, dialog, {BoxAnswer::Ok});
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_BOX(seen[0], BoxKind::Error, L"BMPファイルを指定してください。");
    EXPECT_EQ(Selected(), "");
    ExpectSettings(BitmapToGram, Res640);

    // A path that fits is stored with the choices, before the conversion runs.
    user.Click(dialog, kIdBitmapToGram);
    user.TypeBytes(dialog, kIdPath, kept);
    seen = ExecuteAndAnswer(user, dialog, {BoxAnswer::Ok});
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].kind(), BoxKind::Error) << "the file does not exist";
    EXPECT_EQ(Selected(), kept);
    ExpectSettings(BitmapToGram, Res320);
    user.Click(dialog, kIdExit);
  });
}

TEST_F(DialogState, ChoicesMapToSettings) {
  struct Case {
    int direction, resolution;
    Direction wantDirection;
    Resolution wantResolution;
  } cases[] = {
      {kIdGramToBitmap, kIdRes640, GramToBitmap, Res640},
      {kIdBitmapToGram, kIdRes320, BitmapToGram, Res320},
      {kIdGramToBitmap, kIdRes320, GramToBitmap, Res320},
  };
  for (const Case& c : cases) {
    RunDialog([&](DialogUser& user) {
      HWND dialog = WaitMainDialog(user);
      if (dialog == nullptr) return;
      user.Click(dialog, c.direction);
      user.Click(dialog, c.resolution);
      // A folder: the export first asks (Cancel ends it), the import cannot open it.
      user.Type(dialog, kIdPath, L"Z:\\");
      const bool exporting = c.wantDirection == GramToBitmap;
      std::vector<WatchedBox> seen =
          ExecuteAndAnswer(user, dialog, {exporting ? BoxAnswer::Cancel : BoxAnswer::Ok});
      ASSERT_EQ(seen.size(), 1u);
      EXPECT_EQ(seen[0].kind(), exporting ? BoxKind::Question : BoxKind::Error);
      ExpectSettings(c.wantDirection, c.wantResolution);
      user.Click(dialog, kIdExit);
    });
  }
}

}  // namespace

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg.rfind("--dll=", 0) == 0) dllPath = WindowsPath(arg.substr(6));
  }
  return RUN_ALL_TESTS();
}
