#include "protocol/log.h"

#include <cstdarg>
#include <cstdio>

extern "C" {
QV_API uint8_t LogMessage = 1;
}

namespace qv {

void log_always(const char* format, ...) {
    va_list args;
    va_start(args, format);
    std::vprintf(format, args);
    va_end(args);
}

}  // namespace qv
