// A stand-in for the user of the converter dialog, for the live dialog tests.
//
// The dialog runs on the host's thread (the test's main thread); a DialogUser works from
// another thread and only ever touches top-level windows of that host thread (so never the
// windows of other programs on the shared Wine desktop). It acts by control id with
// messages posted or sent to specific windows: no global input. Every wait is bounded.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

// Texts of the plug-in's windows, as the window system holds them (UTF-16).
extern const wchar_t kMainTitle[];     // the converter dialog
extern const wchar_t kAboutTitle[];    // the About box
extern const wchar_t kChooserTitle[];  // the open-file chooser
extern const wchar_t kBoxCaption[];    // every message box

enum : int {
  kIdBrowse = 101,
  kIdExecute = 102,
  kIdAbout = 103,
  kIdPath = 201,
  kIdGramToBitmap = 401,
  kIdBitmapToGram = 402,
  kIdRes320 = 403,
  kIdRes640 = 404,
  kIdExit = IDCANCEL,
};

// A message box as the user sees it.
struct SeenBox {
  HWND window = nullptr;
  std::wstring text;
  bool hasOk = false;
  bool hasCancel = false;
};

class DialogUser {
 public:
  // hostThread runs the dialog; marker is a window of that thread whose procedure calls
  // MarkerReached() for kMarkerMessage (see Flush).
  DialogUser(DWORD hostThread, HWND marker);

  // Top-level windows of the host thread that are visible, optionally with this title.
  std::vector<HWND> Windows(const wchar_t* title = nullptr) const;
  // Waits until exactly one visible window with this title exists; null after timeoutMs.
  HWND WaitWindow(const wchar_t* title, DWORD timeoutMs = 20000) const;
  // Waits until no visible window with this title is left.
  bool WaitGone(const wchar_t* title, DWORD timeoutMs = 20000) const;

  // Returns once every message posted to the host thread before this call has been
  // dispatched (or a modal loop it opened is running).
  bool Flush();

  // Window texts, read without waiting on a stuck thread.
  std::wstring Title(HWND window) const;
  std::wstring Text(HWND dialog, int id) const;
  std::string TextBytes(HWND dialog, int id) const;  // code page 932 bytes
  bool Checked(HWND dialog, int id) const;

  // The user's actions.
  void Click(HWND dialog, int id);                           // presses a button or radio button
  void Type(HWND dialog, int id, const std::wstring& text);  // replaces a field's text
  void TypeBytes(HWND dialog, int id, const std::string& cp932);
  void Key(HWND dialog, UINT virtualKey);  // a key press at the focused control
  // Ctrl held with the key (the keyboard state shared with the host thread for the press).
  void CtrlKey(HWND dialog, UINT virtualKey);
  // Alt with a letter: an access key, as the keyboard sends it to the focused control.
  void AltKey(HWND dialog, wchar_t letter);
  // A combo box's item chosen as with the mouse (its parent told CBN_SELCHANGE).
  void Select(HWND dialog, int id, int index);
  int Selected(HWND dialog, int id) const;
  // A trackbar's thumb dragged to position: its parent hears each step, then the end.
  void Slide(HWND dialog, int id, int position);
  // The left button pressed at from on a control, moved to to in steps, and released
  // (the control's client coordinates).
  void Drag(HWND dialog, int id, POINT from, POINT to);
  // The control of the host thread that has the keyboard focus (null for none).
  HWND Focus() const;
  // Drops files (code page 932 names) on a window, as the desktop shell does.
  void Drop(HWND target, const std::vector<std::string>& cp932Names);
  // Drops files named in UTF-16 (the wide form Explorer sends).
  void DropWide(HWND target, const std::vector<std::wstring>& names);

  // Message boxes: waits for one (caption kBoxCaption unless SetBoxCaption named another
  // program's), reads it; then answers it.
  void SetBoxCaption(const wchar_t* caption) { boxCaption_ = caption; }
  SeenBox WaitBox(DWORD timeoutMs = 20000) const;
  bool Answer(const SeenBox& box, int id);  // IDOK or IDCANCEL; true when it closed
  int CountBoxes() const { return int(Windows(boxCaption_).size()); }

  // File choosers (open or save): the name field, an edit (edt1) or the edit inside a combo
  // box (cmb13); and choosing a name: typed into it, then OK, then waiting until the
  // chooser titled title is gone.
  static HWND ChooserNameField(HWND chooser);
  bool Choose(HWND chooser, const wchar_t* title, const std::wstring& path);

  // Closes whatever the host thread still shows (boxes, chooser, About, the dialog).
  void CloseEverything();

  // Called by the marker window's procedure on the host thread.
  static void MarkerReached(WPARAM sequence);
  static const UINT kMarkerMessage = WM_APP + 7;

 private:
  DWORD hostThread_;
  HWND marker_;
  LONG sequence_ = 0;
  const wchar_t* boxCaption_ = kBoxCaption;
};

// UTF-8 <-> UTF-16 <-> code page 932, for expectations and failure messages.
std::wstring Wide(const std::string& utf8);
std::string Utf8(const std::wstring& text);
std::string Cp932(const std::wstring& text);
std::wstring FromCp932(const std::string& bytes);
