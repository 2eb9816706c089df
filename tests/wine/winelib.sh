# Shared by the Wine test groups and the main job: fresh 32-bit prefixes,
# time limits, and the wineserver shut down afterwards.
#   source tests/wine/winelib.sh
#   wine_prefix_new            # fresh prefix in $WINEPREFIX, ended on exit
#   wine_run SECONDS prog.exe args...   # wine with a time limit
# The tree's win32 build is at $WIN32_BUILD (default build/win32).

TAV_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
WIN32_BUILD=${WIN32_BUILD:-$TAV_ROOT/build/win32}
export WINEARCH=win32
export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-"mscoree,mshtml="}

wine_prefix_end() {
  if [ -n "${WINEPREFIX:-}" ] && [ -d "$WINEPREFIX" ]; then
    timeout 30 wineserver -k >/dev/null 2>&1 || true
    timeout 30 wineserver -w >/dev/null 2>&1 || true
    rm -rf "$WINEPREFIX"
  fi
}

# A fresh prefix with the null graphics driver, so message boxes can be
# recorded by a window hook without a display.
wine_prefix_new() {
  WINEPREFIX=$(mktemp -d "${TMPDIR:-/tmp}/tavwine.XXXXXX")
  export WINEPREFIX
  trap wine_prefix_end EXIT
  unset DISPLAY
  timeout 120 wineboot -i >/dev/null 2>&1
  timeout 60 wine reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f >/dev/null 2>&1
  timeout 60 wineserver -w
}

# wine_run SECONDS program args...: runs under a time limit; a run that
# overstays is killed and reported with status 124.
wine_run() {
  local limit=$1
  shift
  timeout -k 5 "$limit" wine "$@"
}

# The Windows path of a file of this machine.
wine_path() { winepath -w "$1" 2>/dev/null; }
