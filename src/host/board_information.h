// The information record the host reads from the plug-in: 840 bytes, laid out for the
// 32-bit host, in the plug-in's writable static data and never changed at run time.
#pragma once

#include <stdint.h>

struct BoardInformationRecord {
  char identity[48];  // GUID as text, upper case, no braces
  char displayName[128];
  char versionText[128];
  char copyright[128];
  char webPage[256];
  char email[128];
  uint32_t reserved;         // 0
  uint8_t (*returnFalse)();  // ReturnFalseEntry
  uint32_t (*returnZero)();  // ReturnZeroEntry
  uint32_t value128a;        // 128
  uint32_t flags;            // 0x80000002
  uint32_t value128b;        // 128
};

extern BoardInformationRecord BoardInformation;
