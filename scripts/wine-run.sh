#!/usr/bin/env bash
# Runs a Windows program under wine64 with a private prefix (WINEPREFIX must
# point into the build tree). Used as CMake's cross-compiling emulator.
set -u
: "${WINEPREFIX:?WINEPREFIX must name the wine prefix inside the build tree}"
export WINEPREFIX
export WINEDEBUG=${WINEDEBUG:--all}
# No Mono or Gecko install prompts: nothing here needs them.
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=}
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  mkdir -p "$WINEPREFIX"
  wineboot -i >/dev/null 2>&1
  # Unmanaged windows: without a window manager wine otherwise pauses ~2 s
  # each time a visible top-level window is destroyed.
  wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1
  # A program that crashes gets its backtrace on stderr and ends; the crash
  # dialog would wait for a click that no test gives.
  wine reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f >/dev/null 2>&1
  wineserver -w
fi
exec wine "$@"
