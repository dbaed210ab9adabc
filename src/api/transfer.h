// Limits of the file transfers that the protocol itself does not bound.
#pragma once

#include <cstddef>

namespace qv {

// A downloaded file's host path (the directory, "//", the name from the display and the
// terminating NUL) must fit in this many bytes.
inline constexpr std::size_t kMaxDownloadPath = 256;

// A download stops, with RC_FAILED, before it would ask the display for more than this many
// chunks in one call: a display that keeps announcing one more chunk cannot keep the host
// busy for ever. 2^20 chunks carry up to 128 MiB, about 29 hours at the display's pace of one
// chunk per 100 ms.
inline constexpr unsigned kDownloadChunkLimit = 1u << 20;

// Tests lower the limit to reach it quickly; 0 puts the default back.
void set_download_chunk_limit(unsigned chunks);

}  // namespace qv
