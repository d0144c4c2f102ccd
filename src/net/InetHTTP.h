// HTTP transfers through the Windows Internet library (WinINet), bound by
// name on first use: the connection test, a file's size and the download of
// a file into memory or into a file. A missing library or function turns
// into the failure texts, never a crash. Win32 only (InetHTTP_win32.cpp).
#pragma once

#include <cstdint>
#include <string>

class TProgBar;

struct TInetDownload {
  std::string error;  // "" on success; shown to the user as it is
  std::string data;   // the body of a download into memory
};

// InternetGetConnectedState; on false errorText is the system's error text.
bool InternetConnected(std::string* errorText = nullptr);
// Content length of url, -1 when unknown, on an answer other than 2xx or on
// any failure.
int64_t HTTP_GetFileSize(const std::string& url);
// Downloads url into target (empty: into memory). The window (a handle above
// 10) is shown first; the bar, when given, shows the progress and its
// cancel flag stops the transfer, as does the download abort flag. A dropped
// connection or failed read is tried again up to three times, a second
// apart; a file target goes on from its temporary file with a Range request
// when the server answers for the same file (also for a temporary file that
// an earlier call left), else it starts over.
TInetDownload HTTP_DownloadFile_Incremental(uintptr_t window, const std::string& url,
                                            const std::string& target, TProgBar* bar);
// Releases the library (end of the stub window's run); the next call binds
// it again.
void FreeInetLibrary();

// For tests: the module name to bind ("WinINet.dll" by default).
void SetInetLibraryName(const std::string& name);
// For tests: the connect, send and receive time-outs of a download in ms
// (180000 by default).
void SetInetTimeOutsMs(int ms);
