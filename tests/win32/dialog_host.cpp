#include "dialog_host.h"

#include <stdio.h>
#include <stdlib.h>

namespace {

LRESULT CALLBACK HostWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == DialogUser::kMarkerMessage) {
    DialogUser::MarkerReached(wParam);
    return 0;
  }
  return DefWindowProcW(window, message, wParam, lParam);
}

struct Job {
  DialogUser user;
  const std::function<void(DialogUser&)>* script;
  HANDLE returned;
};

DWORD WINAPI UserThread(LPVOID param) {
  Job& job = *static_cast<Job*>(param);
  (*job.script)(job.user);
  if (WaitForSingleObject(job.returned, 5000) != WAIT_OBJECT_0) {
    ADD_FAILURE() << "the dialog was still open when the user was done";
    job.user.CloseEverything();
  }
  return 0;
}

}  // namespace

HWND CreateHostWindow() {
  WNDCLASSW cls;
  ZeroMemory(&cls, sizeof cls);
  cls.lpfnWndProc = HostWindowProc;
  cls.hInstance = GetModuleHandleW(nullptr);
  cls.lpszClassName = L"VantrelTestHost";
  RegisterClassW(&cls);  // fails harmlessly when a test before registered it
  HWND host = CreateWindowW(L"VantrelTestHost", L"host", WS_OVERLAPPEDWINDOW, 0, 0, 560, 420,
                            nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
  if (host != nullptr) {
    ShowWindow(host, SW_SHOWNORMAL);
    UpdateWindow(host);
  }
  return host;
}

INT_PTR RunWithUser(HWND host, const std::function<INT_PTR()>& open,
                    const std::function<void(DialogUser&)>& script) {
  Job job{DialogUser(GetCurrentThreadId(), host), &script,
          CreateEventW(nullptr, TRUE, FALSE, nullptr)};
  HANDLE thread = CreateThread(nullptr, 0, UserThread, &job, 0, nullptr);
  const INT_PTR result = open();
  SetEvent(job.returned);
  if (WaitForSingleObject(thread, 60000) != WAIT_OBJECT_0) {
    fprintf(stderr, "the user thread did not finish; ending the test\n");
    fflush(stderr);
    TerminateProcess(GetCurrentProcess(), 4);
  }
  CloseHandle(thread);
  CloseHandle(job.returned);
  return result;
}

HWND WaitMainDialog(DialogUser& user) {
  HWND dialog = user.WaitWindow(kMainTitle, kStepMs);
  EXPECT_NE(dialog, nullptr) << "the converter dialog did not appear";
  return dialog;
}

std::vector<WatchedBox> ExecuteAndAnswer(DialogUser& user, HWND dialog,
                                         std::vector<BoxAnswer> answers) {
  BoxWatcher boxes;
  boxes.Start(answers, 40000);
  user.Click(dialog, kIdExecute);
  EXPECT_TRUE(boxes.WaitUntilAnswered(45000)) << boxes.Report();
  // Once the marker comes through, the execute command has returned or shows a box more.
  EXPECT_TRUE(user.Flush());
  EXPECT_EQ(user.CountBoxes(), 0) << "a box beyond the expected ones";
  EXPECT_TRUE(boxes.Finish()) << boxes.Report();
  return boxes.boxes();
}

std::wstring Quote(const char* text, const std::wstring& path) {
  std::wstring quoted = Wide(text);
  const size_t at = quoted.find(L"%s");
  return at == std::wstring::npos ? quoted : quoted.replace(at, 2, path);
}

std::string WindowsPath(std::string path) {
  if (!path.empty() && path[0] == '/') path = "Z:" + path;
  for (char& c : path) {
    if (c == '/') c = '\\';
  }
  return path;
}

LiveTestOptions ReadLiveTestOptions(int argc, char** argv) {
  LiveTestOptions options;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg.rfind("--dll=", 0) == 0) options.dll = WindowsPath(arg.substr(6));
    if (arg.rfind("--work=", 0) == 0) options.work = WindowsPath(arg.substr(7));
    if (arg.rfind("--shots=", 0) == 0) options.shots = WindowsPath(arg.substr(8));
    if (arg.rfind("--codepage=", 0) == 0) options.codePage = UINT(atoi(arg.c_str() + 11));
  }
  for (std::string* folder : {&options.work, &options.shots}) {
    if (folder->empty()) continue;
    if (folder->back() != '\\') *folder += '\\';
    CreateDirectoryA(folder->c_str(), nullptr);
  }
  return options;
}
