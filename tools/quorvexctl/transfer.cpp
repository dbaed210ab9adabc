// send-file and get-files. The library's transfer functions block until the whole transfer is
// done and report nothing on the way, so on a terminal the transfer runs on a second thread
// (the only one calling the library meanwhile) while this one watches its progress from
// outside: the position of the file the library reads (an upload), or the files growing in
// the target directory (a download).
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <future>
#include <map>

#include "api/transfer.h"
#include "output.h"
#include "progress.h"
#include "protocol/transfer_packet.h"
#include "quorvex.h"
#include "settings.h"
#include "verbs.h"

namespace qvctl {

namespace {

constexpr auto kRedraw = std::chrono::milliseconds(200);

// Upload and download codes and how the host file is read or written.
constexpr int kUploadTypes[] = {0, 1, 2, 7};
constexpr int kDownloadTypes[] = {3, 4, 5, 6, 8};

template <std::size_t N>
bool parse_type(const std::string& verb, const std::string& text, const int (&valid)[N], int* type, int* status) {
    std::string list;
    for (int t : valid) list += (list.empty() ? "" : ", ") + std::to_string(t);
    long value = 0;
    if (!parse_number(verb + " TYPE", text, 0, 255, &value, status)) return false;
    for (int t : valid)
        if (t == value) {
            *type = t;
            return true;
        }
    *status = fail(kExitUsage, verb + ": file type " + std::to_string(value) + " is not one of " + list);
    return false;
}

// Where the library has got to in reading `path`: the offset of the descriptor it opened.
int64_t read_position(const std::string& path) {
    DIR* dir = opendir("/proc/self/fd");
    if (dir == nullptr) return -1;
    int64_t position = -1;
    while (dirent* entry = readdir(dir)) {
        char link[PATH_MAX + 1] = {};
        const std::string fd_path = std::string("/proc/self/fd/") + entry->d_name;
        const ssize_t n = readlink(fd_path.c_str(), link, PATH_MAX);
        if (n <= 0 || path != std::string(link, static_cast<std::size_t>(n))) continue;
        FILE* info = std::fopen((std::string("/proc/self/fdinfo/") + entry->d_name).c_str(), "r");
        if (info == nullptr) continue;
        long long pos = 0;
        if (std::fscanf(info, "pos: %lld", &pos) == 1) position = pos;
        std::fclose(info);
    }
    closedir(dir);
    return position;
}

struct FileState {
    int64_t size;
    int64_t mtime_ns;
};

std::map<std::string, FileState> directory_files(const std::string& directory) {
    std::map<std::string, FileState> files;
    DIR* dir = opendir(directory.c_str());
    if (dir == nullptr) return files;
    while (dirent* entry = readdir(dir)) {
        struct stat info {};
        const std::string path = directory + "/" + entry->d_name;
        if (stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode))
            files[entry->d_name] = {info.st_size, info.st_mtim.tv_sec * 1'000'000'000LL + info.st_mtim.tv_nsec};
    }
    closedir(dir);
    return files;
}

// The files a download wrote: new, or changed since `before`.
std::map<std::string, FileState> written_files(const std::string& directory,
                                               const std::map<std::string, FileState>& before) {
    std::map<std::string, FileState> written;
    for (const auto& [name, state] : directory_files(directory)) {
        const auto it = before.find(name);
        if (it == before.end() || it->second.mtime_ns != state.mtime_ns || it->second.size != state.size)
            written[name] = state;
    }
    return written;
}

// The longest directory whose every download path fits: room for "//", the longest name the
// display's field holds and the NUL.
constexpr std::size_t kLongestDirectory = qv::kMaxDownloadPath - 2 - (qv::transfer::kFileNameSize - 1) - 1;

// Why the host cannot take the files of a download into `directory` (an errno), or 0.
int directory_refuses(const std::string& directory) {
    struct stat info {};
    if (stat(directory.c_str(), &info) != 0) return errno;
    if (!S_ISDIR(info.st_mode)) return ENOTDIR;
    if (faccessat(AT_FDCWD, directory.c_str(), W_OK | X_OK, AT_EACCESS) != 0) return errno;
    struct statvfs space {};
    if (statvfs(directory.c_str(), &space) == 0 && space.f_bavail == 0) return ENOSPC;
    return 0;
}

// Why the host cannot read `path` for an upload (an errno), or 0.
int file_refuses(const std::string& path) {
    // Non-blocking: opening a FIFO must not wait for a writer.
    const int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return errno;
    struct stat info {};
    int error = fstat(fd, &info) != 0 ? errno : 0;
    if (error == 0 && S_ISDIR(info.st_mode)) error = EISDIR;
    else if (error == 0 && !S_ISREG(info.st_mode)) error = EINVAL;
    // The protocol counts the size in a signed 32-bit number.
    else if (error == 0 && info.st_size > INT32_MAX) error = EFBIG;
    close(fd);
    return error;
}

// Runs the transfer; on a terminal and without --quiet, redraws `bar` from `bytes_so_far`.
template <class Transfer, class Bytes>
int run_watched(const Options& opt, ProgressBar& bar, Transfer transfer, Bytes bytes_so_far) {
    if (opt.quiet || opt.json || !output_is_terminal()) return transfer();
    bar.update(0);
    auto result = std::async(std::launch::async, transfer);
    while (result.wait_for(kRedraw) != std::future_status::ready) {
        const int64_t bytes = bytes_so_far();
        if (bytes >= 0) bar.update(bytes);
    }
    bar.clear();
    return result.get();
}

void report_file(const Options& opt, const char* verb, const std::string& path, int64_t bytes, double seconds,
                 bool incomplete = false) {
    if (opt.quiet) return;
    if (opt.json) {
        Json line{{"file", path}, {"bytes", bytes}, {"chunks", chunks_of(bytes)}, {"seconds", seconds}};
        if (incomplete) line["incomplete"] = true;
        out(line.dump() + "\n");
        return;
    }
    outf("%s %s: %lld bytes, %lld chunks, %.1f s\n", verb, path.c_str(), static_cast<long long>(bytes),
         static_cast<long long>(chunks_of(bytes)), seconds);
}

}  // namespace

int run_send_file(const Options& opt, const std::string& type_text, const std::string& path) {
    int type = 0;
    int status = kExitOk;
    if (!parse_type("send-file", type_text, kUploadTypes, &type, &status)) return status;
    if (const int error = file_refuses(path); error == EINVAL)
        return fail(kExitHostRefused, "send-file: cannot read " + shown(path, 300) + ": not a regular file");
    else if (error != 0)
        return fail_host("send-file: cannot read", path, error);
    struct stat info {};
    stat(path.c_str(), &info);
    char* resolved = realpath(path.c_str(), nullptr);
    const std::string absolute = resolved != nullptr ? resolved : path;
    std::free(resolved);

    int slot = 0;
    if (const int s = connect_target(opt.target, &slot); s != kExitOk) return s;
    ProgressBar bar("send " + shown(path), info.st_size);
    const int rc = run_watched(
        opt, bar, [&] { return SendFileToDisplay(type, path.c_str()); }, [&] { return read_position(absolute); });
    disconnect();
    if (rc != RC_OK) {
        // The file was readable a moment ago; if it is not now, the host is to blame.
        if (rc == RC_FAILED)
            if (const int error = file_refuses(path); error != 0 && error != EINVAL)
                return fail_host("send-file: cannot read", path, error);
        return fail_rc("send-file " + shown(path), rc);
    }
    report_file(opt, "sent", path, info.st_size, bar.seconds());
    return kExitOk;
}

int run_get_files(const Options& opt, const std::string& type_text, const std::string& directory) {
    int type = 0;
    int status = kExitOk;
    if (!parse_type("get-files", type_text, kDownloadTypes, &type, &status)) return status;
    if (directory.size() > kLongestDirectory)
        return fail(kExitHostRefused, "get-files: cannot download into " + shown(directory, 80) + ": " +
                                          std::strerror(ENAMETOOLONG) + " (the directory's path is " +
                                          std::to_string(directory.size()) + " bytes; with \"//\", a name of up to " +
                                          std::to_string(qv::transfer::kFileNameSize - 1) + " bytes and the NUL " +
                                          "a file's path must fit in " + std::to_string(qv::kMaxDownloadPath) +
                                          " bytes: give a directory of at most " + std::to_string(kLongestDirectory) +
                                          " bytes, such as a relative path)");
    if (const int error = directory_refuses(directory); error != 0)
        return fail_host("get-files: cannot write into", directory, error);

    int slot = 0;
    if (const int s = connect_target(opt.target, &slot); s != kExitOk) return s;
    const auto before = directory_files(directory);
    ProgressBar bar("get files of type " + std::to_string(type), -1);
    const int rc = run_watched(
        opt, bar, [&] { return GetFileFromDisplay(type, directory.c_str()); },
        [&] {
            int64_t bytes = 0;
            for (const auto& [name, state] : written_files(directory, before)) bytes += state.size;
            return bytes;
        });
    disconnect();
    const double seconds = bar.seconds();
    // Whatever arrived is reported, also before a failure. After a failure, the file written
    // last is where the download stopped: its last chunks may be missing. (Files written within
    // one tick of the file system's clock cannot be told apart: each of them is named.)
    const auto written = written_files(directory, before);
    int64_t last = INT64_MIN;
    if (rc != RC_OK)
        for (const auto& [name, state] : written) last = std::max(last, state.mtime_ns);
    for (const auto& [name, state] : written)
        report_file(opt, "received", join_path(directory, name), state.size, seconds, state.mtime_ns == last);
    if (rc == RC_OK) return kExitOk;
    for (const auto& [name, state] : written)
        if (state.mtime_ns == last)
            fail(kExitOk, "get-files: " + join_path(directory, name) + " may be incomplete: " +
                              std::to_string(state.size) + " bytes arrived before the download stopped");
    if (rc == RC_FAILED)
        if (const int error = directory_refuses(directory); error != 0)
            return fail_host("get-files: cannot write into", directory, error);
    return fail_rc("get-files type " + std::to_string(type), rc);
}

}  // namespace qvctl
