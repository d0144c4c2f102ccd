// Portable texts of the system utilities: date and time texts, clock
// seconds, version texts, the reversible scrambling of short texts, hex
// dumps, random numbers and the one-line error trace record. Nothing here
// throws.
#pragma once

#include <cstdint>
#include <exception>
#include <string>

// Date-time values are days since 30 December 1899 with the time of day as
// the fraction. The value -1 means now; others are clamped to 0 .. 10000000.
inline constexpr double kDateTimeNow = -1;
inline constexpr double kDateTimeMax = 10000000;

struct TDateTimeParts {
  int year = 1899;
  int month = 12;
  int day = 30;
  int hour = 0;
  int minute = 0;
  int second = 0;
};

// Replaces -1 by the current local time, then clamps (NaN counts as 0).
double ResolveDateTime(double value);
// Calendar parts of a value (clamped first; -1 is not resolved here). The
// time is rounded to the nearest millisecond, then cut to whole seconds.
TDateTimeParts DecodeDateTime(double value);
double EncodeDateTime(const TDateTimeParts& parts);
double NowDateTime();

// "05-DEC-2026"
std::string DateText(double value = kDateTimeNow);
// DateText + separator + "HH:NN:SS"
std::string DateTimeText(const std::string& separator = " ", double value = kDateTimeNow);
// "dd/mm/yy HH:NN:SS" (four-digit year with the flag); dateSeparator and
// timeSeparator stand for "/" and ":".
std::string StampText(bool fourDigitYear = false, double value = kDateTimeNow,
                      const std::string& dateSeparator = "/", const std::string& timeSeparator = ":");

// Clock seconds: local date and time as whole seconds since 30 December
// 1899 00:00 (the date-time value x 86400, rounded to the nearest second).
int64_t ClockSecondsOf(double dateTime);
int64_t ClockSecondsOf(const TDateTimeParts& parts);
int64_t ClockSecondsNow();
double DateTimeOfClockSeconds(int64_t seconds);

// Keeps digits (and "," read as "."), then writes `parts` numbers, each
// zero-padded to `width`, joined by "." ("1.2.3.4", 2, 3 -> "01.02.03").
std::string NormalizeVersion(const std::string& text, int width, int parts);

// Reversible scrambling: "Scrambled=01" + key character (33..122) + the
// scrambled bytes, optionally as hexadecimal digits. Scrambling a text that
// already carries the marker, or unscrambling one that does not, returns
// the input unchanged.
inline constexpr char kScrambleMarker[] = "Scrambled=01";
std::string ScrambleText(const std::string& text, bool scramble, bool hex = false);
// The same with a given key (33..122) instead of a random one.
std::string ScrambleTextWithKey(const std::string& text, bool scramble, bool hex, int key);

// Two upper-case hex digits per byte; prefix: "0x" before each byte;
// blanks: a blank after each byte and a second one after each eighth.
std::string TextToHex(const std::string& text, bool blanks = false, bool prefix = false);
// Each pair of hex digits (either case) becomes a byte; a pair holding any
// other character gives byte 255; an odd last character is ignored.
std::string HexToText(const std::string& text);

// low + a random number below high - low + 1 (low when high < low).
int64_t RandomRange(int64_t low, int64_t high);
std::string RandomRangeText(int64_t low, int64_t high);

// " --- " + " [ Method = m ] " + " [ Remark = r ] " + " [ ErrMsg = e ] ",
// each field only when non-empty.
std::string TraceRecordText(const std::string& method, const std::string& remark,
                            const std::string& errMsg);
// Writes the trace record as one line to the standard output.
void TraceError(const std::string& method, const std::string& remark = "",
                const std::string& errMsg = "");
void TraceError(const std::exception& error, const std::string& method,
                const std::string& remark = "");

// Backend of the date functions (SysInfo_win32.cpp / SysInfo_posix.cpp).
namespace systext_platform {
TDateTimeParts LocalNow();
}
