"""Packs a staged folder into a .zip or .tar.gz whose entries sit under one top folder named
after the archive, in sorted order, with one time stamp and no owner, so that the same staged
files pack to the same bytes. Symbolic links (the .so links of the Linux tree) stay links in a
tar archive; a zip holds files only.

    write_archive.py STAGE OUT.zip|OUT.tar.gz
"""

import gzip
import io
import os
import pathlib
import stat
import sys
import tarfile
import time
import zipfile

import project


def entries(stage: pathlib.Path):
    """(path inside the archive, path on disk) of every file, link and folder, sorted."""
    found = []
    for folder, dirs, files in os.walk(stage):
        dirs.sort()
        for name in sorted(dirs + files):
            path = pathlib.Path(folder) / name
            found.append((path.relative_to(stage).as_posix(), path))
    return sorted(found)


def mode_of(path: pathlib.Path) -> int:
    if path.is_dir():
        return 0o755
    return 0o755 if os.stat(path).st_mode & stat.S_IXUSR else 0o644


def write_zip(stage, out, top, when):
    stamp = time.gmtime(max(when, 315532800))[:6]  # a zip entry's time starts in 1980
    with zipfile.ZipFile(out, "w", zipfile.ZIP_DEFLATED, compresslevel=9) as archive:
        for name, path in entries(stage):
            if path.is_symlink():
                raise SystemExit("a zip holds no links: %s" % path)
            info = zipfile.ZipInfo(top + "/" + name + ("/" if path.is_dir() else ""), stamp)
            info.external_attr = ((stat.S_IFDIR if path.is_dir() else stat.S_IFREG)
                                  | mode_of(path)) << 16
            info.create_system = 3  # the permissions above are Unix ones
            if path.is_dir():
                archive.writestr(info, b"")
            else:
                info.compress_type = zipfile.ZIP_DEFLATED
                archive.writestr(info, path.read_bytes())


def write_tar_gz(stage, out, top, when):
    raw = io.BytesIO()
    with tarfile.open(fileobj=raw, mode="w", format=tarfile.PAX_FORMAT) as archive:
        for name, path in entries(stage):
            info = tarfile.TarInfo(top + "/" + name)
            info.mtime = when
            info.uid = info.gid = 0
            info.uname = info.gname = "root"
            if path.is_symlink():
                info.type = tarfile.SYMTYPE
                info.linkname = os.readlink(path)
                info.mode = 0o777
                archive.addfile(info)
            elif path.is_dir():
                info.type = tarfile.DIRTYPE
                info.mode = mode_of(path)
                archive.addfile(info)
            else:
                data = path.read_bytes()
                info.size = len(data)
                info.mode = mode_of(path)
                archive.addfile(info, io.BytesIO(data))
    with open(out, "wb") as file:
        with gzip.GzipFile(filename="", mode="wb", fileobj=file, compresslevel=9,
                           mtime=when) as packed:
            packed.write(raw.getvalue())


def main() -> None:
    if len(sys.argv) != 3:
        raise SystemExit(__doc__)
    stage, out = pathlib.Path(sys.argv[1]), sys.argv[2]
    name = os.path.basename(out)
    when = project.source_date_epoch()
    if name.endswith(".zip"):
        write_zip(stage, out, name[:-len(".zip")], when)
    elif name.endswith(".tar.gz"):
        write_tar_gz(stage, out, name[:-len(".tar.gz")], when)
    else:
        raise SystemExit("write_archive.py: %s is neither .zip nor .tar.gz" % out)


if __name__ == "__main__":
    main()
