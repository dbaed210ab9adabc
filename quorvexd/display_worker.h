// A display worker: a process of its own per display, started by quorvexd (`quorvexd --worker
// FD`), that runs the settings layer on its display. It reaches the display as any application
// does, through the daemon's socket (QUORVEX_SOCKET), so its exchanges pass the link service
// like every other client's; the library's calls may block for an hour without holding up the
// daemon or the other displays.
//
// Daemon and worker speak over a socket pair in NUL-terminated JSON messages:
//   worker, once connected: {"ready": {"serial", "monitorType", "firmware"}}
//                           or {"unready": {"result", "reason"}} (and it ends)
//   daemon: {"id": N, "method": "Get", "parameters": {...}}     (one at a time)
//   worker: {"id": N, "parameters": {...}} or {"id": N, "error": NAME, "parameters": {...}}
// with the methods and errors of io.quorvex.Display; GetFiles answers {"files": [{"name",
// "content"}]} at once and the daemon hands them out one reply each. The daemon's own
// {"method": "Readings", "parameters": {"profile"?}} takes one reading round for the metrics
// (settings/metrics.h).
#pragma once

#include <cstddef>

#include "interface_errors.h"  // display_error::k...

namespace quorvexd {

// A file moved through the messages (SendFile's content, each of GetFiles' replies) is at most
// this large: its base64 text fits a client's message and the daemon's output bound.
inline constexpr std::size_t kMaxFileBytes = 64 * 1024;
// One message between daemon and worker (GetFiles' answer holds every file of a type).
inline constexpr std::size_t kWorkerMessageLimit = 16 * 1024 * 1024;

// The worker's main: serves the daemon on `fd` until the daemon closes it. Returns the exit
// status.
int run_display_worker(int fd);

}  // namespace quorvexd
