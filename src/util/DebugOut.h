// The program's standard text output for debug lines: a small writer of our
// own in place of the iostreams. Text goes to the installed device; without
// one it goes to the C standard output. The stub installs its debug channel
// (stub/VxDebugDevice.h) as the device before its own start-up code runs, so
// every debug line of the program reaches the debug viewer through here.
// Nothing here throws.
#pragma once

#include <string_view>

namespace DebugOut {

class TDevice {
 public:
  virtual ~TDevice() = default;
  virtual void Write(std::string_view text) = 0;
  virtual void Flush() = 0;
};

// Installs the device (nullptr: the C standard output); returns the previous one.
TDevice* SetDevice(TDevice* device);
TDevice* Device();

void Write(std::string_view text);
// Hands buffered text on: to the debug viewer, or to the C standard output.
void Flush();
// One debug line: the text, a line end, then a flush.
void Line(std::string_view text);

}  // namespace DebugOut
