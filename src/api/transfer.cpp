// File transfer between the host and the display's storage, and the XML calibration actions.
//
// A transfer moves a file in 128-byte chunks, one 184-byte transfer packet per exchange (layout
// in protocol/transfer_packet.h).
//
// Each transfer keeps one packet for its whole length and rewrites only some fields over each
// reply, so whatever the display sent back in the other fields travels with the next request.
//
// A display is a USB device and a host must not trust what it sends: a download writes only
// below the directory it was given, and refuses names, lengths and codes it cannot write
// safely before anything is opened.
#include <sys/stat.h>

#include <cstdio>
#include <cstring>

#include "api/presets.h"
#include "gadget_usb/clock.h"
#include "protocol/frame.h"
#include "protocol/log.h"
#include "protocol/transfer_packet.h"
#include "quorvex.h"

namespace {

using namespace qv::transfer;

constexpr std::size_t kMaxHostPath = 256;  // composed download path, its NUL included
constexpr uint64_t kChunkPauseUs = 100000;  // the display is given 100 ms after each chunk it sends

constexpr uint16_t kActionPacketSize = 2;
constexpr std::size_t kActionStatus = 1;
constexpr uint8_t kOpValidateXml = 25;
constexpr uint8_t kOpPositionColorimeter = 26;
constexpr uint8_t kOpTintwiseCalibration = 27;

const char* const kSend = "SendFileToDisplay";
const char* const kGet = "GetFileFromDisplay";

// Host file mode of an upload code, or nullptr for a code the upload does not take. The
// whole int is compared: 256 is not 0.
const char* upload_mode(int file_type) {
    switch (file_type) {
        case 0: case 2: case 7: return "rt";
        case 1: return "rb";
        default: return nullptr;
    }
}

// Host file mode of a download chunk, by the reply's file type and first-chunk flag; nullptr
// when the reply names no file type the host writes.
const char* download_mode(uint8_t file_type, bool first) {
    switch (file_type) {
        case 3: case 6: return first ? "wb" : "ab";
        case 4: case 5: case 8: return first ? "wt" : "at";
        default: return nullptr;
    }
}

// A name from the display may address a file in a subdirectory of the target ("sub/f"), but no
// component may climb out of it. A leading slash is harmless: "dir" + "//" + "/x" stays in dir.
bool name_stays_inside(const char* name) {
    if (name[0] == '\0') return false;
    for (const char* p = name; *p != '\0';) {
        const char* end = std::strchr(p, '/');
        const std::size_t n = end != nullptr ? static_cast<std::size_t>(end - p) : std::strlen(p);
        if (n == 2 && p[0] == '.' && p[1] == '.') return false;
        if (end == nullptr) break;
        p = end + 1;
    }
    return true;
}

// Writes the chunk a download reply carries to its host file. Returns RC_OK, or RC_FAILED after
// an error line when the reply cannot be written safely; nothing is opened in that case. Write
// errors themselves are not reported.
int write_chunk(const uint8_t* packet, const char* directory) {
    const void* nul = std::memchr(packet + kFileName, '\0', kFileNameSize);
    if (nul == nullptr) {
        qv::log("<ERROR> %s: File name from the display is not terminated.\n", kGet);
        return RC_FAILED;
    }
    const char* name = reinterpret_cast<const char*>(packet + kFileName);
    if (!name_stays_inside(name)) {
        qv::log("<ERROR> %s: File name from the display leaves the target directory.\n", kGet);
        return RC_FAILED;
    }
    // directory, "//", name: nothing removed or added.
    const std::size_t dir_length = std::strlen(directory);
    const std::size_t name_length = std::strlen(name);
    if (dir_length + 2 + name_length + 1 > kMaxHostPath) {
        qv::log("<ERROR> %s: Host path is longer than %d bytes.\n", kGet, static_cast<int>(kMaxHostPath));
        return RC_FAILED;
    }
    const std::size_t length = packet[kChunkLength];
    if (length > kChunkSize) {
        qv::log("<ERROR> %s: Chunk length %d from the display is too long.\n", kGet,
                static_cast<int>(length));
        return RC_FAILED;
    }
    const uint8_t first = packet[kFirstChunk];
    const char* mode = download_mode(packet[kFileType], first == 1);
    if (mode == nullptr) {
        qv::log("<ERROR> %s: File type %d from the display is not a download type.\n", kGet,
                static_cast<int>(packet[kFileType]));
        return RC_FAILED;
    }
    if (first > 1) {
        qv::log("<ERROR> %s: First-chunk flag %d from the display is not 0 or 1.\n", kGet,
                static_cast<int>(first));
        return RC_FAILED;
    }

    char path[kMaxHostPath];
    std::memcpy(path, directory, dir_length);
    std::memcpy(path + dir_length, "//", 2);
    std::memcpy(path + dir_length + 2, name, name_length + 1);
    FILE* file = std::fopen(path, mode);
    if (file == nullptr) {
        qv::log("<ERROR> %s: Cannot open the host file.\n", kGet);
        return RC_FAILED;
    }
    if (length > 0) {
        const std::size_t written = std::fwrite(packet + kChunkData, length, 1, file);
        static_cast<void>(written);
    }
    std::fclose(file);
    return RC_OK;
}

// The exchange of one transfer packet, with the line and code of a failed exchange.
int exchange_transfer(const char* function, uint8_t* packet) {
    if (RegUsbApi(packet, kPacketSize) != 0) {
        qv::log("<ERROR> %s: RegUsbApi Failed.\n", function);
        return RC_EXCHANGE_FAILED;
    }
    return RC_OK;
}

int send_chunks(FILE* file, uint8_t* packet) {
    std::fseek(file, 0, SEEK_END);
    const auto size = static_cast<int32_t>(std::ftell(file));
    std::fseek(file, 0, SEEK_SET);
    qv::log("File size is : %d \n", size);

    int32_t remaining = size;
    for (int chunk = 0; remaining > 0; ++chunk) {
        packet[kOpcode] = kOpUpload;
        packet[kStatus] = 0;
        packet[kFirstChunk] = chunk == 0 ? 1 : 0;
        const auto length = static_cast<uint8_t>(remaining < 128 ? remaining : 128);
        packet[kChunkLength] = length;
        // A short read leaves the rest of the chunk zero; the length sent stays the same.
        const std::size_t got = std::fread(packet + kChunkData, 1, length, file);
        static_cast<void>(got);
        if (const int rc = exchange_transfer(kSend, packet); rc != RC_OK) return rc;
        if (packet[kStatus] != 0) {
            qv::log("<ERROR> %s: RegUsbApi Status Failed.\n", kSend);
            return RC_DEVICE_STATUS;
        }
        remaining -= length;
        std::memset(packet + kChunkData, 0, kChunkSize);
    }
    return RC_OK;
}

// Fetches every chunk of remote file `index`; the packet holds the previous reply on entry.
int fetch_file(uint8_t* packet, uint8_t file_type, uint8_t index, const char* directory) {
    packet[kFirstChunk] = 1;
    packet[kFileType] = file_type;
    packet[kFileIndex] = index;
    packet[kOpcode] = kOpDownload;
    packet[kStatus] = kStatusMore;
    while (packet[kStatus] == kStatusMore) {
        std::memset(packet + kChunkData, 0, kChunkSize);
        if (const int rc = exchange_transfer(kGet, packet); rc != RC_OK) return rc;
        if (packet[kStatus] != 0 && packet[kStatus] != kStatusMore) {
            qv::log("<ERROR> %s: RegUsbApi Status Failed.\n", kGet);
            return RC_DEVICE_STATUS;
        }
        if (const int rc = write_chunk(packet, directory); rc != RC_OK) return rc;
        packet[kFirstChunk] = 0;
        qv::clock().sleep_us(kChunkPauseUs);
    }
    return RC_OK;
}

int action(const char* function, uint8_t opcode) {
    uint8_t packet[kActionPacketSize] = {opcode, 0};
    return qv::exchange(function, packet, kActionPacketSize, kActionStatus, qv::StatusLine::status);
}

}  // namespace

extern "C" {

QV_API int SendFileToDisplay(int fileType, const char* filePath) noexcept {
    uint8_t packet[kPacketSize] = {};
    const char* mode = upload_mode(fileType);
    if (mode == nullptr) return RC_FAILED;
    FILE* file = std::fopen(filePath, mode);
    if (file == nullptr) return RC_FAILED;
    // A directory opens for reading on Linux but has no content to send: it cannot be uploaded.
    struct stat info {};
    if (fstat(fileno(file), &info) != 0 || !S_ISREG(info.st_mode)) {
        std::fclose(file);
        return RC_FAILED;
    }
    // Set once: later chunks carry whatever the display echoed here.
    packet[kFileType] = static_cast<uint8_t>(fileType);
    const int rc = send_chunks(file, packet);
    std::fclose(file);
    return rc;
}

QV_API int GetFileFromDisplay(int fileType, const char* directory) noexcept {
    const auto type = static_cast<uint8_t>(fileType);
    uint8_t packet[kPacketSize] = {};
    packet[kOpcode] = kOpCount;
    packet[kFileType] = type;
    if (const int rc = exchange_transfer(kGet, packet); rc != RC_OK) return rc;
    if (packet[kStatus] != 0) {
        if (packet[kStatus] == kStatusNoFiles && packet[kChunkLength] == 0)
            qv::log_line("!!!!No remote files to get ");
        else
            qv::log("\n     %d  %d", static_cast<int>(static_cast<int8_t>(packet[kStatus])),
                    static_cast<int>(packet[kChunkLength]));
        return RC_DEVICE_STATUS;
    }
    const unsigned count = packet[kChunkLength];
    qv::log("!!!!Number of files to get iss : %d \n", static_cast<int>(count));
    for (unsigned index = 0; index < count; ++index) {
        if (const int rc = fetch_file(packet, type, static_cast<uint8_t>(index), directory); rc != RC_OK)
            return rc;
    }
    return RC_OK;
}

QV_API int ValidateTintwisecalXML(void) noexcept {
    return action("ValidateTintwisecalXML", kOpValidateXml);
}

QV_API int PositionColorimeter(void) noexcept {
    return action("PositionColorimeter", kOpPositionColorimeter);
}

QV_API int PerformTintwiseCalibration(void) noexcept {
    const char* const function = "PerformTintwiseCalibration";
    if (!qv::calibration_enabled()) {
        qv::log("<ERROR> %s: Calibration not enabled\n", function);
        return RC_NOT_ALLOWED;
    }
    return action(function, kOpTintwiseCalibration);
}

}  // extern "C"
