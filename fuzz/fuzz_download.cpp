// A download whose every reply the fuzzer writes (file names with slashes, "..", no NUL or
// nothing at all, lengths, first-chunk flags, file types, statuses, short and failed replies)
// into a scratch target directory that holds a subdirectory, a file and a link to a directory
// outside it. Nothing outside the target may be created or changed, the subdirectory and the
// link must stay as they were, and the result is one of the header's codes. Every file in the
// target holds exactly what the display sent for it up to where the download stopped: a file
// broken off keeps its name and the part that arrived, and nothing else is left.
//
// What the display sent is seen as the library got it: the target is linked with
// --wrap=RegUsbApi, and every packet of an exchange that succeeded is recorded. The target then
// works out on its own what a download must make of those replies.
//
// Input: a byte choosing the directory's spelling (with or without a trailing slash) and the
// file type asked for, then the replies, each a header byte (top two bits: 0 a reply of
// `length` bytes framed as the bridge frames it, 1 a raw transfer, 2 a failed transfer,
// 3 status bytes only) and for kinds 0 and 1 a length byte and the bytes.
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <vector>

#include "api/transfer.h"
#include "fuzz_support.h"
#include "protocol/transfer_packet.h"

extern "C" int __real_RegUsbApi(uint8_t* packet, uint16_t length) noexcept;

namespace {
// The packets of the exchanges of the current input that succeeded, as the library got them.
std::vector<std::vector<uint8_t>> g_replies;
}  // namespace

extern "C" int __wrap_RegUsbApi(uint8_t* packet, uint16_t length) noexcept {
    const int rc = __real_RegUsbApi(packet, length);
    if (rc == 0) g_replies.emplace_back(packet, packet + length);
    return rc;
}

namespace {

namespace fs = std::filesystem;
using qvfuzz::Input;

// In memory where the host has it: the layout is made afresh for every input.
const fs::path& root() {
    static const fs::path path = (fs::is_directory("/dev/shm") ? fs::path("/dev/shm") : fs::temp_directory_path()) /
                                 ("qvfuzz-download-" + std::to_string(getpid()));
    return path;
}

std::string contents(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// root/outside/keep, root/target/{sub/, old, link -> ../outside}
void lay_out() {
    fs::remove_all(root() / "target");
    fs::create_directories(root() / "target" / "sub");
    fs::create_directories(root() / "outside");
    std::ofstream(root() / "outside" / "keep") << "keep";
    std::ofstream(root() / "target" / "old") << "old";
    fs::create_directory_symlink("../outside", root() / "target" / "link");
}

using Files = std::map<std::string, std::string>;

// What the target must hold after a download into `directory` that got `replies`: "old" as it
// was laid out, then each chunk reply in turn, up to the first one a download may not write,
// creates or truncates its file (first-chunk flag 1) or appends to it (0).
Files expected_files(const std::string& directory) {
    using namespace qv::transfer;
    Files files = {{"old", "old"}};
    // The first exchange is the count query.
    for (std::size_t i = 1; i < g_replies.size(); ++i) {
        const std::vector<uint8_t>& r = g_replies[i];
        if (r.size() != kPacketSize || r[kStatus] > 1 || r[kFirstChunk] > 1 || r[kChunkLength] > kChunkSize) break;
        const uint8_t type = r[kFileType];
        if (type != 3 && type != 4 && type != 5 && type != 6 && type != 8) break;
        const auto* field = reinterpret_cast<const char*>(r.data() + kFileName);
        if (std::memchr(field, '\0', kFileNameSize) == nullptr) break;
        const std::string name = field;
        if (name.empty() || name == ".." || name.find('/') != std::string::npos) break;
        if (directory.size() + 2 + name.size() + 1 > 256) break;
        // Only a plain file of its own, or none, is written (not ".", "sub" or "link").
        struct stat info {};
        const std::string path = directory + "//" + name;
        if (lstat(path.c_str(), &info) == 0 && (!S_ISREG(info.st_mode) || info.st_nlink > 1)) break;
        const std::string data(r.begin() + kChunkData, r.begin() + kChunkData + r[kChunkLength]);
        if (r[kFirstChunk] == 1)
            files[name] = data;
        else
            files[name] += data;
    }
    return files;
}

void check_layout(const std::string& directory) {
    std::size_t entries = 0;
    for (const auto& e : fs::directory_iterator(root())) {
        ++entries;
        const std::string name = e.path().filename().string();
        QV_FUZZ_CHECK(name == "outside" || name == "target", "created %s beside the target", name.c_str());
    }
    QV_FUZZ_CHECK(entries == 2, "the scratch root holds %zu entries", entries);
    std::size_t outside = 0;
    for (const auto& e : fs::directory_iterator(root() / "outside")) {
        ++outside;
        QV_FUZZ_CHECK(e.path().filename() == "keep", "created %s outside the target", e.path().c_str());
    }
    QV_FUZZ_CHECK(outside == 1 && contents(root() / "outside" / "keep") == "keep", "changed the outside");
    QV_FUZZ_CHECK(fs::is_symlink(root() / "target" / "link") &&
                      fs::read_symlink(root() / "target" / "link") == "../outside",
                  "the link in the target was replaced");
    QV_FUZZ_CHECK(fs::is_directory(root() / "target" / "sub") && fs::is_empty(root() / "target" / "sub"),
                  "the subdirectory was changed");
    // The files of the target are exactly those the replies made, each with its content.
    Files files = expected_files(directory);
    for (const auto& e : fs::directory_iterator(root() / "target")) {
        const std::string name = e.path().filename().string();
        if (name == "sub" || name == "link") continue;
        QV_FUZZ_CHECK(!e.is_symlink() && e.is_regular_file(), "made %s, not a plain file", e.path().c_str());
        const auto it = files.find(name);
        QV_FUZZ_CHECK(it != files.end(), "wrote %s, which no reply it could write named", e.path().c_str());
        QV_FUZZ_CHECK(contents(e.path()) == it->second, "%s does not hold the %zu bytes the display sent for it",
                      e.path().c_str(), it->second.size());
        files.erase(it);
    }
    QV_FUZZ_CHECK(files.empty(), "did not write %s", files.empty() ? "" : files.begin()->first.c_str());
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    // Every input is one short download; a display that announces chunks for ever is cut at
    // this many.
    qv::set_download_chunk_limit(64);
    std::atexit([] { fs::remove_all(root()); });
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    qvfuzz::ScriptedBus& bus = qvfuzz::start_library();
    qvfuzz::connected(2);
    Input in(data, size);
    const uint8_t choice = in.byte();
    LogMessage = (choice & 0x80) != 0 ? 1 : 0;
    const std::string directory = (root() / "target").string() + ((choice & 1) != 0 ? "/" : "");
    const int type = (choice >> 1) % 10;
    lay_out();
    g_replies.clear();
    bus.script(qvfuzz::next_reply, &in);
    const int rc = GetFileFromDisplay(type, directory.c_str());
    bus.script(nullptr, nullptr);
    QV_FUZZ_CHECK(qvfuzz::documented_result(rc), "GetFileFromDisplay returned %d", rc);
    check_layout(directory);
    return 0;
}
