#!/usr/bin/python3
"""Checks the release ZIP that Windows users install from.

    check_package.py CPACK CPACK_CONFIG WORK_DIR PLUGIN.dll TEXTS_CPP FIT_TEXTS_CPP

Makes the package twice with CPack into WORK_DIR (touching the release texts in between,
as a second build would) and checks:
- both runs give the same ZIP bytes, and SHA256SUMS names that ZIP with its digest;
- the member list, all ASCII names, every member dated the same;
- Vantrel.dll inside is byte for byte the library the other tests ran;
- VantrelFit.exe inside is a 32-bit window program and gramconv.exe a 32-bit console
  program, both importing only system DLLs;
- both guides describe VantrelFit.exe before gramconv.exe, and the Japanese guide names the
  window's buttons and choices as it shows them;
- the text files are UTF-8 with a byte-order mark and CRLF line ends only;
- the Japanese guide holds the caption and every message text of the plug-in as it shows
  them (the texts read from the product's source, so the guide cannot drift from it).

Prints one line per check; exits 1 when any fails.
"""
import hashlib
import io
import os
import re
import shutil
import subprocess
import sys
import zipfile

import pefile

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "dll"))
from check_dll import TOOL_DLLS, WINDOW_DLLS, check, check_system_imports, finish  # noqa: E402

MEMBERS = ["LICENSE.txt", "README-ja.txt", "README.txt", "Vantrel.dll", "VantrelFit.exe",
           "gramconv.exe"]
# The window's words a user looks for in the guide (tools/vantrel_fit/fit_texts.cpp).
WINDOW_WORDS = ["kFitOpen", "kFitSave", "kFitCancel", "kFitClose", "kFitResolution", "kFitDither",
                "kFitDitherNone", "kFitDitherOrdered", "kFitDitherDiffusion", "kFitDitherBest",
                "kFitFrame", "kFitFrameWhole", "kFitFrameFill", "kFitFrameStretch",
                "kFitFramePixel", "kFitScreen", "kFitBackground", "kFitBrightness",
                "kFitContrast", "kFitSaturation", "kFitAutoLevels", "kFitResetTone"]
TEXTS = ["LICENSE.txt", "README-ja.txt", "README.txt"]
# Texts that are not messages: the chooser's title and filter list.
NOT_MESSAGES = {"kTextChooserTitle", "kTextChooserFilter"}

def make_package(cpack, config, out_dir):
    shutil.rmtree(out_dir, ignore_errors=True)
    run = subprocess.run([cpack, "--config", config, "-B", out_dir],
                         stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)
    zips = [name for name in os.listdir(out_dir) if name.endswith(".zip")] \
        if os.path.isdir(out_dir) else []
    if not check(run.returncode == 0 and len(zips) == 1, "cpack made one ZIP in %s" % out_dir):
        print(run.stdout)
        return None
    return os.path.join(out_dir, zips[0])


def message_texts(texts_cpp):
    """Each message text of the product source, as the parts a user sees between its
    placeholders and line breaks. The source lists each text once as X(name, "literal"...)."""
    source = open(texts_cpp, encoding="utf-8").read()
    texts = {}
    for m in re.finditer(r"\bX\((MessageCaption|kText\w+),", source):
        if m.group(1) in NOT_MESSAGES:
            continue
        literals, i, in_string = [], m.end(), False
        while i < len(source) and (in_string or source[i] != ")"):
            if source[i] == '"':
                if in_string:
                    literals.append(source[start:i])
                else:
                    start = i + 1
                in_string = not in_string
            elif in_string and source[i] == "\\":
                i += 1
            i += 1
        text = "".join(literals).replace("\\n", "\n")
        texts[m.group(1)] = [part for part in re.split(r"%[sd]|\n", text) if part.strip()]
    return texts


def check_pe32_program(data, name, subsystem):
    pe = pefile.PE(data=data)
    check(pe.FILE_HEADER.Machine == 0x14C and pe.OPTIONAL_HEADER.Magic == 0x10B,
          "%s is PE32 for i386" % name)
    kind = {2: "window", 3: "console"}[subsystem]
    check(pe.OPTIONAL_HEADER.Subsystem == subsystem, "%s is a %s program" % (name, kind))
    check(not pe.FILE_HEADER.Characteristics & 0x2000, "%s is a program, not a DLL" % name)
    check_system_imports(pe, name, TOOL_DLLS if subsystem == 3 else WINDOW_DLLS)


def window_words(fit_texts_cpp):
    """The window's words named in WINDOW_WORDS, as fit_texts.cpp spells them (the access key
    and the dots of a button that opens a chooser left out)."""
    source = open(fit_texts_cpp, encoding="utf-8").read()
    words = {}
    for name in WINDOW_WORDS:
        m = re.search(r"\b%s\[\] = \"([^\"]*)\";" % name, source)
        words[name] = re.sub(r"\(&.\)", "", m.group(1)).rstrip(".") if m else None
    return words


def main():
    cpack, config, work, plugin, texts_cpp, fit_texts_cpp = sys.argv[1:7]
    first = make_package(cpack, config, os.path.join(work, "first"))
    # A second build leaves newer files behind: the ZIP must not show it.
    release = os.path.join(os.path.dirname(config), "release")
    for name in os.listdir(release):
        os.utime(os.path.join(release, name))
    second = make_package(cpack, config, os.path.join(work, "second"))
    if first is None or second is None:
        return
    data = open(first, "rb").read()
    check(os.path.basename(first) == "Vantrel-1.00-win32.zip", "named %s" % os.path.basename(first))
    check(data == open(second, "rb").read(), "two packagings give identical ZIP bytes")
    sums = open(os.path.join(os.path.dirname(first), "SHA256SUMS")).read()
    check(sums == "%s  %s\n" % (hashlib.sha256(data).hexdigest(), os.path.basename(first)),
          "SHA256SUMS holds the ZIP's digest")

    archive = zipfile.ZipFile(io.BytesIO(data))
    infos = archive.infolist()
    names = [info.filename for info in infos]
    check(names == MEMBERS, "members %s (have: %s)" % (MEMBERS, names))
    check(all(name.isascii() for name in names), "member names are ASCII")
    check(len({info.date_time for info in infos}) == 1, "every member has the same date")

    if "Vantrel.dll" in names:
        check(archive.read("Vantrel.dll") == open(plugin, "rb").read(),
              "Vantrel.dll is byte for byte the tested library %s" % plugin)
    if "gramconv.exe" in names:
        check_pe32_program(archive.read("gramconv.exe"), "gramconv.exe", 3)
    if "VantrelFit.exe" in names:
        check_pe32_program(archive.read("VantrelFit.exe"), "VantrelFit.exe", 2)

    decoded = {}
    for name in TEXTS:
        if name not in names:
            continue
        raw = archive.read(name)
        check(raw.startswith(b"\xef\xbb\xbf"), "%s starts with a UTF-8 byte-order mark" % name)
        check(raw.count(b"\n") > 0 and raw.count(b"\n") == raw.count(b"\r\n") == raw.count(b"\r"),
              "%s has CRLF line ends only" % name)
        try:
            decoded[name] = raw[3:].decode("utf-8").replace("\r\n", "\n")
        except UnicodeDecodeError as error:
            check(False, "%s decodes as UTF-8 (%s)" % (name, error))
    guide = decoded.get("README-ja.txt", "")
    texts = message_texts(texts_cpp)
    check(len(texts) >= 18, "%d message texts read from %s" % (len(texts), texts_cpp))
    for name, parts in sorted(texts.items()):
        missing = [part for part in parts if part not in guide]
        check(not missing, "the guide shows %s%s" % (name, " (missing: %r)" % missing if missing else ""))
    for name, word in sorted(window_words(fit_texts_cpp).items()):
        check(word and word in guide, "the guide shows the window's %s (%r)" % (name, word))
    for name in ("README-ja.txt", "README.txt"):
        text = decoded.get(name, "")
        first_window, first_console = text.find("VantrelFit.exe"), text.find("gramconv")
        check(0 <= first_window < first_console,
              "%s describes VantrelFit.exe before gramconv" % name)
    check("Copyright (c) 2026 The Vantrel developers" in decoded.get("LICENSE.txt", ""),
          "LICENSE.txt carries the copyright line")
    for name in ("README-ja.txt", "README.txt"):
        text = decoded.get(name, "")
        check("vantrel@example.org" in text and "1.00" in text,
              "%s gives the contact address and the version" % name)


if __name__ == "__main__":
    main()
    finish()
