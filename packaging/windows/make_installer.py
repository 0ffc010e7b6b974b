#!/usr/bin/env python3
"""Builds the Tessik installer from a folder of programs and data files.

    make_installer.py DIST OUTFILE VERSION

Every file directly in DIST is installed (and removed again by the
uninstaller); Tessik.nsi beside this script is the installer's text.
"""
import pathlib
import subprocess
import sys
import tempfile

HERE = pathlib.Path(__file__).resolve().parent


def make_installer(dist, outfile, version):
    dist = pathlib.Path(dist).resolve()
    outfile = pathlib.Path(outfile).resolve()
    names = sorted(p.name for p in dist.iterdir() if p.is_file())
    if not names:
        raise SystemExit(f"make_installer: {dist} holds no files")
    for name in names:
        if '"' in name or "$" in name:
            raise SystemExit(f"make_installer: cannot install a file named {name!r}")
    with tempfile.TemporaryDirectory() as work:
        files = pathlib.Path(work) / "files.nsh"
        files.write_text("".join(f'${{TessikFile}} "{n}"\n' for n in names), encoding="utf-8")
        subprocess.run(["makensis", "-V2", "-INPUTCHARSET", "UTF8", f"-DDIST={dist}", f"-DFILES={files}",
                        f"-DOUTFILE={outfile}", f"-DVERSION={version}", str(HERE / "Tessik.nsi")], check=True)
    return names


if __name__ == "__main__":
    if len(sys.argv) != 4:
        raise SystemExit(__doc__)
    make_installer(*sys.argv[1:])
