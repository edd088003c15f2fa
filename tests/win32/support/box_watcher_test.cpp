// The watcher itself, against MessageBoxA boxes shown on the test's own thread: what it
// reads, how it answers, and that a missing or an extra box fails instead of hanging.
#include "box_watcher.h"

#include <gtest/gtest.h>

namespace {

int Show(const std::string& utf8Text, UINT style) {
  return MessageBoxA(nullptr, Utf8ToCp932(utf8Text).c_str(), Utf8ToCp932("見出し").c_str(), style);
}

TEST(BoxWatcher, ReadsAndAnswersEachKind) {
  BoxWatcher boxes;
  boxes.Start({BoxAnswer::Cancel, BoxAnswer::Ok, BoxAnswer::Ok, BoxAnswer::Ok});
  EXPECT_EQ(Show("質問です。\n続けますか？", MB_OKCANCEL | MB_ICONQUESTION), IDCANCEL);
  EXPECT_EQ(Show("質問 C:\\表\\a.bmp", MB_OKCANCEL | MB_ICONQUESTION), IDOK);
  EXPECT_EQ(Show("エラー", MB_OK | MB_ICONERROR), IDOK);
  EXPECT_EQ(Show("完了", MB_OK | MB_ICONINFORMATION), IDOK);
  ASSERT_TRUE(boxes.Finish()) << boxes.Report();
  const std::vector<WatchedBox>& seen = boxes.boxes();
  ASSERT_EQ(seen.size(), 4u) << boxes.Report();

  EXPECT_EQ(seen[0].caption, Utf8ToCp932("見出し"));
  EXPECT_EQ(seen[0].text, Utf8ToCp932("質問です。\n続けますか？"));
  EXPECT_EQ(seen[0].kind(), BoxKind::Question);
  EXPECT_EQ(seen[0].answer, BoxAnswer::Cancel);
  // The table character's trail byte is a backslash: the bytes must come back unchanged.
  EXPECT_EQ(seen[1].text, Utf8ToCp932("質問 C:\\表\\a.bmp"));
  EXPECT_EQ(seen[1].answer, BoxAnswer::Ok);
  EXPECT_EQ(seen[2].kind(), BoxKind::Error);
  EXPECT_EQ(seen[2].icon, BoxIcon::Error);
  EXPECT_TRUE(seen[2].hasOk);
  EXPECT_FALSE(seen[2].hasCancel);
  EXPECT_EQ(seen[3].kind(), BoxKind::Information);
  EXPECT_EQ(seen[3].buttonCount, 1);
  for (const WatchedBox& box : seen) EXPECT_TRUE(box.scripted);
}

TEST(BoxWatcher, TellsKindsApart) {
  BoxWatcher boxes;
  boxes.Start({BoxAnswer::Ok, BoxAnswer::Ok, BoxAnswer::Ok});
  Show("警告", MB_OK | MB_ICONWARNING);
  Show("アイコンなし", MB_OKCANCEL);
  Show("質問アイコンでOKだけ", MB_OK | MB_ICONQUESTION);
  ASSERT_TRUE(boxes.Finish()) << boxes.Report();
  ASSERT_EQ(boxes.boxes().size(), 3u);
  EXPECT_EQ(boxes.boxes()[0].icon, BoxIcon::Warning);
  EXPECT_EQ(boxes.boxes()[0].kind(), BoxKind::Other);
  EXPECT_EQ(boxes.boxes()[1].icon, BoxIcon::None);
  EXPECT_EQ(boxes.boxes()[1].kind(), BoxKind::Other);
  EXPECT_TRUE(boxes.boxes()[1].hasCancel);
  EXPECT_EQ(boxes.boxes()[2].icon, BoxIcon::Question);
  EXPECT_EQ(boxes.boxes()[2].kind(), BoxKind::Other);
}

TEST(BoxWatcher, AnswersYesNoQuestions) {
  BoxWatcher boxes;
  // No where there is no such button presses Yes and fails; an extra one is answered No.
  boxes.Start({BoxAnswer::No, BoxAnswer::Yes, BoxAnswer::No});
  EXPECT_EQ(Show("上書きしますか？", MB_YESNO | MB_ICONQUESTION), IDNO);
  EXPECT_EQ(Show("上書きしますか？", MB_YESNO | MB_ICONQUESTION), IDYES);
  EXPECT_EQ(Show("はいだけ", MB_OK | MB_ICONQUESTION), IDOK);
  EXPECT_EQ(Show("余分", MB_YESNO | MB_ICONQUESTION), IDNO);
  EXPECT_FALSE(boxes.Finish());
  ASSERT_EQ(boxes.boxes().size(), 4u);
  EXPECT_EQ(boxes.boxes()[0].kind(), BoxKind::YesNo);
  EXPECT_FALSE(boxes.boxes()[0].hasOk || boxes.boxes()[0].hasCancel);
  EXPECT_EQ(boxes.boxes()[1].answer, BoxAnswer::Yes);
  EXPECT_EQ(boxes.boxes()[2].answer, BoxAnswer::Ok);
  EXPECT_FALSE(boxes.boxes()[3].scripted);
  EXPECT_EQ(boxes.boxes()[3].answer, BoxAnswer::No);
}

TEST(BoxWatcher, MissingBoxFails) {
  BoxWatcher boxes;
  boxes.Start({BoxAnswer::Ok, BoxAnswer::Ok});
  Show("ひとつだけ", MB_OK | MB_ICONINFORMATION);
  EXPECT_FALSE(boxes.Finish());
  EXPECT_EQ(boxes.boxes().size(), 1u);
  EXPECT_NE(boxes.Report().find("expected 2 boxes, only 1 came"), std::string::npos)
      << boxes.Report();
}

TEST(BoxWatcher, ExtraBoxIsClosedAndFails) {
  BoxWatcher boxes;
  boxes.Start({BoxAnswer::Ok});
  EXPECT_EQ(Show("予定どおり", MB_OKCANCEL | MB_ICONQUESTION), IDOK);
  // Beyond the script: closed with Cancel where there is one, so the code stops.
  EXPECT_EQ(Show("余分", MB_OKCANCEL | MB_ICONQUESTION), IDCANCEL);
  EXPECT_EQ(Show("余分2", MB_OK | MB_ICONERROR), IDOK);
  EXPECT_FALSE(boxes.Finish());
  ASSERT_EQ(boxes.boxes().size(), 3u);
  EXPECT_TRUE(boxes.boxes()[0].scripted);
  EXPECT_FALSE(boxes.boxes()[1].scripted);
  EXPECT_FALSE(boxes.boxes()[2].scripted);
}

TEST(BoxWatcher, CancelOnOkOnlyBoxPressesOkAndFails) {
  BoxWatcher boxes;
  boxes.Start({BoxAnswer::Cancel});
  EXPECT_EQ(Show("OKだけ", MB_OK | MB_ICONERROR), IDOK);
  EXPECT_FALSE(boxes.Finish());
  ASSERT_EQ(boxes.boxes().size(), 1u);
  EXPECT_EQ(boxes.boxes()[0].answer, BoxAnswer::Ok);
}

TEST(BoxWatcher, BoxAfterTimeoutIsClosedAndFails) {
  BoxWatcher boxes;
  boxes.Start({BoxAnswer::Ok}, 300);
  Sleep(800);
  EXPECT_EQ(Show("遅すぎる", MB_OKCANCEL | MB_ICONQUESTION), IDCANCEL);
  EXPECT_FALSE(boxes.Finish());
  ASSERT_EQ(boxes.boxes().size(), 1u);
  EXPECT_FALSE(boxes.boxes()[0].scripted);
}

// Dialogs already open when watching starts (a converter dialog, say) are not boxes.
TEST(BoxWatcher, LeavesEarlierDialogsAlone) {
  static HWND earlier = nullptr;
  struct Runner {
    static DWORD WINAPI Show(LPVOID) {
      MessageBoxA(nullptr, "earlier", "earlier", MB_OKCANCEL);
      return 0;
    }
    static BOOL CALLBACK Find(HWND window, LPARAM) {
      DWORD pid = 0;
      GetWindowThreadProcessId(window, &pid);
      char title[32] = {};
      if (pid == GetCurrentProcessId() && IsWindowVisible(window) &&
          InternalGetWindowText(window, reinterpret_cast<LPWSTR>(title), 16) > 0 &&
          lstrcmpW(reinterpret_cast<LPWSTR>(title), L"earlier") == 0) {
        earlier = window;
      }
      return TRUE;
    }
  };
  HANDLE other = CreateThread(nullptr, 0, &Runner::Show, nullptr, 0, nullptr);
  for (int i = 0; i < 200 && earlier == nullptr; ++i) {
    Sleep(50);
    EnumWindows(&Runner::Find, 0);
  }
  ASSERT_NE(earlier, nullptr);
  Sleep(200);
  {
    BoxWatcher boxes;
    boxes.Start({BoxAnswer::Ok});
    Show("新しい", MB_OK | MB_ICONINFORMATION);
    EXPECT_TRUE(boxes.Finish()) << boxes.Report();
    ASSERT_EQ(boxes.boxes().size(), 1u);
    EXPECT_EQ(boxes.boxes()[0].text, Utf8ToCp932("新しい"));
    EXPECT_TRUE(IsWindowVisible(earlier));
  }
  PostMessageA(earlier, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
  EXPECT_EQ(WaitForSingleObject(other, 10000), WAIT_OBJECT_0);
  CloseHandle(other);
}

TEST(BoxWatcher, ConvertsBetweenUtf8AndCodePage932) {
  EXPECT_EQ(Utf8ToCp932("表"), std::string("\x95\x5c"));
  EXPECT_EQ(Utf8ToCp932("GRAMの"), std::string("GRAM\x82\xcc"));
  EXPECT_EQ(Cp932ToUtf8(std::string("\x95\x5c")), "表");
  EXPECT_EQ(Utf8ToCp932(""), "");
}

}  // namespace
