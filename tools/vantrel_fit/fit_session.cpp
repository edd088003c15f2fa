#include "fit_session.h"

#include <string.h>

#include <algorithm>

#include "fit_texts.h"
#include "fitted_bitmap.h"

namespace {

bool Has(const std::string& text, const char* part) { return text.find(part) != std::string::npos; }

// One list's items: the word it is remembered by, and its text on screen.
struct Item {
  int value;
  const char* word;
  const char* text;
};

const Item kResItems[] = {{Res640, "640", "640x200"}, {Res320, "320", "320x200"}};
const Item kDitherItems[] = {{DitherNone, "none", kFitDitherNone},
                             {DitherOrdered, "ordered", kFitDitherOrdered},
                             {DitherDiffusion, "diffusion", kFitDitherDiffusion},
                             {DitherBest, "best", kFitDitherBest},
                             {DitherBayer, "bayer", kFitDitherBayer}};
const Item kFrameItems[] = {{FrameWhole, "whole", kFitFrameWhole},
                            {FrameFill, "fill", kFitFrameFill},
                            {FrameStretch, "stretch", kFitFrameStretch},
                            {FramePixel, "pixel", kFitFramePixel}};
const Item kScreenItems[] = {{Screen16x10, "16:10", kFitScreen16x10},
                             {Screen4x3, "4:3", kFitScreen4x3}};
// Colour numbers: bit 0 blue, bit 1 red, bit 2 green.
const Item kBackgroundItems[] = {{0, "black", kFitColourBlack},   {1, "blue", kFitColourBlue},
                                 {2, "red", kFitColourRed},       {3, "magenta", kFitColourMagenta},
                                 {4, "green", kFitColourGreen},   {5, "cyan", kFitColourCyan},
                                 {6, "yellow", kFitColourYellow}, {7, "white", kFitColourWhite}};

struct List {
  const char* name;  // in the remembered text
  const Item* items;
  int count;
};

List ListOf(FitList list) {
  switch (list) {
    case ListRes: return {"res", kResItems, 2};
    case ListDither: return {"dither", kDitherItems, int(sizeof kDitherItems / sizeof(Item))};
    case ListFrame: return {"frame", kFrameItems, 4};
    case ListScreen: return {"screen", kScreenItems, 2};
    case ListBackground: break;
  }
  return {"background", kBackgroundItems, 8};
}

// The value of list that choices hold.
int ValueOf(const FitChoices& choices, FitList list) {
  switch (list) {
    case ListRes: return choices.res;
    case ListDither: return choices.dither;
    case ListFrame: return choices.look.frame;
    case ListScreen: return choices.look.screen;
    case ListBackground: break;
  }
  return choices.look.background;
}

void SetValue(FitChoices& choices, FitList list, int value) {
  switch (list) {
    case ListRes: choices.res = Resolution(value); return;
    case ListDither: choices.dither = DitherMode(value); return;
    case ListFrame: choices.look.frame = FitFrame(value); return;
    case ListScreen: choices.look.screen = FitScreen(value); return;
    case ListBackground: choices.look.background = uint8_t(value); return;
  }
}

// The tone's numbers with their ranges, as remembered.
struct Number {
  const char* name;
  int FitTone::*field;
  int low, high;
};
const Number kNumbers[] = {{"brightness", &FitTone::brightness, -100, 100},
                           {"contrast", &FitTone::contrast, -100, 100},
                           {"saturation", &FitTone::saturation, 0, 200}};

// value as a whole number within [low, high]; false for anything else ("12a", "", "+-3").
bool ReadNumber(const std::string& text, int low, int high, int& value) {
  size_t at = text.size() > 1 && text[0] == '-' ? 1 : 0;
  if (at == text.size() || text.size() > 5) return false;
  int number = 0;
  for (; at < text.size(); ++at) {
    if (text[at] < '0' || text[at] > '9') return false;
    number = number * 10 + (text[at] - '0');
  }
  if (text[0] == '-') number = -number;
  if (number < low || number > high) return false;
  value = number;
  return true;
}

}  // namespace

std::vector<std::string> ChoiceTexts(FitList list) {
  const List l = ListOf(list);
  std::vector<std::string> texts;
  for (int i = 0; i < l.count; ++i) texts.push_back(l.items[i].text);
  return texts;
}

int ChoiceIndex(const FitChoices& choices, FitList list) {
  const List l = ListOf(list);
  const int value = ValueOf(choices, list);
  for (int i = 0; i < l.count; ++i) {
    if (l.items[i].value == value) return i;
  }
  return 0;
}

void Choose(FitChoices& choices, FitList list, int index) {
  const List l = ListOf(list);
  if (index >= 0 && index < l.count) SetValue(choices, list, l.items[index].value);
}

void ResetTone(FitChoices& choices) { choices.look.tone = FitTone(); }

std::string ChoicesText(const FitChoices& choices) {
  std::string text;
  for (int list = 0; list < kFitListCount; ++list) {
    const List l = ListOf(FitList(list));
    text += std::string(l.name) + "=" + l.items[ChoiceIndex(choices, FitList(list))].word + "\n";
  }
  for (const Number& number : kNumbers) {
    text += std::string(number.name) + "=" + std::to_string(choices.look.tone.*number.field) + "\n";
  }
  text += std::string("levels=") + (choices.look.tone.autoLevels ? "auto" : "off") + "\n";
  return text;
}

FitChoices ReadChoicesText(const std::string& text) {
  FitChoices choices;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(start, end - start);
    start = end + 1;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    const size_t equals = line.find('=');
    if (equals == std::string::npos) continue;
    const std::string name = line.substr(0, equals), value = line.substr(equals + 1);
    for (int list = 0; list < kFitListCount; ++list) {
      const List l = ListOf(FitList(list));
      if (name != l.name) continue;
      for (int i = 0; i < l.count; ++i) {
        if (value == l.items[i].word) SetValue(choices, FitList(list), l.items[i].value);
      }
    }
    for (const Number& number : kNumbers) {
      if (name == number.name) {
        ReadNumber(value, number.low, number.high, choices.look.tone.*number.field);
      }
    }
    if (name == "levels" && (value == "auto" || value == "off")) {
      choices.look.tone.autoLevels = value == "auto";
    }
  }
  return choices;
}

PictureTrouble TroubleOfReason(const std::string& reason) {
  if (reason.empty()) return TroubleNone;
  if (reason == kFitCancelled) return TroubleCancelled;
  // Most telling first: "damaged or too large" is damage, a size beyond the limits says
  // "takes at most".
  if (Has(reason, "memory")) return TroubleNoMemory;
  if (Has(reason, "cut short")) return TroubleCutShort;
  if (Has(reason, "unknown format") || Has(reason, "not a picture") || Has(reason, "is empty") ||
      Has(reason, " picture gramconv cannot read")) {
    return TroubleUnknownFormat;
  }
  if (Has(reason, "damaged") || Has(reason, "no pixels")) return TroubleDamaged;
  if (Has(reason, "too large") || Has(reason, "takes at most")) return TroubleTooLarge;
  return TroubleOther;
}

std::string PictureTroubleText(const std::string& name, const std::string& reason,
                               UnreadFormat unread) {
  const PictureTrouble trouble = TroubleOfReason(reason);
  if (trouble == TroubleUnknownFormat && unread != UnreadNone) {
    const char* advice = unread == UnreadHeif                         ? kFitUnreadHeif
                         : unread == UnreadAvif                       ? kFitUnreadAvif
                         : unread == UnreadTiff                       ? kFitUnreadTiff
                         : unread == UnreadSvg || unread == UnreadPdf ? kFitUnreadDrawing
                                                                      : kFitUnreadOther;
    return FillText(kFitUnreadFormat, {name, UnreadFormatName(unread), advice});
  }
  switch (trouble) {
    case TroubleUnknownFormat: return FillText(kFitUnknownFormat, {name});
    case TroubleCutShort: return FillText(kFitCutShort, {name});
    case TroubleDamaged: return FillText(kFitDamaged, {name});
    case TroubleTooLarge: return FillText(kFitTooLarge, {name});
    case TroubleNoMemory: return FillText(kFitNoMemory, {name});
    case TroubleNone:
    case TroubleCancelled:
    case TroubleOther: break;
  }
  return FillText(kFitOtherTrouble, {name, reason});
}

std::string FileTroubleText(FileFailure failure, const std::string& path, bool reading) {
  switch (failure) {
    case FileCannotOpen: return FillText(kFitCannotOpen, {path});
    case FileNotRegular: return FillText(kFitNotRegular, {path});
    case FileWrongSize: return FillText(kFitFileTooLarge, {path});
    case FileCannotRead: return FillText(kFitCannotRead, {path});
    case FileCannotCreate: return FillText(kFitCannotCreate, {path});
    case FileAlreadyExists: return FillText(kFitAlreadyExists, {path});
    case FileFine:
    case FileCannotWrite: break;
  }
  return reading ? FillText(kFitCannotRead, {path}) : FillText(kFitCannotWrite, {path});
}

const char* DitherText(DitherMode dither) {
  for (const Item& item : kDitherItems) {
    if (item.value == dither) return item.text;
  }
  return kFitDitherNone;
}

std::string ResolutionText(Resolution res) { return std::to_string(BitmapWidth(res)) + "x200"; }

std::string ReadyStatus(const std::string& name, Resolution res, DitherMode dither) {
  return FillText(kFitStatusReady, {name, ResolutionText(res), DitherText(dither)});
}

std::string SavedStatus(const std::string& bitmapPath, Resolution res) {
  std::string folder = FolderPart(bitmapPath);
  // The folder without its last separator, but a drive's root as it is ("C:\\").
  if (folder.size() > 1 && folder[folder.size() - 2] != ':') folder.pop_back();
  return FillText(kFitStatusSaved, {NamePart(bitmapPath), folder, ResolutionText(res)});
}

void FitSession::Take(const std::string& path, WorkingPicture picture) {
  path_ = path;
  picture_ = std::move(picture);
  choices.look.focusX = choices.look.focusY = 0.5f;
  res_ = AutoResolution(picture_) == Res320 ? Res320 : choices.res;
  smallWidth_ = smallHeight_ = 0;
  smallRgb_.clear();
  Changed();
}

void FitSession::Forget() {
  path_.clear();
  picture_ = WorkingPicture();
  smallWidth_ = smallHeight_ = 0;
  smallRgb_.clear();
  Changed();
}

void FitSession::ChooseRes(Resolution res) {
  choices.res = res;
  if (res_ != res) {
    res_ = res;
    Changed();
  }
}

void FitSession::Changed() {
  ++generation_;
  canvasMade_ = coloursMade_ = coloursBest_ = false;
}

const Canvas& FitSession::CurrentCanvas() {
  if (!canvasMade_) {
    FrameCanvas(picture_, res_, choices.look, canvas_);
    canvasMade_ = true;
  }
  return canvas_;
}

void FitSession::MakeColours() {
  if (coloursMade_) return;
  const Canvas& canvas = CurrentCanvas();
  colours_.resize(size_t(canvas.width) * canvas.height);
  // The search is the worker's: the quick diffusion stands for it meanwhile.
  MapColours(canvas, choices.dither == DitherBest ? DitherDiffusion : choices.dither,
             colours_.data());
  coloursMade_ = true;
}

void FitSession::Screen(std::vector<uint8_t>& rgb) {
  MakeColours();
  PreviewScreen(res_, colours_.data(), rgb);
}

std::vector<uint8_t> FitSession::Bitmap() {
  MakeColours();
  std::vector<uint8_t> pixels;
  PackColours(res_, colours_.data(), pixels);
  return FittedBitmapFile(res_, pixels);
}

bool FitSession::WantsBest() { return Has() && choices.dither == DitherBest && !coloursBest_; }

void FitSession::TakeBest(unsigned generation, std::vector<uint8_t> colours) {
  if (generation != generation_ || choices.dither != DitherBest) return;
  const Canvas& canvas = CurrentCanvas();
  if (colours.size() != size_t(canvas.width) * canvas.height) return;
  colours_ = std::move(colours);
  coloursMade_ = coloursBest_ = true;
}

FitPlacement FitSession::Placement() const {
  return PlacePicture(picture_.pictureWidth, picture_.pictureHeight, res_, choices.look);
}

void FitSession::DragFocus(float fromX, float fromY, int dx, int dy) {
  FitLook look = choices.look;
  look.focusX = fromX;
  look.focusY = fromY;
  const FitPlacement from = PlacePicture(picture_.pictureWidth, picture_.pictureHeight, res_, look);
  if (from.canvasWidth == 0 || from.canvasHeight == 0) return;
  // A screen pixel is 640 / canvas width canvas pixels across and half a line down.
  const double canvasWidth = BitmapWidth(res_);
  const double wantX =
      from.keptX - dx * (canvasWidth / kPreviewWidth) / from.canvasWidth * from.keptWidth;
  const double wantY = from.keptY - dy * 0.5 / from.canvasHeight * from.keptHeight;
  // The kept part moves with the focus, never back: the focus giving the wanted edge is found
  // by halving, whatever rule the framing places it by.
  auto solve = [&](float& focus, double want, bool across) {
    float low = 0, high = 1;
    for (int step = 0; step < 24; ++step) {
      const float middle = (low + high) / 2;
      (across ? look.focusX : look.focusY) = middle;
      const FitPlacement at =
          PlacePicture(picture_.pictureWidth, picture_.pictureHeight, res_, look);
      if ((across ? at.keptX : at.keptY) < want) {
        low = middle;
      } else {
        high = middle;
      }
    }
    focus = (low + high) / 2;
    (across ? look.focusX : look.focusY) = focus;
  };
  float focusX = fromX, focusY = fromY;
  if (from.keptWidth < 1) solve(focusX, wantX, true);
  if (from.keptHeight < 1) solve(focusY, wantY, false);
  if (focusX != choices.look.focusX || focusY != choices.look.focusY) {
    choices.look.focusX = focusX;
    choices.look.focusY = focusY;
    Changed();
  }
}

FitSession::Original FitSession::Small(uint32_t width, uint32_t height) {
  Original out;
  if (!Has() || picture_.pictureWidth == 0 || picture_.pictureHeight == 0 || width == 0 ||
      height == 0) {
    return out;
  }
  // The picture's own proportions (as the user sees it, its size before any reduction).
  const double shape = double(picture_.pictureWidth) / picture_.pictureHeight;
  out.width = width;
  out.height = uint32_t(width / shape + 0.5);
  if (out.height > height) {
    out.height = height;
    out.width = uint32_t(height * shape + 0.5);
  }
  out.width = out.width < 1 ? 1 : out.width;
  out.height = out.height < 1 ? 1 : out.height;
  // Made by the engine; kept until the size or the background changes, so a trackbar's
  // step redraws only the outline.
  if (smallWidth_ != out.width || smallHeight_ != out.height ||
      smallBackground_ != choices.look.background || smallRgb_.empty()) {
    PictureView(picture_, out.width, out.height, choices.look.background, smallRgb_);
    smallWidth_ = out.width;
    smallHeight_ = out.height;
    smallBackground_ = choices.look.background;
  }
  out.rgb = smallRgb_;

  // The kept part's outline, inside the small picture.
  const FitPlacement placed = Placement();
  const int left = int(placed.keptX * out.width + 0.5);
  const int top = int(placed.keptY * out.height + 0.5);
  const int right = std::max(left, int((placed.keptX + placed.keptWidth) * out.width + 0.5) - 1);
  const int bottom = std::max(top, int((placed.keptY + placed.keptHeight) * out.height + 0.5) - 1);
  auto mark = [&](int x, int y, int along) {
    if (x < 0 || y < 0 || x >= int(out.width) || y >= int(out.height)) return;
    memset(&out.rgb[(size_t(y) * out.width + x) * 3], (along / 3) % 2 == 0 ? 255 : 0, 3);
  };
  for (int x = left; x <= right; ++x) {
    mark(x, top, x - left);
    mark(x, bottom, x - left);
  }
  for (int y = top; y <= bottom; ++y) {
    mark(left, y, y - top);
    mark(right, y, y - top);
  }
  return out;
}
