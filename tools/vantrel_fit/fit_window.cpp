// Vantrel Fit's window: what the user's actions do. Everything the user sees lives on the
// window's thread; reading a picture and the 最高画質 search run on workers (fit_worker), and a
// result is taken only from the job the window still waits for: 中止, Esc, a new picture or
// a new choice drop the old job, whose late result is then thrown away. Framing, tone and
// dither are made here from the kept working picture, fast enough to follow a trackbar.
#include <windows.h>
// After windows.h, which they build on.
#include <commctrl.h>
#include <shellapi.h>

#include <new>
#include <vector>

#include "fit_texts.h"
#include "fit_window_parts.h"
#include "tool_text_win32.h"

namespace {

FitWindow* Of(HWND window) {
  return reinterpret_cast<FitWindow*>(GetWindowLongPtrW(window, GWLP_USERDATA));
}

}  // namespace

LRESULT CALLBACK FitWindow::Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_NCCREATE) {
    FitWindow* self = new (std::nothrow) FitWindow;
    if (self == nullptr) return FALSE;
    self->window_ = window;
    const CREATESTRUCTW* create = reinterpret_cast<const CREATESTRUCTW*>(lParam);
    if (create->lpCreateParams != nullptr) {
      self->settings = *static_cast<const std::wstring*>(create->lpCreateParams);
    }
    SetWindowLongPtrW(window, GWLP_USERDATA, LONG_PTR(self));
  }
  FitWindow* self = Of(window);
  if (self == nullptr) return DefWindowProcW(window, message, wParam, lParam);
  const LRESULT result = self->Handle(message, wParam, lParam);
  if (message == WM_NCDESTROY) {
    SetWindowLongPtrW(window, GWLP_USERDATA, 0);
    delete self;
  }
  return result;
}

void FitWindow::Status(const std::string& text) {
  SetDlgItemTextW(window_, kFitIdStatus, W(text).c_str());
}

// Remembers the focused control before a box or chooser takes the focus away.
void FitWindow::KeepFocus() {
  HWND focus = GetFocus();
  if (focus != nullptr && IsChild(window_, focus)) focus_ = focus;
}

// Gives the focus back to the control that had it, or the first one that can take it.
void FitWindow::RestoreFocus() {
  HWND focus = focus_;
  if (focus == nullptr || !IsWindow(focus) || !IsWindowEnabled(focus) || !IsWindowVisible(focus)) {
    focus = GetNextDlgTabItem(window_, nullptr, FALSE);
  }
  if (focus != nullptr) SetFocus(focus);
}

int FitWindow::Box(const std::string& text, UINT kind) {
  KeepFocus();
  const int answer =
      MessageBoxW(window_, W(text).c_str(), W(kFitTitle).c_str(), kind | MB_SETFOREGROUND);
  RestoreFocus();
  return answer;
}

void FitWindow::UpdateButtons() {
  const bool reading = reading_ != nullptr, searching = searching_ != nullptr;
  HWND focus = GetFocus();
  const int save = kFitIdSave, cancel = kFitIdCancel;
  EnableWindow(GetDlgItem(window_, save), session_.Has() && !reading && !searching);
  EnableWindow(GetDlgItem(window_, cancel), reading || searching);
  ShowWindow(GetDlgItem(window_, kFitIdProgress), reading || searching ? SW_SHOWNA : SW_HIDE);
  // A button that lost its use while focused hands the focus on, so Enter and Tab still work.
  if (focus != nullptr && !IsWindowEnabled(focus)) {
    focus_ = nullptr;
    SetFocus(GetDlgItem(window_, session_.Has() && !reading ? save : kFitIdOpen));
    if (!IsWindowEnabled(GetFocus())) SetFocus(GetDlgItem(window_, kFitIdOpen));
  }
}

void FitWindow::Open(const std::wstring& path) {
  if (path.empty()) return;
  StartRead(WideToUtf8(path));
}

void FitWindow::StartRead(const std::string& path) {
  DropJob(reading_);
  DropJob(searching_);
  FitJob* job = new (std::nothrow) FitJob;
  if (job == nullptr ||
      (job->window = window_, job->number = ++jobs_, job->path = path, !StartWorker(job))) {
    delete job;
    Box(PictureTroubleText(NamePart(path), "not enough memory to read the picture"),
        MB_OK | MB_ICONERROR);
    return;
  }
  reading_ = job;
  SendDlgItemMessageW(window_, kFitIdProgress, PBM_SETPOS, 0, 0);
  Status(FillText(kFitStatusReading, {NamePart(path)}));
  UpdateButtons();
}

// Starts the 最高画質 search over the canvas shown, when the choices want it.
void FitWindow::StartSearch() {
  DropJob(searching_);
  if (!session_.WantsBest() || reading_ != nullptr) return;
  FitJob* job = new (std::nothrow) FitJob;
  if (job == nullptr) return;  // the quick preview stays
  job->kind = FitJob::Search;
  job->window = window_;
  job->number = ++jobs_;
  job->generation = session_.Generation();
  try {
    job->canvas = session_.CurrentCanvas();
  } catch (const std::bad_alloc&) {
    delete job;
    return;
  }
  if (!StartWorker(job)) {
    delete job;
    return;
  }
  searching_ = job;
  SendDlgItemMessageW(window_, kFitIdProgress, PBM_SETPOS, 0, 0);
  Status(FillText(kFitStatusSearching, {NamePart(session_.Path())}));
  UpdateButtons();
}

// Stops waiting for job: it is asked to stop, and whatever it still sends is ignored.
void FitWindow::DropJob(FitJob*& job) {
  if (job == nullptr) return;
  InterlockedExchange(&job->stop, 1);
  Release(job);
  job = nullptr;
  UpdateButtons();
}

void FitWindow::Finished(FitJob* job) {
  FitJob*& waited = job->kind == FitJob::Read ? reading_ : searching_;
  if (job != waited) {  // dropped before it ended
    Release(job);
    return;
  }
  waited = nullptr;
  Release(job);  // the window's reference; the posted one follows below
  if (job->kind == FitJob::Search) {
    if (job->reason.empty()) session_.TakeBest(job->generation, std::move(job->colours));
    Release(job);
    Show();
    return;
  }
  const std::string name = NamePart(job->path);
  if (job->fileFailure != FileFine || !job->reason.empty()) {
    const std::string text = job->fileFailure != FileFine
                                 ? FileTroubleText(job->fileFailure, job->path, true)
                                 : PictureTroubleText(name, job->reason, job->unread);
    Release(job);
    // The status and the buttons tell the outcome before the box does.
    Status(FillText(kFitStatusRefused, {name}));
    UpdateButtons();
    Box(text, MB_OK | MB_ICONERROR);
    if (reading_ == nullptr && session_.Has()) Show();  // the picture before stays
    if (reading_ == nullptr) Status(FillText(kFitStatusRefused, {name}));
    return;
  }
  session_.Take(job->path, std::move(job->picture));
  Release(job);
  ShowChoices();
  Show();
}

// Shows the session's choices: the preview, the small original, the status; starts the
// search when 最高画質 wants it.
void FitWindow::Show() {
  if (!session_.Has()) return;
  std::vector<uint8_t> rgb;
  try {
    session_.Screen(rgb);
  } catch (const std::bad_alloc&) {
    Box(PictureTroubleText(NamePart(session_.Path()), "not enough memory to read the picture"),
        MB_OK | MB_ICONERROR);
    return;
  }
  SetPicture(kFitIdPreview, rgb.data(), kPreviewWidth, kPreviewHeight);
  RECT box;
  GetClientRect(GetDlgItem(window_, kFitIdOriginal), &box);
  const FitSession::Original small = session_.Small(uint32_t(box.right), uint32_t(box.bottom));
  SetPicture(kFitIdOriginal, small.rgb.data(), small.width, small.height);
  UpdateButtons();
  if (searching_ == nullptr && session_.WantsBest()) StartSearch();
  if (searching_ == nullptr && reading_ == nullptr) {
    Status(ReadyStatus(NamePart(session_.Path()), session_.Res(), session_.choices.dither));
  }
}

void FitWindow::ShowNothing() {
  SendDlgItemMessageW(window_, kFitIdPreview, kPictureSet, 0, 0);
  SendDlgItemMessageW(window_, kFitIdOriginal, kPictureSet, 0, 0);
  UpdateButtons();
}

void FitWindow::SetPicture(int id, const uint8_t* rgb, uint32_t width, uint32_t height) {
  const PictureRgb picture = {rgb, width, height};
  SendDlgItemMessageW(window_, id, kPictureSet, 0, LPARAM(&picture));
}

LRESULT FitWindow::CopyPreview(uint8_t* rgb) const {
  if (!session_.Has()) return 0;
  const PictureRgb out = {rgb, kPreviewWidth, kPreviewHeight};
  return SendDlgItemMessageW(window_, kFitIdPreview, kPictureRead, 0, LPARAM(&out));
}

void FitWindow::Drag(FitDrag phase, int dx, int dy) {
  if (!session_.Has() || session_.choices.look.frame != FrameFill) return;
  if (phase == DragStart) {
    dragFromX_ = session_.choices.look.focusX;
    dragFromY_ = session_.choices.look.focusY;
    DropJob(searching_);
    return;
  }
  const unsigned before = session_.Generation();
  session_.DragFocus(dragFromX_, dragFromY_, dx, dy);
  if (session_.Generation() != before || phase == DragEnd) Show();
}

void FitWindow::Command(int id, int code) {
  const bool list = id >= kFitIdRes && id <= kFitIdBackground;
  if (list) {
    if (code != CBN_SELCHANGE) return;
    const int index = int(SendDlgItemMessageW(window_, id, CB_GETCURSEL, 0, 0));
    if (id == kFitIdRes) {
      session_.ChooseRes(index == 1 ? Res320 : Res640);
    } else {
      Choose(session_.choices, FitList(id - kFitIdRes), index);
      session_.Changed();
    }
    DropJob(searching_);
    ShowChoices();
    Show();
    return;
  }
  if (code != BN_CLICKED && code != 1 /* an accelerator */) return;
  switch (id) {
    case kFitIdOpen: ChooseAndOpen(); return;
    case kFitIdSave: Save(); return;
    case kFitIdCancel: Cancel(); return;
    // Esc stops what runs, like 中止, and otherwise does nothing.
    case IDCANCEL: Cancel(); return;
    case kFitIdClose: DestroyWindow(window_); return;
    case kFitIdAutoLevels:
      session_.choices.look.tone.autoLevels =
          IsDlgButtonChecked(window_, kFitIdAutoLevels) == BST_CHECKED;
      break;
    case kFitIdResetTone: ResetTone(session_.choices); break;
    default: return;
  }
  session_.Changed();
  DropJob(searching_);
  ShowChoices();
  Show();
}

LRESULT FitWindow::Handle(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_CREATE: Create(); return 0;
    case WM_SIZE:
      if (wParam != SIZE_MINIMIZED) LayOut();
      return 0;
    case WM_GETMINMAXINFO: MinimumSize(reinterpret_cast<MINMAXINFO*>(lParam)); return 0;
    case 0x02E0:  // WM_DPICHANGED
      DpiChanged(HIWORD(wParam), *reinterpret_cast<const RECT*>(lParam));
      return 0;
    case WM_ACTIVATE:
      if (LOWORD(wParam) == WA_INACTIVE) {
        KeepFocus();
      } else {
        RestoreFocus();
      }
      return 0;
    case WM_COMMAND: Command(LOWORD(wParam), HIWORD(wParam)); return 0;
    case WM_NEXTDLGCTL: {
      // What the dialog manager does for a dialog, which IsDialogMessage asks of this window
      // too: a label's access key moves the focus on to its control.
      HWND next = lParam != 0 ? HWND(wParam)
                              : GetNextDlgTabItem(window_, GetFocus(), wParam != 0 ? TRUE : FALSE);
      if (next != nullptr) SetFocus(next);
      return 0;
    }
    case WM_HSCROLL:
      if (lParam != 0) Slider(HWND(lParam));
      return 0;
    case WM_DROPFILES: {
      HDROP drop = HDROP(wParam);
      std::wstring name;
      const UINT length = DragQueryFileW(drop, 0, nullptr, 0);
      if (length > 0) {
        name.resize(length + 1);
        DragQueryFileW(drop, 0, &name[0], length + 1);
        name.resize(length);
      }
      DragFinish(drop);
      SetForegroundWindow(window_);
      Open(name);
      return 0;
    }
    case kMsgProgress: {
      const FitJob* job = reading_ != nullptr ? reading_ : searching_;
      if (job != nullptr && wParam == job->number) {
        SendDlgItemMessageW(window_, kFitIdProgress, PBM_SETPOS, WPARAM(lParam), 0);
      }
      return 0;
    }
    case kMsgOpen: Open(reinterpret_cast<const wchar_t*>(lParam)); return 0;
    case kMsgDone: Finished(reinterpret_cast<FitJob*>(lParam)); return 0;
    case kMsgDrag: Drag(FitDrag(wParam), short(LOWORD(lParam)), short(HIWORD(lParam))); return 0;
    case kMsgAccelerators: return LRESULT(accelerators_);
    case kMsgDpi: return dpi_;
    case kFitAskPreview: return CopyPreview(reinterpret_cast<uint8_t*>(lParam));
    case kFitAskState:
      return reading_ != nullptr     ? FitStateWorking
             : searching_ != nullptr ? FitStateSearching
             : session_.Has()        ? FitStateShown
                                     : FitStateEmpty;
    case kFitAskWorkers: return WorkersRunning();
    case kFitAskPreviewScale: {
      RECT client;
      GetClientRect(window_, &client);
      return LayOutFit(dpi_, client.right, client.bottom).previewScale;
    }
    case kFitAskFocus: {
      float* focus = reinterpret_cast<float*>(lParam);
      focus[0] = session_.choices.look.focusX;
      focus[1] = session_.choices.look.focusY;
      return 1;
    }
    case WM_CTLCOLORSTATIC:
      // The window's own background behind the labels.
      SetBkMode(HDC(wParam), TRANSPARENT);
      return LRESULT(GetSysColorBrush(COLOR_BTNFACE));
    case WM_DESTROY:
      DropJob(reading_);
      DropJob(searching_);
      WriteSettings();
      if (accelerators_ != nullptr) DestroyAcceleratorTable(accelerators_);
      if (font_ != nullptr && font_ != GetStockObject(DEFAULT_GUI_FONT)) DeleteObject(font_);
      PostQuitMessage(0);
      return 0;
  }
  return DefWindowProcW(window_, message, wParam, lParam);
}

void FitWindow::Cancel() {
  if (searching_ != nullptr) {
    DropJob(searching_);
    Status(kFitStatusSearchStopped);
    return;
  }
  if (reading_ == nullptr) return;
  const std::string cancelled = FillText(kFitStatusCancelled, {NamePart(reading_->path)});
  DropJob(reading_);
  if (!session_.Has()) {
    Status(cancelled);
    return;
  }
  Show();
  Status(cancelled + "\n" +
         ReadyStatus(NamePart(session_.Path()), session_.Res(), session_.choices.dither));
}
