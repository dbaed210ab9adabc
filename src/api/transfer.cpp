// File transfer between the host and the display's storage, and the XML calibration actions.
//
// A transfer moves a file in 128-byte chunks, one 184-byte transfer packet per exchange (layout
// in protocol/transfer_packet.h).
//
// Each transfer keeps one packet for its whole length and rewrites only some fields over each
// reply, so whatever the display sent back in the other fields travels with the next request.
//
// A display is a USB device and a host must not trust what it sends: a download writes only
// into the directory it was given, and refuses names, lengths and codes it cannot write safely
// before anything is opened.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "api/presets.h"
#include "api/transfer.h"
#include "gadget_usb/clock.h"
#include "protocol/frame.h"
#include "protocol/log.h"
#include "protocol/transfer_packet.h"
#include "quorvex.h"

namespace {

using namespace qv::transfer;

constexpr std::size_t kMaxHostPath = qv::kMaxDownloadPath;  // composed download path, its NUL included
constexpr uint64_t kChunkPauseUs = 100000;  // the display is given 100 ms after each chunk it sends

constexpr uint16_t kActionPacketSize = 2;
constexpr std::size_t kActionStatus = 1;
constexpr uint8_t kOpValidateXml = 25;
constexpr uint8_t kOpPositionColorimeter = 26;
constexpr uint8_t kOpTintwiseCalibration = 27;

const char* const kSend = "SendFileToDisplay";
const char* const kGet = "GetFileFromDisplay";

// The file types the upload takes: 0, 2 and 7 are read as text, 1 as binary (the host makes no
// difference). The whole int is compared: 256 is not 0.
bool is_upload_type(int file_type) {
    switch (file_type) {
        case 0: case 1: case 2: case 7: return true;
        default: return false;
    }
}

// The file types the host writes: 3 and 6 binary, 4, 5 and 8 text.
bool is_download_type(uint8_t file_type) {
    switch (file_type) {
        case 3: case 4: case 5: case 6: case 8: return true;
        default: return false;
    }
}

// A name from the display names a file directly in the target directory: no slash, never "..".
bool name_stays_inside(const char* name) {
    return name[0] != '\0' && std::strchr(name, '/') == nullptr && std::strcmp(name, "..") != 0;
}

// Checks what a download reply says about its chunk before anything on the host is touched.
// Returns RC_OK, or RC_FAILED after an error line.
int check_chunk_reply(const uint8_t* packet, const char* directory) {
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
    // directory, "//", name and the NUL.
    if (std::strlen(directory) + 2 + std::strlen(name) + 1 > kMaxHostPath) {
        qv::log("<ERROR> %s: Host path is longer than %d bytes.\n", kGet, static_cast<int>(kMaxHostPath));
        return RC_FAILED;
    }
    const std::size_t length = packet[kChunkLength];
    if (length > kChunkSize) {
        qv::log("<ERROR> %s: Chunk length %d from the display is too long.\n", kGet,
                static_cast<int>(length));
        return RC_FAILED;
    }
    if (!is_download_type(packet[kFileType])) {
        qv::log("<ERROR> %s: File type %d from the display is not a download type.\n", kGet,
                static_cast<int>(packet[kFileType]));
        return RC_FAILED;
    }
    if (packet[kFirstChunk] > 1) {
        qv::log("<ERROR> %s: First-chunk flag %d from the display is not 0 or 1.\n", kGet,
                static_cast<int>(packet[kFirstChunk]));
        return RC_FAILED;
    }
    return RC_OK;
}

// Writes what it can of data; stops at the first failed write.
void write_all(int fd, const uint8_t* data, std::size_t length) {
    while (length > 0) {
        const ssize_t n = ::write(fd, data, length);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return;
        data += n;
        length -= static_cast<std::size_t>(n);
    }
}

class Descriptor {
public:
    explicit Descriptor(int fd) : fd_(fd) {}
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    ~Descriptor() {
        if (fd_ >= 0) ::close(fd_);
    }
    int get() const { return fd_; }

private:
    int fd_;
};

int cannot_open() {
    qv::log("<ERROR> %s: Cannot open the host file.\n", kGet);
    return RC_FAILED;
}

// Writes the chunk that a checked reply carries to directory + "//" + its name, opening the
// file for this chunk alone: created or truncated on a first chunk, appended to on a later one,
// and closed again, so whatever arrived stays on the host if the download breaks off. The
// directory is the caller's, taken as given; only the display's name is opened in it, never
// through a link. A file that is not a plain file of its own (a FIFO, a device, a file with
// other names elsewhere) is left alone. Once the file is open, a failed write or close is not
// reported: the download goes on with the next chunk. (Text and binary files are written alike:
// the host makes no difference.) Returns RC_OK, or RC_FAILED after an error line when the file
// cannot be opened.
int write_chunk(const uint8_t* packet, const char* directory) {
    const char* name = reinterpret_cast<const char*>(packet + kFileName);
    const bool first = packet[kFirstChunk] == 1;
    const Descriptor dir(::open(directory, O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (dir.get() < 0) return cannot_open();
    // Not truncated yet: what is there is looked at first. O_NONBLOCK: a FIFO does not wait for
    // a reader.
    const int flags = O_WRONLY | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC | (first ? 0 : O_APPEND);
    const Descriptor file(::openat(dir.get(), name, flags, 0666));
    if (file.get() < 0) return cannot_open();
    struct stat info {};
    if (::fstat(file.get(), &info) != 0 || !S_ISREG(info.st_mode)) return cannot_open();
    if (info.st_nlink > 1) {
        qv::log("<ERROR> %s: Host file has more than one link.\n", kGet);
        return RC_FAILED;
    }
    // Truncating belongs to opening a first chunk's file: a file that cannot be emptied was not
    // opened as asked.
    if (first && ::ftruncate(file.get(), 0) != 0) return cannot_open();
    write_all(file.get(), packet + kChunkData, packet[kChunkLength]);
    return RC_OK;  // the file is closed on the way out
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
    const long end = std::ftell(file);
    std::fseek(file, 0, SEEK_SET);
    // The size travels as a signed 32-bit count: a file of 2^31 bytes or more cannot be sent.
    if (end < 0 || end > INT32_MAX) {
        qv::log("<ERROR> %s: File is too large to send.\n", kSend);
        return RC_FAILED;
    }
    const auto size = static_cast<int32_t>(end);
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

unsigned g_chunk_limit = qv::kDownloadChunkLimit;

// Fetches every chunk of remote file `index`; the packet holds the previous reply on entry.
// `chunks` counts the chunk requests of the whole download against the limit.
int fetch_file(uint8_t* packet, uint8_t file_type, uint8_t index, const char* directory, unsigned& chunks) {
    packet[kFirstChunk] = 1;
    packet[kFileType] = file_type;
    packet[kFileIndex] = index;
    packet[kOpcode] = kOpDownload;
    packet[kStatus] = kStatusMore;
    while (packet[kStatus] == kStatusMore) {
        if (chunks == g_chunk_limit) {
            qv::log("<ERROR> %s: More than %u chunks from the display; download stopped.\n", kGet,
                    g_chunk_limit);
            return RC_FAILED;
        }
        ++chunks;
        std::memset(packet + kChunkData, 0, kChunkSize);
        if (const int rc = exchange_transfer(kGet, packet); rc != RC_OK) return rc;
        if (packet[kStatus] != 0 && packet[kStatus] != kStatusMore) {
            qv::log("<ERROR> %s: RegUsbApi Status Failed.\n", kGet);
            return RC_DEVICE_STATUS;
        }
        if (const int rc = check_chunk_reply(packet, directory); rc != RC_OK) return rc;
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
    if (filePath == nullptr) return RC_INVALID_ARGUMENT;
    if (!is_upload_type(fileType)) return RC_FAILED;
    // Opened without waiting, so that a FIFO nobody writes to is refused at once rather than
    // blocking here; a FIFO, a socket or a directory has no content to send. Whatever else
    // opens (a plain file, a device) is read as it is.
    const int fd = ::open(filePath, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return RC_FAILED;
    struct stat info {};
    const int flags = ::fcntl(fd, F_GETFL);
    const bool readable = ::fstat(fd, &info) == 0 && !S_ISFIFO(info.st_mode) && !S_ISSOCK(info.st_mode) &&
                          !S_ISDIR(info.st_mode) && flags >= 0 && ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) == 0;
    FILE* file = readable ? ::fdopen(fd, "r") : nullptr;
    if (file == nullptr) {
        ::close(fd);
        return RC_FAILED;
    }
    // Set once: later chunks carry whatever the display echoed here.
    packet[kFileType] = static_cast<uint8_t>(fileType);
    const int rc = send_chunks(file, packet);
    std::fclose(file);
    return rc;
}

QV_API int GetFileFromDisplay(int fileType, const char* directory) noexcept {
    // An empty directory would put the files at the root of the file system ("" + "//" + name).
    if (directory == nullptr || directory[0] == '\0') return RC_INVALID_ARGUMENT;
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
    unsigned chunks = 0;
    for (unsigned index = 0; index < count; ++index) {
        if (const int rc = fetch_file(packet, type, static_cast<uint8_t>(index), directory, chunks); rc != RC_OK)
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

namespace qv {

void set_download_chunk_limit(unsigned chunks) { g_chunk_limit = chunks != 0 ? chunks : kDownloadChunkLimit; }

}  // namespace qv
