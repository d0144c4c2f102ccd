# shellcheck shell=bash
# Sourced by the screenshot scripts: readies the wine prefix named by
# WINEPREFIX for pictures. Windows are unmanaged, so that wine draws the
# frames itself (there is no window manager on the Xvfb display), and wine's
# own Tahoma and Marlett (package fonts-wine), which are not always found in
# its data folder, are put where every prefix looks.
# usage: prepare_screenshot_prefix WINE_RUN NAME_FOR_MESSAGES
prepare_screenshot_prefix() {
  local wine="$1" name="$2"
  "$wine" cmd /c exit 0 >/dev/null 2>&1 || true  # creates the prefix
  "$wine" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1
  wineserver -w
  if [ -d /usr/share/wine/fonts ]; then
    cp -n /usr/share/wine/fonts/*.ttf "$WINEPREFIX/drive_c/windows/Fonts/" 2>/dev/null || true
  else
    echo "$name: no /usr/share/wine/fonts (package fonts-wine): other fonts stand in" >&2
  fi
}
