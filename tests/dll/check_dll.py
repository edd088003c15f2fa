#!/usr/bin/python3
"""Checks the plug-in library as a file, the way the host will meet it.

    check_dll.py PLUGIN.dll

- a PE32 i386 DLL;
- exactly the nine entry points, by their undecorated names, each in code;
- each entry removes the argument bytes the host pushes (its `ret N`), read from its code;
- only system DLLs imported, and no C++ exception or thread runtime linked in;
- the 840-byte information record: found by its identity text in a writable section,
  texts terminated and zero-filled, the fixed values, and the two entry addresses, which
  are covered by base relocations and point at code that returns 0 without touching the
  stack.

Prints one line per check; exits 1 when any fails.
"""
import re
import shutil
import subprocess
import sys

import pefile

# Entry point -> argument bytes it must remove (32-bit arguments, callee removes them).
ENTRIES = {
    "BoardInfomationService": 8,
    "InitializeBoardEx": 4,
    "IntializeBoard": 0,
    "ReIntializeBoard": 0,
    "FinalizeBoard": 0,
    "InfomationDialog": 4,
    "ReportCpuClock": 4,
    "StateSaveInputDataEx": 12,
    "StateSaveOutputDataEx": 12,
}
SYSTEM_DLLS = {"kernel32.dll", "user32.dll", "comdlg32.dll", "shell32.dll", "msvcrt.dll"}
# gramconv.exe also reaches the Windows Imaging Component through COM (ole32, on every
# Windows since XP); windowscodecs.dll itself is loaded by COM, never imported.
TOOL_DLLS = SYSTEM_DLLS | {"ole32.dll"}
# A window also draws (GDI) and shows a progress bar (common controls), both in every Windows
# since XP.
WINDOW_DLLS = TOOL_DLLS | {"gdi32.dll", "comctl32.dll"}
IDENTITY = b"5D1C7A20-8E4B-4F96-B3A1-6C0F2E9D4B17"
RECORD_BYTES = 840
TEXT_FIELDS = [  # offset, width, exact content or None for "any non-empty text"
    (0, 48, IDENTITY),
    (48, 128, b"Vantrel GRAM-BMP Converter"),
    (176, 128, b"Vantrel Version 1.00"),
    (304, 128, None),
    (432, 256, None),
    (688, 128, None),
]
NUMBERS = {816: 0, 828: 128, 832: 0x80000002, 836: 128}
RECORD_ENTRIES = {820: ("ReturnFalseEntry", 8), 824: ("ReturnZeroEntry", 32)}

failures = []


def check(ok, message):
    print(("ok:   " if ok else "FAIL: ") + message)
    if not ok:
        failures.append(message)
    return ok


def check_system_imports(pe, what, allowed=SYSTEM_DLLS):
    """What a PE file imports, directly or delayed, must all be system DLLs (in allowed)."""
    imported = set()
    for entry in getattr(pe, "DIRECTORY_ENTRY_IMPORT", []):
        imported.add(entry.dll.decode("ascii", "replace").lower())
    for entry in getattr(pe, "DIRECTORY_ENTRY_DELAY_IMPORT", []):
        imported.add(entry.dll.decode("ascii", "replace").lower())
    check(imported and imported <= allowed,
          "%s imports only system DLLs (have: %s)" % (what, ", ".join(sorted(imported))))


def objdump():
    for name in ("i686-w64-mingw32-objdump", "objdump"):
        path = shutil.which(name)
        if path:
            return path
    sys.exit("check_dll.py: no objdump for i386 PE files found")


INSTRUCTION = re.compile(r"^\s*([0-9a-f]+):\s+((?:[0-9a-f]{2} )+)\s*(.*)$")


def disassemble(path, va, length):
    """Instructions from va on: list of (va, mnemonic, operands)."""
    out = subprocess.run(
        [objdump(), "-d", "-w",
         "--start-address=0x%x" % va, "--stop-address=0x%x" % (va + length), path],
        capture_output=True, text=True, check=True).stdout
    result = []
    for line in out.splitlines():
        m = INSTRUCTION.match(line)
        if not m or not m.group(3):
            continue
        text = m.group(3).split("#")[0].strip()
        mnemonic, _, operands = text.partition(" ")
        result.append((int(m.group(1), 16), mnemonic, operands.strip()))
    return result


def removed_bytes(path, pe, va, depth=0):
    """Argument bytes removed by the function at va: the operand of its first `ret`,
    following unconditional direct jumps. None when no ret is found."""
    for at, mnemonic, operands in disassemble(path, va, 512):
        if mnemonic in ("ret", "retl"):
            m = re.match(r"\$0x([0-9a-f]+)", operands)
            return int(m.group(1), 16) if m else 0
        if mnemonic == "jmp" and depth < 3:
            m = re.match(r"([0-9a-f]+)\b", operands)
            if m:  # a tail jump: the code it goes to returns for this function
                return removed_bytes(path, pe, int(m.group(1), 16), depth + 1)
            return None
    return None


ZEROING = {  # instructions that only put 0 into EAX or AL
    ("xor", "%eax,%eax"), ("sub", "%eax,%eax"), ("mov", "$0x0,%eax"),
    ("xor", "%al,%al"), ("sub", "%al,%al"), ("mov", "$0x0,%al"),
}


def returns_zero_cleanly(path, va, bits):
    """True when the code at va is: instructions that zero EAX (or AL for an 8-bit
    result), then a plain `ret` -- nothing reads or moves the stack."""
    zeroed = False
    for _, mnemonic, operands in disassemble(path, va, 32)[:6]:
        if mnemonic in ("ret", "retl"):
            return zeroed and operands == ""
        if (mnemonic, operands) not in ZEROING:
            return False
        zeroed = zeroed or bits == 8 or operands.endswith("%eax")
    return False


def main():
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    path = sys.argv[1]
    pe = pefile.PE(path)
    base = pe.OPTIONAL_HEADER.ImageBase

    check(pe.OPTIONAL_HEADER.Magic == 0x10B, "PE32 (32-bit optional header)")
    check(pe.FILE_HEADER.Machine == 0x14C, "machine i386")
    check(pe.FILE_HEADER.Characteristics & 0x2000 != 0, "a DLL")
    # The plug-in throws nothing and starts no threads: the C++ runtime's terminate handler
    # (brought in by exceptions or by a guarded function-local static) must not be in it.
    check(b"terminate called" not in open(path, "rb").read(),
          "no C++ exception or thread runtime linked in")

    def section_of(rva):
        for s in pe.sections:
            if s.VirtualAddress <= rva < s.VirtualAddress + max(s.Misc_VirtualSize, s.SizeOfRawData):
                return s
        return None

    def executable(rva):
        s = section_of(rva)
        return s is not None and s.Characteristics & 0x20000000 != 0

    exports = {}
    if hasattr(pe, "DIRECTORY_ENTRY_EXPORT"):
        for symbol in pe.DIRECTORY_ENTRY_EXPORT.symbols:
            name = symbol.name.decode("ascii", "replace") if symbol.name else "#%d" % symbol.ordinal
            exports[name] = symbol
    check(set(exports) == set(ENTRIES),
          "exactly the nine entries, undecorated (have: %s)" % ", ".join(sorted(exports)))
    for name, expected in ENTRIES.items():
        symbol = exports.get(name)
        if symbol is None:
            continue
        if not check(symbol.forwarder is None and executable(symbol.address),
                     "%s is code in this library" % name):
            continue
        removed = removed_bytes(path, pe, base + symbol.address)
        check(removed == expected, "%s removes %s argument bytes, expected %d"
              % (name, "unknown" if removed is None else removed, expected))

    check_system_imports(pe, "the library")

    # The record: its identity text, terminated, at the start of 840 bytes of writable data.
    places = []
    for s in pe.sections:
        data = s.get_data()
        for m in re.finditer(re.escape(IDENTITY + b"\0"), data):
            places.append((s, s.VirtualAddress + m.start()))
    writable = [(s, rva) for s, rva in places if s.Characteristics & 0x80000000]
    if not check(len(writable) == 1, "one record in writable data (identity text found %d "
                 "times, %d writable)" % (len(places), len(writable))):
        return
    section, record_rva = writable[0]
    record = pe.get_data(record_rva, RECORD_BYTES)
    check(len(record) == RECORD_BYTES, "840 record bytes present")
    check(record_rva % 4 == 0, "record aligned to 4 bytes")

    for offset, width, expected in TEXT_FIELDS:
        field = record[offset:offset + width]
        text = field.split(b"\0", 1)[0]
        terminated = len(text) < width and field[len(text):] == bytes(width - len(text))
        good = text == expected if expected is not None else len(text) > 0
        check(terminated and good, "record text at %d: %r, zero-filled to %d bytes"
              % (offset, text, width))
    for offset, expected in NUMBERS.items():
        value = int.from_bytes(record[offset:offset + 4], "little")
        check(value == expected, "record value at %d is 0x%X (expected 0x%X)"
              % (offset, value, expected))

    relocated = set()
    for block in getattr(pe, "DIRECTORY_ENTRY_BASERELOC", []):
        for entry in block.entries:
            if entry.type == 3 and record_rva <= entry.rva < record_rva + RECORD_BYTES:
                relocated.add(entry.rva - record_rva)
    check(relocated == set(RECORD_ENTRIES),
          "base relocations in the record exactly at %s (have: %s)"
          % (sorted(RECORD_ENTRIES), sorted(relocated)))
    for offset, (name, bits) in RECORD_ENTRIES.items():
        va = int.from_bytes(record[offset:offset + 4], "little")
        rva = va - base
        if not check(executable(rva), "record %s (%d) points at code: 0x%08X" % (name, offset, va)):
            continue
        check(returns_zero_cleanly(path, va, bits),
              "%s returns %d-bit 0 without touching the stack" % (name, bits))



def finish():
    """Ends the program: status 1 when any check failed."""
    if failures:
        print("%d check(s) failed" % len(failures))
        sys.exit(1)
    print("all checks passed")


if __name__ == "__main__":
    main()
    finish()
