// Without a window system there is no dialog to show and no shell to open
// an address with.
#include "ui/StubInformDlg.h"

bool Inform::ShowWindowFor(const TRequest& /*request*/) { return false; }

bool Inform::ShellOpen(const std::string& /*address*/) { return false; }
