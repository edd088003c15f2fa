// Calls a 32-bit entry point the way the host does and measures what the callee removed
// from the stack: the host relies on each entry removing exactly its own arguments
// (stdcall) or none. i386 only.
#pragma once

#include <stdint.h>

// Pushes count 32-bit args (args[0] ends up first, as in C), calls entry and returns its
// EAX. *removedBytes gets the bytes the callee popped: 4 * count for a stdcall entry, 0 for
// one that takes none. EAX holds the entry's own address when it is called, so an entry
// that sets no result does not pass for one returning 0.
extern "C" uint32_t CountedCall(const void* entry, const uint32_t* args, uint32_t count,
                                int32_t* removedBytes);
