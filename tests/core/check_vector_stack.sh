#!/bin/sh
# The 32-bit codecs' AVX2 code must hold no 32-byte vector on the stack: gcc keeps no 32-byte
# stack alignment for such spills in 32-bit Windows code, so one would fault or slow down.
#   check_vector_stack.sh OBJDUMP LIBRARY
set -eu
listing=$("$1" -d --no-show-raw-insn "$2")
# The check means something only if the AVX2 code is there.
if ! printf '%s\n' "$listing" | grep -q 'ymm'; then
  echo "FAIL: no AVX2 code in $2"
  exit 1
fi
spills=$(printf '%s\n' "$listing" | awk '/^[0-9a-f]+ </ { fn = $2 } /ymm/ && /\(%e[sb]p/ { print fn, $0 }')
if [ -n "$spills" ]; then
  echo "FAIL: 32-byte vectors on the stack:"
  printf '%s\n' "$spills"
  exit 1
fi
echo "no 32-byte vector on the stack"
