#!/usr/bin/env python3
"""Packs files into a .tar.gz or a .zip that is the same byte for byte on every run: the names in
the order given, at the top of the archive, one time stamp for all, owner root, mode 755 for
programs and 644 for the rest.

Usage: pack.py ARCHIVE SECONDS_SINCE_1970 FILE...   (ARCHIVE ends in .tar.gz or .zip)
"""
import gzip
import io
import os
import sys
import tarfile
import time
import zipfile


def mode_of(path):
    return 0o755 if os.access(path, os.X_OK) else 0o644


def pack_tar(archive, stamp, files):
    data = io.BytesIO()
    with tarfile.open(fileobj=data, mode="w", format=tarfile.USTAR_FORMAT) as tar:
        for path in files:
            info = tarfile.TarInfo(os.path.basename(path))
            info.size = os.path.getsize(path)
            info.mtime = stamp
            info.mode = mode_of(path)
            info.uid = info.gid = 0
            info.uname = info.gname = "root"
            with open(path, "rb") as f:
                tar.addfile(info, f)
    with open(archive, "wb") as raw:
        with gzip.GzipFile(filename="", mode="wb", fileobj=raw, mtime=stamp, compresslevel=9) as gz:
            gz.write(data.getvalue())


def pack_zip(archive, stamp, files):
    # Zip times are local times without a zone, to two seconds: the UTC time is written.
    date_time = time.gmtime(max(stamp, 315532800))[:6]  # not before 1980
    with zipfile.ZipFile(archive, "w") as z:
        for path in files:
            info = zipfile.ZipInfo(os.path.basename(path), date_time=date_time)
            info.compress_type = zipfile.ZIP_DEFLATED
            info.create_system = 3  # the mode below is a Unix one
            info.external_attr = (0o100000 | mode_of(path)) << 16
            with open(path, "rb") as f:
                z.writestr(info, f.read(), compresslevel=9)


def main():
    if len(sys.argv) < 4:
        sys.exit(__doc__)
    archive, stamp, files = sys.argv[1], int(sys.argv[2]), sys.argv[3:]
    if archive.endswith(".tar.gz"):
        pack_tar(archive, stamp, files)
    elif archive.endswith(".zip"):
        pack_zip(archive, stamp, files)
    else:
        sys.exit("pack.py: the archive must end in .tar.gz or .zip")


if __name__ == "__main__":
    main()
