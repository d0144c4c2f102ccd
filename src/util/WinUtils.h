// Window helpers of the Win32 build: font sizes, centring, owners, window
// texts, the shell, run-time binding and the "QueryCancelAutoPlay" message.
#pragma once

#include <string>

#include "util/Win.h"

// points x vertical pixels per logical inch / 72 (the density is read once).
int PointsToPixels(int points);
// Top-left corner that centres width x height in the desktop work area.
void CenterInWorkArea(int width, int height, int& x, int& y);
// The last window of the owner chain of window.
HWND TopOwner(HWND window);
// Class name (up to 1024 characters) or text of a window; empty for none.
std::string WindowClassNameOf(HWND window);
std::string WindowTextOf(HWND window);
// Opens file with parameters through the shell (owner: the desktop window).
bool RunShell(const std::string& file, const std::string& parameters, int showMode = SW_SHOWNORMAL);
// Starts a command line with the given show mode and does not wait for its
// end; the process handle, or none when the start failed.
THandle StartCommand(const std::string& commandLine, int showMode);
// Loads library and looks entryPoint up in it. module receives the library
// handle (NULL when it could not be loaded); the caller frees it.
FARPROC ProcAddressOf(const std::string& library, const std::string& entryPoint, HMODULE& module);

// With the flag registers "QueryCancelAutoPlay" and keeps its id (windows
// that see it answer 1); without, clears the id to 0.
void SetAutoPlayCancel(bool enable);
UINT QueryCancelAutoPlayMessage();
