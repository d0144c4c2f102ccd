// The C++ library's error reports (std::__throw_length_error and its
// siblings: a string grown past its maximum, an index out of range, a lock
// that fails), for the stub executable. The library's own versions build
// std::length_error and the other std::logic_error and std::runtime_error
// classes, whose message member drags the library's whole reference-counted
// string and its transactional-memory clones into the image, about a fifth
// of the stub. Here those reports throw TLibraryError, a std::exception with
// the same message; the memory and cast errors keep their own types. The
// program catches library errors only as std::exception, std::bad_alloc or
// with "...", so it behaves the same. Only the stub executable links this
// unit; should the library's versions be pulled in after all, the second
// definition stops the link.
#include <exception>
#include <new>
#include <typeinfo>

namespace {

class TLibraryError : public std::exception {
 public:
  explicit TLibraryError(const char* message) : message_(message ? message : "") {}
  const char* what() const noexcept override { return message_; }

 private:
  const char* message_;
};

}  // namespace

namespace std {

void __throw_bad_exception() { throw bad_exception(); }
void __throw_bad_alloc() { throw bad_alloc(); }
void __throw_bad_array_new_length() { throw bad_array_new_length(); }
void __throw_bad_cast() { throw bad_cast(); }
void __throw_bad_typeid() { throw bad_typeid(); }
void __throw_logic_error(const char* message) { throw TLibraryError(message); }
void __throw_domain_error(const char* message) { throw TLibraryError(message); }
void __throw_invalid_argument(const char* message) { throw TLibraryError(message); }
void __throw_length_error(const char* message) { throw TLibraryError(message); }
void __throw_out_of_range(const char* message) { throw TLibraryError(message); }
// The message stays the unfilled format text: formatting it would bring printf in.
void __throw_out_of_range_fmt(const char* format, ...) { throw TLibraryError(format); }
void __throw_runtime_error(const char* message) { throw TLibraryError(message); }
void __throw_range_error(const char* message) { throw TLibraryError(message); }
void __throw_overflow_error(const char* message) { throw TLibraryError(message); }
void __throw_underflow_error(const char* message) { throw TLibraryError(message); }
void __throw_system_error(int) { throw TLibraryError("system error"); }

}  // namespace std
