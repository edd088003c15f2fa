// vantrel_host: a stand-in for the emulator that loads the plug-in. It does what the host
// does, in the host's order, checks every call's stack discipline and return value, and
// prints what it was handed. Tests, the demo and people trying the plug-in run it.
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <windows.h>

#include <string>

#include "counted_call.h"
#include "demo_script.h"
#include "test_picture.h"

namespace {

const char kUsage[] =
    "usage: vantrel_host [options] [PLUGIN.dll]\n"
    "Loads the plug-in (default: Vantrel.dll beside this program) the way the emulator\n"
    "does: looks up its nine entry points, prints the information record it hands over,\n"
    "lends it three 16000-byte GRAM planes through the fifth host service and calls the\n"
    "other entries; on request opens its dialog. Every call is checked for the stack bytes\n"
    "it removes and the value it returns.\n"
    "\n"
    "  --gram FILE    GRAM from FILE: 48000 bytes, plane 0 (blue), 1 (red), 2 (green)\n"
    "  --blank        GRAM all zero (default: the built-in test picture)\n"
    "  --picture FILE only write the test picture as a 48000-byte GRAM file, then exit\n"
    "  --cookie N     cookie for BoardInfomationService (default 0x48414C43), 0x.. or decimal\n"
    "  --no-services  InitializeBoardEx gets a null service table: no GRAM is lent\n"
    "  --dialog       call InfomationDialog once more (repeatable); parent: none\n"
    "  --parent       give InfomationDialog a host window as its parent\n"
    "  --save FILE    at the end, write GRAM (48000 bytes) to FILE\n"
    "  --drive FOLDER a helper thread plays the user in one dialog: exports GRAM to FOLDER\n"
    "                 as 640x200 and 320x200 bitmaps, imports both back and checks GRAM\n"
    "                 after each; implies one --dialog (the demo of scripts/main.sh)\n"
    "  --help         this text\n"
    "\n"
    "Output: one \"name: value\" line per fact, GRAM checksums (FNV-1a per plane) before\n"
    "and after. Exit status: 0 all well; 1 the plug-in broke the host contract (missing\n"
    "entry, wrong stack bytes, wrong result, record changed); 2 usage or file error.\n";

const uint32_t kPlaneBytes = 16000;
const uint32_t kGramFileBytes = 3 * kPlaneBytes;
const uint32_t kRecordBytes = 840;

uint8_t g_gram[3][kPlaneBytes];
uint32_t g_queryCount = 0;
bool g_failed = false;

void Fail(const char* what) {
  fprintf(stdout, "FAILURE: %s\n", what);
  fflush(stdout);
  g_failed = true;
}

// The host's GRAM service: lends the three planes.
uint32_t WINAPI QueryPlanes(uint32_t cookie, uint8_t** plane0, uint8_t** plane1, uint8_t** plane2) {
  ++g_queryCount;
  *plane0 = g_gram[0];
  *plane1 = g_gram[1];
  *plane2 = g_gram[2];
  printf("QueryPlanes: cookie 0x%08X, lent planes at %p %p %p\n", unsigned(cookie),
         static_cast<void*>(g_gram[0]), static_cast<void*>(g_gram[1]),
         static_cast<void*>(g_gram[2]));
  return 1;
}

// The host's other services: the plug-in has no business calling them.
template <int Index>
void WINAPI UnexpectedService() {
  printf("FAILURE: the plug-in called host service %d\n", Index);
  fflush(stdout);
  ExitProcess(1);
}

const uintptr_t g_services[8] = {
    uintptr_t(&UnexpectedService<0>), uintptr_t(&UnexpectedService<1>),
    uintptr_t(&UnexpectedService<2>), uintptr_t(&UnexpectedService<3>),
    uintptr_t(&QueryPlanes),          uintptr_t(&UnexpectedService<5>),
    uintptr_t(&UnexpectedService<6>), uintptr_t(&UnexpectedService<7>),
};

struct Entry {
  const char* name;
  uint32_t argumentCount;  // all 32-bit; removed by the entry itself
  const void* address;
};

Entry g_entries[] = {
    {"BoardInfomationService", 2, nullptr}, {"InitializeBoardEx", 1, nullptr},
    {"IntializeBoard", 0, nullptr},         {"ReIntializeBoard", 0, nullptr},
    {"FinalizeBoard", 0, nullptr},          {"InfomationDialog", 1, nullptr},
    {"ReportCpuClock", 1, nullptr},         {"StateSaveInputDataEx", 3, nullptr},
    {"StateSaveOutputDataEx", 3, nullptr},
};

// Calls an entry by name, checks the bytes it removed, prints and returns its result.
uint32_t Call(const char* name, const uint32_t* args = nullptr) {
  for (const Entry& entry : g_entries) {
    if (strcmp(entry.name, name) != 0) continue;
    int32_t removed = 0;
    const uint32_t result = CountedCall(entry.address, args, entry.argumentCount, &removed);
    if (removed != int32_t(4 * entry.argumentCount)) {
      char what[160];
      snprintf(what, sizeof what, "%s removed %d stack bytes, the host expects %u", name,
               int(removed), unsigned(4 * entry.argumentCount));
      Fail(what);
    }
    return result;
  }
  return 0;
}

void ExpectResult(const char* name, uint32_t result, uint32_t expected) {
  printf("%s: returned %u\n", name, unsigned(result));
  if (result != expected) {
    char what[160];
    snprintf(what, sizeof what, "%s returned %u, the host expects %u", name, unsigned(result),
             unsigned(expected));
    Fail(what);
  }
}

uint32_t Fnv1a(const uint8_t* bytes, uint32_t size) {
  uint32_t hash = 2166136261u;
  for (uint32_t i = 0; i < size; ++i) hash = (hash ^ bytes[i]) * 16777619u;
  return hash;
}

void PrintGram(const char* when) {
  printf("gram %s: %08X %08X %08X\n", when, unsigned(Fnv1a(g_gram[0], kPlaneBytes)),
         unsigned(Fnv1a(g_gram[1], kPlaneBytes)), unsigned(Fnv1a(g_gram[2], kPlaneBytes)));
}

bool ReadGram(const char* path) {
  FILE* f = fopen(path, "rb");
  if (f == nullptr) return false;
  const size_t got = fread(g_gram, 1, kGramFileBytes, f);
  const bool exact = got == kGramFileBytes && fgetc(f) == EOF;
  fclose(f);
  return exact;
}

bool WriteGram(const char* path) {
  FILE* f = fopen(path, "wb");
  if (f == nullptr) return false;
  const bool ok = fwrite(g_gram, 1, kGramFileBytes, f) == kGramFileBytes;
  return fclose(f) == 0 && ok;
}

// Prints a zero-terminated, zero-filled text field and checks its terminator.
void PrintText(const uint8_t* record, uint32_t offset, uint32_t width, const char* name) {
  const char* text = reinterpret_cast<const char*>(record + offset);
  const size_t length = strnlen(text, width);
  printf("record %s (%u): %.*s\n", name, unsigned(offset), int(length), text);
  if (length == width) Fail("a text of the information record is not terminated");
}

uint32_t Le32(const uint8_t* p) { return uint32_t(p[0] | p[1] << 8 | p[2] << 16 | p[3] << 24); }

void PrintRecord(const uint8_t* record) {
  PrintText(record, 0, 48, "identity");
  PrintText(record, 48, 128, "displayName");
  PrintText(record, 176, 128, "versionText");
  PrintText(record, 304, 128, "copyright");
  PrintText(record, 432, 256, "webPage");
  PrintText(record, 688, 128, "email");
  printf("record value (816): %u\n", unsigned(Le32(record + 816)));
  const char* entryNames[2] = {"ReturnFalseEntry", "ReturnZeroEntry"};
  for (int i = 0; i < 2; ++i) {
    const uint32_t offset = 820 + 4 * i;
    const void* entry = reinterpret_cast<const void*>(uintptr_t(Le32(record + offset)));
    int32_t removed = 0;
    uint32_t result = CountedCall(entry, nullptr, 0, &removed);
    if (i == 0) result &= 0xFF;  // an 8-bit result
    printf("record %s (%u): %p, returns %u, removes %d stack bytes\n", entryNames[i],
           unsigned(offset), entry, unsigned(result), int(removed));
    if (result != 0 || removed != 0) Fail("a record entry does not return 0 cleanly");
  }
  printf("record value (828): %u\n", unsigned(Le32(record + 828)));
  printf("record value (832): 0x%08X\n", unsigned(Le32(record + 832)));
  printf("record value (836): %u\n", unsigned(Le32(record + 836)));
}

LRESULT CALLBACK HostWindowProc(HWND window, UINT message, WPARAM w, LPARAM l) {
  return DefWindowProcA(window, message, w, l);
}

HWND CreateHostWindow() {
  WNDCLASSA cls = {};
  cls.lpfnWndProc = HostWindowProc;
  cls.hInstance = GetModuleHandleA(nullptr);
  cls.hbrBackground = HBRUSH(COLOR_WINDOW + 1);
  cls.lpszClassName = "VantrelHostWindow";
  RegisterClassA(&cls);
  HWND window =
      CreateWindowA("VantrelHostWindow", "Halcyon (vantrel_host)", WS_OVERLAPPEDWINDOW | WS_VISIBLE,
                    40, 40, 680, 480, nullptr, nullptr, cls.hInstance, nullptr);
  return window;
}

std::string DefaultPluginPath() {
  char path[MAX_PATH];
  const DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
  std::string result(path, length);
  const size_t slash = result.find_last_of("\\/");
  return (slash == std::string::npos ? std::string() : result.substr(0, slash + 1)) + "Vantrel.dll";
}

}  // namespace

int main(int argc, char** argv) {
  setvbuf(stdout, nullptr, _IONBF, 0);  // lines appear in order with the plug-in's doings
  std::string plugin = DefaultPluginPath();
  const char* gramFile = nullptr;
  const char* saveFile = nullptr;
  const char* driveFolder = nullptr;
  bool blank = false, services = true, parent = false;
  int dialogs = 0;
  uint32_t cookie = 0x48414C43u;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    const bool hasValue = i + 1 < argc;
    if (arg == "--help") {
      fputs(kUsage, stdout);
      return 0;
    } else if (arg == "--gram" && hasValue) {
      gramFile = argv[++i];
    } else if (arg == "--save" && hasValue) {
      saveFile = argv[++i];
    } else if (arg == "--drive" && hasValue) {
      driveFolder = argv[++i];
    } else if (arg == "--picture" && hasValue) {
      DrawTestPicture(g_gram[0], g_gram[1], g_gram[2]);
      if (!WriteGram(argv[++i])) {
        fprintf(stderr, "vantrel_host: cannot write %s\n", argv[i]);
        return 2;
      }
      return 0;
    } else if (arg == "--cookie" && hasValue) {
      cookie = uint32_t(strtoul(argv[++i], nullptr, 0));
    } else if (arg == "--blank") {
      blank = true;
    } else if (arg == "--no-services") {
      services = false;
    } else if (arg == "--dialog") {
      ++dialogs;
    } else if (arg == "--parent") {
      parent = true;
    } else if (arg.compare(0, 2, "--") != 0) {
      plugin = arg;
    } else {
      fprintf(stderr, "vantrel_host: unknown or incomplete option %s\n\n%s", arg.c_str(), kUsage);
      return 2;
    }
  }

  if (gramFile != nullptr) {
    if (!ReadGram(gramFile)) {
      fprintf(stderr, "vantrel_host: %s is not a readable 48000-byte GRAM file\n", gramFile);
      return 2;
    }
  } else if (!blank) {
    DrawTestPicture(g_gram[0], g_gram[1], g_gram[2]);
  }
  PrintGram("before");

  printf("plugin: %s\n", plugin.c_str());
  HMODULE module = LoadLibraryA(plugin.c_str());
  if (module == nullptr) {
    printf("FAILURE: cannot load %s (error %lu)\n", plugin.c_str(), GetLastError());
    return 1;
  }
  int missing = 0;
  for (Entry& entry : g_entries) {
    entry.address = reinterpret_cast<const void*>(GetProcAddress(module, entry.name));
    if (entry.address == nullptr) {
      printf("FAILURE: the plug-in has no entry point named %s\n", entry.name);
      ++missing;
    }
  }
  if (missing > 0) {
    FreeLibrary(module);
    return 1;
  }
  printf("entries: all 9 found\n");

  uintptr_t recordAddress = 0;
  uint32_t args[3] = {uint32_t(uintptr_t(&recordAddress)), cookie, 0};
  ExpectResult("BoardInfomationService", Call("BoardInfomationService", args), 1);
  printf("record at: 0x%08X (cookie handed over 0x%08X)\n", unsigned(recordAddress),
         unsigned(cookie));
  if (recordAddress == 0) {
    Fail("BoardInfomationService handed over no record");
    FreeLibrary(module);
    return 1;
  }
  const uint8_t* record = reinterpret_cast<const uint8_t*>(recordAddress);
  uint8_t recordAtStart[kRecordBytes];
  memcpy(recordAtStart, record, kRecordBytes);
  PrintRecord(record);

  args[0] = services ? uint32_t(uintptr_t(g_services)) : 0;
  ExpectResult("InitializeBoardEx", Call("InitializeBoardEx", args), 1);
  printf("QueryPlanes calls: %u\n", unsigned(g_queryCount));
  if (services && g_queryCount != 1) Fail("InitializeBoardEx did not ask for the planes once");
  if (!services && g_queryCount != 0) Fail("GRAM was asked for without a service table");

  args[0] = 4000000;
  Call("ReportCpuClock", args);
  uint32_t saved[3] = {0xDEADBEEFu, 0xDEADBEEFu, 0xDEADBEEFu};
  for (int i = 0; i < 3; ++i) args[i] = uint32_t(uintptr_t(&saved[i]));
  ExpectResult("StateSaveOutputDataEx", Call("StateSaveOutputDataEx", args), 1);
  printf("state saved: %u %u %u\n", unsigned(saved[0]), unsigned(saved[1]), unsigned(saved[2]));
  if (saved[0] != 1 || saved[1] != 0 || saved[2] != 0) Fail("state save values are not 1 0 0");
  for (int i = 0; i < 3; ++i) args[i] = saved[i];
  ExpectResult("StateSaveInputDataEx", Call("StateSaveInputDataEx", args), 1);
  ExpectResult("ReIntializeBoard", Call("ReIntializeBoard"), 1);

  if (driveFolder != nullptr) {
    dialogs = 1;  // the user thread works one dialog
    const DemoSetup setup = {driveFolder, {g_gram[0], g_gram[1], g_gram[2]}};
    if (!StartDemo(setup)) {
      Fail("the demo's user thread did not start");
      dialogs = 0;  // nobody would close the dialog
    }
  }
  HWND window = parent && dialogs > 0 ? CreateHostWindow() : nullptr;
  for (int i = 0; i < dialogs; ++i) {
    args[0] = uint32_t(uintptr_t(window));
    const uint32_t end = Call("InfomationDialog", args);
    printf("InfomationDialog: returned %u\n", unsigned(end));
  }
  std::string demoProblem;
  if (driveFolder != nullptr && !FinishDemo(demoProblem)) {
    Fail(("the demo went wrong: " + demoProblem).c_str());
  }
  if (window != nullptr) DestroyWindow(window);

  Call("FinalizeBoard");
  printf("FinalizeBoard: called\n");
  if (memcmp(recordAtStart, record, kRecordBytes) != 0) {
    Fail("the information record changed while the plug-in was loaded");
  } else {
    printf("record: unchanged\n");
  }
  FreeLibrary(module);
  PrintGram("after");

  if (saveFile != nullptr) {
    if (!WriteGram(saveFile)) {
      fprintf(stderr, "vantrel_host: cannot write %s\n", saveFile);
      return 2;
    }
    printf("gram saved: %s\n", saveFile);
  }
  return g_failed ? 1 : 0;
}
