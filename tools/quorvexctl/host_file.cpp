#include "host_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <random>

namespace qvctl {

namespace {

int write_all(int fd, std::string_view content) {
    while (!content.empty()) {
        const ssize_t n = ::write(fd, content.data(), content.size());
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return errno;
        if (n == 0) return EIO;
        content.remove_prefix(static_cast<std::size_t>(n));
    }
    return 0;
}

int write_in_place(const std::string& path, std::string_view content) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC);
    if (fd < 0) return errno;
    int error = write_all(fd, content);
    if (::close(fd) != 0 && error == 0) error = errno;
    return error;
}

}  // namespace

int replace_file(const std::string& path, std::string_view content) {
    std::string target = path;
    struct stat existing {};
    bool exists = ::stat(path.c_str(), &existing) == 0;
    if (!exists && errno != ENOENT) return errno;
    if (exists && !S_ISREG(existing.st_mode)) return write_in_place(path, content);
    if (exists) {
        // The file a symbolic link names is replaced, not the link.
        char* resolved = ::realpath(path.c_str(), nullptr);
        if (resolved == nullptr) return errno;
        target = resolved;
        std::free(resolved);
    }
    const std::size_t slash = target.rfind('/');
    const std::string directory = slash == std::string::npos ? "" : target.substr(0, slash + 1);
    const std::string base = slash == std::string::npos ? target : target.substr(slash + 1);

    std::random_device random;
    std::string temp;
    int fd = -1;
    for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
        temp = directory + "." + base + "." + std::to_string(random() % 1000000) + ".tmp";
        // A new file gets the mode the umask allows, as any file the user creates.
        fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
        if (fd < 0 && errno != EEXIST) return errno;
    }
    if (fd < 0) return EEXIST;
    int error = 0;
    if (exists && ::fchmod(fd, existing.st_mode & 07777) != 0) error = errno;
    if (error == 0) error = write_all(fd, content);
    if (error == 0 && ::fsync(fd) != 0) error = errno;
    if (::close(fd) != 0 && error == 0) error = errno;
    if (error == 0 && ::rename(temp.c_str(), target.c_str()) != 0) error = errno;
    if (error != 0) ::unlink(temp.c_str());
    return error;
}

}  // namespace qvctl
