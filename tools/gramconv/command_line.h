// gramconv's command line: three commands, and on Windows a picture dropped on the program.
#pragma once

#include <string>
#include <vector>

#include "convert/gram_bitmap.h"
#include "picture_fit.h"

enum ExitStatus { kDone = 0, kRefused = 1, kUsageError = 2 };

enum CommandKind {
  CommandExport,
  CommandImport,
  CommandFit,
  CommandDrop,  // one picture and nothing else: fit it beside itself, replacing nothing
};

struct Command {
  CommandKind kind = CommandExport;
  Resolution res = Res640;
  bool autoRes = false;  // fit: the resolution AutoResolution chooses (the default)
  DitherMode dither = DitherDiffusion;
  FitGamma gamma = GammaLinear;
  FitLook look;        // fit: framing, tone, background
  bool orient = true;  // fit: the EXIF orientation applied
  bool yes = false;
  std::string gramPath;
  std::string bitmapPath;
  std::string picturePath;
  std::string previewPath;  // fit: "" or where the screen preview PNG goes
};

// Fills command from the arguments (UTF-8 on Windows; args[0] is the program). Returns -1
// when it is complete, else the exit status after printing help or a usage error.
int ParseCommandLine(const std::vector<std::string>& args, Command& command);
