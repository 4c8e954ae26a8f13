// Fatal reports and assertions.
//
// Every failure that ends the process goes through fatal_report(): it builds the caption
// "Error in file <source path>:<line>" and the text "<caption>\n\n<message>", shows them in a
// message box (or on standard error in batch mode) and exits with code 1. Tests and fuzz
// targets install a handler that throws instead, so parsers can be driven in-process.
// Depends on: platform/ui.
#pragma once

#include <cstdarg>
#include <cstdio>
#include <functional>
#include <string>
#include <type_traits>

struct FatalReport {
    std::string caption;  // "Error in file src/util/data/data:42" or "Error"
    std::string text;     // the whole text shown in the box
    std::string message;  // the message alone; empty for the location-only report
};

// A handler that returns lets the default behaviour run (box, exit 1); one that throws or
// longjmps takes over. Pass nullptr to restore the default.
using FatalHandler = void (*)(const FatalReport& report);
void set_fatal_handler(FatalHandler handler);

// printf into a string of any length: the reports' own formatting, for any text.
std::string string_format(const char* format, ...) __attribute__((format(printf, 1, 2)));
std::string string_vformat(const char* format, va_list args);

// Runs `work` with any fatal report turned into a failure: false, with `message` the report's
// message (its caption when it has none), and the process goes on. For work whose failure
// must not end a run, such as reading a file again while the show runs.
bool run_catching_fatal(const std::function<void()>& work, std::string& message);

// The source path as it appears in reports: repository-relative, without extension.
std::string fatal_source_path(const char* file);

// Bytes from a file, quoted in a report: printable ASCII as it is, everything else as \xNN, so
// that a binary file's header cannot drive the terminal the report lands on.
std::string printable_bytes(const char* bytes, size_t count);

[[noreturn]] void fatal_report(const char* file, int line, const char* format, ...)
    __attribute__((format(printf, 3, 4)));
[[noreturn]] void fatal_report_v(const char* file, int line, const char* format, va_list args);
[[noreturn]] void fatal_location(const char* file, int line);

#define ZV_FATAL(...) fatal_report(__FILE__, __LINE__, __VA_ARGS__)
#define ZV_FATAL_LOCATION() fatal_location(__FILE__, __LINE__)

// ---- assertion operand formatting -------------------------------------------------------
// Integers in decimal, floats with %g, booleans as true/false.
inline std::string assert_value(bool v) { return v ? "true" : "false"; }
inline std::string assert_value(double v) {
    char buffer[64];
    snprintf(buffer, sizeof buffer, "%g", v);
    return buffer;
}
inline std::string assert_value(float v) { return assert_value(static_cast<double>(v)); }
inline std::string assert_value(long long v) { return std::to_string(v); }
inline std::string assert_value(unsigned long long v) { return std::to_string(v); }
inline std::string assert_value(int v) { return std::to_string(v); }
inline std::string assert_value(unsigned v) { return std::to_string(v); }
inline std::string assert_value(long v) { return std::to_string(v); }
inline std::string assert_value(unsigned long v) { return std::to_string(v); }
inline std::string assert_value(short v) { return std::to_string(v); }
inline std::string assert_value(unsigned short v) { return std::to_string(v); }
inline std::string assert_value(char v) { return std::to_string(static_cast<int>(v)); }
inline std::string assert_value(signed char v) { return std::to_string(static_cast<int>(v)); }
inline std::string assert_value(unsigned char v) { return std::to_string(static_cast<int>(v)); }

[[noreturn]] void fatal_assert_compare(const char* file, int line, const char* lhs_text,
                                       const char* op, const char* rhs_text,
                                       const std::string& lhs_value,
                                       const std::string& rhs_value);

// "Failed assert <expression>"
#define ZV_ASSERT(expr)                                      \
    do {                                                     \
        if (!(expr)) ZV_FATAL("Failed assert %s", #expr);    \
    } while (0)

// "<name> is NULL"
#define ZV_ASSERT_NOT_NULL(ptr)                              \
    do {                                                     \
        if ((ptr) == nullptr) ZV_FATAL("%s is NULL", #ptr);  \
    } while (0)

// Integers are compared by value whatever their types' signedness, so that int -1 is less
// than every size_t and a literal can stand against a size; other operands compare with the
// operator as it is (a NaN fails every comparison but !=).
template <class T>
struct AssertOperand {
    const T& value;
};

namespace assert_detail {
template <class T>
constexpr bool is_int = std::is_integral<T>::value && !std::is_same<T, bool>::value;

template <class Op, class A, class B>
constexpr bool compare(Op op, const A& a, const B& b) {
    if constexpr (is_int<A> && is_int<B> && std::is_signed<A>::value != std::is_signed<B>::value) {
        // A negative operand is less than any unsigned one, as -1 is less than 0; two others
        // both fit the widest unsigned type.
        if constexpr (std::is_signed<A>::value) {
            if (a < 0) return op(-1, 0);
        } else {
            if (b < 0) return op(0, -1);
        }
        return op(static_cast<unsigned long long>(a), static_cast<unsigned long long>(b));
    } else {
        return op(a, b);
    }
}
}  // namespace assert_detail

template <class A, class B>
constexpr bool operator==(AssertOperand<A> a, AssertOperand<B> b) {
    return assert_detail::compare(std::equal_to<>(), a.value, b.value);
}
template <class A, class B>
constexpr bool operator!=(AssertOperand<A> a, AssertOperand<B> b) {
    return assert_detail::compare(std::not_equal_to<>(), a.value, b.value);
}
template <class A, class B>
constexpr bool operator<(AssertOperand<A> a, AssertOperand<B> b) {
    return assert_detail::compare(std::less<>(), a.value, b.value);
}
template <class A, class B>
constexpr bool operator>(AssertOperand<A> a, AssertOperand<B> b) {
    return assert_detail::compare(std::greater<>(), a.value, b.value);
}
template <class A, class B>
constexpr bool operator<=(AssertOperand<A> a, AssertOperand<B> b) {
    return assert_detail::compare(std::less_equal<>(), a.value, b.value);
}
template <class A, class B>
constexpr bool operator>=(AssertOperand<A> a, AssertOperand<B> b) {
    return assert_detail::compare(std::greater_equal<>(), a.value, b.value);
}

// "Failed assert a <op> b\n a is <value>\n b is <value>"; each operand is evaluated once.
#define ZV_ASSERT_CMP(a, op, b)                                                              \
    do {                                                                                     \
        const auto& zv_lhs_ = (a);                                                           \
        const auto& zv_rhs_ = (b);                                                           \
        if (!(AssertOperand<std::decay_t<decltype(zv_lhs_)>>{zv_lhs_} op                     \
                  AssertOperand<std::decay_t<decltype(zv_rhs_)>>{zv_rhs_}))                  \
            fatal_assert_compare(__FILE__, __LINE__, #a, #op, #b, assert_value(zv_lhs_),     \
                                 assert_value(zv_rhs_));                                     \
    } while (0)
