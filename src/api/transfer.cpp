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
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>

#include "api/presets.h"
#include "api/transfer.h"
#include "gadget_usb/clock.h"
#include "protocol/frame.h"
#include "protocol/log.h"
#include "protocol/transfer_packet.h"
#include "quorvex.h"

namespace {

using namespace qv::transfer;

constexpr std::size_t kMaxHostPath = qv::kMaxDownloadPath;
// A file being downloaded is assembled under a name of at least this many characters, longer
// than any name the display's field can hold: the two never meet, and a scrap left by a host
// that died half way through is told from the display's files by its length alone.
constexpr std::size_t kTempNameLength = 64;
static_assert(kTempNameLength > kFileNameSize - 1);
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

// The file types the host writes: 3 and 6 binary, 4, 5 and 8 text.
bool is_download_type(uint8_t file_type) {
    switch (file_type) {
        case 3: case 4: case 5: case 6: case 8: return true;
        default: return false;
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

bool write_all(int fd, const uint8_t* data, std::size_t length) {
    while (length > 0) {
        const ssize_t n = ::write(fd, data, length);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        data += n;
        length -= static_cast<std::size_t>(n);
    }
    return true;
}

// Appends the whole of file `from` to `to`.
bool copy_all(int from, int to) {
    uint8_t buffer[4096];
    for (;;) {
        const ssize_t n = ::read(from, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return false;
        if (n == 0) return true;
        if (!write_all(to, buffer, static_cast<std::size_t>(n))) return false;
    }
}

// The host file a download is writing. It is assembled under a temporary name beside its
// final one and renamed into place when its last chunk has arrived, so a download that breaks
// off leaves no file under the final name that looks complete: what was assembled is removed.
// The directories on the way to it are opened one by one without following symbolic links,
// so nothing outside the target directory is created or changed whatever name the display
// sends. (Text and binary files are written alike: the host makes no difference.)
class HostFile {
public:
    explicit HostFile(const char* directory) : directory_(directory) {}
    HostFile(const HostFile&) = delete;
    HostFile& operator=(const HostFile&) = delete;
    ~HostFile() { discard(); }

    const char* directory() const { return directory_; }

    // Writes the chunk that a checked reply carries. Returns RC_OK, or RC_FAILED after an
    // error line (the file being assembled is then removed).
    int take(const uint8_t* packet) {
        const char* name = reinterpret_cast<const char*>(packet + kFileName);
        const bool first = packet[kFirstChunk] == 1;
        if (first || fd_ < 0) {
            discard();
            // A first chunk creates the file; a later one without a file under way appends to
            // what the host already holds under that name.
            if (const int rc = start(name, !first); rc != RC_OK) return fail(rc);
        } else if (name_ != name) {
            qv::log("<ERROR> %s: File name from the display changed within a file.\n", kGet);
            return fail(RC_FAILED);
        }
        if (!write_all(fd_, packet + kChunkData, packet[kChunkLength])) return fail(cannot_write());
        if (packet[kStatus] != 0) return RC_OK;  // more chunks of this file follow
        const int closed = ::close(fd_);
        fd_ = -1;
        if (closed != 0 || ::renameat(dir_fd_, temp_.c_str(), dir_fd_, leaf_.c_str()) != 0)
            return fail(cannot_write());
        temp_.clear();
        close_directory();
        return RC_OK;
    }

private:
    static int cannot_open() {
        qv::log("<ERROR> %s: Cannot open the host file.\n", kGet);
        return RC_FAILED;
    }
    static int cannot_write() {
        qv::log("<ERROR> %s: Cannot write the host file.\n", kGet);
        return RC_FAILED;
    }
    int fail(int rc) {
        discard();
        return rc;
    }

    int start(const char* name, bool append) {
        name_ = name;
        dir_fd_ = ::open(directory_, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (dir_fd_ < 0) return cannot_open();
        // Every component but the last is a directory below the target ("" and "." stay put;
        // ".." never gets here).
        std::string_view rest = name_;
        for (std::size_t slash; (slash = rest.find('/')) != std::string_view::npos; rest.remove_prefix(slash + 1)) {
            const std::string part(rest.substr(0, slash));
            if (part.empty() || part == ".") continue;
            const int next = ::openat(dir_fd_, part.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
            if (next < 0) return cannot_open();
            ::close(dir_fd_);
            dir_fd_ = next;
        }
        leaf_ = std::string(rest);
        if (leaf_.empty() || leaf_ == ".") return cannot_open();

        static unsigned serial = 0;
        for (int attempt = 0; attempt < 100 && fd_ < 0; ++attempt) {
            temp_ = "." + leaf_ + ".part" + std::to_string(::getpid()) + "-" + std::to_string(++serial);
            if (temp_.size() < kTempNameLength) temp_.append(kTempNameLength - temp_.size(), '~');
            fd_ = ::openat(dir_fd_, temp_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
            if (fd_ < 0 && errno != EEXIST) break;
        }
        if (fd_ < 0) {
            temp_.clear();
            return cannot_open();
        }
        // A file that replaces an earlier one keeps its permissions.
        struct stat existing {};
        const bool exists = ::fstatat(dir_fd_, leaf_.c_str(), &existing, AT_SYMLINK_NOFOLLOW) == 0;
        if (exists && S_ISREG(existing.st_mode)) ::fchmod(fd_, existing.st_mode & 07777);
        if (append && exists) {
            const int old = ::openat(dir_fd_, leaf_.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
            const bool copied = old >= 0 && S_ISREG(existing.st_mode) && copy_all(old, fd_);
            if (old >= 0) ::close(old);
            if (!copied) return cannot_open();
        }
        return RC_OK;
    }

    void close_directory() {
        if (dir_fd_ >= 0) ::close(dir_fd_);
        dir_fd_ = -1;
    }

    // Removes the file being assembled, if any.
    void discard() {
        if (fd_ >= 0) ::close(fd_);
        fd_ = -1;
        if (!temp_.empty() && dir_fd_ >= 0) ::unlinkat(dir_fd_, temp_.c_str(), 0);
        temp_.clear();
        close_directory();
    }

    const char* directory_;
    std::string name_;   // the name the display gave, relative to the target directory
    std::string leaf_;   // its last component, in dir_fd_
    std::string temp_;   // the temporary name in dir_fd_ while the file is assembled
    int dir_fd_ = -1;
    int fd_ = -1;
};

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
int fetch_file(uint8_t* packet, uint8_t file_type, uint8_t index, HostFile& host, unsigned& chunks) {
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
        if (const int rc = check_chunk_reply(packet, host.directory()); rc != RC_OK) return rc;
        if (const int rc = host.take(packet); rc != RC_OK) return rc;
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
    HostFile host(directory);
    unsigned chunks = 0;
    for (unsigned index = 0; index < count; ++index) {
        if (const int rc = fetch_file(packet, type, static_cast<uint8_t>(index), host, chunks); rc != RC_OK)
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
