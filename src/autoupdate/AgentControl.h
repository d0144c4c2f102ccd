// The control messages of a running X_ agent: wm_ShutDown sets the stop
// countdown, wm_LocalMsg makes a window the listener of the agent's
// notifications and answers it at once (50 with the agent's window, then 51
// with the number of wm_AgentMsg), and wm_AgentMsg runs one agent command
// whose result is the window procedure's result (a sender that needs it
// must send, not post).
//
// The commands are pure over the run state and a settings access
// (AgentControl.cpp); the window hook is AgentControl_win32.cpp.
#pragma once

#include <array>
#include <cstdint>

#include "autoupdate/AUSettings.h"
#include "stub/StubState.h"

namespace AgentControl {

// Agent commands (wParam of wm_AgentMsg); any other number does nothing.
enum TCommand : uint32_t {
  kReadVersionOriginal = 4,
  kReadVersionNew = 5,
  kReadPhase = 7,
  kReadProbeSecondsInterval = 8,
  kReadReAskSecondsInterval = 9,
  kReadProbeSecondsLast = 10,
  kReadReAskSecondsLast = 11,
  kWriteProbeSecondsInterval = 12,
  kWriteReAskSecondsInterval = 13,
  kWriteProbeSecondsLast = 14,
  kWriteReAskSecondsLast = 15,
  kSetAskBeforeChecking = 20,
  kOverrideConfirmDownload = 21,
  kOverrideConfirmInstall = 22,
  kOverrideBackgroundUpdate = 23,
  kOverrideInformFinish = 24,
  kOverrideRestartProcess = 25,
  kSetStopCountdown = 30,
  kRequestCycle = 31,
  kRequestInfoOnly = 32,
};

// Result of a write command whose settings file could not be written (a
// written value gives 0).
inline constexpr int64_t kWriteFailed = -1;
// The value of command 31 that makes the next tick a check asked for by the user.
inline constexpr int32_t kUserCheck = 2;

// How the commands reach the settings files. The agent's is FileAccess()
// (AUSettings: uncached private-profile reads and writes); tests give their own.
struct TSettingsAccess {
  int64_t (*readInteger)(const AU::TKey& key);
  bool (*writeInteger)(const AU::TKey& key, int64_t value);
  bool (*writeClockSeconds)(const AU::TKey& key, int64_t clockSeconds);
};
const TSettingsAccess& FileAccess();  // AgentControl_win32.cpp

// Command and value as the agent takes them from wParam and lParam: their low
// 32 bits (the agent is a 32-bit program; the value is signed and widened
// with its sign where a key holds a 64-bit number).
uint32_t CommandOf(uint64_t wParam);
int32_t ValueOf(int64_t lParam);

// Runs one command on the run state and the settings; the result of the
// window procedure. Reads 4 and 5 give the value, 7 the phase, 8..11 the
// low 32 bits of the value; writes 12..15 give 0 or kWriteFailed; every
// other command gives 0.
int64_t RunAgentCommand(uint32_t command, int32_t value, Stub::TAgentRun& run, const TSettingsAccess& access);

// The two answers that a new listener receives with its message number.
struct TListenerAnswer {
  uint64_t wParam;
  int64_t lParam;
};
std::array<TListenerAnswer, 2> ListenerAnswers(uintptr_t ownWindow);

// --- The window side (AgentControl_win32.cpp) ---

// Handles wm_ShutDown, wm_LocalMsg and wm_AgentMsg for the stub window:
// records the message (Stub::HandleControlMessage), then applies it.
int64_t ControlMessage(unsigned message, uint64_t wParam, int64_t lParam);
// Makes ControlMessage the stub window's control hook.
void InstallControlHook();

}  // namespace AgentControl
