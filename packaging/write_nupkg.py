"""Writes the NuGet package KqOutPdfMerge.<version>.nupkg: the managed wrapper for
netstandard2.0 and the native library of each runtime in runtimes/<rid>/native/, where .NET
looks for it.

    write_nupkg.py --assembly DIR --windows-dll DLL --linux-so SO --out DIR
                   [--repository URL] [--commit SHA]

--assembly names the folder with KqOutPdfMerge.dll, its XML documentation and
KqOutPdfMerge.dll.config (Mono's map from the library's name to the file under runtimes/). A
.nupkg is a zip: the .nuspec at its root, [Content_Types].xml and _rels/.rels (the package
format's part list and its link to the .nuspec) and the files.
"""

import argparse
import pathlib
import time
import zipfile
from xml.sax.saxutils import escape, quoteattr

import project

ID = "KqOutPdfMerge"
DESCRIPTION = ("Counts the pages of PDF files and merges PDF files into a new one, keeping "
               "bookmarks, annotations, forms and page labels when asked. A .NET wrapper "
               "(PdfMerge, MergeOptions, PdfMergeException) over the native kq_out_pdfmerge "
               "library, which the package carries for Windows x64 and Linux x64.")


def nuspec(version: str, repository: str, commit: str) -> str:
    attributes = ' type="git"'
    if repository:
        attributes += " url=" + quoteattr(repository)
    if commit:
        attributes += " commit=" + quoteattr(commit)
    return f"""<?xml version="1.0" encoding="utf-8"?>
<package xmlns="http://schemas.microsoft.com/packaging/2013/05/nuspec.xsd">
  <metadata>
    <id>{ID}</id>
    <version>{escape(version)}</version>
    <title>kq_out_pdfmerge</title>
    <authors>The kq_out_pdfmerge developers</authors>
    <license type="file">LICENSE</license>
    <readme>README.md</readme>
    <description>{escape(DESCRIPTION)}</description>
    <tags>pdf merge page-count native</tags>
    <repository{attributes} />
    <dependencies>
      <group targetFramework=".NETStandard2.0" />
    </dependencies>
  </metadata>
</package>
"""


def content_types(names) -> str:
    """Every part's type: by extension, and one by one for the parts without an extension."""
    types = {"rels": "application/vnd.openxmlformats-package.relationships+xml",
             "xml": "application/xml"}
    defaults, overrides = {}, []
    for name in names:
        leaf = name.rsplit("/", 1)[-1]
        if "." in leaf:
            extension = leaf.rsplit(".", 1)[1]
            defaults[extension] = types.get(extension, "application/octet")
        else:
            overrides.append(name)
    lines = ['<?xml version="1.0" encoding="utf-8"?>',
             '<Types xmlns="http://schemas.openxmlformats.org/package/2006/content-types">']
    lines += ['  <Default Extension=%s ContentType=%s />' % (quoteattr(e), quoteattr(t))
              for e, t in sorted(defaults.items())]
    lines += ['  <Override PartName=%s ContentType="application/octet" />' % quoteattr("/" + n)
              for n in overrides]
    return "\n".join(lines + ["</Types>", ""])


def main() -> None:
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--assembly", required=True, type=pathlib.Path)
    parser.add_argument("--windows-dll", required=True, type=pathlib.Path)
    parser.add_argument("--linux-so", required=True, type=pathlib.Path)
    parser.add_argument("--out", required=True, type=pathlib.Path)
    parser.add_argument("--repository", default="")
    parser.add_argument("--commit", default="")
    args = parser.parse_args()

    version = project.version()
    managed = "lib/netstandard2.0/"
    files = [
        (ID + ".nuspec", nuspec(version, args.repository, args.commit).encode()),
        (managed + ID + ".dll", (args.assembly / (ID + ".dll")).read_bytes()),
        (managed + ID + ".xml", (args.assembly / (ID + ".xml")).read_bytes()),
        (managed + ID + ".dll.config", (args.assembly / (ID + ".dll.config")).read_bytes()),
        ("runtimes/win-x64/native/kq_out_pdfmerge.dll", args.windows_dll.read_bytes()),
        ("runtimes/linux-x64/native/libkq_out_pdfmerge.so", args.linux_so.read_bytes()),
        ("LICENSE", (project.ROOT / "LICENSE").read_bytes()),
        ("README.md", (project.ROOT / "packaging" / "nuget" / "README.md").read_bytes()),
    ]
    rels = ('<?xml version="1.0" encoding="utf-8"?>\n'
            '<Relationships xmlns="http://schemas.openxmlformats.org/package/2006/relationships">'
            '\n  <Relationship Type="http://schemas.microsoft.com/packaging/2010/07/manifest" '
            'Target="/%s.nuspec" Id="R0" />\n</Relationships>\n' % ID)
    files.append(("_rels/.rels", rels.encode()))
    files.insert(0, ("[Content_Types].xml",
                     content_types([name for name, _ in files]).encode()))

    args.out.mkdir(parents=True, exist_ok=True)
    package = args.out / ("%s.%s.nupkg" % (ID, version))
    stamp = time.gmtime(max(project.source_date_epoch(), 315532800))[:6]
    with zipfile.ZipFile(package, "w", zipfile.ZIP_DEFLATED) as archive:
        for name, data in files:
            entry = zipfile.ZipInfo(name, stamp)
            entry.external_attr = 0o100644 << 16
            entry.compress_type = zipfile.ZIP_DEFLATED
            archive.writestr(entry, data)
    print(package)


if __name__ == "__main__":
    main()
