"""Writes the module-definition file of the DLL from the export list: what Microsoft's lib.exe
and llvm-dlltool make an import library from.

    write_def.py OUT.def
"""

import sys

import project


def main() -> None:
    if len(sys.argv) != 2:
        raise SystemExit(__doc__)
    lines = ["LIBRARY kq_out_pdfmerge.dll", "EXPORTS"] + ["    " + n for n in project.exports()]
    with open(sys.argv[1], "w", newline="\r\n") as out:
        out.write("\n".join(lines) + "\n")


if __name__ == "__main__":
    main()
