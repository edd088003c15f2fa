#include "command_line.h"

#include <CLI/CLI.hpp>

#include "console_output.h"

namespace {

const char kUsage[] =
    "usage: gramconv export [--res 320|640] [--yes] GRAM_FILE BMP_FILE\n"
    "       gramconv import [--res 320|640] [--yes] BMP_FILE GRAM_FILE\n"
    "       gramconv fit [--res 320|640] [--dither none|ordered|diffusion|bayer|best] [--yes] "
    "PICTURE BMP_FILE\n"
    "                    [--gamma linear|srgb] [--preview PNG_FILE]\n";

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
    "  --res 320|640  picture width (default 640)\n"
    "  --dither none|ordered|diffusion|bayer|best\n"
    "                 fit only: how shades between the 8 colours are drawn (default none):\n"
    "                 ordered: a fine blue-noise pattern, steady from picture to picture;\n"
    "                 diffusion: error diffusion, the closest of the quick ones; bayer: the\n"
    "                 8x8 cross-hatch of the time; best: diffusion improved by a search for\n"
    "                 what the eye sees (about a second)\n"
    "  --gamma linear|srgb\n"
    "                 fit only: average and dither the light the eye sees (linear, the\n"
    "                 default) or the picture's sRGB numbers themselves, as before (srgb)\n"
    "  --preview PNG_FILE\n"
    "                 fit only: also write a 640x400 PNG of what the machine's screen shows\n"
    "  --yes          answer OK to every question; otherwise questions are asked on the\n"
    "                 terminal, and without a terminal a question counts as Cancel\n"
    "import writes GRAM_FILE only when the import succeeds; fit writes BMP_FILE (and\n"
    "PNG_FILE) whole or not at all, and never replaces a folder, device or pipe.\n"
#ifdef _WIN32
    "A picture dropped on gramconv.exe (one file name alone) is fitted at 640x200 without\n"
    "dithering into NAME-640x200.bmp beside it, with its screen preview\n"
    "NAME-640x200-preview.png; an existing file is never replaced.\n"
#endif
    "Exit status: 0 done, 1 refused or cancelled, 2 usage error.\n";

#ifdef _WIN32
const char kDropHint[] = "or drop a picture on gramconv.exe: it becomes NAME-640x200.bmp\n";
#else
const char kDropHint[] = "";
#endif

bool IsCommand(const std::string& arg) {
  return arg == "export" || arg == "import" || arg == "fit";
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
  std::string res = "640";
  std::string dither = "none";
  std::string gamma = "linear";
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
  AddCommonOptions(*fitCommand, res, command.yes);
  fitCommand->add_option("--dither", dither)
      ->check(CLI::IsMember({"none", "ordered", "diffusion", "bayer", "best"}));
  fitCommand->add_option("--gamma", gamma)->check(CLI::IsMember({"linear", "srgb"}));
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
