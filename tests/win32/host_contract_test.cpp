// The host contract on the real library of this build: each test loads it afresh (fresh
// module state), finds the nine entries by name and calls them as the emulator does, with
// the stack measured around every call. Usage: host_tests --dll=PATH [gtest options].
#include <gtest/gtest.h>
#include <string.h>
#include <windows.h>

#include <string>
#include <vector>

#include "counted_call.h"

namespace {

std::string g_dllPath;

const char* const kEntryNames[] = {
    "BoardInfomationService", "InitializeBoardEx",    "IntializeBoard",
    "ReIntializeBoard",       "FinalizeBoard",        "InfomationDialog",
    "ReportCpuClock",         "StateSaveInputDataEx", "StateSaveOutputDataEx",
};

// What the library handed to the host's QueryPlanes, call by call.
struct QueryCall {
  uint32_t cookie;
  uint8_t** variables[3];  // the library's plane variables
  uint8_t* atEntry[3];     // what they held when the call came
};
std::vector<QueryCall> g_queries;
uint8_t g_gramA[3][16000];
uint8_t g_gramB[3][16000];
uint8_t (*g_lending)[16000] = g_gramA;

uint32_t WINAPI QueryPlanes(uint32_t cookie, uint8_t** plane0, uint8_t** plane1, uint8_t** plane2) {
  g_queries.push_back({cookie, {plane0, plane1, plane2}, {*plane0, *plane1, *plane2}});
  *plane0 = g_lending[0];
  *plane1 = g_lending[1];
  *plane2 = g_lending[2];
  return 0xFFFFFFFFu;  // ignored by the library
}

template <int Index>
void WINAPI UnexpectedService() {
  fprintf(stderr, "the library called host service %d; only the fifth is its own\n", Index);
  fflush(stderr);
  ExitProcess(1);
}

const uintptr_t g_services[6] = {
    uintptr_t(&UnexpectedService<0>), uintptr_t(&UnexpectedService<1>),
    uintptr_t(&UnexpectedService<2>), uintptr_t(&UnexpectedService<3>),
    uintptr_t(&QueryPlanes),          uintptr_t(&UnexpectedService<5>),
};

class HostContract : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(g_dllPath.empty()) << "give the library with --dll=PATH";
    ASSERT_EQ(GetModuleHandleA(g_dllPath.c_str()), nullptr) << "an earlier test kept it";
    module_ = LoadLibraryA(g_dllPath.c_str());
    ASSERT_NE(module_, nullptr) << g_dllPath << ": error " << GetLastError();
    g_queries.clear();
    g_lending = g_gramA;
  }
  void TearDown() override {
    if (module_ != nullptr) FreeLibrary(module_);
    // Unloaded for real, so the next test starts from zeroed module state.
    EXPECT_EQ(GetModuleHandleA(g_dllPath.c_str()), nullptr);
  }

  // Calls an entry with 32-bit arguments; every entry must remove exactly its own.
  uint32_t Call(const char* name, std::vector<uint32_t> args = {}) {
    const void* entry = reinterpret_cast<const void*>(GetProcAddress(module_, name));
    EXPECT_NE(entry, nullptr) << name;
    if (entry == nullptr) return 0xBAD;
    int32_t removed = -1;
    const uint32_t result = CountedCall(entry, args.data(), uint32_t(args.size()), &removed);
    EXPECT_EQ(removed, int32_t(4 * args.size())) << name << " left the stack unbalanced";
    return result;
  }
  uint32_t Services() const { return uint32_t(uintptr_t(g_services)); }
  static uint32_t Address(const void* p) { return uint32_t(uintptr_t(p)); }

  // Initialising with table lends no planes: the services are never asked, and a real
  // table afterwards shows the planes were still null.
  void ExpectNoPlanesFrom(uint32_t table) {
    EXPECT_EQ(Call("InitializeBoardEx", {table}), 1u);
    EXPECT_EQ(Call("IntializeBoard"), 1u);
    EXPECT_EQ(Call("ReIntializeBoard"), 1u);
    EXPECT_TRUE(g_queries.empty());
    EXPECT_EQ(Call("InitializeBoardEx", {Services()}), 1u);
    ASSERT_EQ(g_queries.size(), 1u);
    for (uint8_t* plane : g_queries[0].atEntry) EXPECT_EQ(plane, nullptr);
  }

  const uint8_t* Record(uint32_t cookie = 7) {
    uintptr_t record = 0;
    EXPECT_EQ(Call("BoardInfomationService", {Address(&record), cookie}), 1u);
    return reinterpret_cast<const uint8_t*>(record);
  }

  HMODULE module_ = nullptr;
};

TEST_F(HostContract, NineEntriesByTheirExactNames) {
  for (const char* name : kEntryNames) {
    EXPECT_NE(GetProcAddress(module_, name), nullptr) << name;
  }
  // The usual spellings are not what the host looks up, and the library does not offer them.
  for (const char* name : {"BoardInformationService", "InformationDialog", "InitializeBoard",
                           "_BoardInfomationService@8", "BoardInfomationService@8"}) {
    EXPECT_EQ(GetProcAddress(module_, name), nullptr) << name;
  }
}

TEST_F(HostContract, EveryEntryRemovesItsArgumentsAndReturnsOne) {
  uint32_t sink[3] = {};
  EXPECT_EQ(Call("InitializeBoardEx", {Services()}), 1u);
  EXPECT_EQ(Call("IntializeBoard"), 1u);
  EXPECT_EQ(Call("ReIntializeBoard"), 1u);
  Call("ReportCpuClock", {3993600});
  EXPECT_EQ(Call("StateSaveInputDataEx", {1, 2, 3}), 1u);
  EXPECT_EQ(
      Call("StateSaveOutputDataEx", {Address(&sink[0]), Address(&sink[1]), Address(&sink[2])}), 1u);
  EXPECT_NE(Record(), nullptr);
  Call("FinalizeBoard");
}

TEST_F(HostContract, CookieGivenTwiceKeepsTheRecordAndTheLaterCookie) {
  const uint8_t* first = Record(0x11111111u);
  const uint8_t* second = Record(0xCAFEF00Du);
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(first, second);
  EXPECT_EQ(Call("InitializeBoardEx", {Services()}), 1u);
  ASSERT_EQ(g_queries.size(), 1u);
  EXPECT_EQ(g_queries[0].cookie, 0xCAFEF00Du);
}

TEST_F(HostContract, WithoutACookieInitialisationHandsBackZero) {
  EXPECT_EQ(Call("InitializeBoardEx", {Services()}), 1u);
  ASSERT_EQ(g_queries.size(), 1u);
  EXPECT_EQ(g_queries[0].cookie, 0u);
  // A fresh load has no planes yet.
  for (uint8_t* plane : g_queries[0].atEntry) EXPECT_EQ(plane, nullptr);
}

TEST_F(HostContract, NullTableIsASilentNoOp) {
  Record(5);
  ExpectNoPlanesFrom(0);
}

TEST_F(HostContract, NullQueryPlanesEntryIsNotCalled) {
  // A table whose fifth entry is empty lends no planes, as if there were no table.
  uintptr_t services[6];
  memcpy(services, g_services, sizeof services);
  services[4] = 0;
  Record(5);
  ExpectNoPlanesFrom(Address(services));
}

TEST_F(HostContract, InitialisingTwiceAsksTwiceAndTheLaterPlanesWin) {
  Record(0x00C0FFEEu);
  EXPECT_EQ(Call("InitializeBoardEx", {Services()}), 1u);
  g_lending = g_gramB;
  EXPECT_EQ(Call("IntializeBoard"), 1u);
  ASSERT_EQ(g_queries.size(), 2u);
  for (const QueryCall& query : g_queries) EXPECT_EQ(query.cookie, 0x00C0FFEEu);
  for (int k = 0; k < 3; ++k) {
    SCOPED_TRACE("plane " + std::to_string(k));
    EXPECT_EQ(g_queries[1].variables[k], g_queries[0].variables[k]);
    EXPECT_EQ(g_queries[1].atEntry[k], g_gramA[k]);
    EXPECT_EQ(*g_queries[1].variables[k], g_gramB[k]);
  }
  // The three variables are distinct: each plane has its own.
  EXPECT_NE(g_queries[0].variables[0], g_queries[0].variables[1]);
  EXPECT_NE(g_queries[0].variables[1], g_queries[0].variables[2]);
  EXPECT_NE(g_queries[0].variables[0], g_queries[0].variables[2]);

  // Re-initialising never asks; a null table leaves the planes as they were.
  EXPECT_EQ(Call("ReIntializeBoard"), 1u);
  EXPECT_EQ(Call("InitializeBoardEx", {0}), 1u);
  EXPECT_EQ(Call("IntializeBoard"), 1u);
  EXPECT_EQ(g_queries.size(), 2u);
  for (int k = 0; k < 3; ++k) EXPECT_EQ(*g_queries[0].variables[k], g_gramB[k]);
}

TEST_F(HostContract, StateSaveAlwaysYieldsOneZeroZero) {
  for (uint32_t sentinel : {0xDEADBEEFu, 0x5A5A5A5Au, 0u}) {
    uint32_t values[5] = {sentinel, sentinel, sentinel, sentinel, sentinel};
    // values[0] and values[4] guard the three variables against stray writes.
    EXPECT_EQ(Call("StateSaveOutputDataEx",
                   {Address(&values[1]), Address(&values[2]), Address(&values[3])}),
              1u);
    EXPECT_EQ(values[1], 1u);
    EXPECT_EQ(values[2], 0u);
    EXPECT_EQ(values[3], 0u);
    EXPECT_EQ(values[0], sentinel);
    EXPECT_EQ(values[4], sentinel);
    EXPECT_EQ(Call("StateSaveInputDataEx", {values[1], values[2], values[3]}), 1u);
  }
}

TEST_F(HostContract, RecordHoldsTheLaidOutValuesAndStaysUnchanged) {
  const uint8_t* record = Record();
  ASSERT_NE(record, nullptr);
  // Inside this library's image, in memory the host may write (a plain pointer).
  const uint8_t* base = reinterpret_cast<const uint8_t*>(module_);
  const IMAGE_NT_HEADERS* nt =
      reinterpret_cast<const IMAGE_NT_HEADERS*>(base + PIMAGE_DOS_HEADER(module_)->e_lfanew);
  EXPECT_GE(record, base);
  EXPECT_LE(record + 840, base + nt->OptionalHeader.SizeOfImage);
  MEMORY_BASIC_INFORMATION memory;
  ASSERT_NE(VirtualQuery(record, &memory, sizeof memory), 0u);
  EXPECT_TRUE(memory.Protect & (PAGE_READWRITE | PAGE_WRITECOPY)) << memory.Protect;

  struct Text {
    uint32_t offset, width;
    const char* value;  // null: any non-empty text
  };
  const Text texts[] = {{0, 48, "5D1C7A20-8E4B-4F96-B3A1-6C0F2E9D4B17"},
                        {48, 128, "Vantrel GRAM-BMP Converter"},
                        {176, 128, "Vantrel Version 1.00"},
                        {304, 128, nullptr},
                        {432, 256, nullptr},
                        {688, 128, nullptr}};
  for (const Text& text : texts) {
    SCOPED_TRACE("text at " + std::to_string(text.offset));
    const char* field = reinterpret_cast<const char*>(record + text.offset);
    const size_t length = strnlen(field, text.width);
    ASSERT_LT(length, text.width) << "not terminated";
    if (text.value != nullptr) {
      EXPECT_STREQ(field, text.value);
    }
    EXPECT_GT(length, 0u);
    for (size_t i = length; i < text.width; ++i) ASSERT_EQ(field[i], 0) << "not zero-filled";
  }
  uint32_t numbers[6];
  memcpy(numbers, record + 816, sizeof numbers);
  EXPECT_EQ(numbers[0], 0u);
  EXPECT_EQ(numbers[3], 128u);
  EXPECT_EQ(numbers[4], 0x80000002u);
  EXPECT_EQ(numbers[5], 128u);

  // Both entries lie in the library, read no arguments and return 0 (8 and 32 bits).
  for (int i = 1; i <= 2; ++i) {
    const uint8_t* entry = reinterpret_cast<const uint8_t*>(uintptr_t(numbers[i]));
    EXPECT_GE(entry, base);
    EXPECT_LT(entry, base + nt->OptionalHeader.SizeOfImage);
    int32_t removed = -1;
    uint32_t result = CountedCall(entry, nullptr, 0, &removed);
    if (i == 1) result &= 0xFF;
    EXPECT_EQ(result, 0u) << "entry " << i;
    EXPECT_EQ(removed, 0) << "entry " << i;
  }
  EXPECT_NE(numbers[1], numbers[2]);

  // Nothing the host does changes the record.
  uint8_t before[840];
  memcpy(before, record, sizeof before);
  uint32_t sink[3];
  Call("InitializeBoardEx", {Services()});
  Call("IntializeBoard");
  Call("ReIntializeBoard");
  Call("ReportCpuClock", {1});
  Call("StateSaveInputDataEx", {9, 9, 9});
  Call("StateSaveOutputDataEx", {Address(&sink[0]), Address(&sink[1]), Address(&sink[2])});
  EXPECT_EQ(Record(99), record);
  Call("FinalizeBoard");
  EXPECT_EQ(memcmp(before, record, sizeof before), 0);
}

TEST_F(HostContract, PlanesAreNeverTouchedOutsideAConversion) {
  // Initialising only asks for the addresses; GRAM itself stays as the host had it.
  for (auto& plane : g_gramA) memset(plane, 0xA5, sizeof plane);
  Record();
  Call("InitializeBoardEx", {Services()});
  Call("IntializeBoard");
  Call("ReIntializeBoard");
  Call("FinalizeBoard");
  for (const auto& plane : g_gramA) {
    for (uint8_t b : plane) ASSERT_EQ(b, 0xA5);
  }
}

}  // namespace

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  for (int i = 1; i < argc; ++i) {
    if (strncmp(argv[i], "--dll=", 6) == 0) g_dllPath = argv[i] + 6;
  }
  return RUN_ALL_TESTS();
}
