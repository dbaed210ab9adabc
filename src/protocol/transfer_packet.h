// The 184-byte transfer packet of opcodes 24 (upload chunk), 28 (count of remote files) and
// 29 (download chunk), as both ends of the link lay it out.
//   byte 0      opcode
//   byte 1      status       0 in a request; the display's answer in the reply (29: 1 = more)
//   byte 2      firstChunk   1 on the first chunk of a file
//   byte 3      fileIndex    opcode 29: which remote file, from 0
//   byte 4      fileType     the file-type code
//   bytes 5-54  fileName     download reply: the remote file's NUL-terminated name
//   byte 55     chunkLength  valid bytes in chunkData (count reply: number of remote files)
//   bytes 56-   chunkData    128 bytes of content
#pragma once

#include <cstddef>
#include <cstdint>

namespace qv::transfer {

inline constexpr uint16_t kPacketSize = 184;
inline constexpr std::size_t kOpcode = 0;
inline constexpr std::size_t kStatus = 1;
inline constexpr std::size_t kFirstChunk = 2;
inline constexpr std::size_t kFileIndex = 3;
inline constexpr std::size_t kFileType = 4;
inline constexpr std::size_t kFileName = 5;
inline constexpr std::size_t kFileNameSize = 50;
inline constexpr std::size_t kChunkLength = 55;
inline constexpr std::size_t kChunkData = 56;
inline constexpr std::size_t kChunkSize = 128;

inline constexpr uint8_t kOpUpload = 24;
inline constexpr uint8_t kOpCount = 28;
inline constexpr uint8_t kOpDownload = 29;

inline constexpr uint8_t kStatusMore = 1;       // download reply: another chunk of the file follows
inline constexpr uint8_t kStatusNoFiles = 0xFF;  // count reply, with a count of 0

}  // namespace qv::transfer
