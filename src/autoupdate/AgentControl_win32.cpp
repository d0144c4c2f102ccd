// The stub window's handling of the agent's control messages.
#include "autoupdate/AgentControl.h"

#include "stub/Stub.h"
#include "stub/StubControl.h"
#include "stub/StubWin.h"
#include "util/Win.h"

namespace AgentControl {

namespace {

// Posts the two answers to a new listener. Only a window that exists takes
// them: a null handle would post them to this thread's own queue.
void AnswerListener() {
  const HWND listener = reinterpret_cast<HWND>(Stub::ListenerWindow());
  const UINT message = Stub::ListenerMessage();
  if (listener == nullptr || message == 0 || !::IsWindow(listener)) return;
  for (const TListenerAnswer& a : ListenerAnswers(reinterpret_cast<uintptr_t>(StubWin::MainWindow())))
    ::PostMessageA(listener, message, static_cast<WPARAM>(a.wParam), static_cast<LPARAM>(a.lParam));
}

}  // namespace

const TSettingsAccess& FileAccess() {
  static const TSettingsAccess access{AU::ReadInteger, AU::WriteInteger, AU::WriteClockSeconds};
  return access;
}

int64_t ControlMessage(unsigned message, uint64_t wParam, int64_t lParam) {
  // Records the message; sets the stop countdown and stores the listener.
  Stub::HandleControlMessage(message, wParam, lParam);
  if (message == Stub::wm_LocalMsg) AnswerListener();
  if (message != Stub::wm_AgentMsg) return 0;
  return RunAgentCommand(CommandOf(wParam), ValueOf(lParam), Stub::AgentRun(), FileAccess());
}

void InstallControlHook() { StubWin::Hooks().controlMessage = ControlMessage; }

}  // namespace AgentControl
