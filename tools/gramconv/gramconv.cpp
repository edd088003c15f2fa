// gramconv: converts GRAM dumps to 16-colour BMP files and back from the command line,
// with the plug-in's own export and import and its own messages.
#include <stdio.h>
#include <string.h>

#include <string>
#include <vector>

#include "common/show_message.h"
#include "common/texts.h"
#include "console_boxes.h"
#include "convert/conversions.h"
#include "gram_file.h"
#include "host/module_state.h"

namespace {

const char kUsage[] =
    "usage: gramconv export [--res 320|640] [--yes] GRAM_FILE BMP_FILE\n"
    "       gramconv import [--res 320|640] [--yes] BMP_FILE GRAM_FILE\n";

const char kHelp[] =
    "\n"
    "Converts a GRAM dump (48000 bytes: planes 0, 1 and 2, line 0 first) to a 16-colour\n"
    "BMP file and back, with the Vantrel plug-in's own conversions and messages.\n"
    "  --res 320|640  picture width (default 640)\n"
    "  --yes          answer OK to every question; otherwise questions are asked on the\n"
    "                 terminal, and without a terminal a question counts as Cancel\n"
    "import writes GRAM_FILE only when the import succeeds.\n"
    "Exit status: 0 done, 1 refused or cancelled, 2 usage error.\n";

enum ExitStatus { kDone = 0, kRefused = 1, kUsageError = 2 };

struct Command {
  bool exportGram = true;  // false: import
  Resolution res = Res640;
  bool yes = false;
  std::string gramPath;
  std::string bitmapPath;
};

// The dump is the three planes back to back, just as the host lends them.
uint8_t g_gram[kGramFileBytes];

int UsageError(const std::string& problem) {
  fprintf(stderr, "gramconv: %s\n%s", problem.c_str(), kUsage);
  return kUsageError;
}

// Fills command from argv; returns -1 when it is complete, else the exit status.
int ParseArguments(int argc, char** argv, Command& command) {
  for (int i = 1; i < argc && strcmp(argv[i], "--") != 0; ++i) {
    if (strcmp(argv[i], "--help") == 0 || strcmp(argv[i], "-h") == 0) {
      printf("%s%s", kUsage, kHelp);
      return kDone;
    }
  }
  if (argc < 2) return UsageError("no command given");
  const std::string verb = argv[1];
  if (verb != "export" && verb != "import") return UsageError("unknown command '" + verb + "'");
  command.exportGram = verb == "export";

  std::vector<std::string> operands;
  bool optionsEnded = false;
  for (int i = 2; i < argc; ++i) {
    const std::string arg = argv[i];
    if (optionsEnded || arg.empty() || arg[0] != '-' || arg == "-") {
      operands.push_back(arg);
    } else if (arg == "--") {
      optionsEnded = true;
    } else if (arg == "--yes") {
      command.yes = true;
    } else if (arg == "--res" || arg.compare(0, 6, "--res=") == 0) {
      std::string value;
      if (arg == "--res") {
        if (i + 1 >= argc) return UsageError("--res needs a value: 320 or 640");
        value = argv[++i];
      } else {
        value = arg.substr(6);
      }
      if (value == "320") {
        command.res = Res320;
      } else if (value == "640") {
        command.res = Res640;
      } else {
        return UsageError("--res must be 320 or 640, not '" + value + "'");
      }
    } else {
      return UsageError("unknown option '" + arg + "'");
    }
  }
  if (operands.size() != 2) {
    return UsageError(verb + " takes two file names, " + std::to_string(operands.size()) +
                      " given");
  }
  command.gramPath = command.exportGram ? operands[0] : operands[1];
  command.bitmapPath = command.exportGram ? operands[1] : operands[0];
  return -1;
}

// The plug-in takes paths of at most 259 bytes; longer ones are refused as it refuses them.
bool BitmapPathUsable(const std::string& path) {
  if (path.empty()) {
    ShowMessage(ErrorBox, kTextNoPath);
    return false;
  }
  if (path.size() >= kPathBytes) {
    ShowMessage(ErrorBox, kTextPathTooLong);
    return false;
  }
  return true;
}

int RunExport(const Command& command) {
  const std::string problem = ReadGramFile(command.gramPath, g_gram);
  if (!problem.empty()) {
    PrintError(problem);
    return kRefused;
  }
  if (!BitmapPathUsable(command.bitmapPath)) return kRefused;
  ExportGramToBitmap(command.bitmapPath.c_str(), command.res);
  return InformationShown(kTextExportDone) ? kDone : kRefused;
}

int RunImport(const Command& command) {
  if (!BitmapPathUsable(command.bitmapPath)) return kRefused;
  // "Written to GRAM" is only true for the user once GRAM_FILE holds it.
  HoldInformation(kTextImportDone);
  ImportBitmapToGram(command.bitmapPath.c_str(), command.res);
  if (!InformationShown(kTextImportDone)) return kRefused;
  const std::string problem = WriteGramFileReplacing(command.gramPath, g_gram);
  if (!problem.empty()) {
    PrintError(problem);
    return kRefused;
  }
  ReleaseHeldInformation();
  return kDone;
}

}  // namespace

int main(int argc, char** argv) {
  Command command;
  const int parsed = ParseArguments(argc, argv, command);
  if (parsed >= 0) return parsed;

  Module::GramPlanes = {{g_gram, g_gram + kGramPlaneBytes, g_gram + 2 * kGramPlaneBytes}};
  InstallConsoleBoxes(command.yes ? AnswerAllOk : AskOnTerminal, command.bitmapPath);
  return command.exportGram ? RunExport(command) : RunImport(command);
}
