// The agent's message boxes as a test meets them: the text of the box that
// is up, and an answer given through tools/ui-robot.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "../stub/StubRun_win32.h"
#include "TestSupport.h"

namespace agentboxes {

using stubtest::FindTop;
using stubtest::TProc;
using stubtest::WaitUntil;
using stubtest::WindowText;

// The text control of the box that is up now (a Rich Edit control).
inline std::string BoxText(HWND box) {
  for (HWND child = ::GetWindow(box, GW_CHILD); child; child = ::GetWindow(child, GW_HWNDNEXT)) {
    char name[64] = {0};
    ::GetClassNameA(child, name, sizeof(name));
    if (_stricmp(name, "BUTTON") != 0) return WindowText(child);
  }
  return {};
}

// Waits for the agent's box, returns its text and presses the button.
inline std::string AnswerBox(const std::string& button) {
  // The box is there before its text is: wait for both.
  std::string text;
  WaitUntil([&] {
    HWND box = FindTop("VxMsgBox");
    text = box ? BoxText(box) : std::string();
    return !text.empty();
  }, 20000);
  TProc robot(testsupport::BuildPath("tools/ui-robot/ui-robot.exe"),
              "--class VxMsgBox --timeout 20000 --press " + button + " --wait-gone");
  EXPECT_EQ(robot.Wait(30000), 0u) << "the box did not take " << button;
  return text;
}

}  // namespace agentboxes
