// Vantrel Fit's controls: made once, laid out for the DPI and the window's size (the geometry
// is fit_layout's), showing the session's choices, remembered in the user's settings file,
// and the keys of the window's message loop.
#include <windows.h>
// After windows.h, which they build on.
#include <commctrl.h>
#include <shlobj.h>
#include <string.h>

#include <algorithm>

#include "fit_texts.h"
#include "fit_window_parts.h"
#include "tool_text_win32.h"

namespace {

const wchar_t kClassName[] = L"VantrelFitWindow";
const uint64_t kMaxSettingsBytes = 65536;

// The controls in tab order, each label just before its control (so its access key reaches
// the control); made in this order.
struct Made {
  int id;
  const wchar_t* kind;
  const char* text;
  DWORD style;
  DWORD exStyle;
};
const Made kControls[] = {
    {kFitIdOpen, WC_BUTTONW, kFitOpen, WS_TABSTOP | BS_PUSHBUTTON, 0},
    {kFitIdSave, WC_BUTTONW, kFitSave, WS_TABSTOP | BS_PUSHBUTTON, 0},
    {kFitIdCancel, WC_BUTTONW, kFitCancel, WS_TABSTOP | BS_PUSHBUTTON, 0},
    {kFitIdProgress, PROGRESS_CLASSW, "", 0, 0},
    {kFitIdResLabel, WC_STATICW, kFitResolution, SS_LEFT, 0},
    {kFitIdRes, WC_COMBOBOXW, "", WS_TABSTOP | WS_VSCROLL | CBS_DROPDOWNLIST, 0},
    {kFitIdDitherLabel, WC_STATICW, kFitDither, SS_LEFT, 0},
    {kFitIdDither, WC_COMBOBOXW, "", WS_TABSTOP | WS_VSCROLL | CBS_DROPDOWNLIST, 0},
    {kFitIdFrameLabel, WC_STATICW, kFitFrame, SS_LEFT, 0},
    {kFitIdFrame, WC_COMBOBOXW, "", WS_TABSTOP | WS_VSCROLL | CBS_DROPDOWNLIST, 0},
    {kFitIdScreenLabel, WC_STATICW, kFitScreen, SS_LEFT, 0},
    {kFitIdScreen, WC_COMBOBOXW, "", WS_TABSTOP | WS_VSCROLL | CBS_DROPDOWNLIST, 0},
    {kFitIdBackgroundLabel, WC_STATICW, kFitBackground, SS_LEFT, 0},
    {kFitIdBackground, WC_COMBOBOXW, "", WS_TABSTOP | WS_VSCROLL | CBS_DROPDOWNLIST, 0},
    {kFitIdBrightnessLabel, WC_STATICW, kFitBrightness, SS_LEFT, 0},
    {kFitIdBrightness, TRACKBAR_CLASSW, "", WS_TABSTOP | TBS_HORZ | TBS_NOTICKS, 0},
    {kFitIdBrightnessValue, WC_STATICW, "0", SS_RIGHT | SS_NOPREFIX, 0},
    {kFitIdContrastLabel, WC_STATICW, kFitContrast, SS_LEFT, 0},
    {kFitIdContrast, TRACKBAR_CLASSW, "", WS_TABSTOP | TBS_HORZ | TBS_NOTICKS, 0},
    {kFitIdContrastValue, WC_STATICW, "0", SS_RIGHT | SS_NOPREFIX, 0},
    {kFitIdSaturationLabel, WC_STATICW, kFitSaturation, SS_LEFT, 0},
    {kFitIdSaturation, TRACKBAR_CLASSW, "", WS_TABSTOP | TBS_HORZ | TBS_NOTICKS, 0},
    {kFitIdSaturationValue, WC_STATICW, "100", SS_RIGHT | SS_NOPREFIX, 0},
    {kFitIdAutoLevels, WC_BUTTONW, kFitAutoLevels, WS_TABSTOP | BS_AUTOCHECKBOX, 0},
    {kFitIdResetTone, WC_BUTTONW, kFitResetTone, WS_TABSTOP | BS_PUSHBUTTON, 0},
    {kFitIdPreviewLabel, WC_STATICW, kFitPreviewLabel, SS_LEFT | SS_NOPREFIX, 0},
    {kFitIdPreview, kFitPictureClass, kFitPreviewEmpty, 0, WS_EX_STATICEDGE},
    {kFitIdOriginalLabel, WC_STATICW, kFitOriginalLabel, SS_LEFT | SS_NOPREFIX, 0},
    {kFitIdOriginal, kFitPictureClass, "", 0, 0},
    {kFitIdStatus, WC_STATICW, kFitStatusEmpty, SS_LEFT | SS_NOPREFIX, 0},
    {kFitIdClose, WC_BUTTONW, kFitClose, WS_TABSTOP | BS_PUSHBUTTON, 0},
};

const int kLists[][2] = {{kFitIdRes, ListRes},
                         {kFitIdDither, ListDither},
                         {kFitIdFrame, ListFrame},
                         {kFitIdScreen, ListScreen},
                         {kFitIdBackground, ListBackground}};

// The tone's trackbars: range and the session's field.
struct ToneSlider {
  int id, valueId, low, high;
  int FitTone::*field;
};
const ToneSlider kSliders[] = {
    {kFitIdBrightness, kFitIdBrightnessValue, -100, 100, &FitTone::brightness},
    {kFitIdContrast, kFitIdContrastValue, -100, 100, &FitTone::contrast},
    {kFitIdSaturation, kFitIdSaturationValue, 0, 200, &FitTone::saturation}};

}  // namespace

std::wstring W(const char* utf8) { return Utf8ToWide(utf8); }
std::wstring W(const std::string& utf8) { return Utf8ToWide(utf8); }

void FitWindow::MakeFont() {
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
}

void FitWindow::Create() {
  MakeFont();
  for (const Made& made : kControls) {
    HWND control = CreateWindowExW(made.exStyle, made.kind, W(made.text).c_str(),
                                   WS_CHILD | WS_VISIBLE | made.style, 0, 0, 0, 0, window_,
                                   HMENU(INT_PTR(made.id)), nullptr, nullptr);
    SendMessageW(control, WM_SETFONT, WPARAM(font_), FALSE);
  }
  SendDlgItemMessageW(window_, kFitIdProgress, PBM_SETRANGE32, 0, 1000);
  for (const auto& list : kLists) {
    for (const std::string& text : ChoiceTexts(FitList(list[1]))) {
      SendDlgItemMessageW(window_, list[0], CB_ADDSTRING, 0, LPARAM(W(text).c_str()));
    }
  }
  for (const ToneSlider& slider : kSliders) {
    SendDlgItemMessageW(window_, slider.id, TBM_SETRANGE, FALSE, MAKELONG(slider.low, slider.high));
    SendDlgItemMessageW(window_, slider.id, TBM_SETPAGESIZE, 0, 10);
  }
  // Ctrl+O and Ctrl+S; the access keys are the labels' own.
  ACCEL keys[] = {{FCONTROL | FVIRTKEY, 'O', kFitIdOpen}, {FCONTROL | FVIRTKEY, 'S', kFitIdSave}};
  accelerators_ = CreateAcceleratorTableW(keys, 2);
  ReadSettings();
  ShowChoices();
  DragAcceptFiles(window_, TRUE);
  ShowNothing();
  LayOut();
}

void FitWindow::ShowChoices() {
  for (const auto& list : kLists) {
    SendDlgItemMessageW(window_, list[0], CB_SETCURSEL,
                        ChoiceIndex(session_.choices, FitList(list[1])), 0);
  }
  if (session_.Has()) {
    SendDlgItemMessageW(window_, kFitIdRes, CB_SETCURSEL, session_.Res() == Res320 ? 1 : 0, 0);
  }
  const FitTone& tone = session_.choices.look.tone;
  for (const ToneSlider& slider : kSliders) {
    SendDlgItemMessageW(window_, slider.id, TBM_SETPOS, TRUE, tone.*slider.field);
    SetDlgItemInt(window_, slider.valueId, UINT(tone.*slider.field), TRUE);
  }
  CheckDlgButton(window_, kFitIdAutoLevels, tone.autoLevels ? BST_CHECKED : BST_UNCHECKED);
  SendDlgItemMessageW(window_, kFitIdPreview, kPictureDrag,
                      session_.choices.look.frame == FrameFill, 0);
}

// Takes a trackbar's position into the tone (the preview follows at once).
void FitWindow::Slider(HWND control) {
  for (const ToneSlider& slider : kSliders) {
    if (GetDlgItem(window_, slider.id) != control) continue;
    const int value = int(SendMessageW(control, TBM_GETPOS, 0, 0));
    int& field = session_.choices.look.tone.*slider.field;
    if (field == value) return;
    field = value;
    SetDlgItemInt(window_, slider.valueId, UINT(value), TRUE);
    session_.Changed();
    Show();
  }
}

void FitWindow::ReadSettings() {
  if (settings.empty()) return;
  std::vector<uint8_t> bytes;
  if (!ReadWholeFile(WideToUtf8(settings), "settings", 0, kMaxSettingsBytes, "", bytes).empty()) {
    return;  // none yet, or unreadable: the defaults
  }
  session_.choices = ReadChoicesText(std::string(bytes.begin(), bytes.end()));
}

void FitWindow::WriteSettings() const {
  if (settings.empty()) return;
  const size_t slash = settings.find_last_of(L'\\');
  if (slash != std::wstring::npos) CreateDirectoryW(settings.substr(0, slash).c_str(), nullptr);
  const std::string text = ChoicesText(session_.choices);
  WriteFileWhole(WideToUtf8(settings), "settings", reinterpret_cast<const uint8_t*>(text.data()),
                 text.size(), true);
}

// Places the controls for the DPI and the client area.
void FitWindow::LayOut() {
  RECT client;
  GetClientRect(window_, &client);
  const FitLayout layout = LayOutFit(dpi_, client.right, client.bottom);
  HDWP moves = BeginDeferWindowPos(int(layout.controls.size()));
  for (const FitPlaced& placed : layout.controls) {
    HWND control = GetDlgItem(window_, placed.id);
    // A drop-down list's height is its open list's.
    const bool list = placed.id >= kFitIdRes && placed.id <= kFitIdBackground;
    const int height = list ? placed.rect.height + Scaled(200) : placed.rect.height;
    if (moves != nullptr) {
      moves = DeferWindowPos(moves, control, nullptr, placed.rect.x, placed.rect.y,
                             placed.rect.width, height, SWP_NOZORDER | SWP_NOACTIVATE);
    }
  }
  if (moves != nullptr) EndDeferWindowPos(moves);
  SendDlgItemMessageW(window_, kFitIdPreview, kPictureScale, layout.previewScale, 0);
  InvalidateRect(window_, nullptr, TRUE);
}

void FitWindow::MinimumSize(MINMAXINFO* info) const {
  const FitLayout layout = LayOutFit(dpi_, 0, 0);
  RECT frame = {0, 0, layout.minWidth, layout.minHeight};
  AdjustWindowRectEx(&frame, DWORD(GetWindowLongPtrW(window_, GWL_STYLE)), FALSE,
                     DWORD(GetWindowLongPtrW(window_, GWL_EXSTYLE)));
  info->ptMinTrackSize.x = frame.right - frame.left;
  info->ptMinTrackSize.y = frame.bottom - frame.top;
}

void FitWindow::DpiChanged(int dpi, const RECT& suggested) {
  dpi_ = dpi;
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
  SetWindowPos(window_, nullptr, suggested.left, suggested.top, suggested.right - suggested.left,
               suggested.bottom - suggested.top, SWP_NOZORDER | SWP_NOACTIVATE);
  LayOut();
}

std::wstring FitSettingsPath() {
  wchar_t folder[MAX_PATH] = {};
  if (FAILED(SHGetFolderPathW(nullptr, CSIDL_APPDATA, nullptr, SHGFP_TYPE_CURRENT, folder))) {
    return L"";
  }
  return std::wstring(folder) + L"\\Vantrel\\" + W(kFitSettingsName);
}

HWND CreateFitWindow(HINSTANCE instance, const std::wstring& picture, int show,
                     const std::wstring& settings) {
  INITCOMMONCONTROLSEX controls = {sizeof controls,
                                   ICC_PROGRESS_CLASS | ICC_STANDARD_CLASSES | ICC_BAR_CLASSES};
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
  RegisterPictureClass(instance);
  const std::wstring title = W(kFitWindowTitle);
  // The settings travel to WM_CREATE, where the choices are read before the controls show.
  HWND window =
      CreateWindowExW(WS_EX_ACCEPTFILES, kClassName, title.c_str(),
                      WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN, CW_USEDEFAULT, CW_USEDEFAULT, 600, 400,
                      nullptr, nullptr, instance, const_cast<std::wstring*>(&settings));
  if (window == nullptr) return nullptr;
  // Sized for the preview at the DPI's scale (2x at 200%) where the screen has room, else 1x.
  const int dpi = int(SendMessageW(window, kMsgDpi, 0, 0));
  RECT work;
  SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
  for (int scale = std::max(1, dpi / 96); scale >= 1; --scale) {
    int width = 0, height = 0;
    FitClientFor(dpi, scale, width, height);
    RECT frame = {0, 0, width, height};
    AdjustWindowRectEx(&frame, DWORD(GetWindowLongPtrW(window, GWL_STYLE)), FALSE,
                       DWORD(GetWindowLongPtrW(window, GWL_EXSTYLE)));
    if (scale == 1 || (frame.right - frame.left <= work.right - work.left &&
                       frame.bottom - frame.top <= work.bottom - work.top)) {
      SetWindowPos(window, nullptr, 0, 0, frame.right - frame.left, frame.bottom - frame.top,
                   SWP_NOZORDER | SWP_NOMOVE | SWP_NOACTIVATE);
      break;
    }
  }
  ShowWindow(window, show);
  UpdateWindow(window);
  if (!picture.empty()) SendMessageW(window, kMsgOpen, 0, LPARAM(picture.c_str()));
  return window;
}

int RunFitWindow(HWND window) {
  const HACCEL keys = HACCEL(SendMessageW(window, kMsgAccelerators, 0, 0));
  MSG message;
  while (GetMessageW(&message, nullptr, 0, 0) > 0) {
    if (IsWindow(window) && keys != nullptr && TranslateAcceleratorW(window, keys, &message)) {
      continue;
    }
    if (!IsWindow(window) || !IsDialogMessageW(window, &message)) {
      TranslateMessage(&message);
      DispatchMessageW(&message);
    }
  }
  return int(message.wParam);
}
