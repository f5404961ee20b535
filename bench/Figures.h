#pragma once

// How a benchmark reports what it measured. Every figure is one line of the form
//
//   figure | <what was measured> | <the figure> | <its target> | <ok, OVER, MISSED or ->
//
// which a person can read as it stands and which scripts/bench gathers into one table. The
// verdict is information only: no benchmark fails on a slow machine.

#include <cstdarg>
#include <cstdio>
#include <string>

namespace bench {

inline void figure(const std::string& what, const std::string& measured, const std::string& target,
                   const char* verdict) {
    std::printf("figure | %s | %s | %s | %s\n", what.c_str(), measured.c_str(), target.c_str(), verdict);
    std::fflush(stdout);
}

// printf into a std::string.
__attribute__((format(printf, 1, 2))) inline std::string format(const char* fmt, ...) {
    char buf[256];
    va_list args;
    va_start(args, fmt);
    std::vsnprintf(buf, sizeof buf, fmt, args);
    va_end(args);
    return buf;
}

// A figure that must stay under its limit; value and limit in the same unit.
inline void below(const std::string& what, const std::string& measured, double value, double limit,
                  const char* unit) {
    figure(what, measured, format("< %g %s", limit, unit), value < limit ? "ok" : "OVER");
}

} // namespace bench
