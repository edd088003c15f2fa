#!/bin/sh
# The 32-bit codecs' vector code and the stack: every entry into it realigns the stack (hosts
# built by other compilers call with 4-byte alignment), and the AVX2 code holds no 32-byte
# vector on the stack (gcc keeps no 32-byte alignment for such spills in 32-bit Windows code).
#   check_vector_stack.sh OBJDUMP LIBRARY
set -eu
listing=$("$1" -d --no-show-raw-insn "$2")
status=0
for entry in EncodeGramSse2 DecodeGramSse2 EncodeGramAvx2 DecodeGramAvx2; do
  realigns=$(printf '%s\n' "$listing" | awk -v entry="$entry" '
    /^[0-9a-f]+ </ { inside = index($2, entry) > 0 }
    inside && /and +\$0xfffffff0,%esp|and +\$0xffffffe0,%esp/ { found = 1 }
    END { print found ? "yes" : "no" }')
  if [ "$realigns" != yes ]; then
    echo "FAIL: $entry does not realign the stack"
    status=1
  fi
done
spills=$(printf '%s\n' "$listing" | awk '/^[0-9a-f]+ </ { fn = $2 } /ymm/ && /\(%e[sb]p/ { print fn, $0 }')
if [ -n "$spills" ]; then
  echo "FAIL: 32-byte vectors on the stack:"
  printf '%s\n' "$spills"
  status=1
fi
[ "$status" = 0 ] && echo "vector entries realign the stack; no 32-byte vector on it"
exit "$status"
