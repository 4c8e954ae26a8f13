// Numbers typed by people: command-line options, tool arguments, key lists.
//
// Only plain decimal notation is a number here: an optional sign, digits with an optional
// fraction, and for real numbers an optional decimal exponent ("-2", "12.5", "1e3"). The C
// library's readers take more (hex such as "0x10", "inf", "nan", leading blanks, the locale's
// decimal point) and turn a value too large for the type into infinity or a clamped value
// without a word; every such text is refused instead, so a typo never becomes a different
// number. The whole text must be the number.
// Depends on: the C++ standard library only.
#pragma once

#include <cstdint>

// A whole number from min to max.
bool parse_decimal_integer(const char* text, long long min, long long max, long long& out);
// A real number the type holds: refused when it is too large (or too small to be anything but
// zero) for it.
bool parse_decimal_double(const char* text, double& out);
bool parse_decimal_float(const char* text, float& out);
