// Vantrel Fit's window. Everything the user sees lives on the window's thread; a fit (read the
// file, decode, scale onto the canvas) runs on a worker that only posts messages back. A
// result is taken only from the worker the window still waits for: 中止, a new picture or a
// new choice drop the old worker, whose late result is then thrown away.
#include "fit_window.h"

#include <commctrl.h>
#include <commdlg.h>
#include <process.h>
#include <shellapi.h>
#include <string.h>

#include <algorithm>
#include <new>
#include <vector>

#include "fit_session.h"
#include "fit_texts.h"
#include "fitted_bitmap.h"
#include "tool_text_win32.h"

namespace {

const wchar_t kClassName[] = L"VantrelFitWindow";
const wchar_t kPictureClass[] = L"VantrelFitPicture";
// Pictures larger than this are refused unread, as gramconv does (the address space is 2 GB).
const uint64_t kMaxPictureBytes = 512u << 20;
const uint32_t kOriginalWidth = 160, kOriginalHeight = 100;

enum : UINT {
  kMsgProgress = WM_APP + 1,  // wParam: the job's number, lParam: share read, 0..1000
  kMsgDone = WM_APP + 2,      // lParam: the FitJob, whose reference now belongs to the window
  kMsgOpen = WM_APP + 3,      // lParam: the picture's name (UTF-16), read before it returns
};

#ifndef WM_DPICHANGED
#define WM_DPICHANGED 0x02E0
#endif

volatile LONG workersRunning = 0;

std::wstring W(const char* utf8) { return Utf8ToWide(utf8); }
std::wstring W(const std::string& utf8) { return Utf8ToWide(utf8); }

// One fit on the worker: the window and the worker each hold a reference.
struct FitJob final : FitProgress {
  volatile LONG refs = 2;
  volatile LONG stop = 0;
  HWND window = nullptr;
  unsigned number = 0;
  std::string path;  // UTF-8
  Resolution res = Res640;
  bool newPicture = false;  // true: replaces the picture shown; false: another resolution of it
  int lastShare = -1;
  // The outcome.
  FileFailure fileFailure = FileFine;
  std::string reason;  // "" on success
  Canvas canvas;

  bool Going(float done) override {
    const int share = int(done * 1000.0f);
    if (share != lastShare) {
      lastShare = share;
      PostMessageW(window, kMsgProgress, number, share);
    }
    return stop == 0;
  }
};

void Release(FitJob* job) {
  if (job != nullptr && InterlockedDecrement(&job->refs) == 0) delete job;
}

unsigned __stdcall FitWorker(void* parameter) {
  FitJob* job = static_cast<FitJob*>(parameter);
  try {
    std::vector<uint8_t> bytes;
    job->reason = ReadWholeFile(job->path, "picture", 0, kMaxPictureBytes,
                                "pictures of at most 512 MiB are read", bytes, &job->fileFailure);
    if (job->reason.empty()) {
      job->reason = ScalePicture(bytes.data(), bytes.size(), job->res, job->canvas, job);
    }
  } catch (const std::bad_alloc&) {
    job->fileFailure = FileFine;
    job->reason = "not enough memory to read the picture";
  }
  if (!PostMessageW(job->window, kMsgDone, job->number, LPARAM(job))) Release(job);
  InterlockedDecrement(&workersRunning);
  return 0;
}

// A picture control: shows its pixels one to one, painted straight from memory, so what it
// holds is exactly what is seen.
enum : UINT {
  kPictureSet = WM_USER + 1,   // lParam: const PictureRgb*
  kPictureRead = WM_USER + 2,  // lParam: 640 x 400 x 3 bytes; returns 1 when it holds that size
};
struct PictureRgb {
  const uint8_t* rgb;  // R G B, top row first
  uint32_t width, height;
};
struct Picture {
  uint32_t width = 0, height = 0;
  std::vector<uint32_t> pixels;  // 0x00RRGGBB, the layout of a 32-bit DIB
};

LRESULT CALLBACK PictureProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  Picture* picture = reinterpret_cast<Picture*>(GetWindowLongPtrW(window, GWLP_USERDATA));
  switch (message) {
    case WM_NCCREATE:
      picture = new (std::nothrow) Picture;
      if (picture == nullptr) return FALSE;
      SetWindowLongPtrW(window, GWLP_USERDATA, LONG_PTR(picture));
      break;
    case WM_NCDESTROY:
      SetWindowLongPtrW(window, GWLP_USERDATA, 0);
      delete picture;
      break;
    case kPictureSet: {
      const PictureRgb& in = *reinterpret_cast<const PictureRgb*>(lParam);
      picture->pixels.resize(size_t(in.width) * in.height);
      for (size_t i = 0; i < picture->pixels.size(); ++i) {
        picture->pixels[i] =
            uint32_t(in.rgb[3 * i]) << 16 | uint32_t(in.rgb[3 * i + 1]) << 8 | in.rgb[3 * i + 2];
      }
      picture->width = in.width;
      picture->height = in.height;
      InvalidateRect(window, nullptr, FALSE);
      return 0;
    }
    case kPictureRead: {
      if (picture->width != kPreviewWidth || picture->height != kPreviewHeight) return 0;
      uint8_t* out = reinterpret_cast<uint8_t*>(lParam);
      for (size_t i = 0; i < picture->pixels.size(); ++i) {
        out[3 * i] = uint8_t(picture->pixels[i] >> 16);
        out[3 * i + 1] = uint8_t(picture->pixels[i] >> 8);
        out[3 * i + 2] = uint8_t(picture->pixels[i]);
      }
      return 1;
    }
    case WM_ERASEBKGND: return 1;  // the paint covers it all
    case WM_PAINT: {
      PAINTSTRUCT paint;
      HDC dc = BeginPaint(window, &paint);
      RECT client;
      GetClientRect(window, &client);
      FillRect(dc, &client, HBRUSH(GetStockObject(BLACK_BRUSH)));
      if (picture != nullptr && picture->width != 0) {
        BITMAPINFO info;
        memset(&info, 0, sizeof info);
        info.bmiHeader.biSize = sizeof info.bmiHeader;
        info.bmiHeader.biWidth = LONG(picture->width);
        info.bmiHeader.biHeight = -LONG(picture->height);  // top row first
        info.bmiHeader.biPlanes = 1;
        info.bmiHeader.biBitCount = 32;
        info.bmiHeader.biCompression = BI_RGB;
        SetDIBitsToDevice(dc, 0, 0, picture->width, picture->height, 0, 0, 0, picture->height,
                          picture->pixels.data(), &info, DIB_RGB_COLORS);
      }
      EndPaint(window, &paint);
      return 0;
    }
  }
  return DefWindowProcW(window, message, wParam, lParam);
}

class FitWindow {
 public:
  static LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

 private:
  LRESULT Handle(UINT message, WPARAM wParam, LPARAM lParam);
  void Create();
  void LayOut();
  HWND Control(const wchar_t* kind, const char* text, DWORD style, int id, DWORD exStyle = 0);
  int Scaled(int pixels) const { return MulDiv(pixels, dpi_, 96); }

  Resolution ChosenRes() const;
  DitherMode ChosenDither() const;
  void Open(const std::wstring& path);
  void StartJob(const std::string& path, Resolution res, bool newPicture);
  void DropJob();
  void Finished(FitJob* job);
  void Refresh();
  void Show();
  void ShowNothing();
  void Save();
  void Cancel();
  void Status(const std::string& text);
  void Box(const std::string& text, UINT kind);
  void UpdateButtons();
  void SetPicture(int id, const uint8_t* rgb, uint32_t width, uint32_t height);
  LRESULT CopyPreview(uint8_t* rgb) const;

  HWND window_ = nullptr;
  HFONT font_ = nullptr;
  LOGFONTW baseFont_ = {};  // the system's message font at baseDpi_
  int baseDpi_ = 96;
  int dpi_ = 96;
  FitJob* job_ = nullptr;  // the fit the window waits for
  unsigned jobs_ = 0;
  std::string path_;  // the picture shown (UTF-8), "" for none
  bool shown_ = false;
  FitPictures pictures_;
};

FitWindow* Of(HWND window) {
  return reinterpret_cast<FitWindow*>(GetWindowLongPtrW(window, GWLP_USERDATA));
}

LRESULT CALLBACK FitWindow::Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_NCCREATE) {
    FitWindow* self = new (std::nothrow) FitWindow;
    if (self == nullptr) return FALSE;
    self->window_ = window;
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

HWND FitWindow::Control(const wchar_t* kind, const char* text, DWORD style, int id, DWORD exStyle) {
  HWND control = CreateWindowExW(exStyle, kind, W(text).c_str(), WS_CHILD | WS_VISIBLE | style, 0,
                                 0, 0, 0, window_, HMENU(INT_PTR(id)), nullptr, nullptr);
  SendMessageW(control, WM_SETFONT, WPARAM(font_), FALSE);
  return control;
}

void FitWindow::Create() {
  HDC screen = GetDC(window_);
  dpi_ = GetDeviceCaps(screen, LOGPIXELSY);
  ReleaseDC(window_, screen);
  NONCLIENTMETRICSW metrics;
  memset(&metrics, 0, sizeof metrics);
  // The size Windows XP knows: later systems accept it too.
  metrics.cbSize = offsetof(NONCLIENTMETRICSW, lfMessageFont) + sizeof(LOGFONTW);
  if (SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, metrics.cbSize, &metrics, 0)) {
    baseFont_ = metrics.lfMessageFont;
    baseDpi_ = dpi_;
    font_ = CreateFontIndirectW(&baseFont_);
  }
  if (font_ == nullptr) font_ = HFONT(GetStockObject(DEFAULT_GUI_FONT));

  Control(WC_BUTTONW, kFitOpen, WS_TABSTOP | BS_PUSHBUTTON, kFitIdOpen);
  Control(WC_BUTTONW, kFitSave, WS_TABSTOP | BS_PUSHBUTTON, kFitIdSave);
  Control(WC_BUTTONW, kFitCancel, WS_TABSTOP | BS_PUSHBUTTON, kFitIdCancel);
  HWND progress = Control(PROGRESS_CLASSW, "", 0, kFitIdProgress);
  SendMessageW(progress, PBM_SETRANGE32, 0, 1000);
  Control(WC_STATICW, kFitPreviewLabel, SS_LEFT | SS_NOPREFIX, 0x501);
  Control(kPictureClass, "", 0, kFitIdPreview, WS_EX_STATICEDGE);
  Control(WC_STATICW, kFitOriginalLabel, SS_LEFT | SS_NOPREFIX, 0x502);
  Control(kPictureClass, "", 0, kFitIdOriginal, WS_EX_STATICEDGE);
  Control(WC_BUTTONW, kFitResolution, BS_GROUPBOX, 0x503);
  Control(WC_BUTTONW, "320x200", WS_TABSTOP | WS_GROUP | BS_AUTORADIOBUTTON, kFitIdRes320);
  Control(WC_BUTTONW, "640x200", BS_AUTORADIOBUTTON, kFitIdRes640);
  Control(WC_BUTTONW, kFitDither, BS_GROUPBOX, 0x504);
  Control(WC_BUTTONW, kFitDitherNone, WS_TABSTOP | WS_GROUP | BS_AUTORADIOBUTTON, kFitIdDitherNone);
  Control(WC_BUTTONW, kFitDitherOrdered, BS_AUTORADIOBUTTON, kFitIdDitherOrdered);
  Control(WC_BUTTONW, kFitDitherDiffusion, BS_AUTORADIOBUTTON, kFitIdDitherDiffusion);
  Control(WC_STATICW, kFitStatusEmpty, SS_LEFT | SS_NOPREFIX | WS_GROUP, kFitIdStatus);
  CheckRadioButton(window_, kFitIdRes320, kFitIdRes640, kFitIdRes640);
  CheckRadioButton(window_, kFitIdDitherNone, kFitIdDitherDiffusion, kFitIdDitherNone);
  DragAcceptFiles(window_, TRUE);
  ShowNothing();
  LayOut();
}

// Places the controls for the current dpi. The pictures keep their pixels one to one: the
// preview is exactly the machine's 640x400 screen.
void FitWindow::LayOut() {
  const int m = Scaled(8), bw = Scaled(92), bh = Scaled(26), line = Scaled(20);
  auto place = [&](int id, int x, int y, int w, int h) {
    SetWindowPos(GetDlgItem(window_, id), nullptr, x, y, w, h, SWP_NOZORDER | SWP_NOACTIVATE);
  };
  place(kFitIdOpen, m, m, bw, bh);
  place(kFitIdSave, 2 * m + bw, m, bw, bh);
  place(kFitIdCancel, 3 * m + 2 * bw, m, bw, bh);
  const int top = 2 * m + bh;
  const int column = m + kPreviewWidth + 2 + Scaled(12);
  const int columnWidth = std::max<int>(kOriginalWidth + 2, Scaled(150));
  place(kFitIdProgress, 4 * m + 3 * bw, m + Scaled(4), column + columnWidth - (4 * m + 3 * bw),
        bh - Scaled(8));
  place(0x501, m, top, kPreviewWidth, line);
  place(kFitIdPreview, m, top + line, kPreviewWidth + 2, kPreviewHeight + 2);
  place(0x502, column, top, columnWidth, line);
  place(kFitIdOriginal, column, top + line, kOriginalWidth + 2, kOriginalHeight + 2);
  int y = top + line + kOriginalHeight + 2 + Scaled(12);
  place(0x503, column, y, columnWidth, Scaled(22) + 2 * line);
  place(kFitIdRes320, column + m, y + Scaled(18), columnWidth - 2 * m, line);
  place(kFitIdRes640, column + m, y + Scaled(18) + line, columnWidth - 2 * m, line);
  y += Scaled(22) + 2 * line + Scaled(8);
  place(0x504, column, y, columnWidth, Scaled(22) + 3 * line);
  place(kFitIdDitherNone, column + m, y + Scaled(18), columnWidth - 2 * m, line);
  place(kFitIdDitherOrdered, column + m, y + Scaled(18) + line, columnWidth - 2 * m, line);
  place(kFitIdDitherDiffusion, column + m, y + Scaled(18) + 2 * line, columnWidth - 2 * m, line);
  const int statusTop = top + line + kPreviewHeight + 2 + m;
  const int width = column + columnWidth + m;
  place(kFitIdStatus, m, statusTop, width - 2 * m, 3 * line);
  RECT frame = {0, 0, width, statusTop + 3 * line + m};
  AdjustWindowRectEx(&frame, DWORD(GetWindowLongPtrW(window_, GWL_STYLE)), FALSE,
                     DWORD(GetWindowLongPtrW(window_, GWL_EXSTYLE)));
  SetWindowPos(window_, nullptr, 0, 0, frame.right - frame.left, frame.bottom - frame.top,
               SWP_NOZORDER | SWP_NOMOVE | SWP_NOACTIVATE);
}

Resolution FitWindow::ChosenRes() const {
  return IsDlgButtonChecked(window_, kFitIdRes320) == BST_CHECKED ? Res320 : Res640;
}

DitherMode FitWindow::ChosenDither() const {
  if (IsDlgButtonChecked(window_, kFitIdDitherOrdered) == BST_CHECKED) return DitherOrdered;
  if (IsDlgButtonChecked(window_, kFitIdDitherDiffusion) == BST_CHECKED) return DitherDiffusion;
  return DitherNone;
}

void FitWindow::Status(const std::string& text) {
  SetDlgItemTextW(window_, kFitIdStatus, W(text).c_str());
}

void FitWindow::Box(const std::string& text, UINT kind) {
  MessageBoxW(window_, W(text).c_str(), W(kFitTitle).c_str(), MB_OK | kind);
}

void FitWindow::UpdateButtons() {
  const bool working = job_ != nullptr;
  EnableWindow(GetDlgItem(window_, kFitIdSave), shown_ && !working);
  EnableWindow(GetDlgItem(window_, kFitIdCancel), working);
  ShowWindow(GetDlgItem(window_, kFitIdProgress), working ? SW_SHOWNA : SW_HIDE);
}

void FitWindow::Open(const std::wstring& path) {
  if (path.empty()) return;
  StartJob(WideToUtf8(path), ChosenRes(), true);
}

void FitWindow::StartJob(const std::string& path, Resolution res, bool newPicture) {
  DropJob();
  FitJob* job = new (std::nothrow) FitJob;
  if (job == nullptr) {
    Box(PictureTroubleText(NamePart(path), "not enough memory to read the picture"), MB_ICONERROR);
    return;
  }
  job->window = window_;
  job->number = ++jobs_;
  job->path = path;
  job->res = res;
  job->newPicture = newPicture;
  InterlockedIncrement(&workersRunning);
  const uintptr_t thread = _beginthreadex(nullptr, 0, FitWorker, job, 0, nullptr);
  if (thread == 0) {
    InterlockedDecrement(&workersRunning);
    delete job;
    Box(PictureTroubleText(NamePart(path), "not enough memory to read the picture"), MB_ICONERROR);
    return;
  }
  CloseHandle(HANDLE(thread));
  job_ = job;
  SendDlgItemMessageW(window_, kFitIdProgress, PBM_SETPOS, 0, 0);
  Status(FillText(kFitStatusReading, {NamePart(path)}));
  UpdateButtons();
}

// Stops waiting for the current fit: it is asked to stop, and whatever it still sends is
// ignored.
void FitWindow::DropJob() {
  if (job_ == nullptr) return;
  InterlockedExchange(&job_->stop, 1);
  Release(job_);
  job_ = nullptr;
  UpdateButtons();
}

void FitWindow::Finished(FitJob* job) {
  if (job != job_) {  // dropped before it ended
    Release(job);
    return;
  }
  job_ = nullptr;
  Release(job);  // the window's reference; the posted one follows below
  const std::string name = NamePart(job->path);
  if (job->fileFailure != FileFine || !job->reason.empty()) {
    const std::string text = job->fileFailure != FileFine
                                 ? FileTroubleText(job->fileFailure, job->path, true)
                                 : PictureTroubleText(name, job->reason);
    Release(job);
    UpdateButtons();
    Box(text, MB_ICONERROR);
    if (job_ != nullptr) return;  // another picture was dropped meanwhile
    // The picture shown before stays; a resolution that could not be fitted is given up.
    if (shown_) {
      if (!pictures_.Has(ChosenRes())) {
        const int fitted = pictures_.Has(Res320) ? kFitIdRes320 : kFitIdRes640;
        CheckRadioButton(window_, kFitIdRes320, kFitIdRes640, fitted);
      }
      Show();
    }
    Status(FillText(kFitStatusRefused, {name}));
    return;
  }
  if (job->newPicture) {
    pictures_.Clear();
    path_ = job->path;
  }
  pictures_.Keep(job->res, std::move(job->canvas));
  Release(job);
  UpdateButtons();
  Refresh();
}

// Shows the current choices: at once when their canvas is there, else after fitting it.
void FitWindow::Refresh() {
  const Resolution res = ChosenRes();
  if (job_ != nullptr) {
    if (job_->res != res) StartJob(job_->path, res, job_->newPicture);
    return;
  }
  if (path_.empty()) return;
  if (pictures_.Has(res)) {
    Show();
  } else {
    StartJob(path_, res, false);
  }
}

void FitWindow::Show() {
  const Resolution res = ChosenRes();
  const DitherMode dither = ChosenDither();
  std::vector<uint8_t> rgb;
  pictures_.Screen(res, dither, rgb);
  SetPicture(kFitIdPreview, rgb.data(), kPreviewWidth, kPreviewHeight);
  pictures_.Original(res, kOriginalWidth, kOriginalHeight, rgb);
  SetPicture(kFitIdOriginal, rgb.data(), kOriginalWidth, kOriginalHeight);
  shown_ = true;
  Status(ReadyStatus(NamePart(path_), res, dither));
  UpdateButtons();
}

void FitWindow::ShowNothing() {
  std::vector<uint8_t> black(size_t(kPreviewWidth) * kPreviewHeight * 3, 0);
  SetPicture(kFitIdPreview, black.data(), kPreviewWidth, kPreviewHeight);
  SetPicture(kFitIdOriginal, black.data(), kOriginalWidth, kOriginalHeight);
  shown_ = false;
  UpdateButtons();
}

void FitWindow::SetPicture(int id, const uint8_t* rgb, uint32_t width, uint32_t height) {
  const PictureRgb picture = {rgb, width, height};
  SendDlgItemMessageW(window_, id, kPictureSet, 0, LPARAM(&picture));
}

LRESULT FitWindow::CopyPreview(uint8_t* rgb) const {
  if (!shown_) return 0;
  return SendDlgItemMessageW(window_, kFitIdPreview, kPictureRead, 0, LPARAM(rgb));
}

// The filters of the open chooser: "name\0patterns\0" pairs, ending in an empty pair.
// A chooser owned by the window, with the first filter chosen and the name in name; the
// strings must outlive the call that shows it.
OPENFILENAMEW Chooser(HWND owner, const std::wstring& filters, const std::wstring& title,
                      const std::wstring& folder, std::vector<wchar_t>& name) {
  OPENFILENAMEW chooser;
  memset(&chooser, 0, sizeof chooser);
  chooser.lStructSize = sizeof chooser;
  chooser.hwndOwner = owner;
  chooser.lpstrFilter = filters.c_str();
  chooser.nFilterIndex = 1;
  chooser.lpstrFile = name.data();
  chooser.nMaxFile = DWORD(name.size());
  chooser.lpstrInitialDir = folder.empty() ? nullptr : folder.c_str();
  chooser.lpstrTitle = title.c_str();
  return chooser;
}

std::wstring OpenFilters() {
  static const char* const kPairs[][2] = {
      {nullptr,
       "*.png;*.jpg;*.jpeg;*.jpe;*.gif;*.bmp;*.dib;*.tga;*.pnm;*.ppm;*.pgm;*.pbm;*.psd;"
       "*.webp;*.tif;*.tiff;*.heic;*.heif;*.jxr;*.wdp"},
      {"PNG (*.png)", "*.png"},
      {"JPEG (*.jpg;*.jpeg)", "*.jpg;*.jpeg;*.jpe"},
      {"GIF (*.gif)", "*.gif"},
      {"BMP (*.bmp)", "*.bmp;*.dib"},
      {"TGA (*.tga)", "*.tga"},
      {"PNM (*.pnm;*.ppm;*.pgm;*.pbm)", "*.pnm;*.ppm;*.pgm;*.pbm"},
      {"PSD (*.psd)", "*.psd"},
      {nullptr, "*.webp;*.tif;*.tiff;*.heic;*.heif;*.jxr;*.wdp"},
      {nullptr, "*.*"},
  };
  std::wstring filters;
  for (size_t i = 0; i < sizeof kPairs / sizeof kPairs[0]; ++i) {
    std::string name;
    if (kPairs[i][0] != nullptr) {
      name = kPairs[i][0];
    } else if (i == 0) {
      name = kFitAllPictures;
    } else if (i == 8) {
      name = std::string(kFitThroughWindows) + " (WebP, TIFF, HEIF, JXR)";
    } else {
      name = kFitAllFiles;
    }
    filters += W(name) + L'\0' + W(kPairs[i][1]) + L'\0';
  }
  return filters + L'\0';
}

LRESULT FitWindow::Handle(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_CREATE: Create(); return 0;
    case WM_DPICHANGED: {
      dpi_ = HIWORD(wParam);
      if (font_ != GetStockObject(DEFAULT_GUI_FONT)) {
        // The same font at the monitor's size.
        LOGFONTW scaled = baseFont_;
        scaled.lfHeight = MulDiv(baseFont_.lfHeight, dpi_, baseDpi_);
        HFONT font = CreateFontIndirectW(&scaled);
        if (font != nullptr) {
          for (HWND child = GetWindow(window_, GW_CHILD); child != nullptr;
               child = GetWindow(child, GW_HWNDNEXT)) {
            SendMessageW(child, WM_SETFONT, WPARAM(font), TRUE);
          }
          DeleteObject(font_);
          font_ = font;
        }
      }
      const RECT* suggested = reinterpret_cast<const RECT*>(lParam);
      SetWindowPos(window_, nullptr, suggested->left, suggested->top, 0, 0,
                   SWP_NOZORDER | SWP_NOSIZE | SWP_NOACTIVATE);
      LayOut();
      return 0;
    }
    case WM_COMMAND:
      if (HIWORD(wParam) != BN_CLICKED) break;
      switch (LOWORD(wParam)) {
        case kFitIdOpen: {
          std::vector<wchar_t> name(32768, L'\0');
          const std::wstring filters = OpenFilters();
          const std::wstring title = W(kFitOpenTitle);
          const std::wstring folder = W(FolderPart(path_));
          OPENFILENAMEW chooser = Chooser(window_, filters, title, folder, name);
          chooser.Flags = OFN_EXPLORER | OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST | OFN_HIDEREADONLY |
                          OFN_NOCHANGEDIR;
          if (GetOpenFileNameW(&chooser)) {
            Open(name.data());
          } else if (CommDlgExtendedError() == FNERR_BUFFERTOOSMALL) {
            Box(kFitNameTooLong, MB_ICONERROR);
          }
          return 0;
        }
        case IDCANCEL: DestroyWindow(window_); return 0;  // Escape, as in the plug-in's dialog
        case kFitIdSave: Save(); return 0;
        case kFitIdCancel: Cancel(); return 0;
        case kFitIdRes320:
        case kFitIdRes640:
        case kFitIdDitherNone:
        case kFitIdDitherOrdered:
        case kFitIdDitherDiffusion: Refresh(); return 0;
      }
      break;
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
    case kMsgProgress:
      if (job_ != nullptr && wParam == job_->number) {
        SendDlgItemMessageW(window_, kFitIdProgress, PBM_SETPOS, WPARAM(lParam), 0);
      }
      return 0;
    case kMsgOpen: Open(reinterpret_cast<const wchar_t*>(lParam)); return 0;
    case kMsgDone: Finished(reinterpret_cast<FitJob*>(lParam)); return 0;
    case kFitAskPreview: return CopyPreview(reinterpret_cast<uint8_t*>(lParam));
    case kFitAskState:
      return job_ != nullptr ? FitStateWorking : shown_ ? FitStateShown : FitStateEmpty;
    case kFitAskWorkers: return workersRunning;
    case WM_CTLCOLORSTATIC:
      // The window's own background behind the labels.
      SetBkMode(HDC(wParam), TRANSPARENT);
      return LRESULT(GetSysColorBrush(COLOR_BTNFACE));
    case WM_DESTROY:
      DropJob();
      if (font_ != nullptr && font_ != GetStockObject(DEFAULT_GUI_FONT)) DeleteObject(font_);
      PostQuitMessage(0);
      return 0;
  }
  return DefWindowProcW(window_, message, wParam, lParam);
}

void FitWindow::Cancel() {
  if (job_ == nullptr) return;
  const std::string cancelled = FillText(kFitStatusCancelled, {NamePart(job_->path)});
  DropJob();
  if (!shown_) {
    Status(cancelled);
    return;
  }
  // The choices may have moved on while the fit ran: back to a resolution that is fitted.
  if (!pictures_.Has(ChosenRes())) {
    const int fitted = pictures_.Has(Res320) ? kFitIdRes320 : kFitIdRes640;
    CheckRadioButton(window_, kFitIdRes320, kFitIdRes640, fitted);
  }
  Show();
  Status(cancelled + " " + ReadyStatus(NamePart(path_), ChosenRes(), ChosenDither()));
}

void FitWindow::Save() {
  if (!shown_ || job_ != nullptr) return;
  const Resolution res = ChosenRes();
  const DitherMode dither = ChosenDither();
  const std::wstring suggested = W(NamePart(FittedBitmapName(path_, res)));
  std::vector<wchar_t> name(32768, L'\0');
  std::copy(suggested.begin(), suggested.end(), name.begin());
  const std::wstring folder = W(FolderPart(path_));
  const std::wstring title = W(kFitSaveTitle);
  std::wstring filters = W(kFitBitmapFiles) + L'\0' + L"*.bmp" + L'\0';
  filters += W(kFitAllFiles) + L'\0' + L"*.*" + L'\0' + L'\0';
  OPENFILENAMEW chooser = Chooser(window_, filters, title, folder, name);
  chooser.lpstrDefExt = L"bmp";
  // The overwrite question is the window's own, asked below.
  chooser.Flags = OFN_EXPLORER | OFN_PATHMUSTEXIST | OFN_HIDEREADONLY | OFN_NOCHANGEDIR;
  if (!GetSaveFileNameW(&chooser)) {
    if (CommDlgExtendedError() == FNERR_BUFFERTOOSMALL) Box(kFitNameTooLong, MB_ICONERROR);
    return;
  }
  const std::string target = WideToUtf8(name.data());
  const PathKind kind = KindOfPath(target);
  if (kind == PathOther) {
    Box(FileTroubleText(FileNotRegular, target, false), MB_ICONERROR);
    return;
  }
  if (kind == PathRegular &&
      MessageBoxW(window_, W(FillText(kFitOverwrite, {target})).c_str(), W(kFitTitle).c_str(),
                  MB_OKCANCEL | MB_ICONQUESTION) != IDOK) {
    return;
  }
  std::vector<uint8_t> file;
  try {
    file = pictures_.Bitmap(res, dither);
  } catch (const std::bad_alloc&) {
    Box(FileTroubleText(FileCannotWrite, target, false), MB_ICONERROR);
    return;
  }
  FileFailure failure = FileFine;
  WriteFileWhole(target, "BMP file", file.data(), file.size(), kind == PathRegular, &failure);
  if (failure != FileFine) {
    Box(FileTroubleText(failure, target, false), MB_ICONERROR);
    return;
  }
  Status(SavedStatus(target, res));
}

}  // namespace

HWND CreateFitWindow(HINSTANCE instance, const std::wstring& picture, int show) {
  INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_PROGRESS_CLASS | ICC_STANDARD_CLASSES};
  InitCommonControlsEx(&controls);
  WNDCLASSEXW kind;
  memset(&kind, 0, sizeof kind);
  kind.cbSize = sizeof kind;
  kind.lpfnWndProc = FitWindow::Procedure;
  kind.hInstance = instance;
  kind.hIcon = LoadIconW(instance, MAKEINTRESOURCEW(1));
  if (kind.hIcon == nullptr) kind.hIcon = LoadIconW(nullptr, IDI_APPLICATION);
  kind.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  kind.hbrBackground = GetSysColorBrush(COLOR_BTNFACE);
  kind.lpszClassName = kClassName;
  RegisterClassExW(&kind);  // fails harmlessly when a second window is made
  kind.lpfnWndProc = PictureProcedure;
  kind.hIcon = nullptr;
  kind.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  kind.hbrBackground = nullptr;
  kind.lpszClassName = kPictureClass;
  RegisterClassExW(&kind);
  const std::wstring title = W(kFitWindowTitle);
  HWND window =
      CreateWindowExW(WS_EX_ACCEPTFILES, kClassName, title.c_str(),
                      WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX, CW_USEDEFAULT,
                      CW_USEDEFAULT, 600, 400, nullptr, nullptr, instance, nullptr);
  if (window == nullptr) return nullptr;
  ShowWindow(window, show);
  UpdateWindow(window);
  if (!picture.empty()) SendMessageW(window, kMsgOpen, 0, LPARAM(picture.c_str()));
  return window;
}

int RunFitWindow(HWND window) {
  MSG message;
  while (GetMessageW(&message, nullptr, 0, 0) > 0) {
    if (!IsDialogMessageW(window, &message)) {
      TranslateMessage(&message);
      DispatchMessageW(&message);
    }
  }
  return int(message.wParam);
}
