#!/usr/bin/env python3
"""Release files for Windows users.

  release_package.py texts OUT_DIR SRC[=NAME]...   text files as UTF-8 with a byte-order
                                                    mark and CRLF line ends, into OUT_DIR
  release_package.py normalize ZIP YYYY-MM-DD SUMS  rewrite ZIP with members in name order,
                                                    all dated that day; write its SHA256SUMS
                                                    line to SUMS
"""
import hashlib
import os
import sys
import zipfile


def write_texts(out_dir, sources):
    os.makedirs(out_dir, exist_ok=True)
    for source in sources:
        path, _, name = source.partition("=")
        with open(path, encoding="utf-8") as f:
            text = f.read()
        if text.startswith("\ufeff"):
            text = text[1:]
        lines = text.replace("\r\n", "\n").split("\n")
        data = ("\ufeff" + "\r\n".join(lines)).encode("utf-8")
        with open(os.path.join(out_dir, name or os.path.basename(path)), "wb") as f:
            f.write(data)


def normalize(zip_path, day, sums_path):
    year, month, date = (int(part) for part in day.split("-"))
    with zipfile.ZipFile(zip_path) as old:
        members = sorted((info.filename, old.read(info)) for info in old.infolist()
                         if not info.is_dir())
    temp = zip_path + ".tmp"
    with zipfile.ZipFile(temp, "w") as new:
        for name, data in members:
            info = zipfile.ZipInfo(name, date_time=(year, month, date, 0, 0, 0))
            info.create_system = 0  # MS-DOS: no Unix permissions to vary
            info.external_attr = 0x20  # the archive attribute, as Windows gives new files
            info.compress_type = zipfile.ZIP_DEFLATED
            new.writestr(info, data, compresslevel=9)
    os.replace(temp, zip_path)
    with open(zip_path, "rb") as f:
        digest = hashlib.sha256(f.read()).hexdigest()
    os.makedirs(os.path.dirname(os.path.abspath(sums_path)), exist_ok=True)
    with open(sums_path, "w", newline="\n") as f:
        f.write("%s  %s\n" % (digest, os.path.basename(zip_path)))


def main(argv):
    if len(argv) >= 3 and argv[1] == "texts":
        write_texts(argv[2], argv[3:])
    elif len(argv) == 5 and argv[1] == "normalize":
        normalize(argv[2], argv[3], argv[4])
    else:
        sys.stderr.write(__doc__)
        return 2
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
