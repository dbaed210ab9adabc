#include "protocol/log.h"

#include <cstdarg>
#include <cstdio>

#include "quorvex.h"

extern "C" {
QV_API uint8_t LogMessage = 1;
}

namespace qv {

bool logging_on() { return LogMessage == 1; }

void log(const char* format, ...) {
    if (!logging_on()) return;
    va_list args;
    va_start(args, format);
    std::vprintf(format, args);
    va_end(args);
}

void log_always(const char* format, ...) {
    va_list args;
    va_start(args, format);
    std::vprintf(format, args);
    va_end(args);
}

void log_line(const char* text) {
    if (logging_on()) std::puts(text);
}

}  // namespace qv
