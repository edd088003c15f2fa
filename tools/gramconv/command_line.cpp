#include "command_line.h"

#include <errno.h>
#include <stdlib.h>

#include <CLI/CLI.hpp>
#include <algorithm>

#include "console_output.h"

namespace {

const char kUsage[] =
    "usage: gramconv export [--res 320|640] [--yes] GRAM_FILE BMP_FILE\n"
    "       gramconv import [--res 320|640] [--yes] BMP_FILE GRAM_FILE\n"
    "       gramconv fit [--res auto|320|640] [--dither none|ordered|diffusion|bayer|best] "
    "[--yes] PICTURE BMP_FILE\n"
    "                    [--frame whole|fill|stretch|pixel] [--focus X,Y] [--screen 16:10|4:3]\n"
    "                    [--orient auto|ignore] [--brightness N] [--contrast N] [--saturation N]\n"
    "                    [--levels auto|off] [--background COLOUR] [--gamma linear|srgb]\n"
    "                    [--preview PNG_FILE]\n";

const char kHelp[] =
    "\n"
    "Converts a GRAM dump (48000 bytes: planes 0, 1 and 2, line 0 first) to a 16-colour\n"
    "BMP file and back, with the Vantrel plug-in's own conversions and messages, and fits\n"
#ifdef _WIN32
    "any picture (PNG, JPEG, GIF, BMP, TGA, PNM, PSD, and what the Windows Imaging\n"
    "Component of this machine reads: TIFF, JPEG XR, ICO; WebP and HEIF on Windows 10\n"
    "and 11) into a BMP file the plug-in imports with the colours shown.\n"
#else
    "any picture (PNG, JPEG, GIF, BMP, TGA, PNM, PSD, WebP) into a BMP file the plug-in\n"
    "imports with the colours shown.\n"
#endif
    "  --res 320|640  picture width (default 640); fit also takes auto, the default: 320\n"
    "                 for a picture of exactly 320x200, else 640\n"
    "fit only:\n"
    "  --dither none|ordered|diffusion|bayer|best\n"
    "                 how shades between the 8 colours are drawn (default diffusion):\n"
    "                 ordered: a fine blue-noise pattern, steady from picture to picture;\n"
    "                 diffusion: error diffusion, the closest of the quick ones; bayer: the\n"
    "                 8x8 cross-hatch of the time; best: diffusion improved by a search for\n"
    "                 what the eye sees (about a second)\n"
    "  --frame whole|fill|stretch|pixel\n"
    "                 how the picture meets the screen: whole, its shape kept, on the\n"
    "                 background (the default); fill, the screen covered and the rest cut\n"
    "                 off; stretch, each axis to the screen on its own; pixel, for pixel\n"
    "                 art: every pixel the same whole number of screen pixels, never\n"
    "                 averaged. A picture of exactly 640x200 (or 320x200 at 320) is taken\n"
    "                 pixel for pixel whatever the framing\n"
    "  --focus X,Y    fill: the part kept, as fractions 0..1 of the picture (default\n"
    "                 0.5,0.5, the middle; 0.5,0 keeps the top)\n"
    "  --screen 16:10|4:3\n"
    "                 the screen the shape is kept for: 640x400 square pixels as an\n"
    "                 emulator's window shows them (default), or a 4:3 monitor of the time\n"
    "  --orient auto|ignore\n"
    "                 turn the picture upright as its EXIF orientation says (default), or\n"
    "                 take its pixels as stored\n"
    "  --brightness -100..100, --contrast -100..100, --saturation 0..200\n"
    "                 tone, in linear light before the colours are chosen (defaults 0, 0,\n"
    "                 100 change nothing; saturation 0 gives greys)\n"
    "  --levels auto|off\n"
    "                 auto: the darkest and brightest 0.5% stretched to black and white\n"
    "  --background black|blue|red|magenta|green|cyan|yellow|white\n"
    "                 the colour around the picture and under transparency (default black)\n"
    "  --gamma linear|srgb\n"
    "                 average and dither the light the eye sees (linear, the default) or\n"
    "                 the picture's sRGB numbers themselves, as before (srgb)\n"
    "  --preview PNG_FILE\n"
    "                 also write a 640x400 PNG of what the machine's screen shows\n"
    "  --yes          answer OK to every question; otherwise questions are asked on the\n"
    "                 terminal, and without a terminal a question counts as Cancel\n"
    "import writes GRAM_FILE only when the import succeeds; fit writes BMP_FILE (and\n"
    "PNG_FILE) whole or not at all, and never replaces a folder, device or pipe.\n"
#ifdef _WIN32
    "A picture dropped on gramconv.exe (one file name alone) is fitted with the defaults\n"
    "into NAME-640x200.bmp (NAME-320x200.bmp for a 320x200 picture) beside it, with its\n"
    "screen preview NAME-640x200-preview.png; an existing file is never replaced.\n"
#endif
    "Exit status: 0 done, 1 refused or cancelled, 2 usage error.\n";

#ifdef _WIN32
const char kDropHint[] = "or drop a picture on gramconv.exe: it becomes NAME-640x200.bmp\n";
#else
const char kDropHint[] = "";
#endif

// The background colours by colour number (bit 0 blue, bit 1 red, bit 2 green).
const std::vector<std::string> kBackgrounds = {"black", "blue", "red",    "magenta",
                                               "green", "cyan", "yellow", "white"};

bool IsCommand(const std::string& arg) {
  return arg == "export" || arg == "import" || arg == "fit";
}

// A whole number from low to high, in decimal.
CLI::Validator WholeNumber(int low, int high) {
  const std::string range = std::to_string(low) + " to " + std::to_string(high);
  return CLI::Validator(
      [=](std::string& value) -> std::string {
        char* end = nullptr;
        errno = 0;
        const long number = strtol(value.c_str(), &end, 10);
        if (value.empty() || *end != '\0' || errno != 0 || number < low || number > high) {
          return value + " is not a whole number from " + range;
        }
        return "";
      },
      "INT " + range);
}

// X,Y: two fractions 0 to 1.
bool ParseFocus(const std::string& value, float& x, float& y) {
  char* end = nullptr;
  const double first = strtod(value.c_str(), &end);
  if (end == value.c_str() || *end != ',') return false;
  const char* second = end + 1;
  const double other = strtod(second, &end);
  if (end == second || *end != '\0' || !(first >= 0 && first <= 1) || !(other >= 0 && other <= 1)) {
    return false;
  }
  x = float(first);
  y = float(other);
  return true;
}

int UsageError(const std::string& problem) {
  WriteErr("gramconv: " + problem + "\n" + kUsage);
  return kUsageError;
}

// --res and --yes, as every command takes them.
void AddCommonOptions(CLI::App& sub, std::string& res, bool& yes) {
  sub.add_option("--res", res)->check(CLI::IsMember({"320", "640"}));
  sub.add_flag("--yes", yes);
}

}  // namespace

int ParseCommandLine(const std::vector<std::string>& args, Command& command) {
#ifdef _WIN32
  // Explorer starts the program with the dropped file as its only argument.
  if (args.size() == 2 && !args[1].empty() && args[1][0] != '-' && !IsCommand(args[1])) {
    command.kind = CommandDrop;
    command.picturePath = args[1];
    return -1;
  }
#endif
  if (args.size() < 2) {
    WriteErr(std::string("gramconv: no command given\n") + kUsage + kDropHint);
    return kUsageError;
  }
  if (!args[1].empty() && args[1][0] != '-' && !IsCommand(args[1])) {
    return UsageError("unknown command '" + args[1] + "'");
  }
  CLI::App app("gramconv", "gramconv");
  app.require_subcommand(1);
  std::string res = "640", fitRes = "auto";
  std::string dither = "diffusion";
  std::string gamma = "linear";
  std::string frame = "whole", focus = "0.5,0.5", screen = "16:10", orient = "auto";
  std::string levels = "off", background = "black";
  int brightness = 0, contrast = 0, saturation = 100;
  std::string first, second;
  CLI::App* exportCommand = app.add_subcommand("export");
  AddCommonOptions(*exportCommand, res, command.yes);
  exportCommand->add_option("GRAM_FILE", first)->required();
  exportCommand->add_option("BMP_FILE", second)->required();
  CLI::App* importCommand = app.add_subcommand("import");
  AddCommonOptions(*importCommand, res, command.yes);
  importCommand->add_option("BMP_FILE", first)->required();
  importCommand->add_option("GRAM_FILE", second)->required();
  CLI::App* fitCommand = app.add_subcommand("fit");
  fitCommand->add_option("--res", fitRes)->check(CLI::IsMember({"auto", "320", "640"}));
  fitCommand->add_flag("--yes", command.yes);
  fitCommand->add_option("--dither", dither)
      ->check(CLI::IsMember({"none", "ordered", "diffusion", "bayer", "best"}));
  fitCommand->add_option("--gamma", gamma)->check(CLI::IsMember({"linear", "srgb"}));
  fitCommand->add_option("--frame", frame)
      ->check(CLI::IsMember({"whole", "fill", "stretch", "pixel"}));
  fitCommand->add_option("--focus", focus)
      ->check(CLI::Validator(
          [&](std::string& value) -> std::string {
            return ParseFocus(value, command.look.focusX, command.look.focusY)
                       ? ""
                       : value + " is not X,Y with both from 0 to 1";
          },
          "X,Y"));
  fitCommand->add_option("--screen", screen)->check(CLI::IsMember({"16:10", "4:3"}));
  fitCommand->add_option("--orient", orient)->check(CLI::IsMember({"auto", "ignore"}));
  fitCommand->add_option("--brightness", brightness)->check(WholeNumber(-100, 100));
  fitCommand->add_option("--contrast", contrast)->check(WholeNumber(-100, 100));
  fitCommand->add_option("--saturation", saturation)->check(WholeNumber(0, 200));
  fitCommand->add_option("--levels", levels)->check(CLI::IsMember({"auto", "off"}));
  fitCommand->add_option("--background", background)->check(CLI::IsMember(kBackgrounds));
  fitCommand->add_option("--preview", command.previewPath);
  fitCommand->add_option("PICTURE", first)->required();
  fitCommand->add_option("BMP_FILE", second)->required();

  std::vector<const char*> argv;
  for (const std::string& arg : args) argv.push_back(arg.c_str());
  try {
    app.parse(int(argv.size()), argv.data());
  } catch (const CLI::CallForHelp&) {
    WriteOut(std::string(kUsage) + kHelp);
    return kDone;
  } catch (const CLI::ParseError& e) {
    return UsageError(e.what());
  }

  command.res = res == "320" ? Res320 : Res640;
  command.dither = dither == "ordered"     ? DitherOrdered
                   : dither == "diffusion" ? DitherDiffusion
                   : dither == "bayer"     ? DitherBayer
                   : dither == "best"      ? DitherBest
                                           : DitherNone;
  command.gamma = gamma == "srgb" ? GammaSrgb : GammaLinear;
  if (fitCommand->parsed()) {
    command.autoRes = fitRes == "auto";
    command.res = fitRes == "320" ? Res320 : Res640;
    command.look.frame = frame == "fill"      ? FrameFill
                         : frame == "stretch" ? FrameStretch
                         : frame == "pixel"   ? FramePixel
                                              : FrameWhole;
    command.look.screen = screen == "4:3" ? Screen4x3 : Screen16x10;
    command.look.tone.brightness = brightness;
    command.look.tone.contrast = contrast;
    command.look.tone.saturation = saturation;
    command.look.tone.autoLevels = levels == "auto";
    command.look.background =
        uint8_t(std::find(std::begin(kBackgrounds), std::end(kBackgrounds), background) -
                std::begin(kBackgrounds));
    command.orient = orient == "auto";
  }
  if (exportCommand->parsed()) {
    command.kind = CommandExport;
    command.gramPath = first;
    command.bitmapPath = second;
  } else if (importCommand->parsed()) {
    command.kind = CommandImport;
    command.bitmapPath = first;
    command.gramPath = second;
  } else {
    command.kind = CommandFit;
    command.picturePath = first;
    command.bitmapPath = second;
  }
  return -1;
}
