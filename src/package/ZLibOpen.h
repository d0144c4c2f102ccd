// Inflation of streams in the zlib format (header + Adler-32), with zlib's verdicts
// and messages. libdeflate does the work; a stream it refuses is judged by our
// own inflater (package/Inflate.h), which tells a damaged stream from one that
// ends early as zlib does.
#pragma once

#include <cstddef>
#include <cstdint>
#include <exception>
#include <functional>
#include <string>
#include <string_view>

// The one exception type of the system: a decompression failure whose
// message is zlib's text for the result code ("data error", ...).
class EZLibError : public std::exception {
 public:
  explicit EZLibError(int code);
  int Code() const { return code_; }
  const char* what() const noexcept override { return message_; }
  static const char* MessageFor(int code);

 private:
  int code_;
  const char* message_;  // one of MessageFor's texts
};

// Inflation progress: (input length, bytes produced so far).
using TInflateProgress = std::function<void(int64_t total, int64_t produced)>;

// Inflates one zlib stream into `out` (replacing its content). sizeHint 0 =
// choose. Returns 0, or zlib's code of the failure (EZLibError's codes; -4
// when the output cannot be allocated), with `out` empty.
int InflateBuffer(std::string_view input, std::string& out, size_t sizeHint = 0,
                  const TInflateProgress& progress = nullptr);

// InflateBuffer for a buffer that is used again and again: `room` only ever
// grows (its bytes past `produced` are room for the next call), so a reused
// buffer is not filled again before each stream. Returns 0 with the length of
// the inflated content in `produced`, or the failure code with `produced` 0.
int InflateIntoRoom(std::string_view input, std::string& room, size_t& produced,
                    const TInflateProgress& progress = nullptr);

#if defined(__cpp_exceptions)
// InflateBuffer that throws EZLibError on any failure.
void DecompressBuffer(std::string_view input, std::string& out, size_t sizeHint = 0,
                      const TInflateProgress& progress = nullptr);
std::string DecompressText(std::string_view input);
#endif
