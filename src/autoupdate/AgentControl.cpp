// Agent commands over the run state and the settings files.
#include "autoupdate/AgentControl.h"

#include "stub/Stub.h"

namespace AgentControl {

namespace {

// The schedule key of a read or write command, or nullptr.
const AU::TKey* ScheduleKey(uint32_t command) {
  switch (command) {
    case kReadProbeSecondsInterval:
    case kWriteProbeSecondsInterval:
      return &AU::Keys::ProbeSecondsInterval;
    case kReadReAskSecondsInterval:
    case kWriteReAskSecondsInterval:
      return &AU::Keys::ReAskSecondsInterval;
    case kReadProbeSecondsLast:
    case kWriteProbeSecondsLast:
      return &AU::Keys::ProbeSecondsLast;
    case kReadReAskSecondsLast:
    case kWriteReAskSecondsLast:
      return &AU::Keys::ReAskSecondsLast;
    default:
      return nullptr;
  }
}

int64_t Low32(int64_t value) { return static_cast<int32_t>(static_cast<uint32_t>(value)); }

}  // namespace

uint32_t CommandOf(uint64_t wParam) { return static_cast<uint32_t>(wParam); }

int32_t ValueOf(int64_t lParam) { return static_cast<int32_t>(static_cast<uint32_t>(lParam)); }

int64_t RunAgentCommand(uint32_t command, int32_t value, Stub::TAgentRun& run, const TSettingsAccess& access) {
  switch (command) {
    case kReadVersionOriginal:
      return access.readInteger(AU::Keys::VersionOriginal);
    case kReadVersionNew:
      return access.readInteger(AU::Keys::VersionNew);
    case kReadPhase:
      return run.phase;
    case kReadProbeSecondsInterval:
    case kReadReAskSecondsInterval:
    case kReadProbeSecondsLast:
    case kReadReAskSecondsLast:
      return Low32(access.readInteger(*ScheduleKey(command)));
    case kWriteProbeSecondsInterval:
    case kWriteReAskSecondsInterval:
      return access.writeInteger(*ScheduleKey(command), value) ? 0 : kWriteFailed;
    case kWriteProbeSecondsLast:
    case kWriteReAskSecondsLast:
      // Clock seconds come with their readable copy.
      return access.writeClockSeconds(*ScheduleKey(command), value) ? 0 : kWriteFailed;
    case kSetAskBeforeChecking:
    case kOverrideConfirmDownload:
    case kOverrideConfirmInstall:
    case kOverrideBackgroundUpdate:
    case kOverrideInformFinish:
    case kOverrideRestartProcess:
      // Commands 20..25 are the options 0..5 of the transient list; low byte.
      run.transient[command - kSetAskBeforeChecking] = static_cast<uint8_t>(value & 0xFF);
      return 0;
    case kSetStopCountdown:
      run.stopCountdown = value;
      return 0;
    case kRequestCycle:
      run.cycleRequest = true;
      if (run.tickCounter < 1) run.tickCounter = 1;
      if (value == kUserCheck) run.cycleMode = 2;
      return 0;
    case kRequestInfoOnly:
      run.infoOnlyRequest = true;
      return 0;
    default:
      return 0;
  }
}

std::array<TListenerAnswer, 2> ListenerAnswers(uintptr_t ownWindow) {
  return {TListenerAnswer{50, static_cast<int64_t>(ownWindow)}, TListenerAnswer{51, Stub::wm_AgentMsg}};
}

}  // namespace AgentControl
