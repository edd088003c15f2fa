// Vantrel Fit's file choosers: a picture chosen to open, and the BMP file saved, with the
// window's own overwrite question and statuses after every outcome.
#include <windows.h>
// After windows.h, which they build on.
#include <commdlg.h>
#include <string.h>

#include <algorithm>
#include <vector>

#include "fit_texts.h"
#include "fit_window_parts.h"
#include "fitted_bitmap.h"
#include "tool_text_win32.h"

namespace {

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

// The filters of the open chooser: "name\0patterns\0" pairs, ending in an empty pair.
std::wstring OpenFilters() {
  static const char* const kPairs[][2] = {
      {nullptr,
       "*.png;*.jpg;*.jpeg;*.jpe;*.gif;*.bmp;*.dib;*.tga;*.pnm;*.ppm;*.pgm;*.pbm;*.psd;"
       "*.webp;*.tif;*.tiff;*.heic;*.heif;*.avif;*.jxr;*.wdp"},
      {"PNG (*.png)", "*.png"},
      {"JPEG (*.jpg;*.jpeg)", "*.jpg;*.jpeg;*.jpe"},
      {"WebP (*.webp)", "*.webp"},
      {"GIF (*.gif)", "*.gif"},
      {"BMP (*.bmp)", "*.bmp;*.dib"},
      {"TGA (*.tga)", "*.tga"},
      {"PNM (*.pnm;*.ppm;*.pgm;*.pbm)", "*.pnm;*.ppm;*.pgm;*.pbm"},
      {"PSD (*.psd)", "*.psd"},
      {nullptr, "*.tif;*.tiff;*.heic;*.heif;*.avif;*.jxr;*.wdp"},
      {nullptr, "*.*"},
  };
  const size_t count = sizeof kPairs / sizeof kPairs[0];
  std::wstring filters;
  for (size_t i = 0; i < count; ++i) {
    std::string name;
    if (kPairs[i][0] != nullptr) {
      name = kPairs[i][0];
    } else if (i == 0) {
      name = kFitAllPictures;
    } else if (i + 2 == count) {
      name = std::string(kFitThroughWindows) + " (TIFF, HEIF, AVIF, JXR)";
    } else {
      name = kFitAllFiles;
    }
    filters += W(name) + L'\0' + W(kPairs[i][1]) + L'\0';
  }
  return filters + L'\0';
}

}  // namespace

void FitWindow::ChooseAndOpen() {
  std::vector<wchar_t> name(32768, L'\0');
  const std::wstring filters = OpenFilters();
  const std::wstring title = W(kFitOpenTitle);
  const std::wstring folder = W(FolderPart(session_.Path()));
  OPENFILENAMEW chooser = Chooser(window_, filters, title, folder, name);
  chooser.Flags =
      OFN_EXPLORER | OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST | OFN_HIDEREADONLY | OFN_NOCHANGEDIR;
  KeepFocus();
  const BOOL chosen = GetOpenFileNameW(&chooser);
  RestoreFocus();
  if (chosen) {
    Open(name.data());
  } else if (CommDlgExtendedError() == FNERR_BUFFERTOOSMALL) {
    Box(kFitNameTooLong, MB_OK | MB_ICONERROR);
  }
}

void FitWindow::Save() {
  if (!session_.Has() || reading_ != nullptr || searching_ != nullptr) return;
  const Resolution res = session_.Res();
  const std::wstring suggested = W(NamePart(FittedBitmapName(session_.Path(), res)));
  std::vector<wchar_t> name(32768, L'\0');
  std::copy(suggested.begin(), suggested.end(), name.begin());
  const std::wstring folder = W(FolderPart(session_.Path()));
  const std::wstring title = W(kFitSaveTitle);
  std::wstring filters = W(kFitBitmapFiles) + L'\0' + L"*.bmp" + L'\0';
  filters += W(kFitAllFiles) + L'\0' + L"*.*" + L'\0' + L'\0';
  OPENFILENAMEW chooser = Chooser(window_, filters, title, folder, name);
  chooser.lpstrDefExt = L"bmp";
  // The overwrite question is the window's own, asked below.
  chooser.Flags = OFN_EXPLORER | OFN_PATHMUSTEXIST | OFN_HIDEREADONLY | OFN_NOCHANGEDIR;
  KeepFocus();
  const BOOL chosen = GetSaveFileNameW(&chooser);
  RestoreFocus();
  if (!chosen) {
    if (CommDlgExtendedError() == FNERR_BUFFERTOOSMALL) Box(kFitNameTooLong, MB_OK | MB_ICONERROR);
    return;
  }
  const std::string target = WideToUtf8(name.data());
  const PathKind kind = KindOfPath(target);
  if (kind == PathOther) {
    Status(FillText(kFitStatusSaveFailed, {NamePart(target)}));
    Box(FileTroubleText(FileNotRegular, target, false), MB_OK | MB_ICONERROR);
    return;
  }
  if (kind == PathRegular &&
      Box(FillText(kFitOverwrite, {target}), MB_YESNO | MB_ICONQUESTION) != IDYES) {
    Status(FillText(kFitStatusNotSaved, {NamePart(target)}));
    return;
  }
  std::vector<uint8_t> file;
  FileFailure failure = FileFine;
  try {
    file = session_.Bitmap();
  } catch (const std::bad_alloc&) {
    failure = FileCannotWrite;
  }
  if (failure == FileFine) {
    WriteFileWhole(target, "BMP file", file.data(), file.size(), kind == PathRegular, &failure);
  }
  if (failure != FileFine) {
    Status(FillText(kFitStatusSaveFailed, {NamePart(target)}));
    Box(FileTroubleText(failure, target, false), MB_OK | MB_ICONERROR);
    return;
  }
  Status(SavedStatus(target, res));
}
