// The C++ library's error reports (std::__throw_length_error and its
// siblings: a string grown past its maximum, an index out of range, a lock
// that fails), for the stub executable. The library's own versions build
// std::length_error and the other std::logic_error and std::runtime_error
// classes, whose message member drags the library's whole reference-counted
// string and its transactional-memory clones into the image, about a fifth
// of the stub. Here those reports throw TLibraryError, a std::exception with
// the same message; the memory and cast errors keep their own types. The
// program catches library errors only as std::exception, std::bad_alloc or
// with "...", so it behaves the same. In the size release, which has no
// exceptions, every report ends the run through the out-of-memory path
// (OutOfMemory_win32.cpp) with its message. Only the stub executable links
// this unit; should the library's versions be pulled in after all, the
// second definition stops the link.
#include <exception>
#include <new>
#include <typeinfo>

#include "stub/OutOfMemory.h"

#if defined(__cpp_exceptions)
namespace {

class TLibraryError : public std::exception {
 public:
  explicit TLibraryError(const char* message) : message_(message ? message : "") {}
  const char* what() const noexcept override { return message_; }

 private:
  const char* message_;
};

}  // namespace

#define VX_REPORT(object, message) throw object
#else
#define VX_REPORT(object, message) Stub::EndRunFatally(message)
#endif

namespace std {

void __throw_bad_exception() { VX_REPORT(bad_exception(), "bad exception"); }
void __throw_bad_alloc() { VX_REPORT(bad_alloc(), "out of memory"); }
void __throw_bad_array_new_length() { VX_REPORT(bad_array_new_length(), "bad array length"); }
void __throw_bad_cast() { VX_REPORT(bad_cast(), "bad cast"); }
void __throw_bad_typeid() { VX_REPORT(bad_typeid(), "bad typeid"); }
void __throw_logic_error(const char* message) { VX_REPORT(TLibraryError(message), message); }
void __throw_domain_error(const char* message) { VX_REPORT(TLibraryError(message), message); }
void __throw_invalid_argument(const char* message) { VX_REPORT(TLibraryError(message), message); }
void __throw_length_error(const char* message) { VX_REPORT(TLibraryError(message), message); }
void __throw_out_of_range(const char* message) { VX_REPORT(TLibraryError(message), message); }
// The format's arguments are left out of the message.
void __throw_out_of_range_fmt(const char* format, ...) { VX_REPORT(TLibraryError(format), format); }
void __throw_runtime_error(const char* message) { VX_REPORT(TLibraryError(message), message); }
void __throw_range_error(const char* message) { VX_REPORT(TLibraryError(message), message); }
void __throw_overflow_error(const char* message) { VX_REPORT(TLibraryError(message), message); }
void __throw_underflow_error(const char* message) { VX_REPORT(TLibraryError(message), message); }
void __throw_system_error(int) { VX_REPORT(TLibraryError("system error"), "system error"); }
#if !defined(__cpp_exceptions)
// The library's own version, with its exception class, stays out.
void __throw_bad_function_call() { Stub::EndRunFatally("empty function called"); }
#endif

}  // namespace std
