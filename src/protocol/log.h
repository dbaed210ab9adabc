// Diagnostic lines. The library writes to the C stdout; most lines only while LogMessage is 1.
//
// The switch is tested inline, before anything is formatted or even called: a line that will
// not print costs one comparison. Only a line that prints calls printf.
#pragma once

#include <cstdio>

#include "quorvex.h"

namespace qv {

inline bool logging_on() { return LogMessage == 1; }

// printf to stdout when LogMessage is 1. The arguments reach printf exactly as a direct call
// would pass them (the same default promotions). The formats are the library's own texts,
// passed through, hence no warning for a format that is not a literal here.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
#pragma GCC diagnostic ignored "-Wformat-security"
template <class... Args>
inline void log(const char* format, Args... args) {
    if (logging_on()) std::printf(format, args...);
}
#pragma GCC diagnostic pop

// printf to stdout whatever LogMessage holds (the few lines the display's tools always show).
void log_always(const char* format, ...) __attribute__((format(printf, 1, 2)));

// A line of its own (puts) when LogMessage is 1.
inline void log_line(const char* text) {
    if (logging_on()) std::puts(text);
}

}  // namespace qv
