#include "platform/numbers.h"

#include <charconv>
#include <cstring>

namespace {

bool is_digit(char c) { return c >= '0' && c <= '9'; }

// The length of the digits at `p`.
size_t digits_at(const char* p) {
    size_t n = 0;
    while (is_digit(p[n])) ++n;
    return n;
}

// True when `text` is [sign] digits [. digits] [e [sign] digits] with a digit before or after
// the point; `integer` allows neither point nor exponent. Sets `body` past a leading '+',
// which std::from_chars does not take.
bool decimal_syntax(const char* text, bool integer, const char*& body) {
    if (!text) return false;
    const char* p = text;
    if (*p == '+' || *p == '-') ++p;
    body = text[0] == '+' ? text + 1 : text;
    size_t whole = digits_at(p);
    p += whole;
    if (integer) return whole > 0 && *p == '\0';
    size_t fraction = 0;
    if (*p == '.') {
        ++p;
        fraction = digits_at(p);
        p += fraction;
    }
    if (whole + fraction == 0) return false;
    if (*p == 'e' || *p == 'E') {
        ++p;
        if (*p == '+' || *p == '-') ++p;
        size_t exponent = digits_at(p);
        if (exponent == 0) return false;
        p += exponent;
    }
    return *p == '\0';
}

template <typename T>
bool parse_real(const char* text, T& out) {
    const char* body = nullptr;
    if (!decimal_syntax(text, false, body)) return false;
    const char* end = body + strlen(body);
    T value{};
    // from_chars ignores the locale, so "0.5" means a half whatever GTK set LC_NUMERIC to.
    auto result = std::from_chars(body, end, value);
    if (result.ec != std::errc() || result.ptr != end) return false;
    out = value;
    return true;
}

}  // namespace

bool parse_decimal_integer(const char* text, long long min, long long max, long long& out) {
    const char* body = nullptr;
    if (!decimal_syntax(text, true, body)) return false;
    const char* end = body + strlen(body);
    long long value = 0;
    auto result = std::from_chars(body, end, value, 10);
    if (result.ec != std::errc() || result.ptr != end || value < min || value > max) return false;
    out = value;
    return true;
}

bool parse_decimal_double(const char* text, double& out) { return parse_real(text, out); }
bool parse_decimal_float(const char* text, float& out) { return parse_real(text, out); }
