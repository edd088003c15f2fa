// What Vantrel Fit's window shows and writes, without the window: the fitted canvases of one
// picture, the colours and screen of the chosen resolution and dither, the file a save
// writes, and the texts telling the user what happened. Memory to memory.
#pragma once

#include <stdint.h>

#include <string>
#include <vector>

#include "fit_look.h"
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
// gets a general sentence with the English reason.
std::string PictureTroubleText(const std::string& name, const std::string& reason);
// The box for a file that could not be read (reading) or written.
std::string FileTroubleText(FileFailure failure, const std::string& path, bool reading);

const char* DitherText(DitherMode dither);
std::string ResolutionText(Resolution res);  // "640x200"
// The status line once a picture is shown, and once it is saved (what to do next).
std::string ReadyStatus(const std::string& name, Resolution res, DitherMode dither);
std::string SavedStatus(const std::string& bitmapPath, Resolution res);

// The fitted canvases of the picture in the window, one per resolution as they are made,
// and the colours of the last choices, so a dither change only maps the canvas again.
class FitPictures {
 public:
  // Forgets the picture: nothing is fitted.
  void Clear();
  void Keep(Resolution res, Canvas canvas);
  bool Has(Resolution res) const { return canvases_[res].width != 0; }
  const Canvas& CanvasOf(Resolution res) const { return canvases_[res]; }

  // Colour numbers of the canvas of res (which must be kept) mapped with dither.
  const std::vector<uint8_t>& Colours(Resolution res, DitherMode dither);
  // What GRAM shows for these choices: PreviewScreen's 640x400 RGB.
  void Screen(Resolution res, DitherMode dither, std::vector<uint8_t>& rgb);
  // The BMP file a save writes for these choices.
  std::vector<uint8_t> Bitmap(Resolution res, DitherMode dither);
  // The canvas of res in its own colours, shrunk to width x height (the screen's shape),
  // RGB top row first: the picture before it meets the 8 colours.
  void Original(Resolution res, uint32_t width, uint32_t height, std::vector<uint8_t>& rgb) const;

 private:
  Canvas canvases_[2];
  std::vector<uint8_t> colours_;
  bool mapped_ = false;
  Resolution mappedRes_ = Res640;
  DitherMode mappedDither_ = DitherNone;
};
