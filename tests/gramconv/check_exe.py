#!/usr/bin/python3
"""Checks gramconv.exe (or VantrelFit.exe) as a file: a 32-bit program that runs on a bare
Windows.

    check_exe.py gramconv.exe
    check_exe.py --gui VantrelFit.exe

- a PE32 i386 executable (not a DLL) for the console subsystem, or with --gui the window
  subsystem and a manifest asking for common controls 6, asInvoker and DPI awareness;
- only system DLLs imported (the plug-in's list, ole32 for the Windows Imaging Component,
  and for a window gdi32 and comctl32): the C++ runtime and everything else linked in
  statically.

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


def manifest(pe):
    """The text of the program's manifest resource (type 24), or ""."""
    resources = getattr(pe, "DIRECTORY_ENTRY_RESOURCE", None)
    for kind in resources.entries if resources is not None else []:
        if kind.id != 24:
            continue
        for name in kind.directory.entries:
            for language in name.directory.entries:
                data = language.data.struct
                return pe.get_data(data.OffsetToData, data.Size).decode("utf-8", "replace")
    return ""


def main():
    args = sys.argv[1:]
    gui = args[:1] == ["--gui"]
    if gui:
        args = args[1:]
    if len(args) != 1:
        sys.exit(__doc__)
    pe = pefile.PE(args[0])
    check = check_dll.check
    check(pe.OPTIONAL_HEADER.Magic == 0x10B, "PE32 (32-bit optional header)")
    check(pe.FILE_HEADER.Machine == 0x14C, "machine i386")
    check(pe.FILE_HEADER.Characteristics & 0x2000 == 0, "a program, not a DLL")
    want = 2 if gui else 3
    check(pe.OPTIONAL_HEADER.Subsystem == want, "%s subsystem (have %d)"
          % ("window" if gui else "console", pe.OPTIONAL_HEADER.Subsystem))
    if gui:
        text = manifest(pe)
        check("Microsoft.Windows.Common-Controls" in text and 'version="6.0.0.0"' in text,
              "manifest asks for common controls 6")
        check('level="asInvoker"' in text, "manifest runs as the invoker")
        check("true/pm" in text and "PerMonitorV2" in text, "manifest: per-monitor DPI aware")
    check_dll.check_system_imports(pe, args[0], check_dll.WINDOW_DLLS if gui
                                   else check_dll.TOOL_DLLS)
    return check_dll.failures


if __name__ == "__main__":
    failures = main()
    if failures:
        print("%d check(s) failed" % len(failures))
        sys.exit(1)
    print("all checks passed")
