// Diagnostic lines. The library writes to the C stdout; most lines only while LogMessage is 1.
#pragma once

namespace qv {

bool logging_on();

// printf to stdout when LogMessage is 1.
void log(const char* format, ...) __attribute__((format(printf, 1, 2)));

// printf to stdout whatever LogMessage holds (the few lines the display's tools always show).
void log_always(const char* format, ...) __attribute__((format(printf, 1, 2)));

// A line of its own (puts) when LogMessage is 1.
void log_line(const char* text);

}  // namespace qv
