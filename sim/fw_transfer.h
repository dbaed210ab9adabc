// What the simulated display keeps for file transfers and the XML calibration actions.
//
// The display stores files by download file-type code: 3 and 6 hold binary files, 4, 5 and 8
// text files. An upload carries only an upload code and no name; the display files it under
// the download code that serves it back, with a fixed name per upload code, replacing the
// earlier upload of that code:
//
//   upload 0 (text)   -> download 4, "upload0.txt"
//   upload 1 (binary) -> download 3, "upload1.bin"
//   upload 2 (text)   -> download 5, "upload2.txt"
//   upload 7 (text)   -> download 8, "upload7.txt"
//
// so an uploaded file comes back byte for byte from a download of the mapped code. Code 6 has
// no upload: only the display writes files of that type.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace qv::sim {

// The largest file the display stores; a chunk that would make a file larger is refused.
inline constexpr std::size_t kMaxDisplayFileBytes = 4u << 20;

struct DisplayFile {
    std::string name;           // at most 49 characters on the wire
    std::vector<uint8_t> data;
    bool text = false;          // written in text mode on the host
};

// Faults a test arms to make the display misbehave during transfers.
struct TransferFaults {
    // Refuse the n-th chunk request (opcode 24 or 29) from now on, 1 being the next one, with
    // this status; 0 = never. Counts down and fires once.
    int refuse_chunk = 0;
    uint8_t refuse_status = 2;
    // Download replies carry these 50 bytes as the file name (a hostile or unterminated name).
    std::optional<std::vector<uint8_t>> name_field;
    // Download replies claim this chunkLength (0..255), whatever they carry.
    int chunk_length = -1;
    // Download replies carry this fileType or firstChunk instead of the true ones.
    int reply_file_type = -1;
    int reply_first_chunk = -1;
    // The lies above start only at the chunk that begins at this offset of the file.
    std::size_t lie_from_offset = 0;
    // Every chunk reply says that another chunk follows, also past the end of the file.
    bool endless = false;
    // Count queries of these types answer "no files" (status 0xFF, count 0).
    std::set<uint8_t> hidden_types;
    // Count queries answer with this raw status and count.
    int count_status = -1;
    int count_value = -1;
};

// One of the XML calibration actions: how long the display works on it and what it answers.
struct DisplayAction {
    uint64_t duration_us;
    uint8_t status = 0;
    unsigned runs = 0;  // requests answered
};

struct TransferState {
    std::map<uint8_t, std::vector<DisplayFile>> files;  // by download file-type code
    TransferFaults faults;

    // The upload being received: the download code and index of its file in `files`.
    std::optional<std::pair<uint8_t, std::size_t>> receiving;
    // The download being served: type, file index and the offset of the next chunk.
    std::optional<std::pair<uint8_t, std::size_t>> serving;
    std::size_t serve_offset = 0;

    DisplayAction validate_xml{4'000'000};                 // a few seconds
    DisplayAction position_colorimeter{3 * 60'000'000ull};  // minutes, within 20
    DisplayAction tintwise_calibration{25 * 60'000'000ull}; // minutes, within 60
};

// The download code that serves files of an upload code back, or -1 when there is none.
int download_code_of_upload(int upload_code);

}  // namespace qv::sim
