// A download whose every reply the fuzzer writes (file names with slashes, "..", no NUL or
// nothing at all, lengths, first-chunk flags, file types, statuses, short and failed replies)
// into a scratch target directory that holds a subdirectory, a file and a link to a directory
// outside it. Nothing outside the target may be created or changed, the link must stay as it
// was, no temporary file may be left behind, and the result is one of the header's codes.
//
// Input: a byte choosing the directory's spelling (with or without a trailing slash) and the
// file type asked for, then the replies, each a header byte (top two bits: 0 a reply of
// `length` bytes framed as the bridge frames it, 1 a raw transfer, 2 a failed transfer,
// 3 status bytes only) and for kinds 0 and 1 a length byte and the bytes.
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "api/transfer.h"
#include "fuzz_support.h"

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

void check_layout() {
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
    // A display's names have at most 49 characters; the library's temporary names are longer.
    for (auto it = fs::recursive_directory_iterator(root() / "target"); it != fs::recursive_directory_iterator(); ++it) {
        const std::string name = it->path().filename().string();
        QV_FUZZ_CHECK(name.size() <= 49, "left the scrap %s", it->path().c_str());
        QV_FUZZ_CHECK(!it->is_symlink() || name == "link", "made the link %s", it->path().c_str());
    }
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
    bus.script(qvfuzz::next_reply, &in);
    const int rc = GetFileFromDisplay(type, directory.c_str());
    bus.script(nullptr, nullptr);
    QV_FUZZ_CHECK(qvfuzz::documented_result(rc), "GetFileFromDisplay returned %d", rc);
    check_layout();
    return 0;
}
