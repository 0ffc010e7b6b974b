# Sourced by the scripts that run tessik's Windows programs under wine:
# a private X display and a fresh wine prefix, the same way every time.
#   source "$root/scripts/wine-session.sh"

# start_private_xvfb DISPLAY_FILE: an Xvfb of our own (1280x1024, 24 bits,
# no TCP) on a display number it picks itself, written to DISPLAY_FILE;
# exports DISPLAY and sets xvfb_pid. Never the caller's display.
start_private_xvfb() {
  local display_file=$1
  rm -f "$display_file"
  Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$display_file" 2>/dev/null &
  xvfb_pid=$!
  for _ in $(seq 100); do [[ -s "$display_file" ]] && break; sleep 0.1; done
  if [[ ! -s "$display_file" ]]; then
    kill "$xvfb_pid" 2>/dev/null || true
    echo "Xvfb did not start" >&2
    return 1
  fi
  export DISPLAY=":$(tr -d '[:space:]' <"$display_file")"
}

# fresh_wine_prefix DIR: an empty 64-bit prefix in DIR, made ready with one
# wineserver for everything started in it; no dialog may wait for a person
# (mono and gecko are not installed, crashes are not shown) and Chinese is
# drawn through the prefix's font link. Needs DISPLAY.
fresh_wine_prefix() {
  export WINEPREFIX=$1 WINEARCH=win64 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
  rm -rf "$WINEPREFIX"
  mkdir -p "$WINEPREFIX"
  wineserver -p
  # -u makes the prefix with one services.exe; -i in a prefix that does not
  # exist yet runs two, and COM's service start then never answers.
  wineboot -u >/dev/null 2>&1
  wine reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f >/dev/null 2>&1
  bash "$(dirname "${BASH_SOURCE[0]}")/wine-chinese-fonts.sh"
}
