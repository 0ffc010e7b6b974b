#!/usr/bin/env bash
# Cross-builds the Qt-free part of Tessik for 64-bit Windows with MinGW-w64,
# runs its tests under wine, leaves the programs in build-windows/dist/ and
# the installer made from them in build-windows/Tessik-setup.exe.
#   bash scripts/windows.sh
# Installs what it lacks (apt-get, as root or through sudo). One wineserver
# serves the whole run, in a fresh prefix under build-windows/. When the
# Linux tessik-elbow exists in build/ (or can be built there), the two
# programs are compared byte for byte over a set of designs.
# TESSIK_WINDOWS_BUILD_DIR and TESSIK_JOBS override the folder and the jobs.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${TESSIK_WINDOWS_BUILD_DIR:-$root/build-windows}
linux_build=${TESSIK_BUILD_DIR:-$root/build}
jobs=${TESSIK_JOBS:-$(nproc)}
step() { echo "== windows.sh: $*"; }

packages=(cmake make g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 libgtest-dev wine wine64 python3 nsis
          xvfb fonts-wqy-microhei xdotool x11-utils imagemagick openbox)
missing=()
for p in "${packages[@]}"; do
  status=$(dpkg-query -W -f='${Status}' "$p" 2>/dev/null || true)
  [[ "$status" == "install ok installed" ]] || missing+=("$p")
done
if [[ ${#missing[@]} -gt 0 ]]; then
  step "installing ${missing[*]}"
  sudo_cmd=()
  [[ $(id -u) -ne 0 ]] && sudo_cmd=(sudo)
  "${sudo_cmd[@]}" apt-get update
  DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y "${missing[@]}"
fi

launcher=()
command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
step "configuring $build (MinGW-w64, x86-64, no Qt)"
cmake -S "$root" -B "$build" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake" \
  -DCMAKE_BUILD_TYPE=${CMAKE_BUILD_TYPE:-RelWithDebInfo} -DTESSIK_BUILD_GUI=OFF -DTESSIK_BUILD_TESTS=ON \
  -DTESSIK_BUILD_BENCH=OFF "${launcher[@]}" >/dev/null
step "building with $jobs jobs"
cmake --build "$build" --parallel "$jobs"

step "collecting the programs in $build/dist"
rm -rf "$build/dist"
mkdir -p "$build/dist"
for program in src/cli/tessik-elbow.exe src/app/tessik.exe; do
  [[ -f "$build/$program" ]] || { echo "windows.sh: the build made no $(basename "$program")" >&2; exit 1; }
  cp "$build/$program" "$build/dist/"
done
cp "$root"/data/*.ini "$build/dist/"

version=$(sed -n 's/^project(Tessik VERSION \([0-9.]*\).*/\1/p' "$root/CMakeLists.txt")
step "making the installer $build/Tessik-setup.exe (version $version)"
python3 "$root/packaging/windows/make_installer.py" "$build/dist" "$build/Tessik-setup.exe" "$version"

# Every program must start on a bare Windows: no MinGW runtime DLLs.
step "checking the programs need only Windows' own DLLs"
bad=0
while IFS= read -r -d '' exe; do
  while read -r dll; do
    case "${dll,,}" in
      kernel32.dll|msvcrt.dll|user32.dll|shell32.dll|advapi32.dll|ole32.dll|oleaut32.dll|gdi32.dll|ws2_32.dll|ntdll.dll|comctl32.dll|api-ms-win-*) ;;
      *) echo "  $exe needs $dll"; bad=1 ;;
    esac
  done < <(x86_64-w64-mingw32-objdump -p "$exe" | sed -n 's/^\s*DLL Name: //p')
done < <(find "$build/dist" "$build/tests" -name '*.exe' -print0)
[[ $bad -eq 0 ]] || { echo "windows.sh: a program needs a DLL Windows does not ship" >&2; exit 1; }

# A fresh prefix for every run, one server for every program it starts. The
# window tests need an X display: a private Xvfb, never the caller's.
source "$root/scripts/wine-session.sh"
step "starting Xvfb and wineserver in a fresh prefix $build/wine-prefix"
start_private_xvfb "$build/xvfb-display"
trap 'wineserver -k 2>/dev/null || true; kill $xvfb_pid 2>/dev/null || true' EXIT
fresh_wine_prefix "$build/wine-prefix"
# wine's desktop process ends a few seconds after the last program using the
# desktop; one that a window test starts again would hold that test's output
# open, and ctest would wait for it. A program waiting on a pipe keeps it up.
keeper="$build/desktop-keeper"
rm -f "$keeper"
mkfifo "$keeper"
exec 4<>"$keeper"
wine cmd.exe /c pause <"$keeper" >/dev/null 2>&1 &
# CMAKE_CROSSCOMPILING_EMULATOR (wine) runs each test program.
step "running the Windows tests under wine"
(cd "$build" && ctest --no-tests=error --output-on-failure --parallel "$jobs" --timeout 600)

# A person's keys and typing through X, with no window manager and with one.
for wm in "" openbox; do
  step "driving tessik.exe through X against the fake CAD${wm:+ under $wm}"
  timeout 900 python3 "$root/tests/windows/ui_test.py" "$build/dist" "$build/tests/windows/fake-com-cad.exe" \
    "$build/ui-test" ${wm:+--window-manager "$wm"}
done

step "installing and uninstalling Tessik-setup.exe silently"
python3 "$root/tests/windows/installer_test.py" "$build/Tessik-setup.exe" "$build/dist" "$build/installer-test"

if [[ -f "$build/dist/tessik-elbow.exe" ]]; then
  if [[ ! -x "$linux_build/src/cli/tessik-elbow" ]]; then
    step "building the Linux tessik-elbow in $linux_build for the comparison"
    "$root/scripts/install-deps.sh"
    cmake -S "$root" -B "$linux_build" -DCMAKE_BUILD_TYPE=${CMAKE_BUILD_TYPE:-RelWithDebInfo} >/dev/null
    cmake --build "$linux_build" --target tessik-elbow --parallel "$jobs"
  fi
  step "comparing tessik-elbow (Linux) with tessik-elbow.exe (wine)"
  python3 "$root/tests/windows/compare_elbow.py" "$linux_build/src/cli/tessik-elbow" \
    "$build/dist/tessik-elbow.exe" "$root/data" "$build/compare"
fi
step "done: $(ls "$build/dist" | tr '\n' ' ')"
