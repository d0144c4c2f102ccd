// Folders a stub run works in (the working directory, the alternative temp
// folder) and how a run makes one its own.
//
// A run claims a folder: a folder of that name that another run holds is
// left alone; otherwise it is emptied (a link or junction goes as a link),
// must then be gone, and is created anew by this process (a folder that
// someone else created in the meantime is not taken). The run then holds the
// folder for as long as it uses it, so that no other run deletes or takes it:
// on Windows a handle on the folder without delete sharing, which nobody can
// remove while it is open and which the system closes when the process ends.
//
// Releasing deletes the contents while the folder is still held, and only
// when that leaves it empty lets go and removes the (empty) folder: a name
// that this run has let go of is never deleted with contents again.
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace WorkDir {

// The steps of a claim and a release, as the platform provides them.
struct TOps {
  std::function<bool(const std::string&)> exists;     // anything (folder, file, link) at the path
  std::function<bool(const std::string&)> heldByOther;  // another process holds the folder
  std::function<bool(const std::string&)> clear;      // removes it with its contents (a link as a link)
  std::function<bool(const std::string&)> makeFresh;  // creates the folder; false when it already exists
  std::function<bool(const std::string&)> hold;       // starts holding it
  std::function<void(const std::string&)> unhold;     // stops holding it
  std::function<bool(const std::string&)> isEmpty;    // folder without entries
  std::function<bool(const std::string&)> removeEmpty;  // removes an empty folder (never its contents)
};

// Outcome of one claim, for the caller's debug line.
enum class TClaim { Claimed, HeldByOther, NotEmptied, NotCreated, NotHeld };
const char* ClaimText(TClaim claim);

TClaim Claim(const std::string& dir, const TOps& ops);
// Holds a folder that exists and that this run's parent made for it (the Y_
// copy's own folder), without emptying it.
bool Adopt(const std::string& dir, const TOps& ops);
// Deletes the contents of a held folder; when it is then empty, lets go of it
// and removes it. True when the folder is gone (false: still held, a later
// release may try again).
bool Release(const std::string& dir, const TOps& ops);

// The first of the names that can be claimed, skipping `skip` (the folder of
// the running file); empty when none. tried receives each name with its outcome.
std::string ClaimFirst(const std::vector<std::string>& names, const std::string& skip, const TOps& ops,
                       std::vector<std::pair<std::string, TClaim>>* tried = nullptr);

// The platform's steps (WorkDir_win32.cpp, WorkDir_posix.cpp).
const TOps& SystemOps();

}  // namespace WorkDir
