// Files the tool itself writes on the host.
#pragma once

#include <string>
#include <string_view>

namespace qvctl {

// Replaces the file at `path` with `content` so that a reader sees either the old file or the
// whole new one, never a part: the content goes to a new file beside it (same directory, so
// the same file system), is synced, and is renamed over `path`. A symbolic link is followed to
// the file it names, and a replaced file keeps its permissions. A path that exists and is not a
// regular file (a device such as /dev/stdout, a FIFO) is written in place instead. Returns 0,
// or the errno of the step that failed (nothing is left behind then).
int replace_file(const std::string& path, std::string_view content);

}  // namespace qvctl
