// Module-wide state: one instance per loaded plug-in, zero at load, kept until unload.
#pragma once

#include <stdint.h>

#include "convert/gram_bitmap.h"

enum Direction : uint32_t {
  GramToBitmap = 0,
  BitmapToGram = 1,
};

// The last choices of the converter dialog's execute command.
struct ConverterSettings {
  Direction direction;
  Resolution resolution;
};

enum : uint32_t { kPathBytes = 260 };  // a path has at most 259 bytes

// QueryPlanes, fifth entry of the host's service table: cookie, then the plane variables.
typedef uint32_t(
#if defined(_WIN32)
    __stdcall
#endif
        * QueryPlanesEntry)(uint32_t cookie, uint8_t** plane0, uint8_t** plane1, uint8_t** plane2);

enum : uint32_t { kQueryPlanesIndex = 4 };

namespace Module {

extern void* ModuleInstance;           // needed to load the dialog templates
extern const uintptr_t* HostServices;  // the host's service table, or null
extern uint32_t HostCookie;            // handed back to QueryPlanes
extern ::GramPlanes GramPlanes;        // borrowed from the host
extern ::ConverterSettings ConverterSettings;
extern char SelectedPath[kPathBytes];  // path of the next conversion
extern char DropPath[kPathBytes];      // last dropped file name

}  // namespace Module

// True when all three plane addresses are known.
bool HavePlanes();

// Asks the host for the plane addresses through its service table, if it has the entry.
void QueryHostPlanes();
