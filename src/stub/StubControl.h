// What the stub window does, for now, with the agent's control messages and
// with an agent's timer tick.
//
// These are the placeholders until the agent commands and the update cycle
// are built: a control message is recorded (debug line and trace line),
// wm_LocalMsg stores the listener, wm_ShutDown sets the stop countdown; a
// tick only counts and ends the run when the stop countdown runs out. The
// full handling of the three messages comes with the agent-message work and
// replaces HandleControlMessage through the window's control hook.
#pragma once

#include <cstdint>
#include <string>

#include "stub/StubState.h"

namespace Stub {

// "wm_ShutDown", "wm_LocalMsg", "wm_AgentMsg", or "" for other numbers.
std::string ControlMessageName(unsigned message);
// "Control message wm_LocalMsg (wParam=1234, lParam=49000)"
std::string ControlMessageText(unsigned message, uint64_t wParam, int64_t lParam);

// Records the message and applies the part built so far; the result is the
// window procedure's result for wm_AgentMsg (always 0 here).
int64_t HandleControlMessage(unsigned message, uint64_t wParam, int64_t lParam);

// One counting tick of the agent: true when the run is to end now (the stop
// countdown was 0). A countdown of 0 or more is decremented, the tick
// counter is incremented.
bool CountAgentTick(TAgentRun& run);

}  // namespace Stub
