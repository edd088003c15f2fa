#!/usr/bin/python3
"""Checks that every program in the release starts on Windows XP SP3.

    check_xp_imports.py EXPORTS_LIST (--zip CPACK CPACK_CONFIG WORK_DIR | PE...)

With --zip, makes the release ZIP with CPack into WORK_DIR and checks every member that is
a PE file, so a program added to the release is checked without naming it here. Each
imported DLL must be a section of EXPORTS_LIST (xp_sp3_exports.txt) and each imported name
listed under it; names in its [never] section (Vista and later) must not be listed at all.
Imports by ordinal are refused: the list holds names.

Prints one line per check; exits 1 when any fails.
"""
import io
import os
import sys
import zipfile

import pefile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "dll"))
from check_dll import check, finish  # noqa: E402


def read_list(path):
    """{dll: set of names} from the list, and the set of [never] names."""
    sections, section = {}, None
    for line in open(path, encoding="utf-8"):
        line = line.strip()
        if not line or line.startswith("#"):
            continue
        if line.startswith("[") and line.endswith("]"):
            section = sections.setdefault(line[1:-1].lower(), set())
        elif section is None:
            sys.exit("%s: a name before any [dll] section: %s" % (path, line))
        else:
            section.add(line)
    return sections, sections.pop("never", set())


def imports(pe):
    """(dll, name or None for an ordinal) for every import, delay-loaded ones too."""
    for attr in ("DIRECTORY_ENTRY_IMPORT", "DIRECTORY_ENTRY_DELAY_IMPORT"):
        for entry in getattr(pe, attr, []):
            dll = entry.dll.decode("ascii", "replace").lower()
            for item in entry.imports:
                yield dll, item.name.decode("ascii", "replace") if item.name else None


def check_pe(what, data, allowed):
    pe = pefile.PE(data=data)
    outside = sorted("%s!%s" % (dll, name or "#ordinal") for dll, name in imports(pe)
                     if name is None or name not in allowed.get(dll, ()))
    count = sum(1 for _ in imports(pe))
    check(count > 0 and not outside, "%s: %d imports, all on Windows XP SP3%s"
          % (what, count, " (not: %s)" % ", ".join(outside) if outside else ""))


def main():
    args = sys.argv[1:]
    if len(args) < 2:
        sys.exit(__doc__)
    allowed, never = read_list(args[0])
    listed_never = sorted(n for names in allowed.values() for n in names if n in never)
    check(not listed_never, "no Vista-or-later call listed as on XP (%s)"
          % (", ".join(listed_never) or "none"))
    if args[1] == "--zip":
        from check_package import make_package
        if len(args) != 5:
            sys.exit(__doc__)
        package = make_package(args[2], args[3], args[4])
        if package is None:
            return
        with zipfile.ZipFile(package) as archive:
            programs = [(name, archive.read(name)) for name in archive.namelist()
                        if archive.read(name)[:2] == b"MZ"]
        check(len(programs) >= 2, "the release holds programs (%s)"
              % ", ".join(name for name, _ in programs))
    else:
        programs = [(path, open(path, "rb").read()) for path in args[1:]]
    for name, data in programs:
        check_pe(name, data, allowed)


if __name__ == "__main__":
    main()
    finish()
