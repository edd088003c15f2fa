// The information record and the two host-called entries it points to.
#include "host/board_information.h"

#include <stddef.h>

static_assert(sizeof(void*) != 4 || sizeof(BoardInformationRecord) == 840,
              "the host reads exactly 840 bytes");
static_assert(offsetof(BoardInformationRecord, identity) == 0, "record layout");
static_assert(offsetof(BoardInformationRecord, displayName) == 48, "record layout");
static_assert(offsetof(BoardInformationRecord, versionText) == 176, "record layout");
static_assert(offsetof(BoardInformationRecord, copyright) == 304, "record layout");
static_assert(offsetof(BoardInformationRecord, webPage) == 432, "record layout");
static_assert(offsetof(BoardInformationRecord, email) == 688, "record layout");
static_assert(offsetof(BoardInformationRecord, reserved) == 816, "record layout");
static_assert(sizeof(void*) != 4 || offsetof(BoardInformationRecord, returnFalse) == 820,
              "record layout");
static_assert(sizeof(void*) != 4 || offsetof(BoardInformationRecord, returnZero) == 824,
              "record layout");
static_assert(sizeof(void*) != 4 || offsetof(BoardInformationRecord, value128a) == 828,
              "record layout");
static_assert(sizeof(void*) != 4 || offsetof(BoardInformationRecord, flags) == 832,
              "record layout");
static_assert(sizeof(void*) != 4 || offsetof(BoardInformationRecord, value128b) == 836,
              "record layout");

namespace {

// Called by the host without arguments; both leave the stack as they found it.
uint8_t ReturnFalseEntry() { return 0; }
uint32_t ReturnZeroEntry() { return 0; }

}  // namespace

// Not const: the host receives a plain pointer to it.
BoardInformationRecord BoardInformation = {
    "5D1C7A20-8E4B-4F96-B3A1-6C0F2E9D4B17",
    "Vantrel GRAM-BMP Converter",
    "Vantrel Version 1.00",
    "Copyright (C) 2026 The Vantrel developers",
    "https://vantrel.example.org/",
    "vantrel@example.org",
    0,
    ReturnFalseEntry,
    ReturnZeroEntry,
    128,
    0x80000002u,
    128,
};
