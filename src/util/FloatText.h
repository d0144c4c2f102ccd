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

// The whole text as [-]digits[.digits][(e|E)[+|-]digits] (at least one
// digit before or after the point), rounded to the nearest double (ties to
// even). False, leaving value alone, when the text is not such a number or
// when a non-zero number is too large for a double or rounds to zero.
bool ParseDecimal(std::string_view text, double& value);

}  // namespace FloatText
