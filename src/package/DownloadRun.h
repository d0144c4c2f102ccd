// Decisions of the download mode of the setup run, apart from the calls that
// carry them out (DownloadRunWin.h): the agent copy made from the own
// executable, the question and error texts, the setup file's names and the
// run's exit code.
#pragma once

#include <cstdint>
#include <string>

namespace DownloadRun {

// The error text of a refused download question: the run ends silently.
inline constexpr char kRefused[] = "!";
inline constexpr char kBadTokenText[] = "Bad Secret Token!";

// --- Agent copy of the own executable ------------------------------------------

// Bytes of the own executable that the agent copy keeps: the low 32 bits of
// the package end pointer when they are above 0, below the file length and
// less than 10000 bytes short of it (a signature after the package is cut
// off); the whole file otherwise. A pointer of 0 means "not set" and never
// cuts the file to nothing.
int64_t AgentCopyLength(int64_t fileLength, int64_t packageEnd);
// Offset of the package's agent flag in a copy of `length` bytes (the fifth
// byte from its end), -1 when the copy is 5 bytes or shorter.
int64_t AgentFlagOffset(int64_t length);
// Writes the agent copy of `source` to `target` in pieces (never the whole
// file in memory), with the agent flag set and the source's file date. A
// copy that could not be written whole is deleted again. True when written.
bool WriteAgentCopy(const std::string& source, const std::string& target);

// --- Texts and names -----------------------------------------------------------

// s11 with "<SIZE>" replaced by the megabyte text of the size item (a byte
// count as decimal text; anything else reads as 0).
std::string DownloadQuestionText(const std::string& s11, const std::string& sizeItem);
// s12, then "<P><P>" and the connection check's reason when there is one.
std::string ConnectionErrorText(const std::string& s12, const std::string& reason);
// A setup file name that may be joined to the own folder and the temp folder:
// not empty and no path that leaves them (see IsHostileEntryName).
bool IsUsableSetupFileName(const std::string& name);
// The file a name is joined to a folder as: folder, one backslash, name.
std::string JoinPath(const std::string& dir, const std::string& name);
// The download address: source, "/", setup file name.
std::string DownloadAddress(const std::string& source, const std::string& name);
// The text for a setup file name that cannot be used.
std::string BadFileNameText(const std::string& name);

// The exit code of a download run: 3 after a refused question, 6 after any
// other error, else the extraction run's.
uint32_t DownloadExitCode(const std::string& error, uint32_t extractionExitCode);

}  // namespace DownloadRun
