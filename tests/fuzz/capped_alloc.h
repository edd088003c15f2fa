// Forced into the readers' sources by the fuzz build only (clang -include): their malloc and
// realloc become the fuzz build's capped ones (fuzz_contract.cpp), so a header declaring a
// big picture is refused as out of memory instead of being decoded for seconds.
#pragma once

#include <stdlib.h>  // declared first under their own names, then renamed

#ifdef __cplusplus
extern "C" {
#endif
void* FuzzCappedMalloc(size_t size) noexcept;
void* FuzzCappedRealloc(void* pointer, size_t size) noexcept;
#ifdef __cplusplus
}
#endif

#define malloc FuzzCappedMalloc
#define realloc FuzzCappedRealloc
