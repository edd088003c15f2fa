// gramconv: converts GRAM dumps to 16-colour BMP files and back from the command line,
// with the plug-in's own export and import and its own messages, and fits pictures into
// BMP files the plug-in imports.
#include "gramconv.h"

#include "command_line.h"
#include "common/show_message.h"
#include "common/texts.h"
#include "console_boxes.h"
#include "console_output.h"
#include "convert/conversions.h"
#include "fit_command.h"
#include "gram_file.h"
#include "host/module_state.h"
#include "tool_files.h"

namespace {

// The dump is the three planes back to back, just as the host lends them.
uint8_t g_gram[kGramFileBytes];

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
  // A folder, device or pipe is refused up front with gramconv's own reason, as fit and
  // import refuse one, rather than after the export's questions.
  if (KindOfPath(command.bitmapPath) == PathOther) {
    PrintError(NotReplaceable("BMP file", command.bitmapPath));
    return kRefused;
  }
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

// A dropped picture, fitted with the defaults: its outcome stays readable until the user
// closes the window.
int RunDrop(const Command& command) {
  FitRequest request;  // the defaults; the files are named once the resolution is chosen
  request.picturePath = command.picturePath;
  request.mayReplace = false;
  const int status = RunFit(request);
  WaitBeforeClosing();
  return status;
}

}  // namespace

int RunGramconv(const std::vector<std::string>& args) {
  Command command;
  const int parsed = ParseCommandLine(args, command);
  if (parsed >= 0) {
    // Started without arguments, by a double click: the usage stays readable.
    if (args.size() < 2) WaitBeforeClosing();
    return parsed;
  }

  Module::GramPlanes = {{g_gram, g_gram + kGramPlaneBytes, g_gram + 2 * kGramPlaneBytes}};
  InstallConsoleBoxes(command.yes ? AnswerAllOk : AskOnTerminal, command.bitmapPath);
  switch (command.kind) {
    case CommandExport: return RunExport(command);
    case CommandImport: return RunImport(command);
    case CommandFit: {
      FitRequest request;
      request.picturePath = command.picturePath;
      request.bitmapPath = command.bitmapPath;
      request.res = command.res;
      request.autoRes = command.autoRes;
      request.dither = command.dither;
      request.gamma = command.gamma;
      request.look = command.look;
      request.orient = command.orient;
      request.previewPath = command.previewPath;
      return RunFit(request);
    }
    case CommandDrop: return RunDrop(command);
  }
  return kUsageError;
}
