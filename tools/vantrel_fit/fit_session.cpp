#include "fit_session.h"

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
                             {DitherDiffusion, "diffusion", kFitDitherDiffusion}};
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

std::string PictureTroubleText(const std::string& name, const std::string& reason) {
  switch (TroubleOfReason(reason)) {
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
  switch (dither) {
    case DitherOrdered: return kFitDitherOrdered;
    case DitherDiffusion: return kFitDitherDiffusion;
    case DitherNone:
    case DitherBayer:  // not offered by the window (yet)
    case DitherBest: break;
  }
  return kFitDitherNone;
}

std::string ResolutionText(Resolution res) { return std::to_string(BitmapWidth(res)) + "x200"; }

std::string ReadyStatus(const std::string& name, Resolution res, DitherMode dither) {
  return FillText(kFitStatusReady, {name, ResolutionText(res), DitherText(dither)});
}

std::string SavedStatus(const std::string& bitmapPath, Resolution res) {
  return FillText(kFitStatusSaved, {NamePart(bitmapPath), ResolutionText(res)});
}

void FitPictures::Clear() {
  canvases_[Res320] = Canvas();
  canvases_[Res640] = Canvas();
  mapped_ = false;
}

void FitPictures::Keep(Resolution res, Canvas canvas) {
  canvases_[res] = std::move(canvas);
  if (mappedRes_ == res) mapped_ = false;
}

const std::vector<uint8_t>& FitPictures::Colours(Resolution res, DitherMode dither) {
  if (!mapped_ || mappedRes_ != res || mappedDither_ != dither) {
    const Canvas& canvas = canvases_[res];
    colours_.resize(size_t(canvas.width) * canvas.height);
    MapColours(canvas, dither, colours_.data());
    mapped_ = true;
    mappedRes_ = res;
    mappedDither_ = dither;
  }
  return colours_;
}

void FitPictures::Screen(Resolution res, DitherMode dither, std::vector<uint8_t>& rgb) {
  PreviewScreen(res, Colours(res, dither).data(), rgb);
}

std::vector<uint8_t> FitPictures::Bitmap(Resolution res, DitherMode dither) {
  std::vector<uint8_t> pixels;
  PackColours(res, Colours(res, dither).data(), pixels);
  return FittedBitmapFile(res, pixels);
}

void FitPictures::Original(Resolution res, uint32_t width, uint32_t height,
                           std::vector<uint8_t>& rgb) const {
  const Canvas& canvas = canvases_[res];
  rgb.assign(size_t(width) * height * 3, 0);
  if (canvas.width == 0 || width == 0 || height == 0) return;
  // Each small pixel takes the canvas pixel under its centre.
  for (uint32_t y = 0; y < height; ++y) {
    const uint32_t from = uint32_t((uint64_t(y) * 2 + 1) * canvas.height / (uint64_t(height) * 2));
    for (uint32_t x = 0; x < width; ++x) {
      const uint32_t across =
          uint32_t((uint64_t(x) * 2 + 1) * canvas.width / (uint64_t(width) * 2));
      CanvasSrgb(canvas, size_t(from) * canvas.width + across, &rgb[(size_t(y) * width + x) * 3]);
    }
  }
}
