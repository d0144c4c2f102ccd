// Terminate handler of the stub executable. The library's default handler
// names the uncaught exception's type on the standard error output, which a
// Windows GUI program does not have, and brings the whole C++ demangler into
// the image for that. This one ends the program the same way, without the
// message. Only the stub executable links this unit.
#include <cstdlib>

namespace __gnu_cxx {

void __verbose_terminate_handler() { std::abort(); }

}  // namespace __gnu_cxx
