// What Vantrel Fit's window shows and writes, without the window: the fitted canvases of one
// picture, the colours and screen of the chosen resolution and dither, the file a save
// writes, and the texts telling the user what happened. Memory to memory.
#pragma once

#include <stdint.h>

#include <string>
#include <vector>

#include "fit_look.h"
#include "format_hint.h"
#include "picture_fit.h"
#include "tool_files.h"

// The user's choices, remembered across starts. The focus of 画面いっぱい belongs to one
// picture and is not remembered.
struct FitChoices {
  Resolution res = Res640;  // the one last chosen; a picture of exactly 320x200 opens at 320
  DitherMode dither = DitherDiffusion;
  FitLook look;
};

// The lists the window's combo boxes offer, in their order.
enum FitList { ListRes, ListDither, ListFrame, ListScreen, ListBackground };
const int kFitListCount = 5;
// The items of list, as the combo box shows them.
std::vector<std::string> ChoiceTexts(FitList list);
// The item of list showing what choices hold (0 when it holds none of them).
int ChoiceIndex(const FitChoices& choices, FitList list);
// Takes item index of list into choices; an index outside the list changes nothing.
void Choose(FitChoices& choices, FitList list, int index);
// Tone back to neutral (元に戻す); the rest stays.
void ResetTone(FitChoices& choices);

// The choices as "name=value" lines, and back. Reading is defensive: a value missing,
// unknown or out of range gives that value's default, whatever the rest holds.
std::string ChoicesText(const FitChoices& choices);
FitChoices ReadChoicesText(const std::string& text);

// The kinds of reasons the fit engine gives for refusing a picture.
enum PictureTrouble {
  TroubleNone,
  TroubleCancelled,
  TroubleUnknownFormat,
  TroubleCutShort,
  TroubleDamaged,
  TroubleTooLarge,
  TroubleNoMemory,
  TroubleOther,
};

// The kind of an engine's English reason ("" is TroubleNone).
PictureTrouble TroubleOfReason(const std::string& reason);
// The box telling why the picture called name was refused, in Japanese; an unknown kind
// gets a general sentence with the English reason. A format known not to be read here
// (unread, from the file's first bytes) is named with what would read it.
std::string PictureTroubleText(const std::string& name, const std::string& reason,
                               UnreadFormat unread = UnreadNone);
// The box for a file that could not be read (reading) or written.
std::string FileTroubleText(FileFailure failure, const std::string& path, bool reading);

const char* DitherText(DitherMode dither);
std::string ResolutionText(Resolution res);  // "640x200"
// The status line once a picture is shown, and once it is saved (what to do next).
std::string ReadyStatus(const std::string& name, Resolution res, DitherMode dither);
// Saved: the file's name and its folder, and what to do in the plug-in.
std::string SavedStatus(const std::string& bitmapPath, Resolution res);

// The picture in the window and what it shows for the choices: decoded once (the worker's
// LoadPicture), then framed, toned and mapped here as often as a choice changes.
class FitSession {
 public:
  FitChoices choices;  // after changing choices.look or .dither, call Changed()

  // A new picture replaces the one shown: focus centred; a picture of exactly 320x200 shows
  // at 320x200 (the remembered choice stays for the next picture).
  void Take(const std::string& path, WorkingPicture picture);
  void Forget();
  bool Has() const { return !path_.empty(); }
  const std::string& Path() const { return path_; }
  const WorkingPicture& Picture() const { return picture_; }

  // The resolution shown, and the user's choice of it (remembered).
  Resolution Res() const { return res_; }
  void ChooseRes(Resolution res);
  // The choices changed: what depends on them is made again when next asked for.
  void Changed();

  // The canvas for the choices (FrameCanvas), and what GRAM shows of it: PreviewScreen's
  // 640x400 RGB. Under DitherBest, the quick diffusion until TakeBest brings the search's.
  const Canvas& CurrentCanvas();
  void Screen(std::vector<uint8_t>& rgb);
  // The BMP file a save writes: what the screen shows.
  std::vector<uint8_t> Bitmap();

  // The search 最高画質 waits for: true while the shown colours are the quick ones. The
  // generation names the canvas a search started from; a result of an older one is dropped.
  bool WantsBest();
  unsigned Generation() const { return generation_; }
  void TakeBest(unsigned generation, std::vector<uint8_t> colours);

  // Where the picture lies on the canvas for the choices.
  FitPlacement Placement() const;
  // 画面いっぱい's drag: the focus that moves the picture by (dx, dy) pixels of the 640x400
  // screen from where focus (fromX, fromY) put it, as if the picture were held by the mouse.
  void DragFocus(float fromX, float fromY, int dx, int dy);

  // The small 元の画像: the picture in its own proportions, as large as fits in width x
  // height, over the background, with the part the framing keeps outlined (dashes of white
  // and black); rgb is R G B, top row first.
  struct Original {
    uint32_t width = 0, height = 0;
    std::vector<uint8_t> rgb;
  };
  Original Small(uint32_t width, uint32_t height);

 private:
  std::string path_;
  WorkingPicture picture_;
  Resolution res_ = Res640;
  unsigned generation_ = 0;
  bool canvasMade_ = false;
  Canvas canvas_;
  bool coloursMade_ = false;
  bool coloursBest_ = false;  // colours_ are the search's result
  std::vector<uint8_t> colours_;
  // The picture as Small shows it, at that size over that background (sRGB numbers).
  uint32_t smallWidth_ = 0, smallHeight_ = 0;
  uint8_t smallBackground_ = 0;
  std::vector<uint8_t> smallRgb_;

  void MakeColours();
};
