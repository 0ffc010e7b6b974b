#!/usr/bin/env python3
"""The installer under wine: silent install and uninstall leave nothing behind.

    installer_test.py SETUP_EXE DIST WORK

Runs in the wine prefix of the environment (WINEPREFIX, a running
wineserver). For the current user (/CurrentUser) and for all users
(/AllUsers, wine's user being an administrator): installs with /S, checks
that exactly DIST's files and the uninstaller arrived, that the uninstall
entry and, when DIST holds tessik.exe, the Start-menu shortcut (starting it
in the installation folder) exist; puts a file of the user's into the folder,
uninstalls with /S and checks that only that file is left. When DIST has no
tessik.exe, the same is done once more with an installer made in WORK from
DIST plus a stand-in tessik.exe, so the shortcut is always checked.
"""
import pathlib
import shutil
import struct
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, str(pathlib.Path(__file__).resolve().parents[2] / "packaging" / "windows"))
from make_installer import make_installer  # noqa: E402

UNINSTALL_KEY = r"Software\Microsoft\Windows\CurrentVersion\Uninstall\Tessik"
failures = []


def check(condition, what):
    print(("  ok   " if condition else "  FAIL ") + what)
    if not condition:
        failures.append(what)


def wine(*args, timeout=180):
    # Output through a file: a pipe would stay open in the services wine
    # starts on the way and never reach its end.
    with tempfile.TemporaryFile() as out:
        r = subprocess.run(["wine", *args], stdout=out, stderr=subprocess.DEVNULL, stdin=subprocess.DEVNULL,
                           timeout=timeout)
        out.seek(0)
        r.stdout = out.read()
    return r


def windows_folder(variable):
    out = wine("cmd", "/c", "echo", f"%{variable}%").stdout.decode("utf-8", "replace").strip()
    return pathlib.Path(wine("winepath.exe", "-u", out).stdout.decode("utf-8", "replace").strip())


def registry_value(root, name):
    r = wine("reg", "query", f"{root}\\{UNINSTALL_KEY}", "/v", name)
    if r.returncode != 0:
        return None
    for line in r.stdout.decode("utf-8", "replace").splitlines():
        parts = line.split(None, 2)
        if len(parts) == 3 and parts[0] == name:
            return parts[2].strip()
    return ""


def registry_key_exists(root):
    return wine("reg", "query", f"{root}\\{UNINSTALL_KEY}").returncode == 0


def shortcut_working_dir(lnk):
    """The working folder a .lnk file names (MS-SHLLINK StringData)."""
    data = lnk.read_bytes()
    flags = struct.unpack_from("<I", data, 0x14)[0]
    pos = 0x4C
    if flags & 0x1:  # HasLinkTargetIDList
        pos += 2 + struct.unpack_from("<H", data, pos)[0]
    if flags & 0x2:  # HasLinkInfo
        pos += struct.unpack_from("<I", data, pos)[0]
    unicode = bool(flags & 0x80)
    for bit in (0x4, 0x8, 0x10):  # name, relative path, working dir
        if not flags & bit:
            continue
        count = struct.unpack_from("<H", data, pos)[0]
        pos += 2
        size = count * (2 if unicode else 1)
        text = data[pos:pos + size].decode("utf-16-le" if unicode else "latin-1")
        pos += size
        if bit == 0x10:
            return text.rstrip("\0")
    return None


def wait_gone(path, seconds=60):
    # The silent uninstaller runs from a copy of itself and returns at once.
    deadline = time.monotonic() + seconds
    while path.exists() and time.monotonic() < deadline:
        time.sleep(0.5)
    return not path.exists()


def exercise(setup, dist_names, all_users):
    scope = "all users" if all_users else "the current user"
    print(f"installer_test: {setup.name} for {scope}")
    if all_users:
        folder = windows_folder("ProgramW6432") / "Tessik"
        start_menu = windows_folder("ProgramData") / "Microsoft/Windows/Start Menu/Programs/Tessik"
        root, other = "HKLM", "HKCU"
    else:
        folder = windows_folder("LOCALAPPDATA") / "Programs/Tessik"
        start_menu = windows_folder("APPDATA") / "Microsoft/Windows/Start Menu/Programs/Tessik"
        root, other = "HKCU", "HKLM"
    r = wine(str(setup), "/S", "/AllUsers" if all_users else "/CurrentUser")
    check(r.returncode == 0, f"setup /S exits with 0 (got {r.returncode})")
    installed = sorted(p.name for p in folder.iterdir()) if folder.is_dir() else []
    check(installed == sorted(dist_names + ["uninstall.exe"]), f"{folder} holds the programs and data files: {installed}")
    location = registry_value(root, "InstallLocation")
    check(location is not None and location.rstrip("\\").lower().endswith("tessik"),
          f"{root} uninstall entry names the folder ({location})")
    check(not registry_key_exists(other), f"no uninstall entry under {other}")
    lnk = start_menu / "Tessik.lnk"
    if "tessik.exe" in dist_names:
        check(lnk.is_file(), f"Start-menu shortcut {lnk}")
        if lnk.is_file():
            work = shortcut_working_dir(lnk)
            check(work is not None and work.rstrip("\\").lower() == (location or "").rstrip("\\").lower(),
                  f"the shortcut starts in the installation folder ({work})")
    else:
        check(not start_menu.exists(), "no Start-menu folder without tessik.exe")

    (folder / "my notes.txt").write_text("kept\n")
    uninstaller = folder / "uninstall.exe"
    r = wine(str(uninstaller), "/S")
    check(r.returncode == 0, f"uninstall /S exits with 0 (got {r.returncode})")
    check(wait_gone(uninstaller), "the uninstaller removed itself")
    left = sorted(p.name for p in folder.iterdir()) if folder.is_dir() else []
    check(left == ["my notes.txt"], f"only the user's file is left: {left}")
    check(not start_menu.exists(), "the Start-menu folder is gone")
    check(not registry_key_exists(root), f"the {root} uninstall entry is gone")
    shutil.rmtree(folder, ignore_errors=True)


def main():
    if len(sys.argv) != 4:
        raise SystemExit(__doc__)
    setup, dist, work = (pathlib.Path(a).resolve() for a in sys.argv[1:])
    dist_names = sorted(p.name for p in dist.iterdir() if p.is_file())
    for all_users in (False, True):
        exercise(setup, dist_names, all_users)
    if "tessik.exe" not in dist_names:
        staged = work / "dist"
        shutil.rmtree(work, ignore_errors=True)
        shutil.copytree(dist, staged)
        shutil.copy(dist / "tessik-elbow.exe", staged / "tessik.exe")
        names = make_installer(staged, work / "Tessik-setup-with-tessik.exe", "0.0.0")
        for all_users in (False, True):
            exercise(work / "Tessik-setup-with-tessik.exe", names, all_users)
    if failures:
        print(f"installer_test: {len(failures)} check(s) failed", file=sys.stderr)
        return 1
    print("installer_test: every check passed")
    return 0


if __name__ == "__main__":
    sys.exit(main())
