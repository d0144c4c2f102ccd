// Exact conversions between doubles and decimal text, of our own (the
// library's tables for them would be most of the stub's size): the shortest
// decimal digits that read back as the same double, and the correctly
// rounded double of a decimal text. Both ignore the process locale and
// never throw. Time and memory are linear in the text and the exponent.
#pragma once

#include <string>
#include <string_view>

namespace FloatText {

// |value| in fixed notation with the fewest significant digits that read
// back as value (nearest of those, ties to an even last digit): "0.1",
// "100", "0.5". Zero gives "0"; infinity and NaN give "".
std::string ShortestFixed(double value);

// value with exactly `decimals` digits after the point (none and no point
// for 0), its exact binary value rounded to the nearest, ties to even: what
// printf's "%.*f" prints in the C locale ("-" for a negative value, also
// for -0; "inf", "-inf" and "nan" for those). decimals is clamped to 0..40.
std::string FixedText(double value, int decimals);

// The whole text as [-]digits[.digits][(e|E)[+|-]digits] (at least one
// digit before or after the point), rounded to the nearest double (ties to
// even). False, leaving value alone, when the text is not such a number or
// when a non-zero number is too large for a double or rounds to zero.
bool ParseDecimal(std::string_view text, double& value);

}  // namespace FloatText
