// The parts of Vantrel Fit's window, shared by its files: fit_window.cpp (the window: what the
// user's actions do), fit_controls_win32.cpp (the controls, their layout, fonts, keys and the
// settings file), fit_files_win32.cpp (the choosers: opening and saving),
// fit_picture_win32.cpp (the preview and the small original) and fit_worker_win32.cpp (the
// reading and the search on worker threads).
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "fit_session.h"
#include "fit_window.h"

// Messages between the parts.
enum : UINT {
  kMsgProgress = WM_APP + 1,      // wParam: the job's number, lParam: share done, 0..1000
  kMsgDone = WM_APP + 2,          // lParam: the FitJob, whose reference now belongs to the window
  kMsgOpen = WM_APP + 3,          // lParam: the picture's name (UTF-16), read before it returns
  kMsgDrag = WM_APP + 4,          // from the preview: wParam a FitDrag, lParam MAKELONG(dx, dy)
  kMsgAccelerators = WM_APP + 5,  // returns the window's HACCEL
  kMsgDpi = WM_APP + 6,           // returns the DPI the window lays out for
};
enum FitDrag { DragStart, DragMove, DragEnd };

// The picture controls (class kFitPictureClass): pixels painted from memory, each shown as a
// square of `scale` screen pixels, crisp. Without pixels, the control's text is shown centred.
extern const wchar_t kFitPictureClass[];
enum : UINT {
  kPictureSet = WM_USER + 1,    // lParam: const PictureRgb* (nullptr: none)
  kPictureRead = WM_USER + 2,   // lParam: width x height x 3 bytes; returns 1 when it holds them
  kPictureScale = WM_USER + 3,  // wParam: the scale
  kPictureDrag = WM_USER + 4,   // wParam: 1 when a drag moves the picture (kMsgDrag to parent)
};
struct PictureRgb {
  const uint8_t* rgb;  // R G B, top row first
  uint32_t width, height;
};
bool RegisterPictureClass(HINSTANCE instance);

std::wstring W(const char* utf8);
std::wstring W(const std::string& utf8);

// One job on a worker: reading a picture, or the 最高画質 search. The window and the worker
// each hold a reference.
struct FitJob final : FitProgress {
  enum Kind { Read, Search } kind = Read;
  volatile LONG refs = 2;
  volatile LONG stop = 0;
  HWND window = nullptr;
  unsigned number = 0;
  int lastShare = -1;
  // Read: the file, and the outcome.
  std::string path;  // UTF-8
  FileFailure fileFailure = FileFine;
  std::string reason;  // "" on success
  UnreadFormat unread = UnreadNone;
  WorkingPicture picture;
  // Search: the canvas it started from and its generation, and the colours found.
  unsigned generation = 0;
  Canvas canvas;
  std::vector<uint8_t> colours;

  bool Going(float done) override;
};
// Starts job on a new thread; false (job untouched) when no thread can be made.
bool StartWorker(FitJob* job);
void Release(FitJob* job);
LONG WorkersRunning();

class FitWindow {
 public:
  static LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  std::wstring settings;  // where the choices are remembered

 private:
  LRESULT Handle(UINT message, WPARAM wParam, LPARAM lParam);
  // fit_controls_win32.cpp
  void Create();
  void MakeFont();
  void LayOut();
  void ShowChoices();  // the controls showing session_.choices
  void ReadSettings();
  void WriteSettings() const;
  void MinimumSize(MINMAXINFO* info) const;
  void DpiChanged(int dpi, const RECT& suggested);
  int Scaled(int pixels) const { return MulDiv(pixels, dpi_, 96); }
  // fit_files_win32.cpp
  void ChooseAndOpen();
  void Save();
  // fit_window.cpp
  void Command(int id, int code);
  void Slider(HWND control);
  void Open(const std::wstring& path);
  void StartRead(const std::string& path);
  void StartSearch();
  void DropJob(FitJob*& job);
  void Finished(FitJob* job);
  void Show();
  void ShowNothing();
  void Cancel();
  void Status(const std::string& text);
  int Box(const std::string& text, UINT kind);
  void UpdateButtons();
  void Drag(FitDrag phase, int dx, int dy);
  void SetPicture(int id, const uint8_t* rgb, uint32_t width, uint32_t height);
  LRESULT CopyPreview(uint8_t* rgb) const;
  void KeepFocus();
  void RestoreFocus();

  HWND window_ = nullptr;
  HFONT font_ = nullptr;
  LOGFONTW baseFont_ = {};  // the system's message font at baseDpi_
  int baseDpi_ = 96;
  int dpi_ = 96;
  HACCEL accelerators_ = nullptr;
  HWND focus_ = nullptr;         // the control that had the focus before a box or chooser
  FitJob* reading_ = nullptr;    // the read the window waits for
  FitJob* searching_ = nullptr;  // the search the window waits for
  unsigned jobs_ = 0;
  FitSession session_;
  float dragFromX_ = 0.5f, dragFromY_ = 0.5f;
};
