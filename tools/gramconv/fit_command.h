// gramconv fit: a picture file in, a BMP file the plug-in imports with the same colours out.
#pragma once

#include <string>

#include "convert/gram_bitmap.h"
#include "picture_fit.h"

// Pictures larger than this are refused unread: a 100-million-pixel picture stored
// uncompressed at 32 bits takes 400 MB, and gramconv.exe has 2 GB of address space.
constexpr uint64_t kMaxPictureFileBytes = 512u << 20;

struct FitRequest {
  std::string picturePath;
  // "" for a dropped picture: NAME-640x200.bmp (or -320x200) beside it, and its preview.
  std::string bitmapPath;
  Resolution res = Res640;
  bool autoRes = true;  // res chosen by AutoResolution
  DitherMode dither = DitherDiffusion;
  FitGamma gamma = GammaLinear;
  FitLook look;
  bool orient = true;
  // "" or where a PNG of what the machine's screen shows goes, under the BMP file's rules.
  std::string previewPath;
  // true: an existing BMP or preview file is asked about (the overwrite question, through
  // the console boxes); false: it is refused.
  bool mayReplace = true;
};

// Reads, fits and writes; reports the outcome on the console. Returns the exit status.
int RunFit(const FitRequest& request);

// The file a dropped picture is fitted into at res: NAME-640x200.bmp (or -320x200) beside it.
std::string DropTarget(const std::string& picturePath, Resolution res);
// Its screen preview: NAME-640x200-preview.png beside it.
std::string DropPreview(const std::string& picturePath, Resolution res);
