#!/usr/bin/python3
"""Checks gramconv.exe as a file: a 32-bit console program that runs on a bare Windows.

    check_exe.py gramconv.exe

- a PE32 i386 executable (not a DLL) for the console subsystem;
- only system DLLs imported (the plug-in's list, and ole32 for the Windows Imaging
  Component): the C++ runtime and everything else linked in statically.

Prints one line per check; exits 1 when any fails.
"""
import importlib.util
import os
import sys

import pefile

# The plug-in's check holds the list of system DLLs.
spec = importlib.util.spec_from_file_location(
    "check_dll", os.path.join(os.path.dirname(__file__), "..", "dll", "check_dll.py"))
check_dll = importlib.util.module_from_spec(spec)
spec.loader.exec_module(check_dll)


def main():
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    pe = pefile.PE(sys.argv[1])
    check = check_dll.check
    check(pe.OPTIONAL_HEADER.Magic == 0x10B, "PE32 (32-bit optional header)")
    check(pe.FILE_HEADER.Machine == 0x14C, "machine i386")
    check(pe.FILE_HEADER.Characteristics & 0x2000 == 0, "a program, not a DLL")
    check(pe.OPTIONAL_HEADER.Subsystem == 3, "console subsystem (have %d)"
          % pe.OPTIONAL_HEADER.Subsystem)
    check_dll.check_system_imports(pe, "gramconv.exe", check_dll.TOOL_DLLS)
    return check_dll.failures


if __name__ == "__main__":
    failures = main()
    if failures:
        print("%d check(s) failed" % len(failures))
        sys.exit(1)
    print("all checks passed")
