// The tool's own output and its exit statuses.
//
// The library prints its diagnostic lines on the C stdout, a few of them whatever its logging
// switch holds. The tool keeps standard output for its own results: it writes them through a
// duplicate of the original descriptor and points descriptor 1 at /dev/null (or, with
// --verbose, at standard error) while the library runs. Every write is checked, and so is the
// final flush: a result that did not reach its reader is a failure.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "text.h"  // qv::settings::shown

namespace qvctl {

// Exit statuses, as the manual page lists them.
enum Exit : int {
    kExitOk = 0,
    kExitOutput = 1,     // the tool's own output could not be written
    kExitUsage = 2,      // unknown verb or name, malformed or out-of-range value
    kExitNoDisplay = 3,  // no display, or none at the slot or serial asked for
    kExitRefused = 4,    // the display's mode or monitor type does not allow it
    kExitDisplay = 5,    // the display refused or did not answer, or the USB link failed
    kExitPartial = 6,    // restore, apply or clone finished with some settings failed
    kExitHostRefused = 7,  // the host refused: a file or directory cannot be read or written
    kExitDiffer = 8,       // diff: the two sides differ; apply --check: something would change
    kExitHeld = 9,         // another client holds the display: its lock, or a job running on it
};

// Sends the library's stdout away from the tool's own output (to standard error with
// `verbose`); call once before the first library call.
void redirect_library_output(bool verbose);

// Writes to the tool's standard output; a failed write is remembered.
void out(std::string_view text);
void outf(const char* format, ...) __attribute__((format(printf, 1, 2)));
// Flushes and closes the tool's standard output; false when anything written since the start
// was lost. A reader that went away (a closed pipe) or a full device is not worth a message:
// the exit status says it; any other failure is told in one line.
bool finish_output();
bool output_is_terminal();
// Pushes what was written so far to the reader; false once anything written was lost.
bool flush_out();
// The descriptor the tool's own output goes to (for a command the tool runs).
int output_descriptor();

// Prints "quorvexctl: <message>" on standard error and returns `status`.
int fail(int status, const std::string& message);

// fail() with kExitHostRefused and "<what> <path>: <the system's reason for error_number>".
int fail_host(const std::string& what, const std::string& path, int error_number);

// User input as it may appear in a message (the settings layer's rule, for every message).
using qv::settings::shown;

// The candidate closest to `word` by edit distance, or "" when none is close enough to be a
// likely slip of the keyboard.
std::string closest(std::string_view word, const std::vector<std::string>& candidates);

// `directory` and `name` joined by exactly one slash, for the tool's own messages.
std::string join_path(const std::string& directory, const std::string& name);

// The exit status of a library result code (its meaning: qv::settings::describe_rc).
int status_of(int rc);
// fail() with "<what>: <describe_rc(rc)>" and status_of(rc); `needs` names the mode or monitor
// type a refused call needs (may be empty).
int fail_rc(const std::string& what, int rc, const std::string& needs = {});

}  // namespace qvctl
